// The vibration and tilt pages against a simulated transmitter of each kind.
#include <QCheckBox>
#include <QComboBox>
#include <bit>
#include <optional>

#include "pages/motion/motion_pages.h"
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

constexpr MessageIcon kWarn = MessageIcon::Exclamation;
const Box kVibrationWritten{"Write successful!", "", MessageIcon::Information};
const Box kTiltWritten{"Write Success", "", MessageIcon::Information};

Request WriteTwo(int reg) { return {0x10, reg, 2}; }

// A control found the way a screen reader finds it: by its accessible name.
template <typename Widget>
Widget* Named(const DevicePage& page, const QString& name) {
  for (Widget* w : page.findChildren<Widget*>())
    if (w->accessibleName() == name) return w;
  ADD_FAILURE() << "no control named " << name.toStdString();
  return nullptr;
}

void Press(PageOnSim& t, const QString& name) {
  if (auto* button = Named<QPushButton>(*t.page, name)) button->click();
  t.line.WaitIdle();
}

// The single-axis page: speed signed, stretch and acceleration unsigned, from their own
// buttons and from the poll, which reads the four registers in order and says nothing.
TEST(VibrationPages, SingleAxisSignsFromButtonsAndPoll) {
  PageOnSim t("VibrationSingleAxisPage", Make("VibrationSingleAxisPage"));
  const struct {
    uint16_t reg, value;
    const char* name;
    QString shown;
  } cases[] = {
      {0, 0xFF38, "Tem", "-20.0"},
      {1, 0xFFFB, "Speed", "-0.5"},
      {2, 0xFFFB, "Stretch", "6553.1"},
      {3, 0x8000, "Acceleration", "3276.8"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(t.line.Sim().SetRegister(c.reg, c.value));
    Press(t, QStringLiteral("Inquire %1").arg(c.name));
    EXPECT_EQ(Named<QLineEdit>(*t.page, c.name)->text(), c.shown) << c.name;
    EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Read(c.reg)}) << c.name;
  }
  for (const auto& c : cases) Named<QLineEdit>(*t.page, c.name)->clear();
  t.Poll();
  for (const auto& c : cases) EXPECT_EQ(Named<QLineEdit>(*t.page, c.name)->text(), c.shown) << c.name;
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(0), Read(1), Read(2), Read(3)}));
  EXPECT_TRUE(t.line.TakeBoxes().empty());

  // A silent device empties the polled fields without a word.
  t.line.GetLink().ClosePort();
  t.Poll();
  for (const auto& c : cases) EXPECT_EQ(Named<QLineEdit>(*t.page, c.name)->text(), "") << c.name;
  EXPECT_TRUE(t.line.TakeBoxes().empty());
}

// How the line fails a request: not at all, by a closed port, or by the simulator's fault.
struct LineState {
  bool closed = false;
  std::optional<sim::FaultKind> fault{};
};
constexpr LineState kClosed{.closed = true}, kSilent{.fault = sim::FaultKind::Silence},
    kBadCrc{.fault = sim::FaultKind::BadCrc};

// Presses a button with the line in `state`, then restores the line.
void PressWith(PageOnSim& t, const LineState& state, const QString& button) {
  if (state.closed) t.line.GetLink().ClosePort();
  if (state.fault) t.line.Sim().AddFault({.kind = *state.fault});
  Press(t, button);
  t.line.Sim().ClearFaults();
  if (state.closed) {
    ASSERT_EQ(t.line.GetLink().ReopenPort(t.line.Sim().PortPath(), 9600), 1);
  }
}

