// Where virtual ports are published (the simulator, a socat pseudo-terminal, any device a
// user links there), and how a device path is probed before it is offered in the port list.
#pragma once

#include <string>
#include <vector>

namespace tamsu {

// $XDG_RUNTIME_DIR/tamsu-tools/ports, or /tmp/tamsu-tools-<uid>/ports when that is unset.
std::string RuntimePortDirectory();
// The system's directory the port directory lives under: $XDG_RUNTIME_DIR, or /tmp.
std::string RuntimePortBase();

// Opens `dir` for reading only once nobody but this user can have put or changed anything in
// it: every level below `base` down to `dir` must be a real directory (not a link), owned by
// this user and writable by no one else. Other users can create /tmp/tamsu-tools-<uid> before
// we do, and a directory they control would let them plant or re-point ports. With `create`,
// missing levels are made first, mode 0700. Returns the directory's descriptor (the caller
// closes it), or -1: with `problem` set to why the directory is refused and what fixes it, or
// left empty when the directory does not exist (and was not to be created).
int OpenPortDirectory(const std::string& base, const std::string& dir, bool create, std::string* problem);

// Opens a file of this user's (a commissioning record), for reading, or for appending when
// `append` (created, mode 0644, when missing), once nobody else can have put or changed it: a
// regular file, not a link, owned by this user and writable by no one else, in a directory that
// is the same (the port directory's rules, so no one can swap the file under it). Returns the
// descriptor, or -1: with `problem` saying why the file is refused and what fixes it, or empty
// when it does not exist (and was not to be created).
int OpenPrivateFile(const std::string& path, bool append, std::string* problem);

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

// Every symlink of this user's in the runtime port directory that resolves to a character
// device. None when the directory is refused; why is said once on standard error.
std::vector<VirtualPort> ListVirtualPorts();

// Natural order: "ttyUSB2" before "ttyUSB10".
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace tamsu
