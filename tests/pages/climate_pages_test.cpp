// The climate pages against a simulated transmitter of each kind.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <memory>

#include "pages/climate/climate_pages.h"
#include "tests/pages/page_test_support.h"

namespace tamsu {
namespace {

using test::Box;
using test::Read;
using test::Request;
using test::SimulatedLine;
using test::Write;

const Box kWriteOk{"Write Successfully", "", MessageIcon::Exclamation};
const Box kReadFormat{"Read format error!", "Warning", MessageIcon::Exclamation};

template <typename PageClass>
struct PageOnSim {
  explicit PageOnSim(const std::string& profile) : line(profile), page(line.Context()) {}
  QString Text(int edit) { return page.Edit(edit)->text(); }
  void Click(int button) {
    QPushButton* b = page.Button(button);
    ASSERT_NE(b, nullptr) << button;
    b->click();
  }
  SimulatedLine line;
  PageClass page;
};

TEST(TemperaturePages, SignedTenthsAtTheEdges) {
  PageOnSim<TemHumPage> t("TemHumPage");
  t.line.Sim().SetRegister(0x0001, 0xFF38);
  t.line.Sim().SetRegister(0x0000, 0x0257);
  t.Click(1010);
  t.Click(1013);
  EXPECT_EQ(t.Text(1014), "-20.0");
  EXPECT_EQ(t.Text(1012), "59.9");
  t.line.Sim().SetRegister(0x0001, 0x0000);
  t.Click(1010);
  EXPECT_EQ(t.Text(1014), "0.0");
  EXPECT_TRUE(t.line.TakeBoxes().empty());

  // Register 1 is the dew point on the dew-point transmitter, register 2 the air.
  PageOnSim<DewTemPage> d("DewTemPage");
  d.line.Sim().SetRegister(0x0001, 0xFFF6);
  d.line.Sim().SetRegister(0x0002, 215);
  d.Click(1629);
  d.Click(1630);
  EXPECT_EQ(d.Text(1626), "-1.0");
  EXPECT_EQ(d.Text(1627), "21.5");
}

TEST(TemperaturePages, KanbanSetUpWritesTenthsTruncated) {
  PageOnSim<TemHumKanbanPage> t("TemHumKanbanPage");
  const std::pair<const char*, uint16_t> cases[] = {{"35.5", 0x0163}, {"-5", 0xFFCE}, {"12.34", 123}};
  for (const auto& [text, raw] : cases) {
    t.page.Edit(1408)->setText(QString::fromLatin1(text));
    t.Click(1399);
    EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Write(0x0030, raw)}) << text;
    EXPECT_EQ(t.line.Sim().GetRegister(0x0030), raw) << text;
    EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{kWriteOk}) << text;
  }
  // Each limit row reads and writes its own register.
  t.page.Edit(1069)->setText("-1.5");
  t.Click(1406);
  EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Write(0x0051, 0xFFF1)});
  t.line.Sim().SetRegister(0x0037, 25);
  t.Click(1066);
  EXPECT_EQ(t.Text(1065), "2.5");
  EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Read(0x0037)});
}

TEST(AlarmPages, StatusCodesPerPage) {
  struct Case {
    std::function<std::unique_ptr<DevicePage>(AppContext&)> make;
    const char* profile;
    uint16_t reg;
    int edit, inquire;
    std::vector<std::pair<uint16_t, QString>> shown;
  };
  const Case cases[] = {
      {[](AppContext& c) { return std::make_unique<WaterLeakPage>(c); }, "WaterLeakPage", 0x0002, 1028, 1029,
       {{1, "Normal"}, {2, "Warning"}, {0, "err"}, {3, "err"}}},
      {[](AppContext& c) { return std::make_unique<SmokePage>(c); }, "SmokePage", 0x0003, 1019, 1020,
       {{0, "Normal"}, {1, "Warning"}, {2, "err"}, {0xFFFF, "err"}}},
      {[](AppContext& c) { return std::make_unique<InfraredPage>(c); }, "InfraredPage", 0x0003, 1025, 1026,
       {{0, "Normal"}, {1, "Warning"}, {2, "err"}, {0xFFFF, "err"}}},
  };
  for (const Case& c : cases) {
    SimulatedLine line(c.profile);
    auto page = c.make(line.Context());
    for (const auto& [raw, text] : c.shown) {
      line.Sim().SetRegister(c.reg, raw);
      page->Button(c.inquire)->click();
      EXPECT_EQ(page->Edit(c.edit)->text(), text) << c.profile << " " << raw;
    }
    EXPECT_EQ(line.TakeRequests().back(), Read(c.reg)) << c.profile;
    // A silent detector empties the field; the button says why.
    line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = sim::kAlways});
    page->Button(c.inquire)->click();
    EXPECT_EQ(page->Edit(c.edit)->text(), "") << c.profile;
    EXPECT_EQ(line.TakeBoxes(), (std::vector<Box>{{"Read format Error!", "Warning", MessageIcon::Exclamation}}));
  }
}

