#include "serial/port_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <system_error>

namespace tamsu {

std::string RuntimePortDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/tamsu-tools/ports";
  return "/tmp/tamsu-tools-" + std::to_string(::getuid()) + "/ports";
}

std::string RuntimePortBase() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime && *runtime ? runtime : "/tmp";
}

namespace {

std::string GroupName(gid_t gid) {
  group entry{};
  group* found = nullptr;
  char buffer[4096];
  if (::getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->gr_name;
  return std::to_string(gid);
}

std::string PermissionHint(const std::string& devicePath, const struct stat& st) {
  const std::string group = GroupName(st.st_gid);
  return "Opening " + devicePath + " will fail: permission denied. Add your user to the group '" + group +
         "' (sudo usermod -aG " + group + " $USER), then log out and in again.";
}

std::string ErrorText(int error) { return std::generic_category().message(error); }

std::string Refused(const std::string& dir, const std::string& level, const std::string& why,
                    const std::string& fix) {
  return "refusing the port directory " + dir + ": " + level + " " + why + "; " + fix;
}

// Whether only this user can have put or changed what `st` describes: owned by this user and
// writable by no one else. Otherwise why not, with `path` in the fix.
bool OnlyMine(const struct stat& st, const std::string& path, std::string* why, std::string* fix) {
  if (st.st_uid != ::geteuid()) {
    *why = "belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    *fix = "remove it (as that user or root)";
    return false;
  }
  if (st.st_mode & (S_IWGRP | S_IWOTH)) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    *why = std::string("can be written by other users (mode ") + mode + ")";
    *fix = std::string("make it private (chmod ") + (S_ISDIR(st.st_mode) ? "700 " : "go-w ") + path +
           ") and check what is in it";
    return false;
  }
  return true;
}

// Says each refusal once: the port list is rebuilt on every drop-down.
void SayOnce(const std::string& problem) {
  static std::mutex mutex;
  static std::set<std::string> said;
  std::lock_guard lock(mutex);
  if (said.insert(problem).second) std::fprintf(stderr, "tamsu-tools: %s\n", problem.c_str());
}

}  // namespace

int OpenPortDirectory(const std::string& base, const std::string& dir, bool create, std::string* problem) {
  auto fail = [&](std::string why) {
    if (problem) *problem = std::move(why);
    return -1;
  };
  if (problem) problem->clear();
  const std::string prefix = !base.empty() && base.back() == '/' ? base : base + "/";
  if (base.empty() || dir.size() <= prefix.size() || dir.compare(0, prefix.size(), prefix) != 0)
    return fail("the port directory " + dir + " is not below " + base);
  if (create) {
    // The system's levels as mkdir -p would make them; what is below them is checked next.
    for (size_t pos = 0; pos != std::string::npos;) {
      pos = base.find('/', pos + 1);
      ::mkdir(base.substr(0, pos).c_str(), 0700);  // a failure shows when the level is opened
    }
  }
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT && !create ? -1 : fail("cannot open " + base + ": " + ErrorText(errno));
  // Level by level from the descriptor of the one above, so no link or rename between the
  // check and the use can lead anywhere else.
  std::string level = prefix.substr(0, prefix.size() - 1);
  for (size_t start = prefix.size(); start < dir.size();) {
    size_t end = dir.find('/', start);
    if (end == std::string::npos) end = dir.size();
    const std::string name = dir.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    level += "/" + name;
    if (create && ::mkdirat(fd, name.c_str(), 0700) != 0 && errno != EEXIST) {
      const int error = errno;
      ::close(fd);
      return fail("cannot create " + level + ": " + ErrorText(error));
    }
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int openError = errno;
    struct stat st {};
    const bool exists = ::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    ::close(fd);
    fd = next;
    if (fd < 0) {
      if (!exists && openError == ENOENT) return create ? fail("cannot create " + level) : -1;
      if (exists && S_ISLNK(st.st_mode))
        return fail(Refused(dir, level, "is a symbolic link", "remove it (rm " + level + ") and try again"));
      if (exists && !S_ISDIR(st.st_mode))
        return fail(Refused(dir, level, "is not a directory", "remove it (rm " + level + ") and try again"));
      return fail("cannot open " + level + ": " + ErrorText(openError));
    }
    if (::fstat(fd, &st) != 0) {
      const int error = errno;
      ::close(fd);
      return fail("cannot open " + level + ": " + ErrorText(error));
    }
    std::string why, fix;
    if (!OnlyMine(st, level, &why, &fix)) {
      if (st.st_uid != ::geteuid()) fix += ", or set XDG_RUNTIME_DIR to a private directory of yours";
      ::close(fd);
      return fail(Refused(dir, level, why, fix));
    }
  }
  return fd;
}

