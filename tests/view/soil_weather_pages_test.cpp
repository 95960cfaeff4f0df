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
using test::Factory;
using test::Make;
using test::PageOnSim;
using test::Read;
using test::Request;
using test::Write;

const Box kWritten{"Write Successfully", "", MessageIcon::Exclamation};
const Box kOpenFirst{"Please open the serial port first!", "Warning", MessageIcon::Exclamation};

Box Warning(const char* text) { return {text, "Warning", MessageIcon::Exclamation}; }

// Signed against unsigned and each page's scale at the edges of sixteen bits, 32-bit lux, and
// the rain and snow code.
TEST(SoilWeatherPages, ReadingsAtTheEdgesOfTheirRepresentation) {
  test::ExpectReads({
      {"ThreeInOneSoilPage", Make("ThreeInOneSoilPage"), {{2, 40000}}, {1302}, {{1301, "40000"}}, {Read(2)}},
      {"SoilConductivityPage", Make("SoilConductivityPage"), {{2, 40000}}, {1369}, {{1394, "-25536.0"}}, {Read(2)}},
      {"ThreeInOneSoilPage", Make("ThreeInOneSoilPage"), {{0, 3333}}, {1298}, {{1297, "33.33"}}, {Read(0)}},
      {"SoilMoisturePage", Make("SoilMoisturePage"), {{1, 3333}}, {1252}, {{1251, "33.33"}}, {Read(1)}},
      {"SoilTemMoisturePage", Make("SoilTemMoisturePage"), {{0, 3333}}, {1306}, {{1304, "333.3"}}, {Read(0)}},
      {"SoilTensionPage", Make("SoilTensionPage"), {{0, 0xFFF6}}, {1586}, {{1587, "-1.0"}}, {Read(0)}},
      {"TypeCWeatherCo2Page", Make("TypeCWeatherCo2Page"), {{0x1FA, 100000}}, {1320}, {{1314, "100000"}}, {Read(0x1FA, 2)}},
      {"TypeCWeatherPmPage", Make("TypeCWeatherPmPage"), {{0x1F5, 0xFF9C}}, {1279}, {{1277, "-10.0"}}, {Read(0x1F5)}},
      {"UvPage", Make("UvPage"), {{2, 1234}}, {1276}, {{1273, "12.34"}}, {Read(2)}},
      {"DustTesterPage", Make("DustTesterPage"), {{2, 0xFFFF}}, {1349}, {{1414, "65535"}}, {Read(2)}},
      {"RainSnowPage", Make("RainSnowPage"), {{0, 1}}, {1284}, {{1282, "Warning"}}, {Read(0)}},
  });
}

// What each kind of "Set up" sends: integers as typed, decimals times their multiplier and
// truncated, dust coefficients as singles over two registers, read back with "%f".
TEST(SoilWeatherPages, SetUpWritesAndTheFloatCoefficientReadsBack) {
  test::ExpectWrites({
      {"SoilConductivityPage", Make("SoilConductivityPage"), 1385, 1391, "12.9", Write(0x52, 12)},
      {"SoilConductivityPage", Make("SoilConductivityPage"), 1383, 1387, "-1.5", Write(0x50, 0xFFF1)},
      {"UvPage", Make("UvPage"), 1071, 1074, "-1.5", Write(0x51, 0xFFF1)},
      {"TypeCWeatherPmPage", Make("TypeCWeatherPmPage"), 1027, 1029, "7", Write(0x60, 7)},
  }, kWritten);
  PageOnSim dust("DustTesterPage", Make("DustTesterPage"));
  dust.Set(1415, "1.5");
  dust.Click(1351);
  EXPECT_EQ(dust.line.TakeRequests(), (std::vector<Request>{{0x10, 0x60, 2}}));
  EXPECT_EQ(dust.line.Sim().GetRegister(0x60), 0x3FC0);
  EXPECT_EQ(dust.line.Sim().GetRegister(0x61), 0x0000);
  dust.Set(1415, "typed");
  dust.Click(1350);
  EXPECT_EQ(dust.Text(1415), "1.500000");

  // A failed dust read keeps the value shown; a failed PM read empties its field.
  dust.Click(1347);
  const QString shown = dust.Text(1412);
  dust.line.Sim().AddFault({.kind = sim::FaultKind::Silence});
  dust.page->RealTimePoll();
  EXPECT_EQ(dust.Text(1412), shown);
  PageOnSim pm("PmPage", Make("PmPage"));
  pm.Click(1288);
  pm.line.Sim().AddFault({.kind = sim::FaultKind::Silence});
  pm.Click(1288);
  EXPECT_EQ(pm.Text(1286), "");
}

