// The gas pages against a simulated transmitter of each kind.
#include <QCheckBox>
#include <QComboBox>

#include "pages/gas/gas_pages.h"
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

// One read per representation family: signed tenths and hundredths, whole signed and unsigned,
// the single of the fume coefficient, and NO2's register read twice.
TEST(GasPages, EachRepresentationFamilyAtItsEdges) {
  test::ExpectReads({
      {"CoPage", Make("CoPage"), {{2, 0xFFFF}}, {1067}, {{1055, "-0.1"}}, {Read(2)}},
      {"So2Page", Make("So2Page"), {{2, 1234}}, {1078}, {{1075, "12.34"}}, {Read(2)}},
      {"No2Page", Make("No2Page"), {{2, 1000}}, {1085}, {{1082, "10.00"}, {1087, "20.50"}}, {Read(2), Read(2)}},
      {"Ch4Page", Make("Ch4Page"), {{2, 0xFFFF}}, {1612}, {{1486, "-1"}}, {Read(2)}},
      {"Sf6Page", Make("Sf6Page"), {{2, 0xFFFF}}, {1664}, {{1661, "-1"}}, {Read(2)}},
      {"HchoPage", Make("HchoPage"), {{1, 0xFF38}}, {1602}, {{1601, "-20.0"}}, {Read(1)}},
      {"TvocPage", Make("TvocPage"), {{0, 0xFFFF}}, {1070}, {{1071, "65535"}}, {Read(0)}},
      {"LampPage", Make("LampPage"), {{0, 0xFFFF}}, {1054}, {{1053, "-0.01"}}, {Read(0)}},
      {"LampPage", Make("LampPage"), {{0x200, 0x3FC0}, {0x201, 0}}, {1059}, {{1058, "1.500000"}}, {Read(0x200, 2)}},
      {"H2sPage", Make("H2sPage"), {{2, 0xFFFF}}, {1181}, {{1169, "65535"}}, {Read(2)}},
      {"O2Page", Make("O2Page"), {{0x38, 0xFFFB}}, {1164}, {{1144, "-0.5"}}, {Read(0x38)}},
      {"Co2Page", Make("Co2Page"), {{0x38, 0xFFF6}}, {1101}, {{1100, "-10"}}, {Read(0x38)}},
      {"Co2Page", Make("Co2Page"), {{2, 0xFFF6}}, {1054}, {{1053, "65526"}}, {Read(2)}},
  });
}

// Limits and calibrations are written in each page's gas form; the CO2 page's temperature
// calibration goes to 0x0032, never to its humidity upper limit at 0x0033.
TEST(GasPages, ThresholdWrites) {
  test::ExpectWrites({
      {"O2Page", Make("O2Page"), 1138, 1153, "-0.5", Write(0x32, 0xFFFB)},
      {"O2Page", Make("O2Page"), 1142, 1161, "23.5", Write(0x36, 235)},
      {"H2sPage", Make("H2sPage"), 1176, 1195, "70000", Write(0x36, 4464)},
      {"Co2Page", Make("Co2Page"), 1100, 1102, "-10", Write(0x38, 0xFFF6)},
      {"Co2Page", Make("Co2Page"), 1073, 1079, "1500", Write(0x36, 1500)},
      {"Co2Page", Make("Co2Page"), 1094, 1096, "1.5", Write(0x32, 15)},
      {"Co2Page", Make("Co2Page"), 1064, 1070, "80", Write(0x33, 800)},
  }, kWritten);
}

// The range chosen in the list decides the gas form at every press and poll.
TEST(GasPages, RangeFollowsTheChosenEntry) {
  PageOnSim nh3("Nh3Page", Make("Nh3Page"));
  EXPECT_EQ(nh3.page->CurrentEntry(1131), "NH3&Tem&Hum 0-50ppm");
  ASSERT_TRUE(nh3.line.Sim().SetRegister(2, 250));
  nh3.Choose(1131, "NH3 0-100ppm");
  nh3.Click(1109);
  EXPECT_EQ(nh3.Text(1089), "250");
  nh3.Choose(1131, "NH3 0-50ppm");
  nh3.Click(1109);
  EXPECT_EQ(nh3.Text(1089), "2.50");
  nh3.page->RealTimePoll();
  EXPECT_EQ(nh3.Text(1089), "2.50");
  nh3.Set(1104, "2.5");
  nh3.Click(1123);
  EXPECT_EQ(nh3.line.Sim().GetRegister(0x36), 250);
  nh3.Choose(1131, "NH3&Tem&Hum 0-500ppm");
  nh3.Set(1106, "7");
  nh3.Click(1127);
  EXPECT_EQ(nh3.line.Sim().GetRegister(0x38), 7);

  PageOnSim o3("O3Page", Make("O3Page"));
  o3.Choose(1200, "O3&Tem&Hum 0-100ppm");
  o3.Set(1210, "12.3");
  o3.Click(1229);
  o3.Choose(1200, "O3 0-10ppm");
  o3.Click(1229);
  EXPECT_EQ(o3.line.TakeRequests(), (std::vector<Request>{Write(0x36, 123), Write(0x36, 1230)}));
  ASSERT_TRUE(o3.line.Sim().SetRegister(0x36, 45));
  o3.Click(1228);
  EXPECT_EQ(o3.Text(1210), "0.45");
  o3.Choose(1200, "O3 0-100ppm");
  o3.Click(1228);
  EXPECT_EQ(o3.Text(1210), "4.5");
}

