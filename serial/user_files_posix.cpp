#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "serial/user_files.h"

namespace tamsu {
namespace {

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool MakeDirectories(const std::string& dir) {
  for (size_t pos = 1; pos != std::string::npos;) {
    pos = dir.find('/', pos + 1);
    const std::string level = dir.substr(0, pos);
    if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st{};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string UserConfigDirectory() {
  // Relative values are to be ignored, as the base directory rules ask.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return config;
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') return {};
  return std::string(home) + "/.config";
}

bool ReadSmallFile(const std::string& path, size_t max, std::string* text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st{};
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (regular) {
    char buf[4096];
    ssize_t n;
    while (text->size() < max && (n = ::read(fd, buf, sizeof buf)) > 0) text->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (text->size() > max) text->resize(max);
  return regular;
}

bool ReplaceWholeFile(const std::string& path, const std::string& text) {
  const std::string dir = path.substr(0, path.rfind('/'));
  if (!MakeDirectories(dir)) return false;
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace tamsu
