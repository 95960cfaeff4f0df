// The survey against a simulated bus of several transmitters on one line.
#include "device/survey.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <utility>

#include "modbus/modbus_master.h"
#include "serial/link.h"
#include "sim/simulator.h"

namespace tamsu {
namespace {

using Kind = SurveyFinding::Kind;

sim::BusDevice On(const char* profile, uint8_t address, uint32_t baud,
                  sim::Protocol protocol = sim::Protocol::Legacy, uint8_t parity = 0) {
  return {profile, {.address = address, .baud = baud, .protocol = protocol, .parity = parity}};
}

struct Bus {
  explicit Bus(std::vector<sim::BusDevice> devices) {
    sim::SimulatorOptions options;
    options.bus = std::move(devices);
    options.drift = false;
    options.mismatch = sim::Mismatch::Silence;
    options.listenAnyPort = true;  // also a raw TCP gateway, set to the first transmitter's rate
    simulator.emplace(options);
    std::string error;
    EXPECT_TRUE(simulator->Start(&error)) << error;
  }
  std::optional<sim::TransmitterSimulator> simulator;
  Link link;
  ModbusMaster master{link};
};

std::pair<int, uint32_t> At(int address, uint32_t baud) { return {address, baud}; }

SurveyPlan Plan(std::vector<uint32_t> rates, int from, int to) {
  return {std::move(rates), from, to, std::chrono::milliseconds(40)};
}

TEST(SurveyTest, FindsEveryTransmitterAtItsRateAndADoubledAddressAsAConflict) {
  Bus bus({On("TemHumPage", 3, 9600), On("generic", 7, 9600, sim::Protocol::Any255, 1), On("WindSpeedPage", 12, 9600),
           On("TemHumPage", 5, 4800), On("WindSpeedPage", 9, 4800, sim::Protocol::Modbus),
           // Two left at one address: their answers collide byte by byte.
           On("TemHumPage", 10, 9600), On("WindSpeedPage", 10, 9600)});
  bus.simulator->SetRegisterOf(1, 0, 1234);
  std::vector<std::pair<int, uint32_t>> streamed, configured;
  SurveyProgress last;
  SurveyObserver observer;
  observer.found = [&](const SurveyFinding& f) { streamed.emplace_back(f.address, f.baud); };
  observer.configured = [&](const SurveyFinding& f) { configured.emplace_back(f.address, f.baud); };
  observer.progress = [&](const SurveyProgress& p) { last = p; };
  Survey survey(bus.link, bus.master, Plan({9600, 4800}, 1, 12), observer);
  ASSERT_EQ(survey.Run(bus.simulator->PortPath()), SurveyOutcome::Completed) << survey.Message();

  std::map<std::pair<int, uint32_t>, SurveyFinding> found;
  for (const SurveyFinding& f : survey.Findings()) found[{f.address, f.baud}] = f;
  const std::vector<std::pair<int, uint32_t>> expected = {{3, 9600}, {7, 9600}, {10, 9600}, {12, 9600}, {5, 4800}, {9, 4800}};
  EXPECT_EQ(streamed, expected);  // as found: address by address, rate by rate
  ASSERT_EQ(found.size(), expected.size());
  EXPECT_EQ(found[At(7, 9600)].kind, Kind::Value);
  EXPECT_EQ(RegisterText(found[At(7, 9600)]), "1234");
  EXPECT_EQ(found[At(10, 9600)].kind, Kind::Conflict);
  EXPECT_EQ(ConflictText(10), "several transmitters answer at address 10");
  // Only the family that answers the block at its own address says how it is set up.
  EXPECT_EQ(configured, (std::vector<std::pair<int, uint32_t>>{{7, 9600}}));
  EXPECT_EQ(ConfigurationText(found[At(7, 9600)]), "9600 baud, Odd Parity Check");
  EXPECT_EQ(ConfigurationText(found[At(3, 9600)]), "");
  EXPECT_EQ(last.done, last.total);
  EXPECT_EQ(last.total, 24u);

  // Through a raw TCP gateway the line has the gateway's rate whatever is asked: one sweep.
  Survey gateway(bus.link, bus.master, Plan({9600, 4800}, 1, 12), {});
  ASSERT_EQ(gateway.Run("tcp://127.0.0.1:" + std::to_string(bus.simulator->ListenPort())), SurveyOutcome::Completed)
      << gateway.Message();
  ASSERT_EQ(gateway.Findings().size(), 4u);
  for (const SurveyFinding& f : gateway.Findings()) EXPECT_EQ(f.baud, 9600u) << f.address;
}

TEST(SurveyTest, StopEndsWithinOneExchangeAndALostPortKeepsWhatWasFound) {
  {
    Bus bus({On("TemHumPage", 2, 9600), On("WindSpeedPage", 6, 9600)});
    std::atomic<bool> stop{false};
    SurveyObserver observer;
    observer.stopRequested = [&] { return stop.load(); };
    observer.progress = [&](const SurveyProgress& p) {
      if (p.address == 4) stop = true;  // pressed while address 4 is asked
    };
    Survey survey(bus.link, bus.master, Plan({9600, 4800}, 1, 247), observer);
    EXPECT_EQ(survey.Run(bus.simulator->PortPath()), SurveyOutcome::Stopped);
    EXPECT_EQ(bus.simulator->RequestLog().size(), 4u);  // addresses 1 to 4, no further
    ASSERT_EQ(survey.Findings().size(), 1u);
    EXPECT_EQ(survey.Findings()[0].address, 2);
  }
  {
    Bus bus({On("TemHumPage", 2, 9600), On("WindSpeedPage", 6, 9600)});
    SurveyObserver observer;
    observer.found = [&](const SurveyFinding&) { bus.simulator.reset(); };  // the adapter is unplugged
    Survey survey(bus.link, bus.master, Plan({9600}, 1, 247), observer);
    EXPECT_EQ(survey.Run("/dev/pts/nonexistent-port"), SurveyOutcome::OpenFailed);
    EXPECT_FALSE(survey.Message().empty());
    Survey again(bus.link, bus.master, Plan({9600}, 1, 247), observer);
    EXPECT_EQ(again.Run(bus.simulator->PortPath()), SurveyOutcome::PortLost);
    EXPECT_FALSE(again.Message().empty());
    ASSERT_EQ(again.Findings().size(), 1u);
    EXPECT_EQ(again.Findings()[0].address, 2);
  }
}

TEST(SurveyTest, PlansOutsideTheLimitsAreRefusedBeforeAnythingOpens) {
  const SurveyPlan good;
  EXPECT_EQ(CheckSurveyPlan(good), "");
  auto with = [&](auto change) {
    SurveyPlan plan = good;
    change(plan);
    return CheckSurveyPlan(plan);
  };
  for (const auto& refused :
       {with([](SurveyPlan& p) { p.from = 0; }), with([](SurveyPlan& p) { p.to = 248; }),
        with([](SurveyPlan& p) { p.from = 9, p.to = 8; }), with([](SurveyPlan& p) { p.rates.clear(); }),
        with([](SurveyPlan& p) { p.rates = {9600, 1234}; }), with([](SurveyPlan& p) { p.rates = {9600, 9600}; }),
        with([](SurveyPlan& p) { p.wait = std::chrono::milliseconds(19); }),
        with([](SurveyPlan& p) { p.wait = std::chrono::milliseconds(2001); })})
    EXPECT_NE(refused, "");
  Link link;
  ModbusMaster master(link);
  SurveyPlan bad = good;
  bad.rates.clear();
  Survey survey(link, master, bad, {});
  EXPECT_EQ(survey.Run("/dev/null"), SurveyOutcome::OpenFailed);
  EXPECT_EQ(link.PortOpen.load(), 0);
}

}  // namespace
}  // namespace tamsu
