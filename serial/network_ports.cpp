#include "serial/network_ports.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace tamsu {
namespace {

constexpr size_t kMaxHostLength = 253;
// The file holds eight short lines; anything far larger is not ours to read whole.
constexpr size_t kMaxFileSize = 16 * 1024;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_'; }
bool IsV6Char(char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; }

NetworkAddress Fail(std::string why) {
  NetworkAddress a;
  a.error = std::move(why);
  return a;
}

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

std::string NetworkAddress::Canonical() const {
  const bool v6 = host.find(':') != std::string::npos;
  return std::string(kind == NetworkKind::Rfc2217 ? "rfc2217://" : "tcp://") + (v6 ? "[" + host + "]" : host) + ":" +
         std::to_string(port);
}

std::string NetworkAddress::Describe() const {
  const bool v6 = host.find(':') != std::string::npos;
  return std::string(kind == NetworkKind::Rfc2217 ? "rfc2217 " : "tcp ") + (v6 ? "[" + host + "]" : host) + ":" +
         std::to_string(port);
}

NetworkAddress ParseNetworkAddress(std::string_view text) {
  constexpr char kForm[] = "Give the address as tcp://HOST:PORT or rfc2217://HOST:PORT.";
  text = Trim(text);
  if (text.empty()) return Fail(kForm);
  NetworkAddress a;
  if (const size_t scheme = text.find("://"); scheme != std::string_view::npos) {
    if (StartsWithNoCase(text, "tcp://")) {
      a.kind = NetworkKind::RawTcp;
    } else if (StartsWithNoCase(text, "rfc2217://")) {
      a.kind = NetworkKind::Rfc2217;
    } else {
      return Fail("Unknown kind of address \"" + std::string(text.substr(0, scheme)) + "\": " + kForm);
    }
    text.remove_prefix(scheme + 3);
  }
  std::string_view host;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return Fail("The IPv6 address lacks its closing bracket.");
    host = text.substr(1, close - 1);
    if (host.empty() || !std::all_of(host.begin(), host.end(), IsV6Char) || host.find(':') == std::string_view::npos)
      return Fail("\"" + std::string(host) + "\" is no IPv6 address.");
    if (close + 1 >= text.size() || text[close + 1] != ':') return Fail("The port number is missing. " + std::string(kForm));
    port = text.substr(close + 2);
  } else {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return Fail("The port number is missing. " + std::string(kForm));
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.empty()) return Fail("The host is missing. " + std::string(kForm));
    if (host.find(':') != std::string_view::npos) return Fail("Write an IPv6 address in brackets: [::1]:4001.");
    if (!std::all_of(host.begin(), host.end(), IsNameChar))
      return Fail("A host name holds only letters, digits, dots and hyphens.");
  }
  if (host.size() > kMaxHostLength) return Fail("The host name is too long.");
  if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return Fail("The port must be a number from 1 to 65535.");
  const long number = std::strtol(std::string(port).c_str(), nullptr, 10);
  if (number < 1 || number > 65535) return Fail("The port must be a number from 1 to 65535.");
  a.host = std::string(host);
  a.port = static_cast<uint16_t>(number);
  return a;
}

bool IsNetworkPath(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.front() == '.') return false;
  return path.find("://") != std::string_view::npos || static_cast<bool>(ParseNetworkAddress(path));
}

std::string NetworkPortsFile() {
  // Relative values are to be ignored, as the base directory rules ask.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config && config[0] == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return {};
    base = std::string(home) + "/.config";
  }
  return base + "/tamsu-tools/network-ports";
}

std::vector<std::string> RememberedNetworkPorts() {
  std::vector<std::string> out;
  const std::string file = NetworkPortsFile();
  if (file.empty()) return out;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return out;
  struct stat st{};
  std::string text;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    char buf[4096];
    ssize_t n;
    while (text.size() < kMaxFileSize && (n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (text.size() > kMaxFileSize) text.resize(kMaxFileSize);
  size_t begin = 0;
  while (begin < text.size() && out.size() < kRememberedNetworkPorts) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const NetworkAddress a = ParseNetworkAddress(std::string_view(text).substr(begin, end - begin));
    if (a && std::find(out.begin(), out.end(), a.Canonical()) == out.end()) out.push_back(a.Canonical());
    begin = end + 1;
  }
  return out;
}

bool RememberNetworkPort(std::string_view address) {
  const NetworkAddress a = ParseNetworkAddress(address);
  const std::string file = NetworkPortsFile();
  if (!a || file.empty()) return false;
  std::vector<std::string> ports = RememberedNetworkPorts();
  ports.erase(std::remove(ports.begin(), ports.end(), a.Canonical()), ports.end());
  ports.insert(ports.begin(), a.Canonical());
  if (ports.size() > kRememberedNetworkPorts) ports.resize(kRememberedNetworkPorts);
  std::string text;
  for (const std::string& p : ports) text += p + "\n";

  const std::string dir = file.substr(0, file.rfind('/'));
  if (!MakeDirectories(dir)) return false;
  // A new file beside the old, renamed over it once complete: a crash leaves one or the other.
  std::string temp = file + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written || ::rename(temp.c_str(), file.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace tamsu
