// The soil and weather pages against a simulated transmitter of each kind, driven headless.
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "pages/soil_weather/soil_weather_pages.h"
#include "tests/support/headless_page.h"

namespace tamsu {
namespace {

using test::Box;
using test::kWritten;
using test::kOpenFirst;
using test::Warning;
using test::PageOnLine;
using test::Read;
using test::Request;
using test::Write;

// Signed against unsigned and each page's scale at the edges of sixteen bits, 32-bit lux, and
// the rain and snow code.
TEST(SoilWeatherPages, ReadingsAtTheEdgesOfTheirRepresentation) {
  test::ExpectReads({
      {"ThreeInOneSoilPage", {{2, 40000}}, {1302}, {{1301, "40000"}}, {Read(2)}},
      {"SoilConductivityPage", {{2, 40000}}, {1369}, {{1394, "-25536.0"}}, {Read(2)}},
      {"ThreeInOneSoilPage", {{0, 3333}}, {1298}, {{1297, "33.33"}}, {Read(0)}},
      {"SoilMoisturePage", {{1, 3333}}, {1252}, {{1251, "33.33"}}, {Read(1)}},
      {"SoilTemMoisturePage", {{0, 3333}}, {1306}, {{1304, "333.3"}}, {Read(0)}},
      {"SoilTensionPage", {{0, 0xFFF6}}, {1586}, {{1587, "-1.0"}}, {Read(0)}},
      {"TypeCWeatherCo2Page", {{0x1FA, 100000}}, {1320}, {{1314, "100000"}}, {Read(0x1FA, 2)}},
      {"TypeCWeatherPmPage", {{0x1F5, 0xFF9C}}, {1279}, {{1277, "-10.0"}}, {Read(0x1F5)}},
      {"UvPage", {{2, 1234}}, {1276}, {{1273, "12.34"}}, {Read(2)}},
      {"DustTesterPage", {{2, 0xFFFF}}, {1349}, {{1414, "65535"}}, {Read(2)}},
      {"RainSnowPage", {{0, 1}}, {1284}, {{1282, "Warning"}}, {Read(0)}},
  });
}

// What each kind of "Set up" sends: integers as typed, decimals times their multiplier and
// truncated, dust coefficients as singles over two registers, read back with "%f".
TEST(SoilWeatherPages, SetUpWritesAndTheFloatCoefficientReadsBack) {
  test::ExpectWrites({
      {"SoilConductivityPage", 1385, 1391, "12.9", Write(0x52, 12)},
      {"SoilConductivityPage", 1383, 1387, "-1.5", Write(0x50, 0xFFF1)},
      {"UvPage", 1071, 1074, "-1.5", Write(0x51, 0xFFF1)},
      {"TypeCWeatherPmPage", 1027, 1029, "7", Write(0x60, 7)},
  }, kWritten);
  PageOnLine dust("DustTesterPage");
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
  const std::string shown = dust.Text(1412);
  dust.line.Sim().AddFault({.kind = sim::FaultKind::Silence});
  dust.Poll();
  EXPECT_EQ(dust.Text(1412), shown);
  PageOnLine pm("PmPage");
  pm.Click(1288);
  pm.line.Sim().AddFault({.kind = sim::FaultKind::Silence});
  pm.Click(1288);
  EXPECT_EQ(pm.Text(1286), "");
}

// The coefficient and calibration buttons test the port and leave their field alone; the
// measured values rely on the transaction. Unticked after the port was lost, every button is
// usable again.
TEST(SoilWeatherPages, ConductivityCoefficientsTestThePort) {
  PageOnLine t("SoilConductivityPage");
  t.page.ClickBox();
  EXPECT_FALSE(t.Enabled(1375) || t.Enabled(1369));
  t.line.GetLink().ClosePort();
  t.page.ClickBox();
  EXPECT_FALSE(t.page.Ticked());
  for (const Row& row : t.page.Model().Declaration().rows)
    for (int button : {row.inquire, row.setup})
      if (button != 0) {
        EXPECT_TRUE(t.Enabled(button)) << button;
      }
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
  PageOnLine tension("SoilTensionPage");
  tension.line.Sim().AddFault({.kind = sim::FaultKind::BadCrc});
  tension.Click(1586);
  EXPECT_EQ(tension.line.TakeBoxes(), std::vector<Box>{Warning("Device check value error")});

  EXPECT_EQ(std::bit_cast<uint32_t>(static_cast<float>(kEvaLevelPerGram)), 0x3B509B88u);
  PageOnLine eva("EvaPage");
  for (auto [raw, weight, level] : {std::tuple{3142, "3142", "10.00"}, {0, "0", "0.00"}, {40000, "40000", "127.32"}}) {
    ASSERT_TRUE(eva.line.Sim().SetRegister(0, raw));
    eva.Click(1572);
    EXPECT_EQ(eva.Text(1571), weight);
    EXPECT_EQ(eva.Text(1574), level);
    eva.Set(1571, "");
    eva.Set(1574, "");
    eva.Poll();
    EXPECT_EQ(eva.Text(1571), weight);
    EXPECT_EQ(eva.Text(1574), level);
  }
  EXPECT_EQ(eva.line.TakeRequests().back(), Read(0));
  // A failed button read empties the weight only and says so; a failed poll empties both.
  eva.line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = 2});
  eva.Click(1572);
  EXPECT_EQ(eva.Text(1571), "");
  EXPECT_EQ(eva.Text(1574), "127.32");
  eva.Poll();
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
  eva.Poll();
  EXPECT_EQ(eva.Text(1571) + eva.Text(1574), "");
  EXPECT_TRUE(eva.line.TakeRequests().empty() && eva.line.TakeBoxes().empty());
}

}  // namespace
}  // namespace tamsu
