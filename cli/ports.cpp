#include "cli/ports.h"

#include <sys/stat.h>

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
    struct stat st {};
    if (path == given && ::stat(("/dev/" + given).c_str(), &st) == 0) path = "/dev/" + given;
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
