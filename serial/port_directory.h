// Where virtual ports are published (the simulator, a socat pseudo-terminal, any device a
// user links there), and how a device path is probed before it is offered in the port list.
#pragma once

#include <string>
#include <vector>

namespace tamsu {

// $XDG_RUNTIME_DIR/tamsu-tools/ports, or /tmp/tamsu-tools-<uid>/ports when that is unset.
std::string RuntimePortDirectory();

enum class PortStatus { Available, Missing, Busy, NoPermission };

struct PortProbe {
  PortStatus status = PortStatus::Missing;
  std::string hint;  // for NoPermission: why opening fails and what fixes it (group membership)
};

// Whether the device exists, is held by another program (exclusive or locked), or may not be
// opened by this user. Opens nothing for longer than the probe.
PortProbe ProbePort(const std::string& devicePath);

struct VirtualPort {
  std::string name;        // the link's name, shown in the port list
  std::string devicePath;  // the link's full path (opened as is)
};

// Every symlink in the runtime port directory that resolves to a character device.
std::vector<VirtualPort> ListVirtualPorts();

// Natural order: "ttyUSB2" before "ttyUSB10".
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace tamsu