// The single-axis page's reads and every coefficient read and write speak the family's words.
TEST(VibrationPages, FamilyMessagesOfReadsAndWrites) {
  PageOnSim single("VibrationSingleAxisPage", Make("VibrationSingleAxisPage"));
  PageOnSim three("VibrationThreeAxisPage", Make("VibrationThreeAxisPage"));
  const struct {
    PageOnSim* t;
    const char* button;
    LineState line;
    Box box;
  } cases[] = {
      {&single, "Inquire Stretch", kClosed, {"Serial port not open!", "Warning", kWarn}},
      {&single, "Inquire Tem CAL", kSilent, {"Read format error!", "Warning", kWarn}},
      {&three, "Inquire Z Acc B CAL", kBadCrc, {"Equipment verification value error!", "Warning", kWarn}},
      {&single, "Set up ACC A CAL", kSilent, {"Return value error or device not responding!", "Warning", kWarn}},
      {&three, "Set up X Speed A CAL", kBadCrc,
       {"Inconsistent reception and transmission of data!", "Warning", kWarn}},
      {&single, "Set up Tem CAL", kBadCrc, {"Inconsistent reception and transmission of data!", "Warning", kWarn}},
  };
  for (const auto& c : cases) {
    PressWith(*c.t, c.line, c.button);
    EXPECT_EQ(c.t->line.TakeBoxes(), std::vector<Box>{c.box}) << c.button;
  }
}

// "Tem CAL" in tenths, truncated toward zero, as 16 bits; on the three-axis page through the
// field write's own words.
TEST(VibrationPages, TemperatureCorrection) {
  const struct {
    const char* profile;
    Factory make;
    Box written;
  } pages[] = {
      {"VibrationSingleAxisPage", Make("VibrationSingleAxisPage"), kVibrationWritten},
      {"VibrationThreeAxisPage", Make("VibrationThreeAxisPage"), {"Write Successfully", "", kWarn}},
  };
  for (const auto& p : pages) {
    SCOPED_TRACE(p.profile);
    PageOnSim t(p.profile, p.make);
    QLineEdit* field = Named<QLineEdit>(*t.page, "Tem CAL");
    const std::pair<const char*, int> writes[] = {{"2.56", 25}, {"-1.5", 0xFFF1}, {"x", 0}};
    for (const auto& [text, value] : writes) {
      field->setText(text);
      Press(t, "Set up Tem CAL");
      EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Write(0x50, value)}) << text;
      EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{p.written});
    }
    ASSERT_TRUE(t.line.Sim().SetRegister(0x50, 0xFFF1));
    Press(t, "Inquire Tem CAL");
    EXPECT_EQ(field->text(), "-1.5");
  }
}

struct Coefficient {
  const char* caption;
  int reg;
};

// Each coefficient row writes its own field, as a single, to its own register and the next,
// high word first, and reads back from there with six decimals.
void CheckCoefficients(const char* profile, const Factory& make, const std::vector<Coefficient>& rows) {
  SCOPED_TRACE(profile);
  PageOnSim t(profile, make);
  auto field = [&t](const Coefficient& c) { return Named<QLineEdit>(*t.page, c.caption); };
  for (size_t i = 0; i < rows.size(); ++i) field(rows[i])->setText(QString::number(i + 1));
  for (size_t i = 0; i < rows.size(); ++i) {
    const Coefficient& c = rows[i];
    SCOPED_TRACE(c.caption);
    Press(t, QStringLiteral("Set up %1").arg(c.caption));
    EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{WriteTwo(c.reg)});
    const auto bits = std::bit_cast<uint32_t>(static_cast<float>(i + 1));
    EXPECT_EQ(t.line.Sim().GetRegister(c.reg), bits >> 16);
    EXPECT_EQ(t.line.Sim().GetRegister(c.reg + 1), bits & 0xFFFF);
    EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{kVibrationWritten});
  }
  const Coefficient& last = rows.back();
  ASSERT_TRUE(t.line.Sim().SetRegister32(last.reg, std::bit_cast<uint32_t>(-0.25f)));
  Press(t, QStringLiteral("Inquire %1").arg(last.caption));
  EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Read(last.reg, 2)});
  EXPECT_EQ(field(last)->text(), "-0.250000");
  // The text 1 is 0x3F80 0x0000.
  field(rows.front())->setText("1");
  Press(t, QStringLiteral("Set up %1").arg(rows.front().caption));
  EXPECT_EQ(t.line.Sim().GetRegister(rows.front().reg), 0x3F80);
  EXPECT_EQ(t.line.Sim().GetRegister(rows.front().reg + 1), 0x0000);
}

