#include "serial/port_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace tamsu {

std::string RuntimePortDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/tamsu-tools/ports";
  return "/tmp/tamsu-tools-" + std::to_string(::getuid()) + "/ports";
}

namespace {

std::string GroupName(gid_t gid) {
  group entry{};
  group* found = nullptr;
  char buffer[4096];
  if (::getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->gr_name;
  return std::to_string(gid);
}

std::string PermissionHint(const std::string& devicePath, const struct stat& st) {
  const std::string group = GroupName(st.st_gid);
  return "Opening " + devicePath + " will fail: permission denied. Add your user to the group '" + group +
         "' (sudo usermod -aG " + group + " $USER), then log out and in again.";
}

}  // namespace

PortProbe ProbePort(const std::string& devicePath) {
  PortProbe probe;
  struct stat st {};
  if (devicePath.empty() || ::stat(devicePath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return probe;
  int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM) {
      probe.status = PortStatus::NoPermission;
      probe.hint = PermissionHint(devicePath, st);
    } else if (errno == EBUSY) {
      probe.status = PortStatus::Busy;
    }
    return probe;  // ENXIO, ENODEV, EIO: no hardware behind the node
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    probe.status = PortStatus::Busy;
  } else {
    ::flock(fd, LOCK_UN);
    probe.status = PortStatus::Available;
  }
  ::close(fd);
  return probe;
}

std::vector<VirtualPort> ListVirtualPorts() {
  std::vector<VirtualPort> ports;
  const std::string dir = RuntimePortDirectory();
  DIR* d = ::opendir(dir.c_str());
  if (!d) return ports;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir + "/" + name;
    struct stat link {}, target {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) continue;
    if (::stat(path.c_str(), &target) != 0 || !S_ISCHR(target.st_mode)) continue;  // stale link
    ports.push_back({name, path});
  }
  ::closedir(d);
  std::sort(ports.begin(), ports.end(),
            [](const VirtualPort& a, const VirtualPort& b) { return NaturalLess(a.name, b.name); });
  return ports;
}

bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      // Compare the runs as numbers of any length: skip leading zeros, then length, then digits.
      size_t si = i, sj = j;
      while (si + 1 < ei && a[si] == '0') ++si;
      while (sj + 1 < ej && b[sj] == '0') ++sj;
      if (ei - si != ej - sj) return ei - si < ej - sj;
      int c = a.compare(si, ei - si, b, sj, ej - sj);
      if (c != 0) return c < 0;
      if (ei - i != ej - j) return ei - i < ej - j;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

}  // namespace tamsu
