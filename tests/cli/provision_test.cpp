// Provisioning end to end: three simulated transmitters, each at address 1 and 9600 baud,
// connected one after another on the same virtual port, end at their planned addresses and
// rates with a record of every field; the same plan run again skips all three. A plan with a
// fault stops before anything is sent.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <streambuf>
#include <thread>

#include "cli/plan.h"
#include "tests/cli/cli_support.h"

namespace tamsu {
namespace {

using test::RunCli;
using test::Transmitter;

// Standard input of a person at the bench: before each Enter, the next transmitter is connected.
class Bench : public std::streambuf {
 public:
  explicit Bench(std::function<bool()> connectNext) : connectNext_(std::move(connectNext)) {}

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (!connectNext_()) return traits_type::eof();
    setg(&enter_, &enter_, &enter_ + 1);
    return traits_type::to_int_type(enter_);
  }

 private:
  std::function<bool()> connectNext_;
  char enter_ = '\n';
};

struct Workbench {
  Workbench() {
    char pattern[] = "/tmp/tamsu-provision-test-XXXXXX";
    dir = mkdtemp(pattern);
    ports = dir + "/ports";
  }
  // Only one transmitter on the port at a time, under the one name.
  bool Connect(const sim::SimulatorOptions& base) {
    if (!devices.empty()) devices.back()->Stop();
    sim::SimulatorOptions options = base;
    options.publish = true;
    options.portDirectory = ports;
    options.linkName = "bench-ttyV0";
    devices.push_back(std::make_unique<sim::TransmitterSimulator>(options));
    std::string error;
    EXPECT_TRUE(devices.back()->Start(&error)) << error;
    return true;
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir + "/" + name) << text;
    return dir + "/" + name;
  }
  std::string dir, ports;
  std::vector<std::unique_ptr<sim::TransmitterSimulator>> devices;
};

constexpr char kPlan[] =
    "page,address,baud\n"
    "TemHumKanbanPage,11,4800,Tem Upper=30.5,Hum Upper=80\n"
    "TemHumKanbanPage,12,2400,Tem Upper=31.5,Hum Under=20\n"
    "TemHumKanbanPage,13,9600,Tem Cali=-1.5\n";

TEST(CliProvision, ThreeTransmittersOnOnePortThenResumeSkipsThem) {
  Workbench bench;
  const std::string plan = bench.Write("plan.csv", kPlan), record = bench.dir + "/record.csv";
  const std::string port = bench.ports + "/bench-ttyV0";
  size_t connected = 0;
  Bench person([&] { return ++connected <= 3 && bench.Connect(Transmitter("TemHumKanbanPage")); });
  std::istream in(&person);
  auto run = RunCli({"provision", plan, "--record", record, "--port", port}, in);
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(bench.devices.size(), 3u);

  const struct {
    uint8_t address;
    uint32_t baud;
    uint16_t reg, value;
  } expected[] = {{11, 4800, 0x0030, 305}, {12, 2400, 0x0036, 200}, {13, 9600, 0x0050, 0xFFF1}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(bench.devices[i]->Config().address, expected[i].address);
    EXPECT_EQ(bench.devices[i]->Config().baud, expected[i].baud);
    EXPECT_EQ(bench.devices[i]->GetRegister(expected[i].reg), expected[i].value);
  }
  EXPECT_EQ(bench.devices[0]->GetRegister(0x0035), 800);

  // Every field of each transmitter, as read after the move, in the window's record format.
  std::ifstream file(record, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const auto lines = cli::ParseCsv(text.str());
  ASSERT_EQ(lines.size(), 1u + 3 * 10) << text.str();
  EXPECT_EQ(lines[0], (std::vector<std::string>{"Date and time", "Port", "Slave address", "Baud rate", "Page",
                                                "Caption", "Value", "Unit", "Source", "Exchange time", "Plan line"}));
  for (size_t i = 1; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i].size(), 11u);
    EXPECT_EQ(lines[i][10].substr(0, 2), std::to_string(2 + (i - 1) / 10) + ":");
    EXPECT_EQ(lines[i][9].substr(0, 10), lines[i][0].substr(0, 10));
    EXPECT_EQ(lines[i][1], port);
    EXPECT_EQ(lines[i][4], "Temperature&humidity / Tem&Hum Kanban");
    EXPECT_EQ(lines[i][8], "read") << lines[i][5];
  }
  const std::vector<std::string> upper11 = {lines[3][2], lines[3][3], lines[3][5], lines[3][6]};
  EXPECT_EQ(upper11, (std::vector<std::string>{"11", "4800", "Tem Upper", "30.5"}));
  const std::vector<std::string> cali13 = {lines[26][2], lines[26][3], lines[26][5], lines[26][6]};
  EXPECT_EQ(cali13, (std::vector<std::string>{"13", "9600", "Tem Cali", "-1.5"}));

  // Again with the same record: nothing to connect, nothing sent, the record as it was.
  bench.devices.back()->ClearLog();
  auto again = RunCli({"provision", plan, "--record", record, "--port", port});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out,
            "row 1 (" + plan + " line 2): already in the record, skipped\n"
            "row 2 (" + plan + " line 3): already in the record, skipped\n"
            "row 3 (" + plan + " line 4): already in the record, skipped\n" +
            plan + ": 3 rows: 0 provisioned, 3 skipped as done, 0 changed since recorded, 0 failed, 0 not reached\n");
  EXPECT_TRUE(bench.devices.back()->RequestLog().empty());
  std::ifstream after(record, std::ios::binary);
  std::stringstream unchanged;
  unchanged << after.rdbuf();
  EXPECT_EQ(unchanged.str(), text.str());
}

