// The climate pages against a simulated transmitter of each kind.
#include <QCheckBox>
#include <QPushButton>
#include <functional>
#include <memory>

#include "view/wind_direction_view.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

using test::Box;
using test::Read;
using test::Request;
using test::Write;

using test::Factory;
using test::Make;
using test::PageOnSim;

TEST(ClimatePages, WindDirectionNamedByLowByteKeepsTheLastAfterAFailedRead) {
  PageOnSim t("WindDirectionPage", Make("WindDirectionPage"));
  auto& wind = dynamic_cast<WindDirectionView&>(*t.page);
  EXPECT_EQ(wind.DirectionName(), "Wind Direction");
  const struct {
    uint16_t raw;
    QString shown, name;
    int icon;
  } cases[] = {{3, "3", "Southeast Wind", 165}, {8, "8", "Illegal", 160},    {0x0102, "258", "East Wind", 164},
               {0x0100, "256", "North Wind", 160},   {4, "4", "Southerly Wind", 159}, {0x00FF, "255", "Illegal", 160},
               {1, "1", "Northeasterly Wind", 166}, {7, "7", "Northwest Wind", 163}};
  for (const auto& c : cases) {
    t.line.Sim().SetRegister(0x0000, c.raw);
    t.line.Sim().SetRegister(0x0001, 99);
    t.Click(1242);
    EXPECT_EQ(t.Text(1243), c.shown);
    EXPECT_EQ(t.Text(1056), "99");
    EXPECT_EQ(wind.DirectionName(), c.name) << c.raw;
    EXPECT_EQ(wind.DirectionIcon(), c.icon) << c.raw;
  }
  // A failed read names no direction that was never read: the last one stays.
  t.line.Sim().SetRegister(0x0000, 2);
  t.Click(1242);
  t.line.TakeBoxes();
  t.line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = sim::kAlways});
  t.Click(1242);
  EXPECT_EQ(t.Text(1243), "");
  EXPECT_EQ(wind.DirectionName(), "East Wind");
  EXPECT_EQ(wind.DirectionIcon(), 164);
  const Box format{"Read format error!", "Warning", MessageIcon::Exclamation};
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{format, format}));

  // The eight compass icons are drawn, each its own.
  std::vector<QImage> icons;
  for (int icon = 159; icon <= 166; ++icon) {
    icons.push_back(WindDirectionView::CompassIcon(icon, 32).toImage());
    int painted = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) painted += qAlpha(icons.back().pixel(x, y)) > 0;
    EXPECT_GT(painted, 300) << icon;
    for (size_t i = 0; i + 1 < icons.size(); ++i) EXPECT_NE(icons[i], icons.back()) << icon;
  }
}

// A limit the register cannot hold is said in a box before anything is sent (it once landed as
// its low 16 bits: 6553.7 as 0.1); a text that is no number keeps the page's own rule.
TEST(ClimatePages, SetUpRefusesALimitTheRegisterCannotHold) {
  PageOnSim t("TemHumKanbanPage", Make("TemHumKanbanPage"));
  t.line.Sim().SetRegister(0x0030, 300);
  t.Set(1408, "6553.7");
  t.Click(1399);
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{"Tem Upper: 6553.7 is out of range.\nIt can be -3276.8 to 3276.7; nothing was sent.",
                                                  "Warning", MessageIcon::Exclamation}}));
  EXPECT_TRUE(t.line.TakeRequests().empty());
  EXPECT_EQ(t.line.Sim().GetRegister(0x0030), 300);
  t.Set(1408, "-3276.8");
  t.Click(1399);
  EXPECT_EQ(t.line.Sim().GetRegister(0x0030), 0x8000);
  t.Set(1408, "warm");
  t.Click(1399);
  EXPECT_EQ(t.line.Sim().GetRegister(0x0030), 0);
}

