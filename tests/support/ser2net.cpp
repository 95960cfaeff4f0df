#include "tests/support/ser2net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tamsu::test {
namespace {

// Whether something listens on 127.0.0.1:port, read from the kernel's socket table so that no
// probing connection makes the gateway open its device.
bool Listening(uint16_t port) {
  std::ifstream table("/proc/net/tcp");
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == wanted && state == "0A") return true;
  }
  return false;
}

}  // namespace

uint16_t FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  if (fd >= 0) ::close(fd);
  return port;
}

Ser2net::Ser2net(const std::string& device, bool charDelay) : device_(device) {
  char dir[] = "/tmp/tamsu-ser2net-XXXXXX";
  if (::mkdtemp(dir)) dir_ = dir;
  rawPort_ = FreeLoopbackPort();
  telnetPort_ = FreeLoopbackPort();
  while (telnetPort_ == rawPort_) telnetPort_ = FreeLoopbackPort();
  // `local`: a pseudo-terminal has no modem lines to watch. A new client takes the line over
  // from one that went away without closing.
  const std::string options =
      std::string("  options:\n    kickolduser: true\n    chardelay: ") + (charDelay ? "true" : "false") + "\n";
  std::ofstream config(dir_ + "/ser2net.yaml");
  config << "%YAML 1.1\n---\n"
         << "connection: &raw\n  accepter: tcp,127.0.0.1," << rawPort_ << "\n  connector: serialdev," << device_
         << ",9600n81,local\n" << options
         << "connection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << telnetPort_
         << "\n  connector: serialdev," << device_ << ",9600n81,local\n" << options;
}

Ser2net::~Ser2net() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  if (!dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
}

bool Ser2net::Start(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (dir_.empty() || rawPort_ == 0 || telnetPort_ == 0) return fail("no temporary directory or free port");
  if (::access(kSer2net, X_OK) != 0) return fail(std::string(kSer2net) + " is not installed (scripts/setup installs it)");
  const std::string config = dir_ + "/ser2net.yaml";
  const std::string pidFile = dir_ + "/ser2net.pid";
  const std::string log = dir_ + "/ser2net.log";
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
  // -n: stay in the foreground, so the test owns the process; -d: say what goes wrong.
  const char* argv[] = {kSer2net, "-n", "-d", "-c", config.c_str(), "-P", pidFile.c_str(), nullptr};
  const int r = posix_spawn(&pid_, kSer2net, &files, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&files);
  if (r != 0) {
    pid_ = -1;
    return fail("cannot start ser2net");
  }
  // ser2net tells nobody when it is ready; its listening sockets are the sign.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!(Listening(rawPort_) && Listening(telnetPort_))) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      std::ifstream in(log);
      return fail("ser2net ended: " + std::string(std::istreambuf_iterator<char>(in), {}));
    }
    if (std::chrono::steady_clock::now() > deadline) return fail("ser2net did not listen within 5 s");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void Ser2net::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace tamsu::test
