// The water gauge, PH, EC and water quality pages against a simulated transmitter of each kind.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "pages/water/water_pages.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

using test::Box;
using test::Factory;
using test::Make;
using test::PageOnSim;
using test::Read;
using test::Request;
using test::Warning;
using test::Write;
Request WriteTwo(int reg) { return {0x10, reg, 2}; }
// What the simulated device holds in a register and the next.
std::pair<int, int> Pair(PageOnSim& t, uint16_t reg) {
  return {t.line.Sim().GetRegister(reg).value_or(-1), t.line.Sim().GetRegister(reg + 1).value_or(-1)};
}

bool AllButtonsEnabled(DevicePage& page) {
  for (QPushButton* b : page.findChildren<QPushButton*>())
    if (!b->isEnabled()) return false;
  return true;
}

// Readings at their edges, the state's texts, the tilt angle's single.
TEST(WaterGauge, ReadsAndTheirTwoMessageFamilies) {
  PageOnSim t("WaterGaugePage", Make("WaterGaugePage"));
  auto& sim = t.line.Sim();
  const struct {
    uint16_t reg;
    uint32_t raw;
    int button, edit;
    const char* shown;
  } cases[] = {{1, 0xFFF6, 3224, 3204, "-1.0"}, {1, 0x7FFF, 3224, 3204, "3276.7"}, {0, 0xFFFF, 3223, 3203, "65535"},
               {0x65, 0xFFFF, 3225, 3205, "65535"}, {2, 0, 3222, 3202, "No Water"}, {2, 1, 3222, 3202, "Water"},
               {2, 2, 3222, 3202, "err"}, {0x6A, 0x3FC00000, 3230, 3210, "1.50"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(c.raw > 0xFFFF ? sim.SetRegister32(c.reg, c.raw) : sim.SetRegister(c.reg, c.raw));
    t.Click(c.button);
    EXPECT_EQ(t.Text(c.edit), c.shown) << c.reg;
  }
  EXPECT_EQ(t.line.TakeRequests().back(), Read(0x6A, 2));

  // A list shows the entry at the value's index; one past its entries empties it; a failure
  // keeps the selection and speaks the row's family.
  QComboBox* mode = t.page->List(3201);
  ASSERT_TRUE(sim.SetRegister(0x64, 2));
  t.Click(3221);
  EXPECT_EQ(mode->currentText(), "Tilt Measurement");
  sim.AddFault({.kind = sim::FaultKind::BadCrc});
  t.Click(3221);
  EXPECT_EQ(mode->currentIndex(), 2);
  ASSERT_TRUE(sim.SetRegister(0x64, 7));
  t.Click(3221);
  EXPECT_EQ(mode->currentIndex(), -1);
  t.line.GetLink().ClosePort();
  for (int button : {3221, 3232, 3222}) t.Click(button);
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{Warning("Device check value error"), Warning("Serial port not opened"),
                                                  Warning("Serial port not open!"), Warning("Serial port not open!")}));
}

// Whole numbers written as they are (a number the register cannot hold is said in a box and
// not sent, never its low 16 bits), the tilt angle as a single, lists by index; nothing chosen
// sends nothing rather than 65535.
TEST(WaterGauge, Writes) {
  PageOnSim t("WaterGaugePage", Make("WaterGaugePage"));
  for (const char* text : {"abc", "70000", "-1", "12.7"}) {
    t.Set(3205, text);
    t.Click(3245);
  }
  t.Set(3210, "1.5");
  t.Click(3250);
  t.Click(3241);
  t.Choose(3213, "Associated");
  t.Click(3253);
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Write(0x65, 0), Write(0x65, 12), WriteTwo(0x6A), Write(0x6C, 1)}));
  EXPECT_EQ(Pair(t, 0x6A), std::make_pair(0x3FC0, 0x0000));
  const Box written{"Write Successfully", "", MessageIcon::Information};
  auto outOfRange = [](const std::string& text) {
    return Box{"Upper Limit: " + text + " is out of range.\nIt can be 0 to 65535; nothing was sent.", "Warning",
               MessageIcon::Exclamation};
  };
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{written, outOfRange("70000"), outOfRange("-1"), written, written, written}));
}