TEST(IlluminationPages, ThirtyTwoBitLuxAndFullSixteenBits) {
  PageOnSim<Illum20WPage> w20("Illum20WPage");
  w20.line.Sim().SetRegister32(0x0002, 0x00030D40);
  w20.line.Sim().SetRegister(0x0006, 2000);
  w20.Click(1046);
  w20.Click(1047);
  EXPECT_EQ(w20.Text(1044), "200000");
  EXPECT_EQ(w20.Text(1045), "2000");
  EXPECT_EQ(w20.line.TakeRequests(), (std::vector<Request>{Read(0x0002, 2), Read(0x0006)}));

  PageOnSim<Illum6WPage> w6("Illum6WPage");
  w6.line.Sim().SetRegister(0x0006, 65535);
  w6.Click(1042);
  EXPECT_EQ(w6.Text(1041), "65535");
}

TEST(WindPages, DirectionNamedByLowByteWithItsIcon) {
  PageOnSim<WindDirectionPage> t("WindDirectionPage");
  EXPECT_EQ(t.page.DirectionName(), "Wind Direction");
  EXPECT_EQ(t.page.DirectionIcon(), 160);
  const struct {
    uint16_t raw;
    QString shown, name;
    int icon;
  } cases[] = {
      {3, "3", "Southeast Wind", 165},      {7, "7", "Northwest Wind", 163},
      {8, "8", "Illegal", 160},             {0x0102, "258", "East Wind", 164},
      {0x0100, "256", "North Wind", 160},   {4, "4", "Southerly Wind", 159},
      {0x00FF, "255", "Illegal", 160},      {1, "1", "Northeasterly Wind", 166},
  };
  for (const auto& c : cases) {
    t.line.Sim().SetRegister(0x0000, c.raw);
    t.line.Sim().SetRegister(0x0001, 99);
    t.Click(1242);
    EXPECT_EQ(t.Text(1243), c.shown);
    EXPECT_EQ(t.Text(1056), "99");
    EXPECT_EQ(t.page.DirectionName(), c.name) << c.raw;
    EXPECT_EQ(t.page.DirectionIcon(), c.icon) << c.raw;
  }
  EXPECT_TRUE(t.page.findChild<QLabel*>("1240"));
  EXPECT_TRUE(t.page.Edit(1243)->isReadOnly());

  // A failed read names no direction that was never read: the last one stays.
  t.line.Sim().SetRegister(0x0000, 2);
  t.Click(1242);
  t.line.TakeBoxes();
  t.line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = sim::kAlways});
  t.Click(1242);
  EXPECT_EQ(t.Text(1243), "");
  EXPECT_EQ(t.page.DirectionName(), "East Wind");
  EXPECT_EQ(t.page.DirectionIcon(), 164);
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{kReadFormat, kReadFormat}));
}

