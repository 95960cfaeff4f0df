// The link through a real serial gateway: ser2net on 127.0.0.1 bridging raw TCP and RFC 2217
// to a simulated transmitter's pseudo-terminal, and the simulator's own TCP listener.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "modbus/frames.h"
#include "modbus/modbus_master.h"
#include "serial/link.h"
#include "sim/simulator.h"
#include "tests/support/ser2net.h"

namespace tamsu {
namespace {

using Clock = std::chrono::steady_clock;
using test::Ser2net;

sim::SimulatorOptions Generic() {
  sim::SimulatorOptions o;
  o.profile = "generic";
  o.drift = false;
  o.device.protocol = sim::Protocol::Modbus;
  return o;
}

class GatewayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim_.Start(&error)) << error;
    gateway_ = std::make_unique<Ser2net>(sim_.DevicePath());
    ASSERT_TRUE(gateway_->Start(&error)) << error;
    link_.CurrentAddress = 1;
  }

  uint8_t Read(uint16_t reg, uint16_t& value) { return master_.ReadRegister(reg, value); }
  void ExpectFfIntact(const std::string& where);

  sim::TransmitterSimulator sim_{Generic()};
  std::unique_ptr<Ser2net> gateway_;
  Link link_;
  ModbusMaster master_{link_};
};

TEST_F(GatewayTest, Rfc2217SetsTheGatewaysLineRateOnOpenAndOnEveryChange) {
  sim_.SetBaud(4800);
  ASSERT_EQ(link_.ReopenPort(gateway_->Rfc2217Address(), 4800), 1) << link_.Port.LastError();
  EXPECT_TRUE(link_.Port.SetsLineRate());
  uint16_t value = 0;
  sim_.SetRegister(0x0010, 1234);
  ASSERT_EQ(Read(0x0010, value), 0);
  EXPECT_EQ(value, 1234);
  EXPECT_EQ(sim_.RequestLog().back().lineBaud, 4800u);

  // The same connection moves to the new rate; the device follows and answers there.
  sim_.SetBaud(2400);
  ASSERT_EQ(link_.ReopenPort(gateway_->Rfc2217Address(), 2400), 1) << link_.Port.LastError();
  ASSERT_EQ(Read(0x0010, value), 0);
  EXPECT_EQ(sim_.RequestLog().back().lineBaud, 2400u);
  // A device left at another rate is not heard.
  ASSERT_EQ(link_.ReopenPort(gateway_->Rfc2217Address(), 9600), 1);
  EXPECT_EQ(Read(0x0010, value), 2);
}

// A register holding 0xFFFF, a written 0xFFFF and a request whose CRC holds 0xFF all cross
// the gateway intact (over RFC 2217 each of them escaped).
void GatewayTest::ExpectFfIntact(const std::string& where) {
  uint8_t address = 0;
  uint8_t frame[8];
  for (int a = 1; a <= 247 && !address; ++a) {
    BuildReadRequest(frame, static_cast<uint8_t>(a), 0x0020, 1);
    if (frame[6] == 0xFF || frame[7] == 0xFF) address = static_cast<uint8_t>(a);
  }
  ASSERT_NE(address, 0);
  sim_.SetAddress(address);
  link_.CurrentAddress = address;
  ASSERT_EQ(link_.ReopenPort(where, 9600), 1) << where << ": " << link_.Port.LastError();
  sim_.SetRegister(0x0020, 0xFFFF);
  uint16_t value = 0;
  ASSERT_EQ(Read(0x0020, value), 0);
  EXPECT_EQ(value, 0xFFFF);
  sim_.SetRegister(0x0021, 0);
  ASSERT_EQ(master_.WriteRegister(0x0021, 0xFFFF), 0);
  EXPECT_EQ(sim_.GetRegister(0x0021), 0xFFFF);
  ASSERT_EQ(sim_.RequestLog().size(), 2u);
  for (const sim::LogEntry& entry : sim_.RequestLog()) EXPECT_TRUE(CheckReplyCrc(entry.request.data(), entry.request.size()));
}

TEST_F(GatewayTest, BytesOf0xFFCrossRfc2217Intact) { ExpectFfIntact(gateway_->Rfc2217Address()); }
TEST_F(GatewayTest, BytesOf0xFFCrossRawTcpIntact) { ExpectFfIntact(gateway_->RawAddress()); }

