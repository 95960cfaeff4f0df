// The network line end to end on this platform's sockets and wait (Winsock and
// WaitForMultipleObjects on Windows, ppoll on POSIX): a gateway on loopback answers a read.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "modbus/frames.h"
#include "serial/link.h"
#include "serial/receive_pump.h"
#include "serial/sockets.h"

#ifndef _WIN32
#include <netinet/in.h>
#include <netinet/tcp.h>
#endif

namespace tamsu {
namespace {

using namespace std::chrono_literals;

constexpr std::array<uint8_t, 8> kRequest{0x01, 0x03, 0x00, 0x01, 0x00, 0x01, 0xD5, 0xCA};
constexpr std::array<uint8_t, 7> kReply{0x01, 0x03, 0x02, 0x00, 0xE7, 0xF8, 0x0E};

// A raw TCP gateway on 127.0.0.1 for one connection: answers every whole request, in two
// pieces so the reply is put together across reads; closes when told to.
class LoopbackGateway {
 public:
  LoopbackGateway() {
    EXPECT_TRUE(sockets::Start());
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    EXPECT_EQ(::listen(listener_, 1), 0);
    EXPECT_EQ(::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size), 0);
    // Its pieces go out as written: a peer that holds the second for our acknowledgement
    // (Nagle) is answered at once only where the system can be asked to (Linux).
    const int on = 1;
    ::setsockopt(listener_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    port_ = ntohs(at.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackGateway() {
    Hangup();
    sockets::Close(listener_);
    thread_.join();
  }
  std::string Address() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
  void Hangup() { close_.store(true); }
  int Answered() const { return answered_.load(); }

 private:
  void Serve() {
    const sockets::Handle peer = ::accept(listener_, nullptr, nullptr);
    if (peer == sockets::kNone) return;
    std::array<uint8_t, 64> got{};
    size_t have = 0;
    while (!close_.load()) {
      short revents = 0;
      if (sockets::Wait(peer, POLLIN, 20, &revents) <= 0) continue;
      const long n = sockets::Receive(peer, got.data() + have, got.size() - have);
      if (n <= 0) break;
      have += static_cast<size_t>(n);
      while (have >= kRequest.size()) {
        sockets::Send(peer, kReply.data(), 3);
        std::this_thread::sleep_for(5ms);  // a gap well inside the silence: still one reply
        answered_.fetch_add(1);  // counted before its last byte, so the reader never sees it first
        sockets::Send(peer, kReply.data() + 3, kReply.size() - 3);
        std::memmove(got.data(), got.data() + kRequest.size(), have - kRequest.size());
        have -= kRequest.size();
      }
    }
    sockets::Close(peer);
  }

  sockets::Handle listener_ = sockets::kNone;
  uint16_t port_ = 0;
  std::atomic<bool> close_{false};
  std::atomic<int> answered_{0};
  std::thread thread_;
};

size_t ReadOnce(Link& link) {
  std::memcpy(link.TxFrame.data(), kRequest.data(), kRequest.size());
  return link.Exchange(kRequest.size(), 2s, ExpectedReply(link.TxFrame.data(), kRequest.size()));
}

TEST(NetworkLineOnThisPlatform, RepliesArriveWholeTheIdleLineSleepsAndClosingEndsTheWait) {
  LoopbackGateway gateway;
  Link link;
  ASSERT_EQ(link.ReopenPort(gateway.Address(), 9600), 1) << link.Port.LastError();

  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(ReadOnce(link), kReply.size());
    EXPECT_EQ(0, std::memcmp(link.RxFrame.data(), kReply.data(), kReply.size()));
  }
  // The same reply again within the copy lag is asked for once more: a gateway's copy of the
  // reply before would look just so.
  EXPECT_GE(gateway.Answered(), 3);
  EXPECT_LE(gateway.Answered(), 5);

  // Nothing on the line: the receive thread waits, it does not poll.
  const uint64_t before = link.Pump().Wakeups();
  std::this_thread::sleep_for(300ms);
  EXPECT_LE(link.Pump().Wakeups() - before, 2u);

  // The receive thread's wait on the open connection is ended by a close (no hang).
  link.ClosePort();
  EXPECT_EQ(link.PortOpen.load(), 0);
  EXPECT_EQ(ReadOnce(link), 0u);
}

TEST(NetworkLineOnThisPlatform, AGatewayThatGoesAwayEndsTheLineAtOnce) {
  LoopbackGateway gateway;
  Link link;
  ASSERT_EQ(link.ReopenPort(gateway.Address(), 9600), 1) << link.Port.LastError();
  ASSERT_EQ(ReadOnce(link), kReply.size());
  gateway.Hangup();
  const auto deadline = Link::Clock::now() + 5s;
  while (!link.HungUp() && Link::Clock::now() < deadline) link.WaitForFrame(Link::Clock::now() + 50ms);
  EXPECT_TRUE(link.HungUp());
  EXPECT_EQ(ReadOnce(link), 0u);
}

TEST(NetworkLineOnThisPlatform, ARefusedConnectionFailsWithTheSystemsReason) {
  Link link;  // nobody listens on port 1
  EXPECT_EQ(link.ReopenPort("tcp://127.0.0.1:1", 9600), 0);
  EXPECT_NE(link.Port.LastError().find("tcp 127.0.0.1:1: "), std::string::npos) << link.Port.LastError();
  EXPECT_EQ(link.PortOpen.load(), 0);
}

}  // namespace
}  // namespace tamsu