TEST(VibrationPages, CoefficientsAtTheirRegisters) {
  CheckCoefficients("VibrationSingleAxisPage", Make("VibrationSingleAxisPage"),
                    {{"Speed A CAL", 104}, {"Speed B CAL", 106}, {"Stretch A CAL", 116}, {"Stretch B CAL", 118},
                     {"ACC A CAL", 128}, {"ACC B CAL", 130}});
  CheckCoefficients("VibrationThreeAxisPage", Make("VibrationThreeAxisPage"),
                    {{"X Speed A CAL", 0x60},   {"X Speed B CAL", 0x62},   {"Y Speed A CAL", 0x64},
                     {"Y Speed B CAL", 0x66},   {"Z Speed A CAL", 0x68},   {"Z Speed B CAL", 0x6A},
                     {"X Stretch A CAL", 0x6C}, {"X Stretch B CAL", 0x6E}, {"Y Stretch A CAL", 0x70},
                     {"Y Stretch B CAL", 0x72}, {"Z Stretch A CAL", 0x74}, {"Z Stretch B CAL", 0x76},
                     {"X Acc A CAL", 0x78},     {"X Acc B CAL", 0x7A},     {"Y Acc A CAL", 0x7C},
                     {"Y Acc B CAL", 0x7E},     {"Z Acc A CAL", 0x80},     {"Z Acc B CAL", 0x82}});
}

// The measured block: ten reads in order, the speeds signed, the rest unsigned; its "Inquire"
// reports only the last read's failure, a failed read leaves its field empty and the sequence
// goes on; the poll reads the same, silently.
TEST(VibrationPages, MeasuredBlockSequence) {
  const struct {
    const char* profile;
    Factory make;
    uint16_t acceleration;  // X's register
    std::vector<QString> fields;
  } pages[] = {
      {"VibrationThreeAxisPage", Make("VibrationThreeAxisPage"), 10,
       {"Tem", "X Speed", "Y Speed", "Z Speed", "X Stretch", "Y Stretch", "Z Stretch", "X Acc", "Y Acc", "Z Acc"}},
      {"VibrationSpectrumPage", Make("VibrationSpectrumPage"), 7,
       {"Tem", "Speed X", "Speed Y", "Speed Z", "Stretch X", "Stretch Y", "Stretch Z", "Acceleration X",
        "Acceleration Y", "Acceleration Z"}},
  };
  for (const auto& p : pages) {
    SCOPED_TRACE(p.profile);
    PageOnSim t(p.profile, p.make);
    auto& sim = t.line.Sim();
    std::vector<Request> sequence{Read(0), Read(1), Read(2), Read(3), Read(4), Read(5), Read(6)};
    for (int a = 0; a < 3; ++a) sequence.push_back(Read(p.acceleration + a));
    ASSERT_TRUE(sim.SetRegister(2, 0xFFFB) && sim.SetRegister(5, 0xFFFB) && sim.SetRegister(p.acceleration, 0x8000));
    const std::pair<size_t, QString> shown[] = {{2, "-0.5"}, {5, "6553.1"}, {7, "3276.8"}};
    auto text = [&](size_t k) { return Named<QLineEdit>(*t.page, p.fields[k])->text(); };

    Press(t, "Inquire Measured values");
    EXPECT_EQ(t.line.TakeRequests(), sequence);
    for (const auto& [k, value] : shown) EXPECT_EQ(text(k), value) << k;
    for (size_t k = 0; k < p.fields.size(); ++k) EXPECT_FALSE(text(k).isEmpty()) << k;

    sim.AddFault({.kind = sim::FaultKind::BadCrc});  // spoils the temperature's answer
    Press(t, "Inquire Measured values");
    EXPECT_EQ(t.line.TakeRequests(), sequence);
    EXPECT_EQ(text(0), "");
    EXPECT_FALSE(text(9).isEmpty());
    EXPECT_TRUE(t.line.TakeBoxes().empty());

    t.Poll();
    EXPECT_EQ(t.line.TakeRequests(), sequence);
    for (const auto& [k, value] : shown) EXPECT_EQ(text(k), value) << k;

    // With the port closed: one box, the last read's, and ten empty fields.
    t.line.GetLink().ClosePort();
    Press(t, "Inquire Measured values");
    EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{"串口未打开", "警告", kWarn}}));
    for (size_t k = 0; k < p.fields.size(); ++k) EXPECT_EQ(text(k), "") << k;
    t.Poll();
    EXPECT_TRUE(t.line.TakeBoxes().empty());
  }
}

