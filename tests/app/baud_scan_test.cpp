#include "app/baud_scan.h"

#include <gtest/gtest.h>

#include "modbus/frames.h"
#include "sim/simulator.h"
#include "tests/support/recording_sink.h"

namespace tamsu {
namespace {

using test::RecordingSink;

const std::string kColon = "\xEF\xBC\x9A";

struct Window {
  int scanEnabledCalls = 0;
  bool scanEnabled = true;
  int address = -1;
  int baud = -1;
  bool deviceButtons = false;
};

class BaudScanTest : public ::testing::Test {
 protected:
  // Starts a transmitter with this configuration behind a pseudo-terminal.
  void StartDevice(sim::DeviceConfig config, sim::Mismatch mismatch = sim::Mismatch::Garbage) {
    sim::SimulatorOptions options;
    options.device = config;
    options.mismatch = mismatch;
    sim_ = std::make_unique<sim::TransmitterSimulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }

  ScanOutcome Scan(const std::string& path) {
    ScanControls controls;
    controls.enableScanControls = [this](bool on) {
      window_.scanEnabled = on;
      ++window_.scanEnabledCalls;
    };
    controls.showDevice = [this](int a, int b) {
      window_.address = a;
      window_.baud = b;
    };
    controls.enableDeviceButtons = [this] { window_.deviceButtons = true; };
    BaudScan scan(link_, master_, sink_, config_, controls);
    return scan.TestBaudRate(path);
  }

  uint32_t OpenRate() const { return link_.Port.Settings().baudRate; }

  Link link_;
  ModbusMaster master_{link_};
  RecordingSink sink_;
  DeviceConfig config_;
  Window window_;
  std::unique_ptr<sim::TransmitterSimulator> sim_;
};

TEST_F(BaudScanTest, LegacyDeviceAt4800IsFoundAfterTheFailed2400Attempt) {
  StartDevice({.address = 12, .baud = 4800, .protocol = sim::Protocol::Legacy});
  config_.mode = ConfigMode::Any0;  // left over from an earlier scan
  EXPECT_EQ(Scan(sim_->PortPath()), ScanOutcome::Legacy);

  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, "Device address" + kColon + "12  BaudRate" + kColon + "4800");
  EXPECT_EQ(sink_.boxes[0].caption, "Test Result");
  EXPECT_EQ(sink_.boxes[0].icon, MessageIcon::None);
  EXPECT_EQ(config_.mode, ConfigMode::Legacy);
  EXPECT_EQ(config_.DetectedBaud, 4800);
  EXPECT_EQ(link_.CurrentAddress, 12);
  EXPECT_EQ(window_.address, 12);
  EXPECT_EQ(window_.baud, 4800);
  EXPECT_TRUE(window_.deviceButtons);
  EXPECT_TRUE(window_.scanEnabled);
  // The port stays open at the rate that answered, and the 2400 attempt came first.
  EXPECT_NE(link_.PortOpen.load(), 0);
  EXPECT_EQ(OpenRate(), 4800u);
  const auto log = sim_->RequestLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.front().lineBaud, 2400u);
  EXPECT_EQ(log.back().lineBaud, 4800u);
}

