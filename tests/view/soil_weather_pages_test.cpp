// The soil and weather pages against a simulated transmitter of each kind.
#include <QCheckBox>
#include <QComboBox>
#include <algorithm>
#include <bit>

#include "app/categories.h"
#include "view/category_host.h"
#include "pages/soil_weather/soil_weather_pages.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

using test::Box;
using test::kOpenFirst;
using test::Warning;
using test::Factory;
using test::Make;
using test::PageOnSim;
using test::Read;
using test::Request;
using test::Write;

// "Sensor Type" decides what the UV poll reads and blanks and disables the climate group;
// "SensorType" of a station, sorted, starts on its shelter variant with the address row usable.
TEST(SoilWeatherPages, SensorTypeListsAndWhatTheyEnable) {
  PageOnSim uv("UvPage", Make("UvPage"));
  const std::vector<int> group{1271, 1272, 1071, 1057, 1274, 1275, 1072, 1073, 1074, 1075};
  uv.Choose(1270, "UV");
  for (int id : {1271, 1272, 1071, 1057}) EXPECT_EQ(uv.Text(id), " ") << id;
  for (int id : group) EXPECT_FALSE(uv.Enabled(id)) << id;
  uv.Poll();
  EXPECT_EQ(uv.line.TakeRequests(), (std::vector<Request>{Read(2), Read(3)}));
  uv.Choose(1270, "UV&Tem&Hum");
  for (int id : group) EXPECT_TRUE(uv.Enabled(id)) << id;
  EXPECT_EQ(uv.Text(1071), " ");
  uv.Poll();
  EXPECT_EQ(uv.line.TakeRequests(), (std::vector<Request>{Read(1), Read(0), Read(2), Read(3)}));
  uv.page->RealTimeCheckBox()->click();
  EXPECT_FALSE(uv.Enabled(1270));

  PageOnSim co2("TypeCWeatherCo2Page", Make("TypeCWeatherCo2Page"));
  QComboBox* type = co2.page->SelectorBox(1665);
  EXPECT_EQ(type->count(), 2);
  EXPECT_EQ(co2.page->CurrentEntry(1665), "CO2 blinds");
  co2.Set(1322, "3");
  co2.Choose(1665, "Type C Weather");
  for (int id : {1322, 1323, 1324}) EXPECT_FALSE(co2.Enabled(id)) << id;
  EXPECT_EQ(co2.Text(1322), "3");
  co2.Choose(1665, "CO2 blinds");
  co2.page->RealTimeCheckBox()->click();
  for (int id : {1322, 1323, 1324, 1665}) EXPECT_TRUE(co2.Enabled(id)) << id;
}

