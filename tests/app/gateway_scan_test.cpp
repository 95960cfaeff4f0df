// The scan, a page and the rate through a real gateway (ser2net on 127.0.0.1): over RFC 2217
// exactly as on a local port; over raw TCP at the gateway's rate only.
#include <chrono>
#include <memory>

#include "device/baud_scan.h"
#include "device/device_settings.h"
#include "modbus/line_record.h"
#include "pages/climate/climate_pages.h"
#include "tests/view/page_test_support.h"
#include "tests/support/ser2net.h"

namespace tamsu {
namespace {

using test::Box;

// Full-width colons, as the scan's texts have them.
const std::string kColon = "\xEF\xBC\x9A";

struct Gateway {
  explicit Gateway(sim::Protocol protocol, uint32_t baud, uint8_t address = 7) : line(Options(protocol, baud, address), false) {
    std::string error;
    EXPECT_TRUE(ser2net.Start(&error)) << error;
    line.GetLink().SetObserver(&traffic);
  }
  static sim::SimulatorOptions Options(sim::Protocol protocol, uint32_t baud, uint8_t address) {
    sim::SimulatorOptions o = test::SimulatedLine::Options("TemHumPage");
    o.device = {.address = address, .baud = baud, .protocol = protocol};
    return o;
  }
  ScanOutcome Scan(const std::string& address) {
    BaudScan scan(line.GetLink(), master, line.Sink(), config, {});
    return scan.TestBaudRate(address);
  }
  bool TrafficHas(const std::string& words) {
    for (const auto& l : traffic.Since(0))
      if (l.text.find(words) != std::string::npos) return true;
    return false;
  }

  test::SimulatedLine line;
  test::Ser2net ser2net{line.Sim().DevicePath()};
  ModbusMaster master{line.GetLink()};
  DeviceConfig config;
  LineRecord traffic;
};

TEST(GatewayScan, ThroughRfc2217FindsATransmitterAt4800AndItsPageReads) {
  Gateway g(sim::Protocol::Legacy, 4800);
  EXPECT_EQ(g.Scan(g.ser2net.Rfc2217Address()), ScanOutcome::Legacy);
  EXPECT_EQ(g.line.Sink().Take(), (Box{"Device address" + kColon + "7  BaudRate" + kColon + "4800", "Test Result",
                                       MessageIcon::None}));
  // 2400 was tried first, on the gateway's line at 2400.
  const auto log = g.line.Sim().RequestLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.front().lineBaud, 2400u);
  EXPECT_EQ(log.back().lineBaud, 4800u);
  const std::string port = std::to_string(g.ser2net.Rfc2217Port());
  EXPECT_TRUE(g.TrafficHas("rfc2217 127.0.0.1:" + port + " 4800  FD FD FD"));

  auto pageHolder = test::Make("TemHumPage")(g.line.Context());
  DevicePage& page = *pageHolder;
  g.line.Sim().SetRegister(1, 0xFF38);
  page.Button(1010)->click();
  g.line.WaitIdle();
  EXPECT_EQ(page.Edit(1014)->text(), "-20.0");
  EXPECT_TRUE(g.line.TakeBoxes().empty());
}

TEST(GatewayScan, AGatewayKilledMidPollFailsReadsAtOnceWithTheUsualBoxAndTheNextScanConnectsAgain) {
  Gateway g(sim::Protocol::Legacy, 9600);
  ASSERT_EQ(g.Scan(g.ser2net.Rfc2217Address()), ScanOutcome::Legacy);
  g.line.TakeBoxes();
  auto pageHolder = test::Make("TemHumPage")(g.line.Context());
  DevicePage& page = *pageHolder;
  // The box a read shows when the transmitter does not answer.
  g.line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = 1});
  page.Button(1010)->click();
  g.line.WaitIdle();
  const std::vector<Box> silent = g.line.TakeBoxes();
  ASSERT_EQ(silent.size(), 1u);

  g.ser2net.Kill();
  g.line.GetLink().WaitForFrame(std::chrono::steady_clock::now() + std::chrono::seconds(2));  // woken by the hang-up
  ASSERT_TRUE(g.line.GetLink().HungUp());
  const auto start = std::chrono::steady_clock::now();
  page.Button(1010)->click();
  g.line.WaitIdle();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_EQ(g.line.TakeBoxes(), silent);

  std::string error;
  ASSERT_TRUE(g.ser2net.Start(&error)) << error;
  EXPECT_EQ(g.Scan(g.ser2net.Rfc2217Address()), ScanOutcome::Legacy);
  g.line.TakeBoxes();
  page.Button(1010)->click();
  g.line.WaitIdle();
  EXPECT_TRUE(g.line.TakeBoxes().empty());
}

TEST(GatewayScan, OverRawTcpEachModeIsProbedOnceAtTheGatewaysRate) {
  Gateway g(sim::Protocol::Any255, 9600, 5);
  EXPECT_EQ(g.Scan(g.ser2net.RawAddress()), ScanOutcome::Any255);
  EXPECT_FALSE(g.line.GetLink().Port.SetsLineRate());
  // The rate shown is the one the device reports: the gateway's.
  EXPECT_EQ(g.line.Sink().Take().text,
            "Soil Transmitter\r\nAddress" + kColon + "5  BaudRate" + kColon + "9600\r\nNo Check");
  const auto log = g.line.Sim().RequestLog();
  ASSERT_EQ(log.size(), 2u);  // one legacy query, one register-block read
  EXPECT_EQ(log[0].request[0], 0xFD);
  EXPECT_EQ(log[1].request[0], 255);
  // The line traffic claims no rate for a raw TCP line.
  const std::string port = std::to_string(g.ser2net.RawPort());
  EXPECT_TRUE(g.TrafficHas("tcp 127.0.0.1:" + port + "  FF 03 02 00"));
  // The page reads through it, at the address the scan left (255).
  auto pageHolder = test::Make("TemHumPage")(g.line.Context());
  DevicePage& page = *pageHolder;
  g.line.Sim().SetRegister(0, 0x0257);
  page.Button(1013)->click();
  g.line.WaitIdle();
  EXPECT_EQ(page.Edit(1012)->text(), "59.9");
  EXPECT_TRUE(g.line.TakeBoxes().empty());

  // A rate change warns first, and without a yes sends nothing.
  DeviceSettings settings(g.line.GetLink(), g.master, g.line.Sink(), g.config);
  g.line.Sim().ClearLog();
  EXPECT_EQ(settings.SetBaud("5", "4800", ""), SettingOutcome::Refused);
  const Box asked = g.line.Sink().Take();
  EXPECT_NE(asked.text.find("gateway"), std::string::npos);
  EXPECT_TRUE(g.line.Sim().RequestLog().empty());
  g.line.Sink().answer = true;
  EXPECT_EQ(settings.SetBaud("5", "4800", ""), SettingOutcome::Accepted);
  EXPECT_EQ(g.line.Sim().Config().baud, 4800u);
}

TEST(GatewayScan, OverRawTcpADeviceAtAnotherRateIsNotFoundAndNoRateIsTried) {
  Gateway g(sim::Protocol::Legacy, 4800);
  EXPECT_EQ(g.Scan(g.ser2net.RawAddress()), ScanOutcome::Unknown);
  for (const sim::LogEntry& e : g.line.Sim().RequestLog()) EXPECT_EQ(e.lineBaud, 9600u);
  EXPECT_EQ(g.line.Sim().RequestLog().size(), 3u);  // each mode once
}

}  // namespace
}  // namespace tamsu