// One request for three registers; an exception or a closed port empties the three fields.
TEST(WaterGauge, PollAndRealTimeBox) {
  PageOnSim t("WaterGaugePage", Make("WaterGaugePage"));
  ASSERT_TRUE(t.line.Sim().SetRegister(2, 2) && t.line.Sim().SetRegister(1, 0xFFF6));
  t.Poll();
  EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Read(0, 3)});
  EXPECT_EQ(t.Text(3202), "err");
  EXPECT_EQ(t.Text(3203), "125");
  EXPECT_EQ(t.Text(3204), "-1.0");
  t.line.Sim().AddFault({.kind = sim::FaultKind::Exception});
  t.Poll();
  for (int edit : {3202, 3203, 3204}) EXPECT_EQ(t.Text(edit), "") << edit;
  EXPECT_TRUE(t.line.TakeBoxes().empty());

  t.page->RealTimeCheckBox()->click();
  for (QPushButton* b : t.page->findChildren<QPushButton*>())
    EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
  EXPECT_TRUE(t.Enabled(3201) && t.Enabled(3205));
  t.line.GetLink().ClosePort();
  t.page->RealTimeCheckBox()->click();
  t.page->RealTimeCheckBox()->click();
  EXPECT_FALSE(t.page->RealTimeTicked());
  EXPECT_TRUE(AllButtonsEnabled(*t.page));
  EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>(2, Warning("Please open the serial port first!")));
}

// Signed on "Inquire", unsigned in the poll; calibrations refused when they would write 0.
TEST(PhPage, ReadsPollAndCalibration) {
  PageOnSim t("PhPage", Make("PhPage"));
  ASSERT_TRUE(t.line.Sim().SetRegister(0, 0x8000));
  t.Click(3321);
  EXPECT_EQ(t.Text(3301), "-327.68");
  t.Poll();
  EXPECT_EQ(t.Text(3301), "327.68");
  EXPECT_EQ(t.Text(3302), "21.5");
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(0), Read(0, 2)}));

  for (const char* refused : {"0.001", "abc"}) {
    t.Set(3303, refused);
    t.Click(3343);
    EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{Warning("Input content cannot be empty")}) << refused;
  }
  // 655.36 would be written as 0, 700 as 4464: said, not sent.
  t.Set(3303, "655.36");
  t.Click(3343);
  EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{Warning("PH Calibration point one: 655.36 is out of range.\nIt can be -327.68 to 655.35; nothing was sent.")});
  EXPECT_TRUE(t.line.TakeRequests().empty());
  t.Set(3303, "4.00");
  t.Click(3343);
  EXPECT_EQ(Pair(t, 0x120), std::make_pair(1, 400));
  t.Set(3304, "7.00");
  t.Click(3344);
  EXPECT_EQ(Pair(t, 0x120), std::make_pair(2, 700));
  EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>(2, {"Write success", "", MessageIcon::Information}));

  t.line.GetLink().ClosePort();
  t.Click(3322);
  t.Click(3343);
  t.Poll();
  EXPECT_EQ(t.Text(3301), "");
  t.page->RealTimeCheckBox()->click();
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{Warning("Serial port not open"), Warning("Serial port not open"),
                                                  Warning("Please open the serial port first")}));
}

// EC at the resolution chosen, in the buttons, the poll and the calibration.
TEST(EcPage, ResolutionCompensationAndCalibration) {
  PageOnSim t("EcPage", Make("EcPage"));
  ASSERT_TRUE(t.line.Sim().SetRegister(0, 1234));
  const char* shown[] = {"1234", "123.4", "12.34", "1.234"};
  for (int i = 0; i < 4; ++i) {
    t.page->SelectorBox(3400)->setCurrentIndex(i);
    t.Click(3421);
    EXPECT_EQ(t.Text(3401), shown[i]);
  }
  t.line.TakeRequests();
  t.Poll();
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(0), Read(1)}));
  EXPECT_EQ(t.Text(3401), "1.234");
  EXPECT_EQ(t.Text(3402), "25.0");

  t.Set(3404, "12.5");
  t.Choose(3400, "Precision 0.01");
  t.Click(3444);
  EXPECT_EQ(Pair(t, 0x110), std::make_pair(4, 1250));
  t.Choose(3400, "Precision 1.0");
  t.Click(3444);
  EXPECT_EQ(Pair(t, 0x110), std::make_pair(4, 12));
  t.Set(3403, "1.5");
  t.Click(3443);
  EXPECT_EQ(Pair(t, 0x52), std::make_pair(0x3FC0, 0x0000));
  EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>(3, {"Write Success", "", MessageIcon::Information}));
  for (int button : {3443, 3444}) {
    t.Set(button - 40, "0");
    t.Click(button);
  }
  EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>(2, Warning("Input content cannot be empty")));
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{WriteTwo(0x110), WriteTwo(0x110), WriteTwo(0x52)}));

  // Ticked, the five buttons are locked, the resolution is not; unticked after the port was
  // lost, they are usable again.
  t.page->RealTimeCheckBox()->click();
  EXPECT_EQ(t.page->findChildren<QPushButton*>().size(), 5);
  for (QPushButton* b : t.page->findChildren<QPushButton*>()) EXPECT_FALSE(b->isEnabled());
  EXPECT_TRUE(t.Enabled(3400));
  t.line.GetLink().ClosePort();
  t.page->RealTimeCheckBox()->click();
  EXPECT_TRUE(AllButtonsEnabled(*t.page));
  t.Set(3403, "1");
  t.Click(3443);
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{Warning("Please open the serial port first!"),
                                                  Warning("Serial port not opened")}));
}

