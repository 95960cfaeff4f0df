// Third-party Modbus masters (mbpoll, a libmodbus program) against the simulator: they must
// read what it holds, write what it keeps, and see the exceptions it sends.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "sim/simulator.h"

namespace tamsu::sim {
namespace {

struct Outcome {
  int status = -1;
  std::string output;
};

Outcome Shell(const std::string& command) {
  Outcome r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
  const int s = pclose(p);
  r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return r;
}

class Peers : public ::testing::Test {
 protected:
  void SetUp() override {
    SimulatorOptions o;
    o.profile = "TemHumKanbanPage";
    o.device.address = 17;
    o.device.baud = 19200;
    o.device.protocol = Protocol::Modbus;
    o.drift = false;
    sim_ = std::make_unique<TransmitterSimulator>(o);
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }
  Outcome Mbpoll(const std::string& args) {
    return Shell("mbpoll -q -m rtu -a 17 -b 19200 -P none -t 4 -0 -1 -o 1 " + args);
  }
  Outcome Peer(const std::string& args) {
    return Shell(std::string(TAMSU_MODBUS_PEER) + " " + sim_->PortPath() + " 19200 17 " + args);
  }
  std::unique_ptr<TransmitterSimulator> sim_;
};

TEST_F(Peers, MbpollReadsWritesAndSeesExceptions) {
  const std::string port = sim_->PortPath();
  Outcome r = Mbpoll("-r 0 -c 2 " + port);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("[0]: \t550"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("[1]: \t230"), std::string::npos) << r.output;

  r = Mbpoll("-r 0x30 " + port + " 65336");  // -20.0
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(sim_->GetRegister(0x30), 65336);
  r = Mbpoll("-r 0x35 " + port + " 700 300 25");  // three registers in one request
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(sim_->GetRegister(0x35), 700);
  EXPECT_EQ(sim_->GetRegister(0x36), 300);
  EXPECT_EQ(sim_->GetRegister(0x37), 25);

  r = Mbpoll("-r 0x38 " + port);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("Illegal data address"), std::string::npos) << r.output;
  r = Mbpoll("-r 1 " + port + " 5");  // a measured value is not writable
  EXPECT_NE(r.output.find("Illegal data address"), std::string::npos) << r.output;
  EXPECT_EQ(sim_->GetRegister(1), 230);
}

TEST_F(Peers, LibmodbusReadsWritesAndSeesExceptionCodes) {
  ASSERT_TRUE(sim_->SetRegister(0x0001, 0xFF38));
  Outcome r = Peer("read 0 2");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "550 65336\n");

  r = Peer("write 0x50 65531");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(sim_->GetRegister(0x50), 65531);
  r = Peer("writemany 0x30 355 65486");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Peer("read 0x30 3").output, "355 65486 10\n");

  r = Peer("read 0x0000 3");  // register 2 does not exist on this device
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.output, "exception 2\n");
  EXPECT_EQ(Peer("write 0 1").output, "exception 2\n");

  sim_->AddFault({.kind = FaultKind::Exception, .code = kDeviceFailure});
  r = Peer("read 0 1");
  EXPECT_EQ(r.output, "exception 4\n");
}

// A strict slave, framing requests by silence and answering at the line's pace after a
// turnaround, still serves both masters.
TEST_F(Peers, MastersReadAStrictPacedSlave) {
  sim_->Stop();
  SimulatorOptions o;
  o.profile = "TemHumKanbanPage";
  o.device = {.address = 17, .baud = 19200, .protocol = Protocol::Modbus};
  o.drift = false;
  o.completion = Completion::BySilence;
  o.pace = true;
  o.turnaround = std::chrono::milliseconds(5);
  sim_ = std::make_unique<TransmitterSimulator>(o);
  ASSERT_TRUE(sim_->Start());
  Outcome r = Mbpoll("-r 0 -c 2 " + sim_->PortPath());
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("[1]: \t230"), std::string::npos) << r.output;
  r = Peer("writemany 0x30 355 65486");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Peer("read 0x30 2").output, "355 65486\n");
}

}  // namespace
}  // namespace tamsu::sim