TEST(CliProvision, AutoRescansUntilAnotherTransmitterAnswers) {
  Workbench bench;
  const std::string plan = bench.Write("plan.csv", "TemHumKanbanPage,41,4800\nTemHumKanbanPage,42,9600,Hum Back=2.5\n");
  const std::string record = bench.dir + "/record.csv", port = bench.ports + "/bench-ttyV0";
  bench.Connect(Transmitter("TemHumKanbanPage"));
  // The installer swaps the first transmitter for the second once it has been recorded; until
  // then the tool keeps finding the first, now at its new address, and waits.
  std::thread installer([&] {
    for (int i = 0; i < 500 && cli::RecordedRows(record).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    bench.Connect(Transmitter("TemHumKanbanPage"));
  });
  auto run = RunCli({"provision", plan, "--record", record, "--port", port, "--auto", "--interval", "0.1"});
  installer.join();
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(bench.devices.size(), 2u);
  EXPECT_EQ(bench.devices[0]->Config().address, 41);
  EXPECT_EQ(bench.devices[0]->Config().baud, 4800u);
  EXPECT_EQ(bench.devices[1]->Config().address, 42);
  EXPECT_EQ(bench.devices[1]->GetRegister(0x0037), 25);
  EXPECT_EQ(cli::RecordedRows(record).size(), 2u);
}

TEST(CliProvision, RowsResumeByPlanLineNotByAddressAndAChangedRowIsReported) {
  // Two transmitters that are to share an address on separate lines, quotes in the comments
  // between them. The second row fails (nobody connects it): the rerun does it, not skips it.
  Workbench bench;
  const std::string text = "# 7\" display boards\nTemHumKanbanPage,21,9600,Tem Upper=25\n# the 5\" ones\nTemHumKanbanPage,21,9600,Tem Upper=26\n";
  const std::string plan = bench.Write("plan.csv", text);
  const std::string record = bench.dir + "/record.csv", port = bench.ports + "/bench-ttyV0";
  size_t connected = 0;
  Bench once([&] { return ++connected <= 1 && bench.Connect(Transmitter("TemHumKanbanPage")); });
  std::istream first(&once);
  auto run = RunCli({"provision", plan, "--record", record, "--port", port}, first);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Connect transmitter 2 of 2"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("tamsu-cli: row 2 (" + plan + " line 4): no transmitter connected (end of input)\n"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find(plan + ": 2 rows: 1 provisioned, 0 skipped as done, 0 changed since recorded, 1 failed, 0 not reached\n"),
            std::string::npos) << run.out;

  connected = 0;
  Bench again([&] { return ++connected <= 1 && bench.Connect(Transmitter("TemHumKanbanPage")); });
  std::istream second(&again);
  auto rerun = RunCli({"provision", plan, "--record", record, "--port", port}, second);
  EXPECT_EQ(rerun.status, 0) << rerun.err;
  ASSERT_EQ(bench.devices.size(), 2u);
  EXPECT_EQ(bench.devices[1]->Config().address, 21);
  EXPECT_EQ(bench.devices[1]->GetRegister(0x0030), 260);

  // The first row's text changed since it was recorded: reported, not taken for done, nothing sent.
  bench.devices.back()->ClearLog();
  bench.Write("plan.csv", "# 7\" display boards\nTemHumKanbanPage,21,9600,Tem Upper=24\n# the 5\" ones\nTemHumKanbanPage,21,9600,Tem Upper=26\n");
  auto changed = RunCli({"provision", plan, "--record", record, "--port", port});
  EXPECT_EQ(changed.status, 1);
  EXPECT_EQ(changed.err, "tamsu-cli: row 1 (" + plan + " line 2): changed since the record was written there: not provisioned (give the row a line of its own, or use a new record)\n");
  EXPECT_NE(changed.out.find("2 rows: 0 provisioned, 1 skipped as done, 1 changed since recorded, 0 failed, 0 not reached"), std::string::npos);
  EXPECT_TRUE(bench.devices.back()->RequestLog().empty());
}

