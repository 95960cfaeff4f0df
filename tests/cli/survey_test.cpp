// tamsu-cli survey against a simulated bus of several transmitters.
#include <gtest/gtest.h>

#include "tests/cli/cli_support.h"

namespace tamsu::test {
namespace {

struct BusLine {
  BusLine() {
    OwnRuntimeDirectory();
    sim::SimulatorOptions options;
    options.drift = false;
    options.mismatch = sim::Mismatch::Silence;
    options.bus = {{"TemHumPage", {.address = 2, .baud = 9600}},
                   {"generic", {.address = 4, .baud = 4800, .protocol = sim::Protocol::Any255}},
                   {"TemHumPage", {.address = 5, .baud = 9600}},
                   {"WindSpeedPage", {.address = 5, .baud = 9600}}};
    simulator.emplace(options);
  }
  std::vector<std::string> Survey(std::vector<std::string> more) {
    std::vector<std::string> args{"survey", "--port", simulator->Port(), "--rates", "9600,4800",
                                  "--from", "1", "--to", "6", "--wait", "30"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  std::optional<Simulated> simulator;
};

TEST(CliSurveyTest, EachFormatStreamsTheTransmittersFoundAndTheConflict) {
  BusLine bus;
  bus.simulator->simulator.SetRegisterOf(0, 0, 456);
  CliResult text = RunCli(bus.Survey({}));
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out,
            "address 2 at 9600 baud: register 0 reads 456\n"
            "address 5 at 9600 baud: several transmitters answer at address 5\n"
            "address 4 at 4800 baud: register 0 reads 0\n"
            "address 4 at 4800 baud: configured for 4800 baud, No Check\n");
  EXPECT_NE(text.err.find("several transmitters answer at address 5 (9600 baud)"), std::string::npos) << text.err;

  const CliResult csv = RunCli(bus.Survey({"--format", "csv"}));
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out,
            "event,address,baud,register 0,configuration\n"
            "found,2,9600,456,\n"
            "conflict,5,9600,answers collide,\n"
            "found,4,4800,0,\n"
            "configuration,4,4800,0,\"4800 baud, No Check\"\n");

  const CliResult json = RunCli(bus.Survey({"--format", "json"}));
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out.substr(0, json.out.find('\n')),
            R"({"event":"found","address":"2","baud":"9600","register 0":"456","configuration":""})");
  EXPECT_NE(json.out.find(R"("event":"conflict","address":"5")"), std::string::npos) << json.out;
}

TEST(CliSurveyTest, BadInputIsRefusedBeforeThePortOpensAndAPortFailureIsOne) {
  BusLine bus;
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--from", "0"}, {"--to", "248"}, {"--from", "9", "--to", "8"}, {"--rates", ""},
        {"--rates", "9600,"}, {"--rates", "9600,abc"}, {"--rates", "1234"}, {"--wait", "19"}, {"--wait", "2001"},
        {"--address", "3"}, {"extra"}}) {
    const CliResult result = RunCli(bus.Survey(bad));
    EXPECT_EQ(result.status, 2) << bad.front() << ": " << result.err;
  }
  EXPECT_EQ(bus.simulator->Requests(), 0u);
  const CliResult refused = RunCli({"survey", "--port", "tcp://127.0.0.1:1", "--to", "3"});
  EXPECT_EQ(refused.status, 1) << refused.err;
  EXPECT_NE(refused.err.find("Serial port open failed!"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace tamsu::test