// The coefficient and calibration buttons test the port and leave their field alone; the
// measured values rely on the transaction. Unticked after the port was lost, every button is
// usable again.
TEST(SoilWeatherPages, ConductivityCoefficientsTestThePort) {
  PageOnSim t("SoilConductivityPage", Make("SoilConductivityPage"));
  t.page->RealTimeCheckBox()->click();
  EXPECT_FALSE(t.Enabled(1375) || t.Enabled(1369));
  t.line.GetLink().ClosePort();
  t.page->RealTimeCheckBox()->click();
  EXPECT_FALSE(t.page->RealTimeTicked());
  for (QPushButton* b : t.page->findChildren<QPushButton*>()) EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
  t.line.TakeBoxes();
  for (auto [edit, inquire] : {std::pair{1374, 1375}, {1385, 1390}, {1383, 1386}}) {
    t.Set(edit, "kept");
    t.Click(inquire);
    EXPECT_EQ(t.Text(edit), "kept");
    EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{kOpenFirst});
  }
  t.Click(1369);
  EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{Warning("Serial port not open!")});
  EXPECT_TRUE(t.line.TakeRequests().empty());
}

// The tension button's own words; EVA's weight is unsigned on button and poll alike, its level
// a single-precision product of that weight; its clearing command in its own words.
TEST(SoilWeatherPages, TensionAndEvaInTheirOwnWords) {
  PageOnSim tension("SoilTensionPage", Make("SoilTensionPage"));
  tension.line.Sim().AddFault({.kind = sim::FaultKind::BadCrc});
  tension.Click(1586);
  EXPECT_EQ(tension.line.TakeBoxes(), std::vector<Box>{Warning("Device check value error")});

  EXPECT_EQ(std::bit_cast<uint32_t>(static_cast<float>(kEvaLevelPerGram)), 0x3B509B88u);
  PageOnSim eva("EvaPage", Make("EvaPage"));
  for (auto [raw, weight, level] : {std::tuple{3142, "3142", "10.00"}, {0, "0", "0.00"}, {40000, "40000", "127.32"}}) {
    ASSERT_TRUE(eva.line.Sim().SetRegister(0, raw));
    eva.Click(1572);
    EXPECT_EQ(eva.Text(1571), weight);
    EXPECT_EQ(eva.Text(1574), level);
    eva.Set(1571, "");
    eva.Set(1574, "");
    eva.page->RealTimePoll();
    EXPECT_EQ(eva.Text(1571), weight);
    EXPECT_EQ(eva.Text(1574), level);
  }
  EXPECT_EQ(eva.line.TakeRequests().back(), Read(0));
  // A failed button read empties the weight only and says so; a failed poll empties both.
  eva.line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = 2});
  eva.Click(1572);
  EXPECT_EQ(eva.Text(1571), "");
  EXPECT_EQ(eva.Text(1574), "127.32");
  eva.page->RealTimePoll();
  EXPECT_EQ(eva.Text(1574), "");
  EXPECT_EQ(eva.line.TakeBoxes(), std::vector<Box>{Warning("Reading format error")});
  EXPECT_EQ(eva.line.TakeRequests(), (std::vector<Request>{Read(0), Read(0)}));

  eva.Click(1570);
  eva.line.Sim().AddFault({.kind = sim::FaultKind::Exception});
  eva.Click(1570);
  EXPECT_EQ(eva.line.TakeRequests(), (std::vector<Request>{Write(0x50, 1), Write(0x50, 1)}));
  eva.line.GetLink().ClosePort();
  eva.Click(1570);
  EXPECT_EQ(eva.line.TakeBoxes(),
            (std::vector<Box>{{"Write Success", "", MessageIcon::Information},
                              Warning("The received data is inconsistent with the transmitted data"),
                              Warning("Serial port not opened")}));
  // Ticked with the port closed: each poll empties both fields and sends nothing.
  eva.Set(1571, "1");
  eva.Set(1574, "1");
  eva.page->RealTimePoll();
  EXPECT_EQ(eva.Text(1571) + eva.Text(1574), "");
  EXPECT_TRUE(eva.line.TakeRequests().empty() && eva.line.TakeBoxes().empty());
}

// "Sensor Type" decides what the UV poll reads and blanks and disables the climate group;
// "SensorType" of a station, sorted, starts on its shelter variant with the address row usable.
TEST(SoilWeatherPages, SensorTypeListsAndWhatTheyEnable) {
  PageOnSim uv("UvPage", Make("UvPage"));
  const std::vector<int> group{1271, 1272, 1071, 1057, 1274, 1275, 1072, 1073, 1074, 1075};
  uv.Choose(1270, "UV");
  for (int id : {1271, 1272, 1071, 1057}) EXPECT_EQ(uv.Text(id), " ") << id;
  for (int id : group) EXPECT_FALSE(uv.Enabled(id)) << id;
  uv.page->RealTimePoll();
  EXPECT_EQ(uv.line.TakeRequests(), (std::vector<Request>{Read(2), Read(3)}));
  uv.Choose(1270, "UV&Tem&Hum");
  for (int id : group) EXPECT_TRUE(uv.Enabled(id)) << id;
  EXPECT_EQ(uv.Text(1071), " ");
  uv.page->RealTimePoll();
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
    t.page->RealTimePoll();
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
  EXPECT_EQ(line.TakeRequests(), (std::vector<Request>{Read(0), Read(1), Read(2)}));
  host->SetCurrentIndex(10);
  set.RealTimeDispatch(6);
  EXPECT_EQ(line.TakeRequests(), std::vector<Request>{Read(0)});
}

}  // namespace
}  // namespace tamsu
