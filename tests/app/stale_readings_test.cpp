// A page whose reads keep their text when they fail: the trend and the record must not take
// the text left standing for a fresh reading of the device.
#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QTest>
#include <thread>

#include "app/commissioning_record.h"
#include "app/trend_window.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

constexpr int kTsp = 1412, kPm25 = 1413, kPm10 = 1414;

TEST(StaleReadings, AnsweredPollsThenSilenceAreGapsAndTheRecordSaysReadFailed) {
  test::PageOnSim t("DustTesterPage", test::Make("DustTesterPage"));
  TrendWindow trend;
  trend.Follow(t.page.get(), "Weather Sensor / Dust tester");
  ASSERT_EQ(trend.Model().All().size(), 3u);
  t.line.Sim().SetRegister(0x0000, 100);
  t.line.Sim().SetRegister(0x0001, 200);
  t.line.Sim().SetRegister(0x0002, 300);
  const int64_t before = QDateTime::currentMSecsSinceEpoch();
  t.Poll();
  t.Poll();
  t.line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = sim::kAlways});
  t.Poll();

  // The page keeps showing what it showed.
  EXPECT_EQ(t.Text(kTsp), "100");
  EXPECT_EQ(t.Text(kPm25), "200");
  EXPECT_EQ(t.Text(kPm10), "300");
  for (int edit : {kTsp, kPm25, kPm10}) {
    const TrendSeries& series = *trend.Model().Find(edit);
    ASSERT_EQ(series.Size(), 3u) << series.Name();
    EXPECT_TRUE(series.At(0).value && series.At(1).value) << series.Name();
    EXPECT_FALSE(series.At(2).value) << series.Name();
  }
  EXPECT_EQ(trend.Model().Find(kPm10)->At(1).value, 300.0);

  const CommissioningRecord record =
      RecordOf(*t.page, QDateTime::currentDateTime(), "/dev/ttyUSB0", "1", "9600", "Weather Sensor / Dust tester");
  const std::string csv = RecordCsv(record);
  for (const char* line : {",TSP,100,ug/m3,read failed,", ",PM2.5,200,ug/m3,read failed,", ",PM10,300,ug/m3,read failed,"})
    EXPECT_NE(csv.find(line), std::string::npos) << line << "\n" << csv;
  for (const FieldReading& field : record.fields) {
    if (field.id != kTsp) continue;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(field.state.when.time_since_epoch()).count();
    EXPECT_GE(ms, before);
  }
  // A coefficient never read, and one typed and not yet sent, say so.
  QTest::keyClicks(t.page->Edit(1415), "2.5");
  const std::string typed = RecordCsv(RecordOf(*t.page, QDateTime::currentDateTime(), "", "", "", ""));
  EXPECT_NE(typed.find(",TSP CoefA,2.5,,\"typed, not written\","), std::string::npos) << typed;
  EXPECT_NE(typed.find(",TSP CoefB,,,not read,\r\n"), std::string::npos) << typed;
}

}  // namespace
}  // namespace tamsu

namespace tamsu {
namespace {

// Untick while a poll's read is on the line, then choose "UV": the poll's late report never
// fills the Temperature the entry blanks, and the page is not counted as polled.
TEST(MovedOn, APollsLateReportStaysOffWhatTheUserChangedSince) {
  constexpr int kSensorType = 1270, kTem = 1271;
  test::PageOnSim t("UvPage", test::Make("UvPage"));
  t.line.Sim().SetRegister(0x0001, 231);
  int polled = 0;
  QObject::connect(t.page.get(), &DevicePage::Polled, [&] { ++polled; });
  t.page->RealTimeCheckBox()->click();
  ASSERT_TRUE(t.page->RealTimeTicked());
  t.line.Sim().AddFault({.kind = sim::FaultKind::Delay, .count = 1, .millis = 150});
  t.page->RealTimePoll();
  std::this_thread::sleep_for(std::chrono::milliseconds(40));  // the Temperature read is on the line
  t.page->RealTimeCheckBox()->click();
  t.Choose(kSensorType, "UV");
  t.line.WaitIdle();
  QCoreApplication::processEvents();
  EXPECT_FALSE(t.page->RealTimeTicked());
  EXPECT_EQ(t.Text(kTem), " ");
  EXPECT_EQ(polled, 0);
}

// A poll stopped by a user's press after its first read is no tick: the trend takes no
// sample, so the field it did not read is never sampled with its old text.
TEST(MovedOn, APartialPollGivesTheTrendNoSample) {
  test::PageOnSim t("TemHumPage", test::Make("TemHumPage"));
  TrendWindow trend;
  trend.Follow(t.page.get(), "Temperature&humidity / Tem&Humidity");
  t.line.Sim().SetRegister(0x0001, 231);
  t.line.Sim().SetRegister(0x0000, 500);
  t.Poll();
  ASSERT_EQ(trend.Model().Find(1012)->Size(), 1u);
  t.line.Sim().SetRegister(0x0000, 900);
  t.line.Sim().AddFault({.kind = sim::FaultKind::Delay, .count = 1, .millis = 150});
  t.page->RealTimePoll();
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  t.Click(1010);  // "Inquire" Temperature: the poll stops after its read in flight
  QCoreApplication::processEvents();
  EXPECT_EQ(trend.Model().Find(1012)->Size(), 1u);
  EXPECT_EQ(trend.Model().Find(1014)->Size(), 1u);
  EXPECT_EQ(t.Text(1012), "50.0");  // not read since, and not sampled again
}

}  // namespace
}  // namespace tamsu
