// Windows has no runtime port directory: its ports are the COM ports the system lists. A port
// is probed by opening it exclusively, as the line itself opens it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

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

// A record file: a regular file, not a link (a reparse point), opened by its wide-character
// name. Windows' folders under the user's profile are the user's own; no owner test here.
int OpenPrivateFile(const std::string& path, bool append, std::string* problem) {
  if (problem) problem->clear();
  const std::wstring name = Widen(path);
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    if (problem) *problem = "is a link or a folder, not a file; give a file of your own";
    return -1;
  }
  if (attributes == INVALID_FILE_ATTRIBUTES && !append) return -1;
  const int fd = ::_wopen(name.c_str(), (append ? _O_WRONLY | _O_APPEND | _O_CREAT : _O_RDONLY) | _O_BINARY | _O_NOINHERIT,
                          _S_IREAD | _S_IWRITE);
  if (fd < 0 && problem) *problem = "cannot be opened";
  return fd;
}

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