// Each page's poll (the exact requests, into which fields) and its real-time box: ticked with
// the port open it locks the buttons; with the port closed it unticks with the page's own
// words and the poll empties the fields, silently but on the display board. The one page
// without a port test stays ticked.
TEST(ClimatePages, PollAndRealTimeBoxOfEveryPage) {
  const std::string serial = "Please open the serial port first!";
  const struct {
    const char* profile;
    Factory make;
    std::vector<Request> requests;
    std::vector<int> fields;
    int box, buttons;
    std::string message;  // empty: no port test
    bool pollSaysWhy = false;
  } cases[] = {
      {"TemperaturePage", Make("TemperaturePage"), {Read(1)}, {1009}, 1011, 1, serial},
      {"TemHumPage", Make("TemHumPage"), {Read(1), Read(0)}, {1014, 1012}, 1015, 2, serial},
      {"TemHumKanbanPage", Make("TemHumKanbanPage"), {Read(1), Read(0)}, {1407, 1054}, 1398, 18, serial, true},
      {"DewTemPage", Make("DewTemPage"), {Read(1), Read(0), Read(2)}, {1626, 1625, 1627}, 1631, 3, serial},
      {"WaterLeakPage", Make("WaterLeakPage"), {Read(2)}, {1028}, 1030, 1, serial},
      {"SmokePage", Make("SmokePage"), {Read(3)}, {1019}, 1021, 1, serial},
      {"InfraredPage", Make("InfraredPage"), {Read(3)}, {1025}, 1027, 1, "Please open the seiral port first!"},
      {"Illum6WPage", Make("Illum6WPage"), {Read(6)}, {1041}, 1043, 1, serial},
      {"Illum20WPage", Make("Illum20WPage"), {Read(2, 2), Read(6)}, {1044, 1045}, 1048, 2, serial},
      {"Illum6WTemHumPage", Make("Illum6WTemHumPage"), {Read(1), Read(0), Read(6)}, {1031, 1012, 1014}, 1033, 3,
       serial},
      {"Illum20WTemHumPage", Make("Illum20WTemHumPage"), {Read(1), Read(0), Read(2, 2), Read(6)},
       {1034, 1035, 1036, 1016}, 1040, 4, ""},
      {"WindDirectionPage", Make("WindDirectionPage"), {Read(0), Read(1)}, {1243, 1056}, 1244, 1, serial},
      {"WindSpeedPage", Make("WindSpeedPage"), {Read(0)}, {1245}, 1247, 1, serial},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    PageOnSim t(c.profile, c.make);
    const auto buttons = t.page->findChildren<QPushButton*>();
    ASSERT_EQ(static_cast<int>(buttons.size()), c.buttons);
    QCheckBox* box = t.page->RealTimeCheckBox();
    ASSERT_EQ(box->objectName(), QString::number(c.box));
    auto buttonsEnabled = [&](bool on) {
      for (QPushButton* b : buttons) EXPECT_EQ(b->isEnabled(), on) << b->objectName().toStdString();
    };

    t.Poll();
    EXPECT_EQ(t.line.TakeRequests(), c.requests);
    for (int field : c.fields) EXPECT_FALSE(t.Text(field).isEmpty()) << field;
    box->click();
    EXPECT_TRUE(box->isChecked());
    buttonsEnabled(false);
    box->click();
    buttonsEnabled(true);
    EXPECT_TRUE(t.line.TakeBoxes().empty());

    t.line.GetLink().ClosePort();
    t.Poll();
    for (int field : c.fields) EXPECT_EQ(t.Text(field), "") << field;
    const Box notOpen{"Serial port not open!", "Warning", MessageIcon::Exclamation};
    EXPECT_EQ(t.line.TakeBoxes(), c.pollSaysWhy ? (std::vector<Box>{notOpen, notOpen}) : (std::vector<Box>{}));
    EXPECT_TRUE(t.line.TakeRequests().empty());
    box->click();
    EXPECT_EQ(box->isChecked(), c.message.empty());
    buttonsEnabled(!c.message.empty());
    const std::vector<Box> says{{c.message, "Warning", MessageIcon::Exclamation}};
    EXPECT_EQ(t.line.TakeBoxes(), c.message.empty() ? std::vector<Box>{} : says);
  }
}

}  // namespace
}  // namespace tamsu