TEST(WindPages, CompassIconsAreDrawn) {
  test::EnsureApplication();
  for (int icon = 159; icon <= 166; ++icon) {
    const QImage image = WindDirectionPage::CompassIcon(icon, 32).toImage();
    int painted = 0;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) painted += qAlpha(image.pixel(x, y)) > 0;
    EXPECT_GT(painted, 300) << icon;
  }
  // The arrow tips differ: south's tip is at the bottom, north's at the top.
  const QImage north = WindDirectionPage::CompassIcon(160, 64).toImage();
  const QImage south = WindDirectionPage::CompassIcon(159, 64).toImage();
  auto red = [](const QImage& image, int y) { return qRed(image.pixel(32, y)) > 150 && qGreen(image.pixel(32, y)) < 100; };
  EXPECT_TRUE(red(north, 12));
  EXPECT_FALSE(red(north, 52));
  EXPECT_TRUE(red(south, 52));
}

TEST(WindPages, SpeedInTenths) {
  PageOnSim<WindSpeedPage> t("WindSpeedPage");
  t.line.Sim().SetRegister(0x0000, 0x0096);
  t.Click(1246);
  EXPECT_EQ(t.Text(1245), "15.0");
  EXPECT_TRUE(t.page.Edit(1245)->isReadOnly());
}

// Each page's poll: which requests, in which order, into which fields, and silently.
TEST(ClimatePolls, ExactRequestSequenceAndSilentFailures) {
  struct Case {
    std::function<std::unique_ptr<DevicePage>(AppContext&)> make;
    const char* profile;
    std::vector<Request> requests;
    std::vector<int> fields;
  };
  auto make = [](auto tag) {
    using PageClass = typename decltype(tag)::type;
    return [](AppContext& c) -> std::unique_ptr<DevicePage> { return std::make_unique<PageClass>(c); };
  };
  const Case cases[] = {
      {make(std::type_identity<TemperaturePage>{}), "TemperaturePage", {Read(1)}, {1009}},
      {make(std::type_identity<TemHumPage>{}), "TemHumPage", {Read(1), Read(0)}, {1014, 1012}},
      {make(std::type_identity<DewTemPage>{}), "DewTemPage", {Read(1), Read(0), Read(2)}, {1626, 1625, 1627}},
      {make(std::type_identity<WaterLeakPage>{}), "WaterLeakPage", {Read(2)}, {1028}},
      {make(std::type_identity<SmokePage>{}), "SmokePage", {Read(3)}, {1019}},
      {make(std::type_identity<InfraredPage>{}), "InfraredPage", {Read(3)}, {1025}},
      {make(std::type_identity<Illum6WPage>{}), "Illum6WPage", {Read(6)}, {1041}},
      {make(std::type_identity<Illum20WPage>{}), "Illum20WPage", {Read(2, 2), Read(6)}, {1044, 1045}},
      {make(std::type_identity<Illum6WTemHumPage>{}), "Illum6WTemHumPage", {Read(1), Read(0), Read(6)},
       {1031, 1012, 1014}},
      {make(std::type_identity<Illum20WTemHumPage>{}), "Illum20WTemHumPage",
       {Read(1), Read(0), Read(2, 2), Read(6)}, {1034, 1035, 1036, 1016}},
      {make(std::type_identity<WindDirectionPage>{}), "WindDirectionPage", {Read(0), Read(1)}, {1243, 1056}},
      {make(std::type_identity<WindSpeedPage>{}), "WindSpeedPage", {Read(0)}, {1245}},
  };
  for (const Case& c : cases) {
    SimulatedLine line(c.profile);
    auto page = c.make(line.Context());
    page->RealTimePoll();
    EXPECT_EQ(line.TakeRequests(), c.requests) << c.profile;
    for (int field : c.fields) EXPECT_FALSE(page->Edit(field)->text().isEmpty()) << c.profile << " " << field;
    // A closed port: every field emptied, nothing said, nothing sent.
    line.GetLink().ClosePort();
    page->RealTimePoll();
    for (int field : c.fields) EXPECT_EQ(page->Edit(field)->text(), "") << c.profile << " " << field;
    EXPECT_TRUE(line.TakeBoxes().empty()) << c.profile;
    EXPECT_TRUE(line.TakeRequests().empty()) << c.profile;
  }
}

