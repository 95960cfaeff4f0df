// A page whose reads keep their text when they fail: the trend and the record must not take
// the text left standing for a fresh reading of the device.
#include <QDateTime>
#include <QLineEdit>
#include <QTest>

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
