// The page subcommands in-process against each family's simulated transmitter: every
// representation read and every write kind set, by the captions the window shows, each write
// read back; a read-back that differs is an error; polls as JSON Lines; bad input refused
// before anything is sent.
#include <algorithm>

#include "tests/cli/cli_support.h"

namespace tamsu {
namespace {

using test::CliResult;
using test::RunCli;
using test::Simulated;
using test::Transmitter;

// The tool on `device`, where the scan would find it (so the tests need no scan).
CliResult On(Simulated& device, std::vector<std::string> args) {
  for (const char* more : {"--address", "1", "--baud", "9600"}) args.push_back(more);
  args.push_back("--port");
  args.push_back(device.Port());
  return RunCli(args);
}

// `set PAGE FIELD=VALUE`, then `read PAGE FIELD` in CSV; the value read.
std::string SetAndRead(Simulated& device, const std::string& page, const std::string& field, const std::string& value) {
  const CliResult set = On(device, {"set", page, field + "=" + value});
  EXPECT_EQ(set.status, 0) << field << ": " << set.err;
  const CliResult read = On(device, {"read", page, field, "--format", "csv"});
  EXPECT_EQ(read.status, 0) << field << ": " << read.err;
  const size_t start = read.out.find('\n') + 1, comma = read.out.find(',', start);
  const size_t end = read.out.find(',', comma + 1);
  return read.out.substr(comma + 1, end - comma - 1);
}

TEST(CliPages, ClimateScaledAndSignedFieldsAndStatus) {
  Simulated board(Transmitter("TemHumKanbanPage"));
  EXPECT_EQ(SetAndRead(board, "TemHumKanbanPage", "Tem Upper", "30.5"), "30.5");
  EXPECT_EQ(board.simulator.GetRegister(0x0030), 305);
  EXPECT_EQ(SetAndRead(board, "TemHumKanbanPage", "tem cali:", "-1.5"), "-1.5");  // case and colon aside
  EXPECT_EQ(board.simulator.GetRegister(0x0050), 0xFFF1);
  board.simulator.SetRegister(0x0001, static_cast<uint16_t>(-52));
  auto read = On(board, {"read", "TemHumKanbanPage", "Temperature", "Humidity"});
  EXPECT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(read.out.rfind("Temperature  -5.2\n", 0), 0u) << read.out;

  Simulated leak(Transmitter("WaterLeakPage"));
  auto status = On(leak, {"read", "WaterLeakPage", "--format", "json"});
  EXPECT_EQ(status.status, 0) << status.err;
  EXPECT_NE(status.out.find("{\"field\":\"Status\",\"value\":\""), std::string::npos) << status.out;
  EXPECT_EQ(status.out.find("\"value\":\"\""), std::string::npos) << status.out;
}

TEST(CliPages, GasSelectorAndWholeNumberLimits) {
  Simulated co2(Transmitter("Co2Page"));
  auto read = On(co2, {"read", "Co2Page", "Sensor Type=CO2&Tem&Hum", "CO2", "Humidity"});
  EXPECT_EQ(read.status, 0) << read.err;
  EXPECT_NE(read.out.find("ppm"), std::string::npos);
  EXPECT_EQ(SetAndRead(co2, "Co2Page", "CO2 Upper", "1500"), "1500");
  auto unknown = On(co2, {"read", "Co2Page", "Sensor Type=CO3"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err, "tamsu-cli: Co2Page Sensor Type: 'CO3' is none of 'CO2', 'CO2&Tem&Hum'\n");
}

TEST(CliPages, SoilWeatherIntegersSinglesAndWideCounts) {
  Simulated rain(Transmitter("RainSnowPage"));
  EXPECT_EQ(SetAndRead(rain, "RainSnowPage", "Sensitivity", "7"), "7");
  EXPECT_EQ(rain.simulator.GetRegister(0x0034), 7);
  EXPECT_EQ(On(rain, {"read", "RainSnowPage", "Rain and Snow"}).status, 0);

  Simulated dust(Transmitter("DustTesterPage"));
  EXPECT_EQ(SetAndRead(dust, "DustTesterPage", "TSP CoefA", "1.25").rfind("1.25", 0), 0u);
  EXPECT_EQ(On(dust, {"read", "DustTesterPage", "TSP", "PM2.5", "PM10"}).status, 0);

  Simulated light(Transmitter("Illum20WPage"));
  light.simulator.SetRegister32(0x0002, 123456);
  auto lux = On(light, {"read", "Illum20WPage", "Illumination (Lux)"});
  EXPECT_EQ(lux.status, 0) << lux.err;
  EXPECT_NE(lux.out.find("123456"), std::string::npos) << lux.out;
}

TEST(CliPages, ElectricalVersionAndCoefficients) {
  Simulated fume(Transmitter("LampblackPage"));
  EXPECT_EQ(SetAndRead(fume, "LampblackPage", "LAMP coefficient A", "2.5").rfind("2.5", 0), 0u);
  auto all = On(fume, {"read", "LampblackPage"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_NE(all.out.find("Version"), std::string::npos);
}

TEST(CliPages, WaterListsAndPairs) {
  Simulated gauge(Transmitter("WaterGaugePage"));
  EXPECT_EQ(SetAndRead(gauge, "WaterGaugePage", "Relay Status", "Close"), "Close");
  EXPECT_EQ(SetAndRead(gauge, "WaterGaugePage", "Host Running Mode", "depth measurement"), "Depth Measurement");
  auto wrong = On(gauge, {"set", "WaterGaugePage", "Relay Status=Ajar"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.err, "tamsu-cli: WaterGaugePage Relay Status: 'Ajar' is none of 'Open', 'Close'\n");

  // A calibration point is written, never read: the write's own words are the outcome.
  Simulated ph(Transmitter("PhPage"));
  auto point = On(ph, {"set", "PhPage", "PH Calibration point one=6.86"});
  EXPECT_EQ(point.status, 0) << point.err;
  EXPECT_EQ(ph.simulator.GetRegister(0x0121), 686);
}

TEST(CliPages, MotionScaledReadsSinglesAndChoices) {
  Simulated vibration(Transmitter("VibrationSingleAxisPage"));
  EXPECT_EQ(SetAndRead(vibration, "VibrationSingleAxisPage", "Speed A CAL", "1.5").rfind("1.5", 0), 0u);
  EXPECT_EQ(On(vibration, {"read", "VibrationSingleAxisPage", "Speed"}).status, 0);

  Simulated tilt(Transmitter("TiltSensorPage"));
  EXPECT_EQ(SetAndRead(tilt, "TiltSensorPage", "Installation method", "Vertical"), "Vertical");
  EXPECT_EQ(tilt.simulator.GetRegister(0x0052), 102);
}

TEST(CliPages, ReadBackThatDiffersIsAnError) {
  // 7000.0 scaled by ten does not fit sixteen bits: the device holds 446.4, and says so.
  Simulated board(Transmitter("TemHumKanbanPage"));
  auto set = On(board, {"set", "TemHumKanbanPage", "Tem Upper=7000"});
  EXPECT_EQ(set.status, 1);
  EXPECT_EQ(set.err, "tamsu-cli: Tem Upper: wrote 7000, read back 446.4\n");
}

TEST(CliPages, PollAsJsonLines) {
  Simulated device(Transmitter("TemHumPage"));
  auto poll = On(device, {"poll", "TemHumPage", "--count", "3", "--interval", "0.1", "--format", "json"});
  EXPECT_EQ(poll.status, 0) << poll.err;
  EXPECT_EQ(std::count(poll.out.begin(), poll.out.end(), '\n'), 3);
  size_t at = 0;
  for (int line = 0; line < 3; ++line) {
    const size_t end = poll.out.find('\n', at);
    const std::string object = poll.out.substr(at, end - at);
    EXPECT_EQ(object.front(), '{');
    EXPECT_NE(object.find("\"Temperature (\xE2\x84\x83)\":\""), std::string::npos) << object;
    EXPECT_NE(object.find("\"Humidity (%RH)\":\""), std::string::npos) << object;
    at = end + 1;
  }
}

TEST(CliPages, ListingOfCategoriesAndFields) {
  auto all = RunCli({"pages", "--format", "csv"});
  EXPECT_EQ(all.status, 0);
  EXPECT_NE(all.out.find("Temperature&humidity,Tem&Humidity,TemHumPage\n"), std::string::npos) << all.out;
  EXPECT_NE(all.out.find("Gas,CO2,Co2Page\n"), std::string::npos);
  auto fields = RunCli({"pages", "WaterGaugePage", "--format", "csv"});
  EXPECT_NE(fields.out.find("Relay Status,,yes,yes,no,Open; Close\n"), std::string::npos) << fields.out;
}

TEST(CliPages, BadInputIsRefusedAndNothingSent) {
  Simulated device(Transmitter("TemHumKanbanPage"));
  const std::vector<std::vector<std::string>> bad = {
      {"read", "NoSuchPage"},
      {"read", "TemHumKanbanPage", "Pressure"},
      {"set", "TemHumKanbanPage", "Tem Upper=thirty"},
      {"set", "TemHumKanbanPage", "Tem Upper=30,5"},
      {"set", "TemHumKanbanPage", "Tem Upper"},
      {"set", "TemHumKanbanPage", "Temperature=20"},
      {"set", "TemHumKanbanPage", "Tem Upper=30", "Tem Under="},
      {"poll", "TemHumKanbanPage", "--count", "0"},
      {"poll", "TemHumKanbanPage", "--interval", "soon"},
      {"pages", "NoSuchPage"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(args[0] + " " + args[1]);
    auto result = On(device, args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
  }
  EXPECT_EQ(device.Requests(), 0u);
  EXPECT_EQ(On(device, {"set", "TemHumKanbanPage", "Temperature=20"}).err, "tamsu-cli: TemHumKanbanPage Temperature cannot be set\n");
}

}  // namespace
}  // namespace tamsu
