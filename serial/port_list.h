// The port list the window and tamsu-cli show: the machine's serial ports, the virtual ports of
// the runtime port directory, then the network ports, each with its state and what tells it
// apart. One list, so what the shell says the window would offer is what the window offers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "serial/network_ports.h"
#include "serial/port_directory.h"
#include "serial/system_ports.h"

namespace tamsu {

enum class PortKind { Serial, Virtual, Network };
enum class PortState {
  Available,
  InUse,         // the port this program's own line holds (a probe finds it busy)
  Busy,          // held by another program
  NoPermission,  // this user may not open it; `about` says how to get permission
  Remembered,    // a network port: not probed, that would connect to every gateway used
};

struct PortListEntry {
  std::string name;  // as the list shows it
  std::string path;  // what is opened
  PortKind kind = PortKind::Serial;
  PortState state = PortState::Available;
  // What tells two adapters apart (maker, product, USB ids, serial number) and the device
  // path; for a port this user may not open, the fix; for a network port, what it is.
  std::string about;

  friend bool operator==(const PortListEntry&, const PortListEntry&) = default;
};

struct PortListContext {
  std::string held;        // the port this program's line holds open ("" for none)
  std::string typed;       // a network address given this run, listed before it is remembered
  bool keepBusy = false;   // list ports another program holds, marked busy (else left out)
};

// Where the entries come from; tests put their own machine behind it.
struct PortListSources {
  std::function<std::vector<SystemPort>()> system = EnumerateSystemPorts;
  std::function<std::vector<VirtualPort>()> virtuals = ListVirtualPorts;
  std::function<std::vector<std::string>()> remembered = RememberedNetworkPorts;
  std::function<PortProbe(const std::string&)> probe = ProbePort;
};

// Devices (serial and virtual, once per path, missing ones left out) in natural order of their
// names; then the network ports: the one typed, the one in use, then the remembered ones,
// newest first.
std::vector<PortListEntry> ListPorts(const PortListContext& context = {}, const PortListSources& sources = {});

// "maker, product, USB 1a86:7523, serial A1B2, /dev/ttyUSB0", without the parts not known.
std::string DescribeSystemPort(const SystemPort& port);
std::string DescribeNetworkPort(const std::string& address);
// "available", "in use", "busy", "no permission", "remembered"
const char* PortStateName(PortState state);
const char* PortKindName(PortKind kind);

}  // namespace tamsu
