// The provisioning plan and record as files: rows read strictly with the line of each fault,
// record lines appended whole and read back for resuming.
#include "cli/plan.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "cli/options.h"
#include "device/field_text.h"

namespace tamsu::cli {
namespace {

TEST(Plan, RowsWithSettingsHeaderAndComments) {
  const auto rows = ParsePlan(
      "\xEF\xBB\xBFpage,address,baud,settings\r\n"
      "# first floor\r\n"
      "TemHumPage,11,4800,Temperature upper limit=30.5,\"Humidity upper limit = 80\"\r\n"
      "\r\n"
      "TemHumPage, 12 ,2400\r\n"
      "Co2Page,13,9600,,\r\n",
      "plan.csv");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].line, 3u);
  EXPECT_EQ(rows[0].page, "TemHumPage");
  EXPECT_EQ(rows[0].address, 11);
  EXPECT_EQ(rows[0].baud, 4800u);
  ASSERT_EQ(rows[0].settings.size(), 2u);
  EXPECT_EQ(rows[0].settings[0], (std::pair<std::string, std::string>{"Temperature upper limit", "30.5"}));
  EXPECT_EQ(rows[0].settings[1], (std::pair<std::string, std::string>{"Humidity upper limit", "80"}));
  EXPECT_EQ(rows[1].address, 12);
  EXPECT_TRUE(rows[2].settings.empty());
}

TEST(Plan, QuotesInCommentsAreNoCellsAndQuotedCellsFollowRfc4180) {
  // Balanced across two comments, these quotes once swallowed the row between them.
  const auto rows = ParsePlan(
      "# 7\" display boards\n"
      "TemHumPage,11,9600\n"
      "  # the 5\" ones\n"
      "TemHumPage,12,9600,\"Note=a, \"\"b\"\"\" , \"\"\n"
      "TemHumPage,11,9600\n",
      "plan.csv");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].line, 2u);
  EXPECT_EQ(rows[1].line, 4u);
  ASSERT_EQ(rows[1].settings.size(), 1u);
  EXPECT_EQ(rows[1].settings[0], (std::pair<std::string, std::string>{"Note", "a, \"b\""}));
  // The same text on another line is another row.
  EXPECT_EQ(rows[2].identity.substr(rows[2].identity.find(':')), rows[0].identity.substr(rows[0].identity.find(':')));
  EXPECT_NE(rows[2].identity, rows[0].identity);
}

TEST(Plan, EveryFaultNamesItsLine) {
  const std::pair<const char*, const char*> bad[] = {
      {"page,address,baud\nTemHumPage,11\n", "plan.csv:2: a row needs page, address and baud; this one has 2 columns"},
      {"TemHumPage,,9600\n", "plan.csv:1: the address is missing"},
      {"TemHumPage,0,9600\n", "plan.csv:1: Address Cannot be 0"},
      {"TemHumPage,eleven,9600\n", "plan.csv:1: address is not a whole number: 'eleven'"},
      {"TemHumPage,11,19200\n", "plan.csv:1: Baudrate Error"},
      {"TemHumPage,11,9600,Temperature upper limit\n", "plan.csv:1: column 4 is no FIELD=VALUE: 'Temperature upper limit'"},
      {"TemHumPage,11,9600,,x=1\n", "plan.csv:1: column 4 is empty"},
      {"page,baud,address\n", "plan.csv:1: the header must begin page,address,baud"},
      {"# nothing\n", "plan.csv: the plan has no rows"},
      {"# ok\nTemHumPage,11,9600,\"Tem Upper=30\n", "plan.csv:2: unbalanced quote (a cell with a quote or a comma in it is quoted whole, its quotes doubled)"},
      {"TemHumPage,11,9600,Note=7\" boards\n", "plan.csv:1: unbalanced quote (a cell with a quote or a comma in it is quoted whole, its quotes doubled)"},
      {"TemHumPage,11,9600,\"Tem Upper=30\"x\n", "plan.csv:1: unbalanced quote (a cell with a quote or a comma in it is quoted whole, its quotes doubled)"},
  };
  for (const auto& [text, message] : bad) {
    SCOPED_TRACE(text);
    try {
      ParsePlan(text, "plan.csv");
      ADD_FAILURE() << "accepted";
    } catch (const UsageError& error) {
      EXPECT_STREQ(error.what(), message);
    }
  }
}

