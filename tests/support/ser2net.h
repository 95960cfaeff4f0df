// A real serial gateway for tests: ser2net in the foreground on 127.0.0.1, bridging one raw TCP
// port and one RFC 2217 port (both free ports picked here) to a device such as a simulator's
// pseudo-terminal. Its configuration lives in a temporary directory removed at the end.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace tamsu::test {

constexpr char kSer2net[] = "/usr/sbin/ser2net";

// A TCP port on 127.0.0.1 that nothing listens on at the moment of asking.
uint16_t FreeLoopbackPort();

class Ser2net {
 public:
  // Starts bridging `device`, with the line at 9600 8N1 until a client sets another rate.
  // `charDelay`: ser2net's default wait of two characters' time (1 ms at least) after each
  // byte from the line before it sends; off, bytes go out as they come, which suits a master
  // that frames replies by silence itself.
  explicit Ser2net(const std::string& device, bool charDelay = false);
  ~Ser2net();  // stops it, removes the configuration
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  // False with the reason when ser2net did not come up on both ports within a few seconds.
  bool Start(std::string* error = nullptr);
  // SIGKILL: the gateway vanishes the way a crash or a pulled plug would look to its clients.
  void Kill();

  std::string RawAddress() const { return "tcp://127.0.0.1:" + std::to_string(rawPort_); }
  std::string Rfc2217Address() const { return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_); }
  uint16_t RawPort() const { return rawPort_; }
  uint16_t Rfc2217Port() const { return telnetPort_; }

 private:
  std::string dir_;
  std::string device_;
  uint16_t rawPort_ = 0;
  uint16_t telnetPort_ = 0;
  pid_t pid_ = -1;
};

}  // namespace tamsu::test