// The box with the port closed stays unticked and says so; ticked, it locks every button of the
// page and leaves the fields and lists alone.
TEST(MotionPages, RealTimeBoxLocksEveryButton) {
  const struct {
    const char* profile;
    Factory make;
    QString caption;
    int buttons;
  } pages[] = {
      {"VibrationSingleAxisPage", Make("VibrationSingleAxisPage"), "Auto Read", 4 + 2 + 12},
      {"VibrationThreeAxisPage", Make("VibrationThreeAxisPage"), "Auto Read", 1 + 2 + 36},
      {"VibrationSpectrumPage", Make("VibrationSpectrumPage"), "Auto Read", 1},
      {"TiltSensorPage", Make("TiltSensorPage"), "Real Time", 3 + 2 + 1},
  };
  for (const auto& p : pages) {
    SCOPED_TRACE(p.profile);
    PageOnSim t(p.profile, p.make);
    QCheckBox* box = t.page->RealTimeCheckBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), p.caption);
    const auto buttons = t.page->findChildren<QPushButton*>();
    EXPECT_EQ(buttons.size(), p.buttons);
    t.line.GetLink().ClosePort();
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{"Please open the serial port first!", "Warning", kWarn}}));
    for (QPushButton* b : buttons) EXPECT_TRUE(b->isEnabled()) << b->accessibleName().toStdString();
    ASSERT_EQ(t.line.GetLink().ReopenPort(t.line.Sim().PortPath(), 9600), 1);
    box->click();
    for (QPushButton* b : buttons) EXPECT_FALSE(b->isEnabled()) << b->accessibleName().toStdString();
    for (QLineEdit* e : t.page->findChildren<QLineEdit*>()) EXPECT_TRUE(e->isEnabled());
    for (QComboBox* list : t.page->findChildren<QComboBox*>()) EXPECT_TRUE(list->isEnabled());
  }
}

constexpr int kAngleX = 1971, kAngleY = 1973, kAngleZ = 1975;
constexpr int kInstallation = 1977, kInstallationInquire = 1978, kInstallationSetup = 1979;
constexpr int kCalibration = 1980, kCalibrationSetup = 1981;