// The gas-only entry blanks and disables the temperature and humidity, leaves them out of the
// poll and keeps the gas rows working; the other entry gives them back with the blank text.
TEST(GasPages, GasOnlyEntryOnAReadingAndAThresholdPage) {
  PageOnSim co("CoPage", Make("CoPage"));
  for (int id : {1068, 1054}) co.Set(id, "old");
  co.Choose(1236, "CO");
  for (int id : {1068, 1054}) EXPECT_EQ(co.Text(id), " ");
  for (int id : {1068, 1054, 1065, 1066}) EXPECT_FALSE(co.Enabled(id)) << id;
  EXPECT_TRUE(co.Enabled(1067));
  co.line.TakeRequests();
  co.page->RealTimePoll();
  EXPECT_EQ(co.line.TakeRequests(), std::vector<Request>{Read(2)});
  co.Choose(1236, "CO&Tem&Hum");
  for (int id : {1068, 1054, 1065, 1066}) EXPECT_TRUE(co.Enabled(id)) << id;
  EXPECT_EQ(co.Text(1068), " ");

  // On the sorted pages with an edit field only the buttons go; the fields stay enabled.
  PageOnSim ch4("Ch4Page", Make("Ch4Page"));
  ch4.Choose(1607, "CH4");
  EXPECT_TRUE(ch4.Enabled(1608) && ch4.Enabled(1610));
  EXPECT_FALSE(ch4.Enabled(1609) || ch4.Enabled(1611));
  // Ticked: the gas button and the list are locked; unticked, the temperature and humidity
  // buttons stay as the entry wants them.
  ch4.page->RealTimeCheckBox()->click();
  EXPECT_FALSE(ch4.Enabled(1612) || ch4.Enabled(1607));
  ch4.page->RealTimeCheckBox()->click();
  EXPECT_TRUE(ch4.Enabled(1612) && ch4.Enabled(1607));
  EXPECT_FALSE(ch4.Enabled(1609) || ch4.Enabled(1611));

  PageOnSim o2("O2Page", Make("O2Page"));
  const std::vector<int> climateEdits{1133, 1134, 1136, 1137, 1138, 1139, 1140, 1141};
  for (int id : climateEdits) o2.Set(id, "old");
  o2.Choose(1132, "O2 0-25%vol");
  int disabled = 0;
  for (QWidget* w : o2.page->findChildren<QWidget*>()) disabled += !w->objectName().isEmpty() && !w->isEnabled();
  EXPECT_GE(disabled, 22);
  for (int id : climateEdits) EXPECT_EQ(o2.Text(id), " ") << id;
  for (int id : {1135, 1147, 1142, 1160, 1161, 1144, 1164, 1165}) EXPECT_TRUE(o2.Enabled(id)) << id;
  // With the box ticked the limit and calibration buttons still work between polls.
  o2.Choose(1132, "O2&Temp&Hum 0-25%vol");
  o2.page->RealTimeCheckBox()->click();
  EXPECT_FALSE(o2.Enabled(1147) || o2.Enabled(1132) || o2.Enabled(1145));
  EXPECT_TRUE(o2.Enabled(1148) && o2.Enabled(1149) && o2.Enabled(1165));
}

