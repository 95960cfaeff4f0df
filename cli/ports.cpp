#include "cli/ports.h"

#include <filesystem>

#include "cli/options.h"
#include "serial/network_ports.h"
#include "serial/port_list.h"

namespace tamsu::cli {

std::vector<PortEntry> ListPorts() {
  // The window's list; a port another program holds is shown too, so a user asking why the
  // window leaves an adapter out learns it is busy.
  PortListContext context;
  context.keepBusy = true;
  std::vector<PortEntry> ports;
  for (const PortListEntry& entry : tamsu::ListPorts(context))
    ports.push_back({entry.name, entry.path, PortKindName(entry.kind), PortStateName(entry.state), entry.about});
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
    if (path == given && given.size() > 3 && (given[0] | 0x20) == 'c' && (given[1] | 0x20) == 'o' &&
        (given[2] | 0x20) == 'm')
      path = "\\\\.\\" + given;
#else
    std::error_code error;
    if (path == given && std::filesystem::exists("/dev/" + given, error)) path = "/dev/" + given;
#endif
  }
  const PortProbe probe = ProbePort(path);
  switch (probe.status) {
    case PortStatus::Available: return path;
    // A port that is missing, busy or not ours to open is a failure of the port, not of the
    // command line.
    case PortStatus::Missing: throw Failure("no such port: " + given);
    case PortStatus::Busy: throw Failure("port " + given + " is busy: another program holds it");
    case PortStatus::NoPermission: throw Failure(probe.hint);
  }
  return path;
}

}  // namespace tamsu::cli