TEST(Record, AppendedWholeAndReadBackForResuming) {
  char dir[] = "/tmp/tamsu-record-test-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/record.csv";
  EXPECT_TRUE(RecordedRows(path).empty());
  const std::string page = "Temperature&humidity / Tem&Humidity";
  FieldReading upper{.caption = "Temperature upper limit", .unit = "\xE2\x84\x83", .text = "30.5"};
  upper.state.source = FieldSource::Written;
  upper.state.when = std::chrono::system_clock::now();
  const FieldReading note{.caption = "Note, with \"quotes\"", .text = "=1+1"};
  AppendRecord(path, {{"2026-01-02 03:04:05", "/dev/ttyUSB0", "11", "4800", page, upper, "2:00000000000000aa"},
                      {"2026-01-02 03:04:05", "/dev/ttyUSB0", "11", "4800", page, note, "2:00000000000000aa"}});
  FieldReading co2{.caption = "CO2", .unit = "ppm", .text = "-10"};
  co2.state = {FieldSource::ReadFailed, upper.state.when};
  AppendRecord(path, {{"2026-01-02 03:05:00", "/dev/ttyUSB0", "12", "2400", "Gas / CO2", co2, "3:00000000000000bb"}});
  const std::string exchanged = RecordTime(upper.state.when);
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(),
            "\xEF\xBB\xBF" "Date and time,Port,Slave address,Baud rate,Page,Caption,Value,Unit,Source,Exchange time,Plan line\r\n"
            "2026-01-02 03:04:05,/dev/ttyUSB0,11,4800,Temperature&humidity / Tem&Humidity,Temperature upper limit,30.5,\xE2\x84\x83,written," + exchanged + ",2:00000000000000aa\r\n"
            "2026-01-02 03:04:05,/dev/ttyUSB0,11,4800,Temperature&humidity / Tem&Humidity,\"Note, with \"\"quotes\"\"\",'=1+1,,not read,,2:00000000000000aa\r\n"
            "2026-01-02 03:05:00,/dev/ttyUSB0,12,2400,Gas / CO2,CO2,-10,ppm,read failed," + exchanged + ",3:00000000000000bb\r\n");
  const auto rows = RecordedRows(path);
  EXPECT_EQ(rows, (std::map<size_t, std::set<std::string>>{{2, {"00000000000000aa"}}, {3, {"00000000000000bb"}}}));

  // A link planted where the record goes is not followed.
  const std::string planted = std::string(dir) + "/planted.csv";
  ASSERT_EQ(symlink((std::string(dir) + "/elsewhere").c_str(), planted.c_str()), 0);
  EXPECT_THROW(AppendRecord(planted, {}), Failure);
  struct stat st {};
  EXPECT_NE(lstat((std::string(dir) + "/elsewhere").c_str(), &st), 0);
}

TEST(Record, TrustedOnlyWhenNobodyElseCanChangeOrReplaceIt) {
  char dir[] = "/tmp/tamsu-record-test-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/record.csv";
  AppendRecord(path, {});
  auto refusal = [&] {
    std::string said;
    try {
      RecordedRows(path);
    } catch (const Failure& failure) {
      said = failure.what();
    }
    EXPECT_THROW(AppendRecord(path, {}), Failure);
    return said;
  };
  ASSERT_EQ(chmod(path.c_str(), 0664), 0);
  EXPECT_EQ(refusal(), "record " + path + ": refusing " + path + ": it can be written by other users (mode 0664); make it private (chmod go-w " + path + ") and check what is in it, or give a file of your own");
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  ASSERT_EQ(chmod(dir, 0770), 0);
  EXPECT_NE(refusal().find("its directory " + std::string(dir) + " can be written by other users (mode 0770), so another user could replace the file"), std::string::npos);
  ASSERT_EQ(chmod(dir, 0700), 0);
  if (geteuid() == 0) {  // only root can give a file away
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    EXPECT_NE(refusal().find("it belongs to another user (uid 65534)"), std::string::npos);
  }
}

}  // namespace
}  // namespace tamsu::cli