TEST_F(BaudScanTest, Any255DeviceReportsParityAndNormalOrAbnormalState) {
  for (uint16_t status4 : {1, 2}) {
    SCOPED_TRACE(status4);
    sink_.boxes.clear();
    StartDevice({.address = 33, .baud = 9600, .protocol = sim::Protocol::Any255, .parity = 1, .status3 = 0,
                  .status4 = status4},
                 sim::Mismatch::Silence);
    EXPECT_EQ(Scan(sim_->PortPath()), ScanOutcome::Any255);
    ASSERT_EQ(sink_.boxes.size(), 1u);
    const std::string expected =
        "Soil Transmitter\r\nAddress" + kColon + "33  BaudRate" + kColon + "9600\r\nOdd Parity Check";
    if (status4 == 1) {
      EXPECT_EQ(sink_.boxes[0].text, expected);
      EXPECT_EQ(sink_.boxes[0].caption, "Test Result");
      EXPECT_EQ(sink_.boxes[0].icon, MessageIcon::None);
    } else {
      EXPECT_EQ(sink_.boxes[0].text,
                expected + "\r\nStop bit exception,please reconfigure address or baud rate");
      EXPECT_EQ(sink_.boxes[0].caption, "Abnormal test results");
      EXPECT_EQ(sink_.boxes[0].icon, MessageIcon::Question);
    }
    EXPECT_EQ(config_.mode, ConfigMode::Any255);
    EXPECT_EQ(config_.ReportedBaudCode, 3);
    EXPECT_EQ(link_.CurrentAddress, 255);  // while the box shows the device's own address
    EXPECT_EQ(window_.address, 33);
    EXPECT_EQ(OpenRate(), 9600u);
    EXPECT_TRUE(window_.deviceButtons);
  }
}

TEST_F(BaudScanTest, Any0DeviceSpellsBaudrateInLowerCaseUnderTestResults) {
  StartDevice({.address = 5, .baud = 9600, .protocol = sim::Protocol::Any0, .parity = 2});
  EXPECT_EQ(Scan(sim_->PortPath()), ScanOutcome::Any0);
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text,
            "Soil Transmitter\r\nAddress" + kColon + "5  Baudrate" + kColon + "9600\r\nParity Check");
  EXPECT_EQ(sink_.boxes[0].caption, "Test Results");
  EXPECT_EQ(config_.mode, ConfigMode::Any0);
  EXPECT_EQ(link_.CurrentAddress, 0);
  // It was asked at 255 first.
  const auto log = sim_->RequestLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2].request.front(), 255);
  EXPECT_EQ(log.back().request.front(), 0);
}

TEST_F(BaudScanTest, SilentDeviceEndsUnknownWithThePortOpenAt9600) {
  StartDevice({.address = 1, .baud = 9600, .protocol = sim::Protocol::Modbus}, sim::Mismatch::Silence);
  link_.CurrentAddress = 7;
  EXPECT_EQ(Scan(sim_->PortPath()), ScanOutcome::Unknown);
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, "End of Test UnKnow BaudRate");
  EXPECT_EQ(sink_.boxes[0].caption, "Test Result");
  EXPECT_EQ(sink_.boxes[0].icon, MessageIcon::None);
  EXPECT_EQ(config_.mode, ConfigMode::Legacy);
  EXPECT_EQ(link_.CurrentAddress, 7);
  EXPECT_FALSE(window_.deviceButtons);
  EXPECT_TRUE(window_.scanEnabled);
  EXPECT_NE(link_.PortOpen.load(), 0);
  EXPECT_EQ(OpenRate(), 9600u);
  // All five attempts were made: three 0xFD queries, then the block at 255 and at 0.
  const auto log = sim_->RequestLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[2].request.front(), 0xFD);
  EXPECT_EQ(log[3].request.front(), 255);
  EXPECT_EQ(log[4].request.front(), 0);
}

TEST_F(BaudScanTest, NoPortOrAVanishedPortFailsToOpen) {
  EXPECT_EQ(Scan(""), ScanOutcome::OpenFailed);
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, "Serial port open failed!");
  EXPECT_EQ(sink_.boxes[0].caption, "Warning");
  EXPECT_EQ(sink_.boxes[0].icon, MessageIcon::Question);
  EXPECT_EQ(link_.PortOpen.load(), 0);
  EXPECT_TRUE(window_.scanEnabled);

  sink_.boxes.clear();
  EXPECT_EQ(Scan("/dev/tamsu-no-such-port"), ScanOutcome::OpenFailed);
  ASSERT_EQ(sink_.boxes.size(), 1u);
  EXPECT_EQ(sink_.boxes[0].text, "Serial port open failed!");
  EXPECT_FALSE(window_.deviceButtons);
}

}  // namespace
}  // namespace tamsu
