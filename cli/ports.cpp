#include "cli/ports.h"

#ifndef _WIN32
#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "cli/options.h"
#include "serial/port_directory.h"
#include "serial/network_ports.h"
#include "serial/system_ports.h"

namespace tamsu::cli {

namespace {

#ifndef _WIN32
std::string FirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// Maker, product, USB ids and serial number of the USB device above the tty, when there is one.
std::string UsbAbout(const std::string& deviceLink) {
  char resolved[PATH_MAX];
  if (!::realpath(deviceLink.c_str(), resolved)) return {};
  std::string dir = resolved;
  for (int up = 0; up < 4 && !dir.empty(); ++up) {
    if (Exists(dir + "/idVendor")) {
      std::vector<std::string> parts;
      for (const char* file : {"manufacturer", "product"}) {
        const std::string text = FirstLine(dir + "/" + file);
        if (!text.empty() && std::find(parts.begin(), parts.end(), text) == parts.end()) parts.push_back(text);
      }
      parts.push_back("USB " + FirstLine(dir + "/idVendor") + ":" + FirstLine(dir + "/idProduct"));
      if (const std::string serial = FirstLine(dir + "/serial"); !serial.empty()) parts.push_back("serial " + serial);
      std::string about;
      for (const auto& part : parts) about += (about.empty() ? "" : ", ") + part;
      return about;
    }
    dir.resize(dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/'));
  }
  return {};
}

#endif

std::string StateOf(PortStatus status) {
  switch (status) {
    case PortStatus::Available: return "available";
    case PortStatus::Busy: return "busy";
    case PortStatus::NoPermission: return "no permission";
    case PortStatus::Missing: break;
  }
  return "missing";
}

}  // namespace

#ifdef _WIN32
// The COM ports the system lists, with what it says of the adapter behind each.
std::vector<PortEntry> ListSystemPorts(const std::string&, const std::string&) {
  std::vector<PortEntry> ports;
  for (const SystemPort& port : EnumerateSystemPorts()) {
    std::string about;
    for (const std::string& part : {port.description, port.manufacturer})
      if (!part.empty() && about.find(part) == std::string::npos) about += (about.empty() ? "" : ", ") + part;
    if (port.vendorId && port.productId) {
      char ids[24];
      std::snprintf(ids, sizeof ids, "USB %04x:%04x", *port.vendorId, *port.productId);
      about += (about.empty() ? "" : ", ") + std::string(ids);
    }
    if (!port.serialNumber.empty()) about += (about.empty() ? "" : ", ") + ("serial " + port.serialNumber);
    ports.push_back({port.name, port.path, "serial", "", about});
  }
  return ports;
}
#else
std::vector<PortEntry> ListSystemPorts(const std::string& ttyClass, const std::string& dev) {
  std::vector<PortEntry> ports;
  DIR* d = ::opendir(ttyClass.c_str());
  if (!d) return ports;
  while (dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    const std::string base = ttyClass + "/" + name;
    // Consoles, pseudo-terminals and the like have no device behind them.
    if (!Exists(base + "/device")) continue;
    // The kernel makes ttyS0..ttyS31 whether or not a UART is there; those without say type 0.
    if (name.rfind("ttyS", 0) == 0 && FirstLine(base + "/type") == "0") continue;
    std::string about = UsbAbout(base + "/device");
    const std::string path = dev + "/" + name;
    about += (about.empty() ? "" : ", ") + path;
    ports.push_back({name, path, "serial", "", about});
  }
  ::closedir(d);
  return ports;
}
#endif

std::vector<PortEntry> ListPorts() {
  std::vector<PortEntry> listed = ListSystemPorts();
  for (const VirtualPort& port : ListVirtualPorts()) listed.push_back({port.name, port.devicePath, "virtual", "", port.devicePath});

  std::vector<PortEntry> ports;
  for (PortEntry& entry : listed) {
    if (std::any_of(ports.begin(), ports.end(), [&](const PortEntry& p) { return p.path == entry.path; })) continue;
    const PortProbe probe = ProbePort(entry.path);
    if (probe.status == PortStatus::Missing) continue;
    entry.state = StateOf(probe.status);
    if (probe.status == PortStatus::NoPermission) entry.about = probe.hint;
    ports.push_back(std::move(entry));
  }
  std::stable_sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) { return NaturalLess(a.name, b.name); });
  // Not probed: that would connect to every gateway the user ever used.
  for (const std::string& address : RememberedNetworkPorts()) ports.push_back({address, address, "network", "remembered", ""});
  return ports;
}

bool IsNetworkPort(const std::string& port) {
  return IsNetworkPath(port);
}

std::string ResolvePort(const std::string& given) {
  if (IsNetworkPort(given)) return given;
  std::string path = given;
  if (given.find('/') == std::string::npos) {
    for (const VirtualPort& port : ListVirtualPorts())
      if (port.name == given) path = port.devicePath;
#ifdef _WIN32
    // COM3 and com3 are one port; only the \\.\ form reaches COM10 and above.
    if (given.size() > 3 && (given[0] | 0x20) == 'c' && (given[1] | 0x20) == 'o' && (given[2] | 0x20) == 'm')
      path = "\\\\.\\" + given;
#else
    if (path == given && Exists("/dev/" + given)) path = "/dev/" + given;
#endif
  }
  const PortProbe probe = ProbePort(path);
  switch (probe.status) {
    case PortStatus::Available: return path;
    case PortStatus::Missing: throw UsageError("no such port: " + given);
    case PortStatus::Busy: throw UsageError("port " + given + " is busy: another program holds it");
    case PortStatus::NoPermission: throw UsageError(probe.hint);
  }
  return path;
}

}  // namespace tamsu::cli
