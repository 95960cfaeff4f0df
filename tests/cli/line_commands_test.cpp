// The subcommands without pages, in-process against the simulator: the scan, the connection
// band's address and rate in each configuration mode, raw transactions of every type, and bad
// command lines refused before anything is sent.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/cli/cli_support.h"

namespace tamsu {
namespace {

using test::RunCli;
using test::Simulated;
using test::Transmitter;

TEST(CliScan, ReportsWhatTheWindowsScanFinds) {
  Simulated legacy(Transmitter("generic", 7, 4800));
  auto text = RunCli({"scan", "--port", legacy.Port()});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out, "Device address\xEF\xBC\x9A" "7  BaudRate\xEF\xBC\x9A" "4800\n");

  Simulated block(Transmitter("generic", 33, 9600, sim::Protocol::Any255));
  auto json = RunCli({"scan", "--port", block.Port(), "--format", "json"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"address\":\"33\",\"baud\":\"9600\",\"parity\":\"No Check\",\"mode\":\"any255\""),
            std::string::npos)
      << json.out;

  Simulated silent(Transmitter("generic", 1, 9600, sim::Protocol::Modbus));
  auto none = RunCli({"scan", "--port", silent.Port()});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("End of Test UnKnow BaudRate"), std::string::npos) << none.err;
  EXPECT_EQ(none.out, "");
}

