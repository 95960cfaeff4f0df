// The gas pages against a simulated transmitter of each kind, driven headless.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/headless_page.h"

namespace tamsu {
namespace {

using test::Box;
using test::kWritten;
using test::PageOnLine;
using test::Read;
using test::Request;
using test::Write;

// One read per representation family: signed tenths and hundredths, whole signed and unsigned,
// the single of the fume coefficient, and NO2's register read twice.
TEST(GasPages, EachRepresentationFamilyAtItsEdges) {
  test::ExpectReads({
      {"CoPage", {{2, 0xFFFF}}, {1067}, {{1055, "-0.1"}}, {Read(2)}},
      {"So2Page", {{2, 1234}}, {1078}, {{1075, "12.34"}}, {Read(2)}},
      {"No2Page", {{2, 1000}}, {1085}, {{1082, "10.00"}, {1087, "20.50"}}, {Read(2), Read(2)}},
      {"Ch4Page", {{2, 0xFFFF}}, {1612}, {{1486, "-1"}}, {Read(2)}},
      {"Sf6Page", {{2, 0xFFFF}}, {1664}, {{1661, "-1"}}, {Read(2)}},
      {"HchoPage", {{1, 0xFF38}}, {1602}, {{1601, "-20.0"}}, {Read(1)}},
      {"TvocPage", {{0, 0xFFFF}}, {1070}, {{1071, "65535"}}, {Read(0)}},
      {"LampPage", {{0, 0xFFFF}}, {1054}, {{1053, "-0.01"}}, {Read(0)}},
      {"LampPage", {{0x200, 0x3FC0}, {0x201, 0}}, {1059}, {{1058, "1.500000"}}, {Read(0x200, 2)}},
      {"H2sPage", {{2, 0xFFFF}}, {1181}, {{1169, "65535"}}, {Read(2)}},
      {"O2Page", {{0x38, 0xFFFB}}, {1164}, {{1144, "-0.5"}}, {Read(0x38)}},
      {"Co2Page", {{0x38, 0xFFF6}}, {1101}, {{1100, "-10"}}, {Read(0x38)}},
      {"Co2Page", {{2, 0xFFF6}}, {1054}, {{1053, "65526"}}, {Read(2)}},
  });
}

// Limits and calibrations are written in each page's gas form; the CO2 page's temperature
// calibration goes to 0x0032, never to its humidity upper limit at 0x0033.
TEST(GasPages, ThresholdWrites) {
  test::ExpectWrites({
      {"O2Page", 1138, 1153, "-0.5", Write(0x32, 0xFFFB)},
      {"O2Page", 1142, 1161, "23.5", Write(0x36, 235)},
      {"H2sPage", 1176, 1195, "70000", Write(0x36, 4464)},
      {"Co2Page", 1100, 1102, "-10", Write(0x38, 0xFFF6)},
      {"Co2Page", 1073, 1079, "1500", Write(0x36, 1500)},
      {"Co2Page", 1094, 1096, "1.5", Write(0x32, 15)},
      {"Co2Page", 1064, 1070, "80", Write(0x33, 800)},
  }, kWritten);
}

// The range chosen in the list decides the gas form at every press and poll.
TEST(GasPages, RangeFollowsTheChosenEntry) {
  PageOnLine nh3("Nh3Page");
  EXPECT_EQ(nh3.page.Model().CurrentEntry(nh3.page.Inputs(), 1131), "NH3&Tem&Hum 0-50ppm");
  ASSERT_TRUE(nh3.line.Sim().SetRegister(2, 250));
  nh3.Choose(1131, "NH3 0-100ppm");
  nh3.Click(1109);
  EXPECT_EQ(nh3.Text(1089), "250");
  nh3.Choose(1131, "NH3 0-50ppm");
  nh3.Click(1109);
  EXPECT_EQ(nh3.Text(1089), "2.50");
  nh3.Poll();
  EXPECT_EQ(nh3.Text(1089), "2.50");
  nh3.Set(1104, "2.5");
  nh3.Click(1123);
  EXPECT_EQ(nh3.line.Sim().GetRegister(0x36), 250);
  nh3.Choose(1131, "NH3&Tem&Hum 0-500ppm");
  nh3.Set(1106, "7");
  nh3.Click(1127);
  EXPECT_EQ(nh3.line.Sim().GetRegister(0x38), 7);

  PageOnLine o3("O3Page");
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

// CO2's lower limit reads silently; its other buttons say why they failed.
TEST(GasPages, SilentCo2UnderAndLampCalibration) {
  PageOnLine co2("Co2Page");
  co2.line.GetLink().ClosePort();
  co2.Click(1076);
  EXPECT_TRUE(co2.line.TakeBoxes().empty());
  co2.Click(1074);
  EXPECT_EQ(co2.line.TakeBoxes(), (std::vector<Box>{{"Serial port not open!", "Warning", MessageIcon::Exclamation}}));

  PageOnLine lamp("LampPage");
  lamp.Set(1055, "1.25");
  lamp.Click(1057);
  lamp.Set(1058, "0.5");
  lamp.Click(1060);
  EXPECT_EQ(lamp.line.TakeRequests(), (std::vector<Request>{Write(0x50, 125), {0x10, 0x200, 2}}));
  EXPECT_EQ(lamp.line.Sim().GetRegister(0x200), 0x3F00);
  EXPECT_EQ(lamp.line.Sim().GetRegister(0x201), 0x0000);
  // Ticked, only the fume reading is locked.
  lamp.page.ClickBox();
  EXPECT_FALSE(lamp.Enabled(1054));
  EXPECT_TRUE(lamp.Enabled(1056) && lamp.Enabled(1057) && lamp.Enabled(1059) && lamp.Enabled(1060));
}

// The block's eighteen quantities from one answer; a short or failed answer empties them all,
// silently; a single row's failure says so in the page's own words.
TEST(GasPages, MultiGasBlock) {
  PageOnLine t("Mg11Page");
  auto& sim = t.line.Sim();
  ASSERT_TRUE(sim.SetRegister(0x0003, 0xFF9C) && sim.SetRegister(0x0002, 552) && sim.SetRegister(0x0004, 1013));
  ASSERT_TRUE(sim.SetRegister32(0x0005, 100000) && sim.SetRegister(0x0009, 6) && sim.SetRegister(0x000B, 209));
  ASSERT_TRUE(sim.SetRegister(0x0000, 0x8001));
  t.Poll();
  EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Read(0, 19)});
  const std::pair<int, std::string> shown[] = {{1487, "-10.0"},  {1488, "55.2"}, {1478, "101.3"}, {1479, "100000"},
                                           {1482, "0.06"},   {1484, "20.9"}, {1286, "32769"}, {1493, "3"}};
  for (const auto& [edit, text] : shown) EXPECT_EQ(t.Text(edit), text) << edit;
  const std::vector<int> fields{1286, 1287, 1488, 1487, 1478, 1479, 1480, 1481, 1482,
                                1483, 1484, 1485, 1486, 1489, 1490, 1491, 1492, 1493};
  for (int edit : fields) EXPECT_FALSE(t.Text(edit).empty()) << edit;

  sim.AddFault({.kind = sim::FaultKind::BadCrc});
  t.Poll();
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