TEST(TiltSensorPage, AnglesFromButtonsAndPoll) {
  PageOnSim t("TiltSensorPage", Make("TiltSensorPage"));
  auto& sim = t.line.Sim();
  ASSERT_TRUE(sim.SetRegister(0, 0xF830) && sim.SetRegister(1, 9000) && sim.SetRegister(2, 0xFFFF));
  const std::pair<int, QString> angles[] = {{kAngleX, "-20.00"}, {kAngleY, "90.00"}, {kAngleZ, "-0.01"}};
  for (const auto& [edit, shown] : angles) {
    t.Click(edit + 1);
    EXPECT_EQ(t.Text(edit), shown) << edit;
  }
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(0), Read(1), Read(2)}));

  // The poll is one request for all three.
  for (const auto& [edit, shown] : angles) t.Set(edit, "old");
  t.Poll();
  EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{Read(0, 3)});
  for (const auto& [edit, shown] : angles) EXPECT_EQ(t.Text(edit), shown) << edit;
  // A spoiled answer empties all three, silently; so does a closed port, sending nothing.
  sim.AddFault({.kind = sim::FaultKind::BadCrc});
  t.Poll();
  for (const auto& [edit, shown] : angles) EXPECT_EQ(t.Text(edit), "") << edit;
  t.Poll();
  EXPECT_EQ(t.Text(kAngleX), "-20.00");
  t.line.GetLink().ClosePort();
  t.line.TakeRequests();
  t.Poll();
  for (const auto& [edit, shown] : angles) EXPECT_EQ(t.Text(edit), "") << edit;
  EXPECT_TRUE(t.line.TakeRequests().empty());
  EXPECT_TRUE(t.line.TakeBoxes().empty());

  // A button says why its read failed, in the page's words.
  t.Click(kAngleY + 1);
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{"Serial port not opened", "Warning", kWarn}}));
  ASSERT_EQ(t.line.GetLink().ReopenPort(sim.PortPath(), 9600), 1);
  sim.AddFault({.kind = sim::FaultKind::BadCrc});
  t.Click(kAngleX + 1);
  EXPECT_EQ(t.line.TakeBoxes(), (std::vector<Box>{{"Device check value error", "Warning", kWarn}}));
}

// The method is read by its code (any other leaves the list as it was) and written only when
// one is chosen; each calibration entry sends its own command, and none chosen sends nothing.
TEST(TiltSensorPage, InstallationMethodAndCalibration) {
  PageOnSim t("TiltSensorPage", Make("TiltSensorPage"));
  QComboBox* method = t.page->List(kInstallation);
  QComboBox* calibration = t.page->List(kCalibration);
  ASSERT_TRUE(method && calibration);
  ASSERT_EQ(method->currentIndex(), -1);
  t.Click(kInstallationSetup);
  t.Click(kCalibrationSetup);
  EXPECT_TRUE(t.line.TakeRequests().empty());
  EXPECT_TRUE(t.line.TakeBoxes().empty());

  auto& sim = t.line.Sim();
  ASSERT_TRUE(sim.SetRegister(0x52, 102));
  t.Click(kInstallationInquire);
  EXPECT_EQ(method->currentText(), "Vertical");
  ASSERT_TRUE(sim.SetRegister(0x52, 100));
  t.Click(kInstallationInquire);
  EXPECT_EQ(method->currentText(), "Vertical");
  EXPECT_TRUE(t.line.TakeBoxes().empty());
  EXPECT_EQ(t.line.TakeRequests(), (std::vector<Request>{Read(0x52), Read(0x52)}));

  method->setCurrentIndex(method->findText("Horizontal"));
  t.Click(kInstallationSetup);
  method->setCurrentIndex(method->findText("Vertical"));
  t.Click(kInstallationSetup);
  calibration->setCurrentIndex(calibration->findText("Z Axis Zero point cali"));
  t.Click(kCalibrationSetup);
  calibration->setCurrentIndex(calibration->findText("Zero point cali"));
  t.Click(kCalibrationSetup);
  EXPECT_EQ(t.line.TakeRequests(),
            (std::vector<Request>{Write(0x52, 101), Write(0x52, 102), Write(0x54, 0x52), Write(0x53, 0x67)}));
  EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>(4, kTiltWritten));

  const struct {
    LineState line;
    int button;
    Box box;
  } failures[] = {
      {kSilent, kCalibrationSetup, {"The return value is incorrect or the device is not responding", "Warning", kWarn}},
      {kBadCrc, kInstallationSetup, {"The received data is inconsistent with the transmitted data", "Warning", kWarn}},
      {kClosed, kInstallationSetup, {"Serial port not opened", "Warning", kWarn}},
  };
  for (const auto& f : failures) {
    PressWith(t, f.line, t.page->Button(f.button)->accessibleName());
    EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{f.box}) << f.box.text;
  }
  EXPECT_EQ(method->currentText(), "Vertical");
}

}  // namespace
}  // namespace tamsu
