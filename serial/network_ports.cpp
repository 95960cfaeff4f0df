#include "serial/network_ports.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "serial/user_files.h"

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
  const std::string base = UserConfigDirectory();
  return base.empty() ? std::string() : base + kPathSeparator + "tamsu-tools" + kPathSeparator + "network-ports";
}

std::vector<std::string> RememberedNetworkPorts() {
  std::vector<std::string> out;
  const std::string file = NetworkPortsFile();
  if (file.empty()) return out;
  std::string text;
  if (!ReadSmallFile(file, kMaxFileSize, &text)) return out;
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
  return ReplaceWholeFile(file, text);
}

}  // namespace tamsu
