// The register transactions against the transmitter simulator: the same bytes a real
// transmitter would see and send, faults included.
#include <gtest/gtest.h>

#include "modbus/frames.h"
#include "modbus/modbus_master.h"
#include "sim/simulator.h"
#include "tests/support/recording_sink.h"

namespace tamsu {
namespace {

struct Field : EditField {
  std::string text;
  std::string GetText() const override { return text; }
  void SetText(const std::string& t) override { text = t; }
};

using Sink = test::RecordingSink;

class AgainstSimulator : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimulatorOptions options;
    options.drift = false;
    sim_ = std::make_unique<sim::TransmitterSimulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
    ASSERT_EQ(link_.ReopenPort(sim_->PortPath(), 9600), 1);
    link_.CurrentAddress = 1;
  }
  void Fault(sim::FaultKind kind, int millis = 0) {
    sim::Fault f;
    f.kind = kind;
    f.millis = millis;
    sim_->AddFault(f);
  }

  std::unique_ptr<sim::TransmitterSimulator> sim_;
  Link link_;
  ModbusMaster master_{link_};
  Field field_;
  Sink sink_;
};

TEST_F(AgainstSimulator, ValuesRoundTrip) {
  ASSERT_TRUE(sim_->SetRegister(0x0010, 0xFFFF));
  master_.ShowScaledSigned(sink_, field_, 0x0010, 0.1, 1, true);
  EXPECT_EQ(field_.text, "-0.1");
  ASSERT_TRUE(sim_->SetRegister32(0x0020, 100000));
  master_.ShowRegister32(sink_, field_, 0x0020, true);
  EXPECT_EQ(field_.text, "100000");

  field_.text = "-1.5";
  EXPECT_EQ(master_.WriteFieldScaled(sink_, field_, 0x0030, 10), kSuccess);
  EXPECT_EQ(sim_->GetRegister(0x0030), 0xFFF1);
  field_.text = "1.5";
  EXPECT_EQ(master_.WriteFieldFloat(sink_, field_, 0x0040), kSuccess);
  EXPECT_EQ(sim_->GetRegister(0x0040), 0x3FC0);
  EXPECT_EQ(sim_->GetRegister(0x0041), 0x0000);
  master_.ShowFloatRegister(sink_, field_, 0x0040, true);
  EXPECT_EQ(field_.text, "1.500000");
  EXPECT_EQ(master_.WriteRegisterPair(0x0050, 0x1234, 0x5678), kSuccess);
  EXPECT_EQ(sim_->GetRegister(0x0051), 0x5678);
  ASSERT_EQ(sink_.boxes.size(), 2u);
  for (const auto& box : sink_.boxes) EXPECT_EQ(box.text, "Write Successfully");
}

TEST_F(AgainstSimulator, FaultsGiveTheirResults) {
  uint16_t v = 0;
  struct Case {
    sim::FaultKind kind;
    int millis;
    uint8_t read, write, write32;
  };
  const Case cases[] = {
      {sim::FaultKind::Exception, 0, kFormatError, kCheckError, kFormatError},
      {sim::FaultKind::BadCrc, 0, kCheckError, kCheckError, kCheckError},
      {sim::FaultKind::WrongAddress, 0, kFormatError, kCheckError, kFormatError},
      {sim::FaultKind::Split, 10, kSuccess, kSuccess, kSuccess},  // bursts closer than the silence
      {sim::FaultKind::Delay, 150, kSuccess, kSuccess, kSuccess},
      {sim::FaultKind::Silence, 0, kFormatError, kFormatError, kFormatError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    Fault(c.kind, c.millis);
    EXPECT_EQ(master_.ReadRegister(0x0001, v), c.read);
    Fault(c.kind, c.millis);
    EXPECT_EQ(master_.WriteRegister(0x0001, 7), c.write);
    Fault(c.kind, c.millis);
    EXPECT_EQ(master_.WriteRegister32(0x0002, 7), c.write32);
  }
  EXPECT_EQ(master_.ReadRegister(0x0001, v), kSuccess);  // faults used up: the line is healthy
  EXPECT_EQ(v, 7);
}

TEST_F(AgainstSimulator, ConfigurationExchanges) {
  const size_t n = master_.Exchange(BuildLegacyQuery(link_.TxFrame.data()));
  auto legacy = ParseLegacyReply(link_.RxFrame.data(), n);
  ASSERT_TRUE(legacy);
  EXPECT_EQ(legacy->address, 1);
  EXPECT_EQ(legacy->baud, 9600u);

  sim_->SetProtocol(sim::Protocol::Any255);
  const size_t m = master_.Exchange(BuildCommParamRead(link_.TxFrame.data(), 255));
  auto comm = ParseCommParamReply(link_.RxFrame.data(), m);
  ASSERT_TRUE(comm);
  EXPECT_EQ(comm->address, 1);
  EXPECT_EQ(comm->baud, 9600u);
  EXPECT_EQ(ParityText(comm->ParityCode), "No Check");
}

}  // namespace
}  // namespace tamsu