// Each page's poll, request by request; its box with the port closed; and what the ticked box
// locks: exactly these buttons, the others stay usable between polls.
TEST(SoilWeatherPages, PollOrderAndRealTimeBoxOfEveryPage) {
  const struct {
    const char* profile;
    Factory make;
    std::vector<Request> requests;
    int box;
    std::vector<int> locked;
    std::string message = kOpenFirst.text;
  } cases[] = {
      {"ThreeInOneSoilPage", Make("ThreeInOneSoilPage"), {Read(0), Read(1), Read(2)}, 1303, {1298, 1300, 1302}},
      {"SoilTemMoisturePage", Make("SoilTemMoisturePage"), {Read(0), Read(1)}, 1308, {1306, 1307}},
      {"SoilMoisturePage", Make("SoilMoisturePage"), {Read(1)}, 1253, {1252}},
      {"SoilConductivityPage", Make("SoilConductivityPage"), {Read(0), Read(1), Read(2), Read(3), Read(4)}, 1370,
       {1396, 1397, 1369, 1371, 1373, 1375, 1376, 1378, 1379, 1381, 1382, 1386, 1387, 1388, 1389, 1390, 1391}},
      {"SoilPhPage", Make("SoilPhPage"), {Read(0)}, 1366, {1368}},
      {"SoilTensionPage", Make("SoilTensionPage"), {Read(0)}, 1588, {1586}},
      {"TypeCWeatherCo2Page", Make("TypeCWeatherCo2Page"),
       {Read(0x1F5), Read(0x1F4), Read(0x1F6), Read(0x1F7), Read(0x1F9), Read(0x1FA, 2)}, 1321,
       {1315, 1316, 1317, 1318, 1319, 1320}},
      {"TypeCWeatherPmPage", Make("TypeCWeatherPmPage"),
       {Read(0x1F5), Read(0x1F4), Read(0x1F6), Read(0x1F7), Read(0x1F8), Read(0x1F9), Read(0x1FA, 2)}, 1281,
       {1279, 1280, 1011, 1018, 1020, 1022, 1024}},
      {"UvPage", Make("UvPage"), {Read(1), Read(0), Read(2), Read(3)}, 1069, {1274, 1275, 1276, 1070}},
      {"NoisePage", Make("NoisePage"), {Read(0)}, 1250, {1249}},
      {"AirPressurePage", Make("AirPressurePage"), {Read(1), Read(0)}, 1258, {1256, 1257},
       "Please open the seiral port first!"},
      {"RainGaugePage", Make("RainGaugePage"), {Read(0)}, 1261, {1260}},
      {"RadiationPage", Make("RadiationPage"), {Read(0)}, 1269, {1267}},
      {"RainSnowPage", Make("RainSnowPage"), {Read(0)}, 1015, {1284}},
      {"PmPage", Make("PmPage"), {Read(0), Read(1)}, 1290, {1288, 1289}},
      {"DustTesterPage", Make("DustTesterPage"), {Read(0), Read(1), Read(2)}, 1069,
       {1347, 1348, 1349, 1350, 1351, 1352, 1353, 1354, 1355, 1356, 1357, 1358, 1359, 1360, 1361}},
      {"EvaPage", Make("EvaPage"), {Read(0)}, 1573, {1572, 1570}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    PageOnSim t(c.profile, c.make);
    t.Poll();
    EXPECT_EQ(t.line.TakeRequests(), c.requests);
    QCheckBox* box = t.page->RealTimeCheckBox();
    ASSERT_EQ(box->objectName(), QString::number(c.box));
    EXPECT_EQ(box->text(), "Real Time");
    box->click();
    for (QPushButton* b : t.page->findChildren<QPushButton*>()) {
      const bool locked = std::find(c.locked.begin(), c.locked.end(), b->objectName().toInt()) != c.locked.end();
      EXPECT_EQ(b->isEnabled(), !locked) << b->objectName().toStdString();
    }
    box->click();
    t.line.GetLink().ClosePort();
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{Warning(c.message.c_str())}));
    EXPECT_TRUE(t.line.TakeRequests().empty());
  }
}

// With "Dust tester" shown and both it and "EVA" ticked, only the dust tester is polled.
TEST(SoilWeatherPages, OnlyTheVisibleWeatherPageIsPolled) {
  test::SimulatedLine line("DustTesterPage");
  QWidget window;
  CategorySet set(line.Context(), &window);
  ASSERT_EQ(set.Caption(6), "Weather Sensor");
  auto* host = qobject_cast<CategoryHost*>(set.Page(6));
  ASSERT_NE(host, nullptr);
  ASSERT_EQ(host->PageAt(9)->Name(), "DustTesterPage");
  ASSERT_EQ(host->PageAt(10)->Name(), "EvaPage");
  host->PageAt(9)->RealTimeCheckBox()->click();
  host->PageAt(10)->RealTimeCheckBox()->click();
  host->SetCurrentIndex(9);
  set.RealTimeDispatch(6);
  line.WaitIdle();
  EXPECT_EQ(line.TakeRequests(), (std::vector<Request>{Read(0), Read(1), Read(2)}));
  host->SetCurrentIndex(10);
  set.RealTimeDispatch(6);
  line.WaitIdle();
  EXPECT_EQ(line.TakeRequests(), std::vector<Request>{Read(0)});
}

}  // namespace
}  // namespace tamsu