TEST(CliProvision, ARecordSomeoneElseCouldHavePlantedIsRefused) {
  Workbench bench;
  bench.Connect(Transmitter("TemHumKanbanPage"));
  const std::string plan = bench.Write("plan.csv", kPlan), port = bench.ports + "/bench-ttyV0";
  const std::string planted = bench.Write("record.csv", "\xEF\xBB\xBF" + cli::ProvisionRecordHeader() + "\r\n");
  auto refused = [&](const std::string& why) {
    auto run = RunCli({"provision", plan, "--record", planted, "--port", port}, "\n\n\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
  };
  ASSERT_EQ(chmod(planted.c_str(), 0666), 0);
  refused("can be written by other users (mode 0666)");
  ASSERT_EQ(chmod(planted.c_str(), 0644), 0);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(planted.c_str(), 65534, 65534), 0);
    refused("belongs to another user (uid 65534)");
  }
  EXPECT_TRUE(bench.devices.back()->RequestLog().empty());
}

TEST(CliProvision, DryRunTellsEachRowsExchangesAndOpensNothing) {
  Workbench bench;
  bench.Connect(Transmitter("TemHumKanbanPage"));
  const std::string plan = bench.Write("plan.csv", kPlan);
  auto run = RunCli({"provision", plan, "--dry-run", "--port", "/dev/tamsu-no-such-port"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("row 1 (" + plan + " line 2): TemHumKanbanPage, to become address 11, 4800 baud\n"
                          "  scan (Test Baud Rate): 0xFD query at 2400, 4800 and 9600 baud, then comm block read at 255 and 0\n"
                          "  06 write 0x0030 = 0x0131 (305)\n"
                          "  06 write 0x0035 = 0x0320 (800)\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("  03 read 0x0050 \xC3\x97" "1 at 13\n"), std::string::npos) << run.out;
  EXPECT_TRUE(bench.devices.back()->RequestLog().empty());
}

TEST(CliProvision, ThePersonWhoPressesEnterTwiceIsTold) {
  Workbench bench;
  const std::string plan = bench.Write("plan.csv", "TemHumKanbanPage,31,9600\nTemHumKanbanPage,32,9600\n");
  const std::string record = bench.dir + "/record.csv", port = bench.ports + "/bench-ttyV0";
  bench.Connect(Transmitter("TemHumKanbanPage"));
  auto run = RunCli({"provision", plan, "--record", record, "--port", port}, "\n\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("row 2 (" + plan + " line 2): the transmitter answering is the one just provisioned; connect the next one"),
            std::string::npos)
      << run.err;
}

TEST(CliProvision, APlanWithAFaultSendsNothing) {
  Workbench bench;
  bench.Connect(Transmitter("TemHumKanbanPage"));
  const std::string port = bench.ports + "/bench-ttyV0", record = bench.dir + "/record.csv";
  const std::pair<const char*, const char*> plans[] = {
      {"TemHumKanbanPage,11,4800,Tem Upper=30\nTemHumKanbanPage,12\n", ":2: a row needs page, address and baud; this one has 2 columns"},
      {"TemHumKanbanPage,11,4800\nNoSuchPage,12,9600\n", ":2: unknown page 'NoSuchPage' (tamsu-cli pages lists them)"},
      {"TemHumKanbanPage,11,4800,Tem Upper=hot\n", ":1: TemHumKanbanPage Tem Upper: 'hot' is not a number"},
      {"TemHumKanbanPage,11,4800,Pressure=1\n", ":1: TemHumKanbanPage has no field 'Pressure' (tamsu-cli pages TemHumKanbanPage lists them)"},
      {"TemHumKanbanPage,11,4800\nTemHumKanbanPage,12,4800,Tem Upper=6553.7\n", ":2: TemHumKanbanPage Tem Upper: 6553.7 is out of range -3276.8 to 3276.7"},
  };
  for (const auto& [text, message] : plans) {
    SCOPED_TRACE(text);
    const std::string plan = bench.Write("plan.csv", text);
    auto run = RunCli({"provision", plan, "--record", record, "--port", port}, "\n");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "tamsu-cli: " + plan + message + "\n");
  }
  EXPECT_EQ(RunCli({"provision", bench.dir + "/none.csv", "--record", record, "--port", port}).status, 1);
  EXPECT_EQ(RunCli({"provision", bench.Write("plan.csv", kPlan), "--port", port}).status, 2);
  EXPECT_TRUE(bench.devices.back()->RequestLog().empty());
}

}  // namespace
}  // namespace tamsu