// Each page's poll, its "Inquire" messages and its box; the calibration commands.
TEST(WaterQualityPages, PollsReadsAndCalibrations) {
  const struct {
    const char* profile;
    Factory make;
    std::vector<Request> poll;
    size_t pollBoxesWhenClosed;
  } cases[] = {
      {"DoPage", Make("DoPage"), {Read(0, 2), Read(2, 2), Read(4, 2)}, 0},
      {"TurbidityPage", Make("TurbidityPage"), {Read(0), Read(1)}, 2},
      {"ClPage", Make("ClPage"), {Read(0)}, 0},
      {"NhnPage", Make("NhnPage"), {Read(0), Read(1), Read(2)}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    PageOnSim t(c.profile, c.make);
    t.Poll();
    EXPECT_EQ(t.line.TakeRequests(), c.poll);
    t.page->RealTimeCheckBox()->click();
    for (QPushButton* b : t.page->findChildren<QPushButton*>()) EXPECT_FALSE(b->isEnabled());
    t.line.GetLink().ClosePort();
    t.Poll();
    EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>(c.pollBoxesWhenClosed, Warning("Serial port not open!")));
    t.page->RealTimeCheckBox()->click();
    EXPECT_TRUE(AllButtonsEnabled(*t.page));
    EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{Warning("Please open the serial port first!")});
  }

  PageOnSim cl("ClPage", Make("ClPage"));
  ASSERT_TRUE(cl.line.Sim().SetRegister(0, 0xFFFF));
  cl.Click(3721);
  EXPECT_EQ(cl.Text(3701), "-0.01");
  PageOnSim nhn("NhnPage", Make("NhnPage"));
  ASSERT_TRUE(nhn.line.Sim().SetRegister(2, 250));
  nhn.Click(3823);
  EXPECT_EQ(nhn.Text(3803), "25.0");

  // One button reads both DO values; only the mg/L read says why it failed.
  PageOnSim oxygen("DoPage", Make("DoPage"));
  oxygen.Click(3521);
  EXPECT_EQ(oxygen.Text(3501), "95.199997");
  EXPECT_EQ(oxygen.Text(3502), "8.260000");
  EXPECT_EQ(oxygen.page->Edit(3502)->accessibleName(), "DO (mg/L)");
  oxygen.line.GetLink().ClosePort();
  oxygen.Click(3521);
  EXPECT_EQ(oxygen.Text(3501) + oxygen.Text(3502), "");
  EXPECT_EQ(oxygen.line.TakeBoxes(), std::vector<Box>{Warning("Serial port not open!")});

  PageOnSim turbidity("TurbidityPage", Make("TurbidityPage"));
  turbidity.Click(3641);
  turbidity.Click(3642);
  EXPECT_EQ(turbidity.line.TakeRequests(), (std::vector<Request>{Write(0x1010, 1), Write(0x1010, 2)}));
  EXPECT_EQ(turbidity.line.TakeBoxes(), std::vector<Box>(2, {"Write Success", "", MessageIcon::Information}));
  turbidity.line.Sim().AddFault({.kind = sim::FaultKind::Exception});
  turbidity.Click(3641);
  EXPECT_EQ(turbidity.line.TakeBoxes(),
            std::vector<Box>{Warning("The received data is inconsistent with the transmitted data")});
}

}  // namespace
}  // namespace tamsu
