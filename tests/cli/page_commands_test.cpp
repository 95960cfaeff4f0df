// The page subcommands in-process against each family's simulated transmitter: every
// representation read and every write kind set, by the captions the window shows, each write
// read back; a read-back that differs is an error; polls as JSON Lines; bad input refused
// before anything is sent.
#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

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
  EXPECT_EQ(status.out.find("\"value\":null"), std::string::npos) << status.out;
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

TEST(CliPages, ValuesTheFieldCannotHoldAreRefusedBeforeTheLineOpens) {
  // Written, 6553.7 would land as 65537's low 16 bits (0.1), 4000 as -2553.6.
  Simulated board(Transmitter("TemHumKanbanPage"));
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {{"set", "TemHumKanbanPage", "Tem Upper=6553.7"}, "TemHumKanbanPage Tem Upper: 6553.7 is out of range -3276.8 to 3276.7"},
      {{"set", "TemHumKanbanPage", "Tem Upper=4000"}, "TemHumKanbanPage Tem Upper: 4000 is out of range -3276.8 to 3276.7"},
      {{"set", "TemHumKanbanPage", "Tem Upper=30.55"}, "TemHumKanbanPage Tem Upper: 30.55 has more decimals than the field keeps (steps of 0.1)"},
      {{"raw", "write", "0x30", "1", "70000"}, "register 0x0031 (u16) must be 0 to 65535, not '70000'"},
      {{"raw", "write", "0x30", "0x8000", "--as", "s16"}, "register 0x0030 (s16) must be -32768 to 32767, not '0x8000'"},
  };
  for (const auto& [args, message] : refused) {
    const CliResult result = On(board, args);
    EXPECT_EQ(result.status, 2) << message;
    EXPECT_EQ(result.err, "tamsu-cli: " + message + "\n");
  }
  EXPECT_EQ(board.Requests(), 0u);
  // At the edge of the range, and a product a hair below a whole number (2.3 x 100 is 230).
  EXPECT_EQ(SetAndRead(board, "TemHumKanbanPage", "Tem Upper", "-3276.8"), "-3276.8");
  Simulated ph(Transmitter("PhPage"));
  EXPECT_EQ(On(ph, {"set", "PhPage", "PH Calibration point one=2.3"}).status, 0);
  EXPECT_EQ(ph.simulator.GetRegister(0x0121), 230);
}

// The first of a poll's ticks is answered, the rest are refused (an exception reply fails at once).
CliResult PollWithSilenceAfterTick1(const std::string& profile, const std::string& format, size_t perTick) {
  Simulated device(Transmitter(profile));
  std::thread silence([&] {
    while (device.Requests() < perTick) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    device.simulator.AddFault({.kind = sim::FaultKind::Exception, .count = sim::kAlways});
  });
  CliResult poll = On(device, {"poll", profile, "--count", "3", "--interval", "0.2", "--format", format});
  silence.join();
  return poll;
}

TEST(CliPages, FailedReadsAreSaidInEveryFormatAndExitOne) {
  // A page that empties its fields and one that keeps the old text: neither passes it off as read.
  for (const auto& [page, first] : {std::pair<std::string, std::string>{"TemHumPage", "Temperature"},
                                    {"DustTesterPage", "TSP"}}) {
    SCOPED_TRACE(page);
    const size_t fields = page == "TemHumPage" ? 2 : 3;
    const CliResult json = PollWithSilenceAfterTick1(page, "json", fields);
    EXPECT_EQ(json.status, 1);
    std::istringstream lines(json.out);
    std::string tick1, tick2, tick3;
    std::getline(lines, tick1), std::getline(lines, tick2), std::getline(lines, tick3);
    EXPECT_NE(tick1.find("{\"field\":\"" + first + "\",\"value\":"), std::string::npos) << tick1;
    EXPECT_EQ(tick1.find("\"value\":\""), std::string::npos) << tick1;  // numbers, not strings
    EXPECT_NE(tick1.find("\"status\":\"read\",\"time\":\"20"), std::string::npos) << tick1;
    EXPECT_NE(tick3.find("{\"field\":\"" + first + "\",\"value\":null,"), std::string::npos) << tick3;
    EXPECT_NE(tick3.find("\"status\":\"read failed\""), std::string::npos) << tick3;
    EXPECT_NE(json.err.find("tamsu-cli: tick 3: " + first + " read failed"), std::string::npos) << json.err;

    const CliResult csv = PollWithSilenceAfterTick1(page, "csv", fields);
    EXPECT_EQ(csv.status, 1);
    EXPECT_EQ(csv.out.rfind("tick,field,value,unit,status,time\n1," + first + ",", 0), 0u) << csv.out;
    EXPECT_NE(csv.out.find("\n3," + first + ",,"), std::string::npos) << csv.out;
    EXPECT_NE(csv.out.find(",read failed,"), std::string::npos) << csv.out;

    const CliResult text = PollWithSilenceAfterTick1(page, "text", fields);
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(std::count(text.out.begin(), text.out.end(), '\n'), 3) << text.out;
    EXPECT_NE(text.out.substr(text.out.rfind('\n', text.out.size() - 2)).find("  read failed"), std::string::npos) << text.out;
  }
  // A read exits 1 too, naming the field.
  Simulated silent(Transmitter("TemHumPage"));
  silent.simulator.AddFault({.kind = sim::FaultKind::Silence, .count = sim::kAlways});
  const CliResult read = On(silent, {"read", "TemHumPage", "Temperature", "--format", "json"});
  EXPECT_EQ(read.status, 1);
  EXPECT_NE(read.out.find("\"value\":null,\"unit\":\"\xE2\x84\x83\",\"status\":\"read failed\""), std::string::npos) << read.out;
  EXPECT_EQ(read.err.rfind("tamsu-cli: Temperature: ", 0), 0u) << read.err;
}

TEST(CliPages, PollAsJsonLines) {
  Simulated device(Transmitter("TemHumPage"));
  device.simulator.SetRegister(0x0001, static_cast<uint16_t>(-52));
  auto poll = On(device, {"poll", "TemHumPage", "--count", "2", "--interval", "0.1", "--format", "json"});
  EXPECT_EQ(poll.status, 0) << poll.err;
  EXPECT_EQ(std::count(poll.out.begin(), poll.out.end(), '\n'), 2);
  EXPECT_EQ(poll.out.rfind("{\"tick\":1,\"time\":\"", 0), 0u) << poll.out;
  EXPECT_NE(poll.out.find(",\"fields\":[{\"field\":\"Temperature\",\"value\":-5.2,\"unit\":\"\xE2\x84\x83\",\"status\":\"read\",\"time\":\""),
            std::string::npos) << poll.out;
  EXPECT_NE(poll.out.find("\n{\"tick\":2,"), std::string::npos);
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