TEST_F(GatewayTest, AKilledGatewayFailsExchangesAtOnceAndTheNextOpenConnectsAgain) {
  ASSERT_EQ(link_.ReopenPort(gateway_->Rfc2217Address(), 9600), 1) << link_.Port.LastError();
  uint16_t value = 0;
  ASSERT_EQ(Read(0x0001, value), 0);
  gateway_->Kill();
  // The hang-up reaches the receive thread on its own; the next exchanges fail without
  // sitting out their reply wait.
  link_.WaitForFrame(Clock::now() + std::chrono::seconds(2));  // woken by the hang-up
  ASSERT_TRUE(link_.HungUp());
  for (int i = 0; i < 3; ++i) {
    const auto t = Clock::now();
    EXPECT_EQ(Read(0x0001, value), 2);
    // Far below the 500 ms reply wait, with room for a loaded machine.
    EXPECT_LT(Clock::now() - t, std::chrono::milliseconds(300));
  }
  // The gateway back on its ports: the next open connects again.
  std::string error;
  ASSERT_TRUE(gateway_->Start(&error)) << error;
  ASSERT_EQ(link_.ReopenPort(gateway_->Rfc2217Address(), 9600), 1) << link_.Port.LastError();
  EXPECT_EQ(Read(0x0001, value), 0);
}

TEST(NetworkOpen, AClosedPortFailsAtOnceAndASilentAddressWithinTheDeadline) {
  Link link;
  const uint16_t closed = test::FreeLoopbackPort();
  auto t = Clock::now();
  EXPECT_EQ(link.ReopenPort("tcp://127.0.0.1:" + std::to_string(closed), 9600), 0);
  EXPECT_LT(Clock::now() - t, std::chrono::milliseconds(1000));  // the deadline is 3 s
  EXPECT_NE(link.Port.LastError().find("refused"), std::string::npos) << link.Port.LastError();
  EXPECT_EQ(link.PortOpen.load(), 0);

  // A listener that accepts nothing and answers nothing: the Telnet negotiation never ends.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
  t = Clock::now();
  EXPECT_EQ(link.ReopenPort("rfc2217://127.0.0.1:" + std::to_string(ntohs(a.sin_port)), 9600), 0);
  const auto took = Clock::now() - t;
  EXPECT_GE(took, std::chrono::milliseconds(2900));
  EXPECT_LT(took, std::chrono::milliseconds(4000));
  EXPECT_NE(link.Port.LastError().find("did not answer"), std::string::npos) << link.Port.LastError();
  ::close(listener);
}

TEST(SimulatorListener, ServesRawRtuOverTcpToTheLink) {
  sim::SimulatorOptions o = Generic();
  o.listenAnyPort = true;
  sim::TransmitterSimulator sim(o);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  ASSERT_NE(sim.ListenPort(), 0);
  Link link;
  ModbusMaster master(link);
  link.CurrentAddress = 1;
  const std::string address = "127.0.0.1:" + std::to_string(sim.ListenPort());
  ASSERT_EQ(link.ReopenPort(address, 9600), 1) << link.Port.LastError();
  EXPECT_FALSE(link.Port.SetsLineRate());
  EXPECT_EQ(link.Port.Transport(), "tcp " + address);
  sim.SetRegister(0x0005, 0xFF00);
  uint16_t value = 0;
  ASSERT_EQ(master.ReadRegister(0x0005, value), 0);
  EXPECT_EQ(value, 0xFF00);
  // By name too (localhost comes from the hosts file, no name server asked).
  ASSERT_EQ(link.ReopenPort("tcp://localhost:" + std::to_string(sim.ListenPort()), 9600), 1) << link.Port.LastError();
  ASSERT_EQ(master.ReadRegister(0x0005, value), 0);
  // The connection's end is a hang-up, as an unplugged adapter is.
  sim.Stop();
  link.WaitForFrame(Clock::now() + std::chrono::seconds(2));  // woken by the hang-up
  EXPECT_TRUE(link.HungUp());
  EXPECT_EQ(master.ReadRegister(0x0005, value), 2);
}

}  // namespace
}  // namespace tamsu