// Each page's poll, request by request, and its real-time box with the port closed.
TEST(GasPages, PollOrderAndRealTimeBoxOfEveryPage) {
  const std::string mark = "Please open the serial port first!", plain = "Please open the serial port first";
  const std::vector<Request> temHumGas{Read(1), Read(0), Read(2)};
  const struct {
    const char* profile;
    Factory make;
    std::vector<Request> requests;
    int box;
    std::string message;
    QString caption = "Real Time";
  } cases[] = {
      {"LampPage", Make("LampPage"), {Read(0)}, 1064, mark},
      {"TvocPage", Make("TvocPage"), {Read(0)}, 1072, mark},
      {"CoPage", Make("CoPage"), temHumGas, 1069, mark},
      {"So2Page", Make("So2Page"), temHumGas, 1079, mark},
      {"No2Page", Make("No2Page"), {Read(1), Read(0), Read(2), Read(2)}, 1086, mark},
      {"HchoPage", Make("HchoPage"), temHumGas, 1605, plain},
      {"Ch4Page", Make("Ch4Page"), temHumGas, 1613, plain},
      {"Sf6Page", Make("Sf6Page"), temHumGas, 1659, mark},
      {"Co2Page", Make("Co2Page"), temHumGas, 1015, mark, "Teal Time"},
      {"O2Page", Make("O2Page"), temHumGas, 1015, mark},
      {"H2sPage", Make("H2sPage"), temHumGas, 1015, mark},
      {"Nh3Page", Make("Nh3Page"), temHumGas, 1015, mark},
      {"O3Page", Make("O3Page"), temHumGas, 1015, mark},
      {"Mg11Page", Make("Mg11Page"), {Read(0, 19)}, 1435, plain},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    PageOnSim t(c.profile, c.make);
    t.page->RealTimePoll();
    EXPECT_EQ(t.line.TakeRequests(), c.requests);
    QCheckBox* box = t.page->RealTimeCheckBox();
    ASSERT_EQ(box->objectName(), QString::number(c.box));
    EXPECT_EQ(box->text(), c.caption);
    t.line.GetLink().ClosePort();
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{c.message, "Warning", MessageIcon::Exclamation}}));
    // Unticked after the port was lost, every button is usable again.
    for (QPushButton* b : t.page->findChildren<QPushButton*>()) {
      EXPECT_TRUE(b->isHidden() || b->isEnabled()) << b->objectName().toStdString();
    }
  }
}

// CO2's lower limit reads silently; its other buttons say why they failed.
TEST(GasPages, SilentCo2UnderAndLampCalibration) {
  PageOnSim co2("Co2Page", Make("Co2Page"));
  co2.line.GetLink().ClosePort();
  co2.Click(1076);
  EXPECT_TRUE(co2.line.TakeBoxes().empty());
  co2.Click(1074);
  EXPECT_EQ(co2.line.TakeBoxes(), (std::vector<Box>{{"Serial port not open!", "Warning", MessageIcon::Exclamation}}));

  PageOnSim lamp("LampPage", Make("LampPage"));
  lamp.Set(1055, "1.25");
  lamp.Click(1057);
  lamp.Set(1058, "0.5");
  lamp.Click(1060);
  EXPECT_EQ(lamp.line.TakeRequests(), (std::vector<Request>{Write(0x50, 125), {0x10, 0x200, 2}}));
  EXPECT_EQ(lamp.line.Sim().GetRegister(0x200), 0x3F00);
  EXPECT_EQ(lamp.line.Sim().GetRegister(0x201), 0x0000);
  // Ticked, only the fume reading is locked.
  lamp.page->RealTimeCheckBox()->click();
  EXPECT_FALSE(lamp.Enabled(1054));
  EXPECT_TRUE(lamp.Enabled(1056) && lamp.Enabled(1057) && lamp.Enabled(1059) && lamp.Enabled(1060));
}

// The block's eighteen quantities from one answer; a short or failed answer empties them all,
// silently; a single row's failure says so in the page's own words.
TEST(GasPages, MultiGasBlock) {
  PageOnSim t("Mg11Page", Make("Mg11Page"));
  auto& sim = t.line.Sim();
  ASSERT_TRUE(sim.SetRegister(0x0003, 0xFF9C) && sim.SetRegister(0x0002, 552) && sim.SetRegister(0x0004, 1013));
  ASSERT_TRUE(sim.SetRegister32(0x0005, 100000) && sim.SetRegister(0x0009, 6) && sim.SetRegister(0x000B, 209));
  ASSERT_TRUE(sim.SetRegister(0x0000, 0x8001));
  t.page->RealTimePoll();
  EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Read(0, 19)});
  const std::pair<int, QString> shown[] = {{1487, "-10.0"},  {1488, "55.2"}, {1478, "101.3"}, {1479, "100000"},
                                           {1482, "0.06"},   {1484, "20.9"}, {1286, "32769"}, {1493, "3"}};
  for (const auto& [edit, text] : shown) EXPECT_EQ(t.Text(edit), text) << edit;
  const std::vector<int> fields{1286, 1287, 1488, 1487, 1478, 1479, 1480, 1481, 1482,
                                1483, 1484, 1485, 1486, 1489, 1490, 1491, 1492, 1493};
  for (int edit : fields) EXPECT_FALSE(t.Text(edit).isEmpty()) << edit;

  sim.AddFault({.kind = sim::FaultKind::BadCrc});
  t.page->RealTimePoll();
  for (int edit : fields) EXPECT_EQ(t.Text(edit), "") << edit;
  EXPECT_TRUE(t.line.TakeBoxes().empty());

  // Each row on its own: the light as two registers, failures in the page's words.
  t.Click(1501);
  t.Click(1498);
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(0, 19), Read(5, 2), Read(3)}));
  EXPECT_EQ(t.Text(1479), "100000");
  EXPECT_EQ(t.Text(1487), "-10.0");
  t.line.GetLink().ClosePort();
  t.Click(1503);
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{"Serial port not opened", "Warning", MessageIcon::Exclamation}}));
}

}  // namespace
}  // namespace tamsu
