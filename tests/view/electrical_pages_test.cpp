// The current collector and lampblack pages against a simulated transmitter of each kind.
#include <QCheckBox>
#include <QPushButton>

#include "pages/electrical/electrical_pages.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

using test::Box;
using test::Make;
using test::PageOnSim;
using test::Read;
using test::Request;
using test::Write;

const Box kNotOpen{"Serial port not open!", "Warning", MessageIcon::Exclamation};

// Signed hundredths at their edges, a threshold written in hundredths; the box tests no port,
// locks nothing, and a poll on a closed port empties the measured fields without a word.
TEST(ElectricalPages, CurrentCollector) {
  PageOnSim t("CurrentCollectorPage", Make("CurrentCollectorPage"));
  auto& sim = t.line.Sim();
  ASSERT_TRUE(sim.SetRegister(0, 0xFFFF) && sim.SetRegister(2, 0xFF9C) && sim.SetRegister(3, 1234));
  for (int button : {3011, 3013, 3014}) t.Click(button);
  EXPECT_EQ(t.Text(3001), "65535");
  EXPECT_EQ(t.Text(3003), "-1.00");
  EXPECT_EQ(t.Text(3004), "12.34");
  t.Set(3007, "2.5");
  t.Click(3027);
  t.Set(3006, "-1.5");
  t.Click(3026);
  EXPECT_EQ(t.line.TakeRequests(),
            (std::vector<Request>{Read(0), Read(2), Read(3), Write(0x5B, 250), Write(0x56, 0xFF6A)}));
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{"Write Successfully", "", MessageIcon::Exclamation},
                                                  {"Write Successfully", "", MessageIcon::Exclamation}}));

  t.Poll();
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(0), Read(1), Read(2), Read(3)}));
  t.line.GetLink().ClosePort();
  t.page->RealTimeCheckBox()->click();
  EXPECT_TRUE(t.page->RealTimeTicked());
  for (QPushButton* b : t.page->findChildren<QPushButton*>()) EXPECT_TRUE(b->isEnabled());
  t.Poll();
  for (int edit : {3001, 3002, 3003, 3004}) EXPECT_EQ(t.Text(edit), "") << edit;
  EXPECT_EQ(t.Text(3007), "2.5");
  EXPECT_TRUE(t.line.TakeBoxes().empty());
}

// The version as high.low byte, left empty with a message when it cannot be read; the
// coefficients as singles over two registers; the poll's own order.
TEST(ElectricalPages, Lampblack) {
  PageOnSim t("LampblackPage", Make("LampblackPage"));
  auto& sim = t.line.Sim();
  EXPECT_EQ(t.page->Button(3114)->accessibleName(), "Inqurie Version");
  EXPECT_EQ(t.page->Button(3144)->text(), "Inquire");
  for (auto [raw, shown] : {std::pair<uint16_t, const char*>{0x0103, "1.3"}, {0x0A00, "10.0"}}) {
    ASSERT_TRUE(sim.SetRegister(0x0A, raw));
    t.Click(3114);
    EXPECT_EQ(t.Text(3104), shown);
  }
  ASSERT_TRUE(sim.SetRegister(0, 0xFFFF) && sim.SetRegister32(0x14, 0x3FC00000));
  t.Click(3111);
  t.Click(3142);
  EXPECT_EQ(t.Text(3101), "-0.01");
  EXPECT_EQ(t.Text(3122), "1.500000");
  t.Set(3126, "0.5");
  t.Click(3166);
  EXPECT_EQ(sim.GetRegister(0x1A), 0x3F00);
  EXPECT_EQ(sim.GetRegister(0x1B), 0x0000);
  t.line.TakeBoxes();

  sim.AddFault({.kind = sim::FaultKind::BadCrc});
  t.Click(3114);
  EXPECT_EQ(t.Text(3104), "");
  t.line.TakeRequests();
  t.Poll();
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(0), Read(2), Read(1)}));
  t.line.GetLink().ClosePort();
  t.Set(3104, "1.3");
  t.Click(3114);
  EXPECT_EQ(t.Text(3104), "");
  EXPECT_EQ(t.line.TakeBoxes(),
            (std::vector<Box>{{"Check value error!", "Warning", MessageIcon::Exclamation}, kNotOpen}));
  t.page->RealTimeCheckBox()->click();
  EXPECT_TRUE(t.page->RealTimeTicked() && t.Enabled(3111) && t.Enabled(3166));
  EXPECT_TRUE(t.line.TakeBoxes().empty());
}

}  // namespace
}  // namespace tamsu