TEST(ClimatePolls, KanbanPollsOnlyItsReadingsAndSaysWhy) {
  PageOnSim<TemHumKanbanPage> t("TemHumKanbanPage");
  t.page.RealTimePoll();
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(1), Read(0)}));
  EXPECT_EQ(t.Text(1407), "23.0");
  EXPECT_EQ(t.Text(1054), "55.0");
  t.line.GetLink().ClosePort();
  t.page.RealTimePoll();
  const Box notOpen{"Serial port not open!", "Warning", MessageIcon::Exclamation};
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{notOpen, notOpen}));
}

// Ticking with the port closed: unticked again, the page's own words, buttons left enabled;
// the one page without a port test stays ticked and its polls empty the fields silently.
TEST(ClimateRealTime, BoxWithThePortClosed) {
  struct Case {
    std::function<std::unique_ptr<DevicePage>(AppContext&)> make;
    int box;
    std::string message;
    int buttons;
  };
  const std::string serial = "Please open the serial port first!";
  const Case cases[] = {
      {[](AppContext& c) { return std::make_unique<TemperaturePage>(c); }, 1011, serial, 1},
      {[](AppContext& c) { return std::make_unique<TemHumPage>(c); }, 1015, serial, 2},
      {[](AppContext& c) { return std::make_unique<TemHumKanbanPage>(c); }, 1398, serial, 18},
      {[](AppContext& c) { return std::make_unique<DewTemPage>(c); }, 1631, serial, 3},
      {[](AppContext& c) { return std::make_unique<WaterLeakPage>(c); }, 1030, serial, 1},
      {[](AppContext& c) { return std::make_unique<SmokePage>(c); }, 1021, serial, 1},
      {[](AppContext& c) { return std::make_unique<InfraredPage>(c); }, 1027, "Please open the seiral port first!", 1},
      {[](AppContext& c) { return std::make_unique<Illum6WPage>(c); }, 1043, serial, 1},
      {[](AppContext& c) { return std::make_unique<Illum20WPage>(c); }, 1048, serial, 2},
      {[](AppContext& c) { return std::make_unique<Illum6WTemHumPage>(c); }, 1033, serial, 3},
      {[](AppContext& c) { return std::make_unique<WindDirectionPage>(c); }, 1244, serial, 1},
      {[](AppContext& c) { return std::make_unique<WindSpeedPage>(c); }, 1247, serial, 1},
  };
  SimulatedLine line("generic");
  for (const Case& c : cases) {
    auto page = c.make(line.Context());
    auto buttons = page->findChildren<QPushButton*>();
    ASSERT_EQ(static_cast<int>(buttons.size()), c.buttons) << page->Name().toStdString();
    QCheckBox* box = page->RealTimeCheckBox();
    ASSERT_EQ(box->objectName(), QString::number(c.box));

    line.GetLink().ReopenPort(line.Sim().PortPath(), 9600);
    box->click();
    EXPECT_TRUE(box->isChecked());
    for (QPushButton* b : buttons) EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    box->click();
    for (QPushButton* b : buttons) EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(line.TakeBoxes().empty());

    line.GetLink().ClosePort();
    box->click();
    EXPECT_FALSE(box->isChecked()) << page->Name().toStdString();
    for (QPushButton* b : buttons) EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_EQ(line.TakeBoxes(), (std::vector<Box>{{c.message, "Warning", MessageIcon::Exclamation}}));
  }

  Illum20WTemHumPage page(line.Context());
  for (int edit : {1034, 1035, 1036, 1016}) page.Edit(edit)->setText("1");
  page.RealTimeCheckBox()->click();
  EXPECT_TRUE(page.RealTimeCheckBox()->isChecked());
  const auto buttons = page.findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 4);
  for (QPushButton* b : buttons) EXPECT_FALSE(b->isEnabled());
  page.RealTimePoll();
  for (int edit : {1034, 1035, 1036, 1016}) EXPECT_EQ(page.Edit(edit)->text(), "");
  EXPECT_TRUE(line.TakeBoxes().empty());
  page.RealTimeCheckBox()->click();
  for (QPushButton* b : buttons) EXPECT_TRUE(b->isEnabled());
}

}  // namespace
}  // namespace tamsu
