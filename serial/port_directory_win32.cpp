// Windows has no runtime port directory: its ports are the COM ports the system lists. A port
// is probed by opening it exclusively, as the line itself opens it.
#include <windows.h>

#include "serial/port_directory.h"
#include "serial/wide_text.h"

namespace tamsu {

std::string RuntimePortDirectory() { return {}; }
std::string RuntimePortBase() { return {}; }

int OpenPortDirectory(const std::string&, const std::string&, bool, std::string* problem) {
  if (problem) problem->clear();
  return -1;
}

std::vector<VirtualPort> ListVirtualPorts() { return {}; }

PortProbe ProbePort(const std::string& devicePath) {
  PortProbe probe;
  if (devicePath.empty()) return probe;
  const HANDLE h = ::CreateFileW(Widen(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    ::CloseHandle(h);
    probe.status = PortStatus::Available;
    return probe;
  }
  // A COM port another program holds answers "access denied" (it is opened without sharing);
  // only a port's security settings refuse this user otherwise, which Windows reports alike.
  switch (::GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: probe.status = PortStatus::Busy; break;
    case ERROR_PRIVILEGE_NOT_HELD:
      probe.status = PortStatus::NoPermission;
      probe.hint = "Opening " + devicePath + " will fail: permission denied. Ask the machine's administrator for access to the port.";
      break;
    default: break;  // no such port, or no hardware behind it
  }
  return probe;
}

}  // namespace tamsu
