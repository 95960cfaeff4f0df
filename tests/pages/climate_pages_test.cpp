// The climate pages against a simulated transmitter of each kind, driven headless.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pages/climate/climate_pages.h"
#include "tests/support/headless_page.h"

namespace tamsu {
namespace {

using test::Box;
using test::PageOnLine;
using test::Read;
using test::Request;
using test::Write;

// Signed tenths at the edges, the dew point's own registers, 32-bit lux, all sixteen bits.
TEST(ClimatePages, ReadingsAtTheEdgesOfTheirRepresentation) {
  test::ExpectReads({
      {"TemHumPage", {{1, 0xFF38}, {0, 0x0257}}, {1010, 1013}, {{1014, "-20.0"}, {1012, "59.9"}},
       {Read(1), Read(0)}},
      {"TemHumPage", {{1, 0}}, {1010}, {{1014, "0.0"}}, {Read(1)}},
      {"DewTemPage", {{1, 0xFFF6}, {2, 215}}, {1629, 1630}, {{1626, "-1.0"}, {1627, "21.5"}},
       {Read(1), Read(2)}},
      {"Illum20WPage", {{2, 0x00030D40}, {6, 2000}}, {1046, 1047},
       {{1044, "200000"}, {1045, "2000"}}, {Read(2, 2), Read(6)}},
      {"Illum6WPage", {{6, 65535}}, {1042}, {{1041, "65535"}}, {Read(6)}},
      {"WindSpeedPage", {{0, 0x0096}}, {1246}, {{1245, "15.0"}}, {Read(0)}},
  });
}

TEST(ClimatePages, KanbanSetUpWritesTenthsTruncated) {
  PageOnLine t("TemHumKanbanPage");
  const std::pair<const char*, uint16_t> cases[] = {{"35.5", 0x0163}, {"-5", 0xFFCE}, {"12.34", 123}};
  for (const auto& [text, raw] : cases) {
    t.Set(1408, text);
    t.Click(1399);
    EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Write(0x0030, raw)}) << text;
    EXPECT_EQ(t.line.Sim().GetRegister(0x0030), raw) << text;
    EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{"Write Successfully", "", MessageIcon::Exclamation}})) << text;
  }
}

TEST(ClimatePages, AlarmStatusCodesPerPage) {
  const struct {
    const char* profile;
    uint16_t reg;
    int edit, inquire;
    std::vector<std::pair<uint16_t, std::string>> shown;
  } cases[] = {
      {"WaterLeakPage", 2, 1028, 1029, {{1, "Normal"}, {2, "Warning"}, {0, "err"}, {3, "err"}}},
      {"SmokePage", 3, 1019, 1020, {{0, "Normal"}, {1, "Warning"}, {2, "err"}, {0xFFFF, "err"}}},
      {"InfraredPage", 3, 1025, 1026,
       {{0, "Normal"}, {1, "Warning"}, {2, "err"}, {0xFFFF, "err"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    PageOnLine t(c.profile);
    for (const auto& [raw, text] : c.shown) {
      t.line.Sim().SetRegister(c.reg, raw);
      t.Click(c.inquire);
      EXPECT_EQ(t.Text(c.edit), text) << raw;
    }
    EXPECT_EQ(t.line.TakeRequests().back(), Read(c.reg));
    // A silent detector empties the field; the button says why.
    t.line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = sim::kAlways});
    t.Click(c.inquire);
    EXPECT_EQ(t.Text(c.edit), "");
    EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{"Read format Error!", "Warning", MessageIcon::Exclamation}}));
  }
}

// The low byte of register 0 as shown names the wind; an empty field (a failed read) names
// nothing, so the last direction read stays named.
TEST(ClimatePages, WindDirectionByTheLowByteOfWhatRegisterZeroShows) {
  EXPECT_FALSE(WindShown(""));
  EXPECT_STREQ(WindShown("0")->name, "North Wind");
  EXPECT_STREQ(WindShown("258")->name, "East Wind");  // 0x0102
  EXPECT_EQ(WindShown("258")->icon, 164);
  EXPECT_STREQ(WindShown("7")->name, "Northwest Wind");
  EXPECT_STREQ(WindShown("8")->name, "Illegal");
  EXPECT_EQ(WindShown("8")->icon, kNorthIcon);
  EXPECT_STREQ(LookupWind(4).name, "Southerly Wind");
}

}  // namespace
}  // namespace tamsu