int OpenPrivateFile(const std::string& path, bool append, std::string* problem) {
  auto fail = [&](std::string why) {
    if (problem) *problem = std::move(why);
    return -1;
  };
  if (problem) problem->clear();
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return fail(path + " names a directory, not a file");
  // The file is opened from the directory's own descriptor, so what was checked is what is used.
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return fail("cannot open the directory " + dir + ": " + ErrorText(errno));
  struct stat st {};
  std::string why, fix;
  if (::fstat(dirFd, &st) != 0 || !OnlyMine(st, dir, &why, &fix)) {
    ::close(dirFd);
    if (why.empty()) return fail("cannot open the directory " + dir + ": " + ErrorText(errno));
    return fail("refusing " + path + ": its directory " + dir + " " + why +
                ", so another user could replace the file; keep it in a directory of your own that only you can write");
  }
  const int flags = (append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  const int fd = ::openat(dirFd, name.c_str(), flags, 0644);
  const int openError = errno;
  ::close(dirFd);
  if (fd < 0) {
    if (openError == ENOENT && !append) return -1;
    if (openError == ELOOP) return fail("refusing " + path + ": it is a symbolic link; give the file itself");
    return fail("cannot open " + path + ": " + ErrorText(openError));
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return fail("refusing " + path + ": not a regular file");
  }
  if (!OnlyMine(st, path, &why, &fix)) {
    ::close(fd);
    return fail("refusing " + path + ": it " + why + "; " + fix + ", or give a file of your own");
  }
  // Appends and reads wait for the disk as usual.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

PortProbe ProbePort(const std::string& devicePath) {
  PortProbe probe;
  struct stat st {};
  if (devicePath.empty() || ::stat(devicePath.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return probe;
  int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM) {
      probe.status = PortStatus::NoPermission;
      probe.hint = PermissionHint(devicePath, st);
    } else if (errno == EBUSY) {
      probe.status = PortStatus::Busy;
    }
    return probe;  // ENXIO, ENODEV, EIO: no hardware behind the node
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    probe.status = PortStatus::Busy;
  } else {
    ::flock(fd, LOCK_UN);
    probe.status = PortStatus::Available;
  }
  ::close(fd);
  return probe;
}

std::vector<VirtualPort> ListVirtualPorts() {
  std::vector<VirtualPort> ports;
  const std::string dir = RuntimePortDirectory();
  std::string problem;
  const int fd = OpenPortDirectory(RuntimePortBase(), dir, false, &problem);
  if (fd < 0) {
    if (!problem.empty()) SayOnce(problem);
    return ports;
  }
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return ports;
  }
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat link {}, target {};
    if (::fstatat(fd, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode)) continue;
    if (link.st_uid != ::geteuid()) continue;  // someone else's link: not ours to offer
    if (::fstatat(fd, name.c_str(), &target, 0) != 0 || !S_ISCHR(target.st_mode)) continue;  // stale link
    ports.push_back({name, dir + "/" + name});
  }
  ::closedir(d);
  std::sort(ports.begin(), ports.end(),
            [](const VirtualPort& a, const VirtualPort& b) { return NaturalLess(a.name, b.name); });
  return ports;
}

}  // namespace tamsu