TEST(CliBand, AddressAndRateInTheModeTheScanFound) {
  {
    Simulated legacy(Transmitter("generic", 1, 9600));
    auto address = RunCli({"address", "12", "--port", legacy.Port()});
    EXPECT_EQ(address.status, 0) << address.err;
    EXPECT_EQ(address.out, "Address set successfully\n");
    EXPECT_EQ(legacy.simulator.Config().address, 12);
    auto baud = RunCli({"baud", "2400", "--port", legacy.Port()});
    EXPECT_EQ(baud.status, 0) << baud.err;
    EXPECT_EQ(baud.out, "Baudrate set successfully\n");
    EXPECT_EQ(legacy.simulator.Config().baud, 2400u);
    EXPECT_EQ(RunCli({"scan", "--port", legacy.Port()}).out, "Device address\xEF\xBC\x9A" "12  BaudRate\xEF\xBC\x9A" "2400\n");
  }
  {
    // The register block carries address and rate together: a rate change keeps the address.
    Simulated block(Transmitter("generic", 33, 9600, sim::Protocol::Any0));
    auto refused = RunCli({"address", "250", "--port", block.Port()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "tamsu-cli: Address setting failed!\n");
    EXPECT_EQ(block.simulator.Config().address, 33);
    auto baud = RunCli({"baud", "4800", "--port", block.Port()});
    EXPECT_EQ(baud.status, 0) << baud.err;
    EXPECT_EQ(block.simulator.Config().baud, 4800u);
    EXPECT_EQ(block.simulator.Config().address, 33);
  }
}

TEST(CliRaw, EveryTypeWrittenAndReadBack) {
  Simulated device(Transmitter("generic"));
  const std::string port = device.Port();
  struct Case {
    const char* type;
    const char* value;
    std::vector<uint16_t> words;
  };
  const Case cases[] = {{"u16", "65535", {0xFFFF}},
                        {"s16", "-2", {0xFFFE}},
                        {"u32", "4000000000", {0xEE6B, 0x2800}},
                        {"s32", "-100000", {0xFFFE, 0x7960}},
                        {"f32", "-1.5", {0xBFC0, 0x0000}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    auto write = RunCli({"raw", "write", "0x0100", c.value, "--as", c.type, "--port", port, "--address", "1", "--baud", "9600"});
    ASSERT_EQ(write.status, 0) << write.err;
    for (size_t i = 0; i < c.words.size(); ++i) EXPECT_EQ(device.simulator.GetRegister(0x100 + i), c.words[i]);
    auto read = RunCli({"raw", "read", "256", "--as", c.type, "--port", port, "--address", "1", "--baud", "9600",
                        "--format", "csv"});
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out, std::string("register,value\n0x0100,") + c.value + "\n");
  }
  // Several values of a type in one function-16 write: three 16-bit values, two 32-bit ones.
  ASSERT_EQ(RunCli({"raw", "write", "0x200", "7", "8", "9", "--port", port, "--address", "1", "--baud", "9600"}).status, 0);
  auto three = RunCli({"raw", "read", "0x200", "3", "--port", port, "--address", "1", "--baud", "9600"});
  EXPECT_EQ(three.out, "0x0200  7\n0x0201  8\n0x0202  9\n");
  ASSERT_EQ(RunCli({"raw", "write", "0x300", "-1", "70000", "--as", "s32", "--port", port, "--address", "1", "--baud", "9600"}).status, 0);
  for (const auto& [reg, word] : std::vector<std::pair<uint16_t, uint16_t>>{{0x300, 0xFFFF}, {0x301, 0xFFFF}, {0x302, 0x0001}, {0x303, 0x1170}})
    EXPECT_EQ(device.simulator.GetRegister(reg), word) << std::hex << reg;
  const std::vector<uint8_t> request = device.simulator.RequestLog().back().request;  // function 16, four registers
  ASSERT_GE(request.size(), 7u);
  EXPECT_EQ(std::vector<uint8_t>(request.begin() + 1, request.begin() + 7), (std::vector<uint8_t>{0x10, 0x03, 0x00, 0x00, 0x04, 0x08}));
  // A device that does not answer: the transactions' own words.
  auto silent = RunCli({"raw", "read", "0", "--port", port, "--address", "9", "--baud", "9600"});
  EXPECT_EQ(silent.status, 1);
  EXPECT_EQ(silent.err, "tamsu-cli: Read format error!\n");
}

TEST(CliBadInput, RefusedWithOneLineAndNothingSent) {
  test::OwnRuntimeDirectory();
  Simulated device(Transmitter("generic"));
  const std::string port = device.Port();
  std::vector<std::string> tooMany{"raw", "write", "1", "--port", port};  // one more than function 16 carries
  tooMany.insert(tooMany.begin() + 3, 124, "1");
  const std::vector<std::vector<std::string>> bad = {
      {"address", "0", "--port", port},
      {"address", "256", "--port", port},
      {"address", "twelve", "--port", port},
      {"baud", "19200", "--port", port},
      {"raw", "write", "1", "70000", "--port", port},
      {"raw", "write", "1", "1.5", "--as", "s16", "--port", port},
      tooMany,
      {"raw", "write", "0xFFFF", "1", "2", "--port", port},
      {"raw", "read", "0x1G", "--port", port},
      {"raw", "read", "1", "--as", "u64", "--port", port},
      {"raw", "read", "1", "--port", port, "--address", "1,5"},
      {"scan", "--port", port, "--count", "3"},
      {"scan", "--port", port, "--format", "xml"},
      {"scan", "--port"},
      {"frobnicate"},
      {"scan", "--bogus"},
  };
  for (const auto& args : bad) {
    std::string line;
    for (const auto& a : args) line += a + " ";
    SCOPED_TRACE(line);
    auto result = RunCli(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    ASSERT_FALSE(result.err.empty());
    EXPECT_EQ(result.err.rfind("tamsu-cli: ", 0), 0u);
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line";
  }
  EXPECT_EQ(device.Requests(), 0u);
  EXPECT_EQ(RunCli({"address", "0", "--port", port}).err, "tamsu-cli: Address Cannot be 0\n");
  EXPECT_EQ(RunCli({"baud", "19200", "--port", port}).err, "tamsu-cli: Baudrate Error\n");
}

TEST(CliExitStatus, OneForThePortTheTransmitterOrAFileTwoOnlyForTheCommandLine) {
  test::OwnRuntimeDirectory();
  Simulated device(Transmitter("TemHumPage"));
  const std::string port = device.Port();
  const std::vector<std::string> read = {"read", "TemHumPage", "Temperature", "--port", port, "--address", "1", "--baud", "9600"};
  EXPECT_EQ(RunCli(read).status, 0);
  auto failed = [](const std::vector<std::string>& args) {
    const auto result = RunCli(args);
    EXPECT_EQ(result.status, 1) << result.err;
    return result.err;
  };
  EXPECT_EQ(failed({"scan", "--port", "/dev/tamsu-no-such-port"}), "tamsu-cli: no such port: /dev/tamsu-no-such-port\n");
  EXPECT_EQ(failed({"scan", "--port", "no-such-port-name"}), "tamsu-cli: no such port: no-such-port-name\n");
  EXPECT_EQ(failed({"provision", "/nonexistent/plan.csv", "--record", "/nonexistent/record.csv"}),
            "tamsu-cli: plan /nonexistent/plan.csv: No such file or directory\n");
  {
    // Another program holds the port.
    const int holder = open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(failed(read), "tamsu-cli: port " + port + " is busy: another program holds it\n");
    close(holder);
  }
  EXPECT_EQ(device.Requests(), 1u);
  device.simulator.AddFault({.kind = sim::FaultKind::Exception, .count = sim::kAlways});
  EXPECT_NE(failed(read).find("Temperature: "), std::string::npos);
  EXPECT_EQ(RunCli({"read", "TemHumPage", "--bogus"}).status, 2);
}

TEST(CliHelp, EveryCommandHasItsHelp) {
  for (const char* command : {"ports", "scan", "pages", "read", "set", "poll", "address", "baud", "raw", "provision"}) {
    SCOPED_TRACE(command);
    auto help = RunCli({command, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(std::string("Usage: tamsu-cli ") + command, 0), 0u) << help.out;
  }
  auto all = RunCli({"--help"});
  EXPECT_EQ(all.status, 0);
  EXPECT_NE(all.out.find("provision"), std::string::npos);
  EXPECT_EQ(RunCli({}).status, 2);
}

}  // namespace
}  // namespace tamsu
