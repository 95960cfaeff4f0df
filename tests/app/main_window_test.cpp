#include "app/main_window.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <optional>
#include <tuple>

#include "app/categories.h"
#include "app/line_traffic_window.h"
#include "app/trend_window.h"
#include "view/device_page.h"
#include "view/dialog_units.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

using test::Box;

const std::string kColon = "\xEF\xBC\x9A";

class MainWindowTest : public ::testing::Test {
 protected:
  // A transmitter published in the port directory, and the window with its port selected.
  MainWindow& Start(sim::DeviceConfig device, sim::Mismatch mismatch = sim::Mismatch::Silence) {
    sim::SimulatorOptions options;
    options.device = device;
    options.publish = true;
    options.mismatch = mismatch;
    window_.reset();
    line_ = std::make_unique<test::SimulatedLine>(options, false);
    window_ = std::make_unique<MainWindow>(line_->Context());
    auto* list = Find<QComboBox>(1000);
    list->setCurrentIndex(list->findData(QString::fromStdString(Sim().PortPath())));
    EXPECT_EQ(window_->SelectedPortPath(), Sim().PortPath());
    return *window_;
  }

  // ... and scanned, found in this mode; boxes and requests so far forgotten.
  void StartScanned(sim::DeviceConfig device, ConfigMode mode) {
    Start(device);
    ASSERT_FALSE(Scan().text.empty());
    ASSERT_EQ(window_->Config().mode, mode);
    Sim().ClearLog();
  }

  // "Test Baud Rate": the one box it shows.
  Box Scan() {
    Click(1001);
    return Sink().Take();
  }

  template <typename T>
  T* Find(int id) {
    return window_->findChild<T*>(QString::number(id), Qt::FindDirectChildrenOnly);
  }
  QLineEdit* AddressBox() { return Find<QLineEdit>(1002); }
  QLineEdit* BaudBox() { return Find<QLineEdit>(1003); }
  // A click, and what it handed to the line carried out.
  void Click(int id) {
    QTest::mouseClick(Find<QPushButton>(id), Qt::LeftButton);
    line_->WaitIdle();
  }
  bool Enabled(int id) { return Find<QWidget>(id)->isEnabled(); }
  sim::TransmitterSimulator& Sim() { return line_->Sim(); }
  Link& TheLink() { return line_->GetLink(); }
  uint32_t OpenRate() { return TheLink().Port.Settings().baudRate; }
  test::RecordingSink& Sink() { return line_->Sink(); }

  std::unique_ptr<test::SimulatedLine> line_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, BeforeAScanTheBandIsInPlaceAndNothingReachesADevice) {
  MainWindow& w = Start({});
  EXPECT_EQ(w.windowTitle(), "Tamsu Tools Configuration Software");
  // The dialog's size, and the status line at its foot.
  auto* status = w.findChild<QWidget*>("statusLine", Qt::FindDirectChildrenOnly);
  ASSERT_TRUE(status);
  EXPECT_EQ(w.size(), DialogUnits(w.font()).Size(473, 397) + QSize(0, status->height()));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_FALSE(w.windowIcon().isNull());
  for (const auto& [id, text] : {std::pair{1001, "Test Baud Rate"}, {1004, "Inquire"}, {1005, "Set up"},
                                 {1006, "Inquire"}, {1007, "Set up"}}) {
    auto* b = Find<QPushButton>(id);
    ASSERT_NE(b, nullptr) << id;
    EXPECT_EQ(b->text(), text);
    EXPECT_EQ(b->accessibleDescription(), QStringLiteral("id:%1").arg(id));
    EXPECT_EQ(b->isEnabled(), id == 1001) << id;
  }
  EXPECT_NE(Find<QPushButton>(1004)->accessibleName(), Find<QPushButton>(1006)->accessibleName());
  EXPECT_EQ(Find<QTabWidget>(1008)->count(), 15);
  EXPECT_EQ(TheLink().PortOpen.load(), 0);
  EXPECT_TRUE(w.findChild<QTimer*>("timer5")->isActive());
}

// A scan resets what an earlier one found: after an any-0 device, a legacy one at 4800.
TEST_F(MainWindowTest, ScanFindsAnAny0DeviceThenALegacyOneAt4800AfterTheFailed2400Attempt) {
  Start({.address = 5, .baud = 9600, .protocol = sim::Protocol::Any0, .parity = 2}, sim::Mismatch::Garbage);
  EXPECT_EQ(Scan(), (Box{"Soil Transmitter\r\nAddress" + kColon + "5  Baudrate" + kColon + "9600\r\nParity Check",
                         "Test Results", MessageIcon::None}));
  EXPECT_EQ(window_->Config().mode, ConfigMode::Any0);
  EXPECT_EQ(TheLink().CurrentAddress, 0);
  auto log = Sim().RequestLog();  // asked at 255 first
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2].request.front(), 255);
  EXPECT_EQ(log.back().request.front(), 0);

  Sim().SetConfig({.address = 12, .baud = 4800, .protocol = sim::Protocol::Legacy});
  Sim().ClearLog();
  EXPECT_EQ(Scan(), (Box{"Device address" + kColon + "12  BaudRate" + kColon + "4800", "Test Result",
                         MessageIcon::None}));
  EXPECT_EQ(window_->Config().mode, ConfigMode::Legacy);
  EXPECT_EQ(window_->Config().DetectedBaud, 4800);
  EXPECT_EQ(TheLink().CurrentAddress, 12);
  EXPECT_EQ(AddressBox()->text(), "12");
  EXPECT_EQ(BaudBox()->text(), "4800");
  EXPECT_TRUE(Enabled(1001) && Enabled(1004) && Enabled(1007));
  // The port stays open at the rate that answered, and the 2400 attempt came first.
  EXPECT_NE(TheLink().PortOpen.load(), 0);
  EXPECT_EQ(OpenRate(), 4800u);
  log = Sim().RequestLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.front().lineBaud, 2400u);
  EXPECT_EQ(log.back().lineBaud, 4800u);
}

// A double click on "Test Baud Rate" runs one scan, and the button is back when it ends.
TEST_F(MainWindowTest, ADoubleClickScansOnce) {
  Start({.address = 12, .baud = 4800, .protocol = sim::Protocol::Legacy});
  // Two clicks before the line has said anything back, as a quick double click gives them.
  QTest::mouseClick(Find<QPushButton>(1001), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>(1001), Qt::LeftButton);
  line_->WaitIdle();
  EXPECT_EQ(Sink().boxes.size(), 1u);
  EXPECT_EQ(Sim().RequestLog().size(), 2u);  // 2400, then 4800 that answered
  EXPECT_TRUE(Enabled(1001));
}

TEST_F(MainWindowTest, ScanOfAnAny255DeviceReportsParityAndNormalOrAbnormalState) {
  const std::string found =
      "Soil Transmitter\r\nAddress" + kColon + "33  BaudRate" + kColon + "9600\r\nOdd Parity Check";
  const std::pair<uint16_t, Box> cases[] = {
      {1, {found, "Test Result", MessageIcon::None}},
      {2, {found + "\r\nStop bit exception,please reconfigure address or baud rate", "Abnormal test results",
           MessageIcon::Question}}};
  for (const auto& [status4, box] : cases) {
    SCOPED_TRACE(status4);
    Start({.address = 33, .baud = 9600, .protocol = sim::Protocol::Any255, .parity = 1, .status3 = 0,
           .status4 = status4});
    EXPECT_EQ(Scan(), box);
    EXPECT_EQ(window_->Config().mode, ConfigMode::Any255);
    EXPECT_EQ(window_->Config().ReportedBaudCode, 3);
    EXPECT_EQ(TheLink().CurrentAddress, 255);  // while the box shows the device's own address
    EXPECT_EQ(AddressBox()->text(), "33");
    EXPECT_EQ(OpenRate(), 9600u);
    EXPECT_TRUE(Enabled(1004));
  }
}

TEST_F(MainWindowTest, ScanOfASilentDeviceEndsUnknownWithThePortOpenAt9600) {
  Start({.address = 1, .baud = 9600, .protocol = sim::Protocol::Modbus});
  TheLink().CurrentAddress = 7;
  EXPECT_EQ(Scan(), (Box{"End of Test UnKnow BaudRate", "Test Result", MessageIcon::None}));
  EXPECT_EQ(window_->Config().mode, ConfigMode::Legacy);
  EXPECT_EQ(TheLink().CurrentAddress, 7);
  EXPECT_FALSE(Enabled(1004));
  EXPECT_TRUE(Enabled(1001));
  EXPECT_NE(TheLink().PortOpen.load(), 0);
  EXPECT_EQ(OpenRate(), 9600u);
  // All five attempts were made: three 0xFD queries, then the block at 255 and at 0.
  const auto log = Sim().RequestLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[2].request.front(), 0xFD);
  EXPECT_EQ(log[3].request.front(), 255);
  EXPECT_EQ(log[4].request.front(), 0);
}

TEST_F(MainWindowTest, ScanWithoutAPortFailsToOpen) {
  Start({});
  Find<QComboBox>(1000)->setCurrentIndex(-1);
  ASSERT_EQ(window_->SelectedPortPath(), "");
  EXPECT_EQ(Scan(), (Box{"Serial port open failed!", "Warning", MessageIcon::Question}));
  EXPECT_EQ(TheLink().PortOpen.load(), 0);
  EXPECT_TRUE(Enabled(1001));
  EXPECT_FALSE(Enabled(1004));
}

// An any-255 device: Inquire is latched until the next tick of timer 1, and an address-only
// write keeps the rate the device reported, even one the scan never tries.
TEST_F(MainWindowTest, Any255InquireLatchAndAddressWriteKeepingTheReportedRate) {
  StartScanned({.address = 21, .baud = 9600, .protocol = sim::Protocol::Any255}, ConfigMode::Any255);
  QTest::qWait(400);  // let the latch of any earlier press lapse
  Click(1004);
  Click(1006);  // within the same period: ignored
  EXPECT_EQ(Sim().RequestLog().size(), 1u);
  EXPECT_EQ(AddressBox()->text(), "21");
  EXPECT_EQ(BaudBox()->text(), "9600");
  EXPECT_EQ(TheLink().CurrentAddress, 255);  // the boxes show the device's own address
  EXPECT_TRUE(window_->InquireLatch());
  QTest::qWait(700);
  EXPECT_FALSE(window_->InquireLatch());
  Click(1006);
  EXPECT_EQ(Sim().RequestLog().size(), 2u);

  // A silent device leaves a blank in both boxes and no message.
  QTest::qWait(700);
  Sim().AddFault({.kind = sim::FaultKind::Silence, .count = 1});
  Click(1004);
  EXPECT_EQ(AddressBox()->text(), " ");
  EXPECT_EQ(BaudBox()->text(), " ");
  EXPECT_TRUE(Sink().boxes.empty());

  // The device now runs at 19200 and the line follows it.
  Sim().SetConfig({.address = 4, .baud = 19200, .protocol = sim::Protocol::Any255});
  ASSERT_NE(TheLink().ReopenPort(Sim().PortPath(), 19200), 0);
  QTest::qWait(700);
  Click(1004);
  ASSERT_EQ(BaudBox()->text(), "19200");
  AddressBox()->setText("7");
  Click(1005);
  EXPECT_EQ(Sink().Take(), (Box{"Address set successfully!", kAppTitle, MessageIcon::None}));
  EXPECT_EQ(Sim().Config().address, 7);
  EXPECT_EQ(Sim().Config().baud, 19200u);
  EXPECT_EQ(TheLink().CurrentAddress, 255);
}

// A legacy device: the boxes are checked before anything is sent; a baud change re-opens the
// port at the new rate (and says so when that fails); the port list refill keeps the held port.
TEST_F(MainWindowTest, LegacyRefusalsAndBaudChangeReopeningThePort) {
  StartScanned({.address = 8, .baud = 9600, .protocol = sim::Protocol::Legacy}, ConfigMode::Legacy);
  window_->RefreshPortList();
  EXPECT_EQ(window_->SelectedPortPath(), Sim().PortPath());
  AddressBox()->setText("256");  // low 8 bits are 0
  BaudBox()->setText("9600");
  Click(1005);
  EXPECT_EQ(Sink().Take(), (Box{"Address Cannot be 0", kAppTitle, MessageIcon::None}));
  Click(1007);
  EXPECT_EQ(Sink().Take(), (Box{"Address cannot be 0", kAppTitle, MessageIcon::None}));
  AddressBox()->setText("8");
  for (const char* baud : {"19200", "1200", "abc", ""}) {
    BaudBox()->setText(baud);
    Click(1007);
    EXPECT_EQ(Sink().Take(), (Box{"Baudrate Error", kAppTitle, MessageIcon::None})) << baud;
  }
  EXPECT_TRUE(Sim().RequestLog().empty());

  BaudBox()->setText("4800");
  Click(1007);
  EXPECT_EQ(Sink().Take(), (Box{"Baudrate set successfully", kAppTitle, MessageIcon::None}));
  EXPECT_EQ(Sim().Config().baud, 4800u);
  EXPECT_NE(TheLink().PortOpen.load(), 0);
  EXPECT_EQ(OpenRate(), 4800u);
  EXPECT_EQ(TheLink().Port.Settings().devicePath, Sim().PortPath());
  // Reachable at its new rate; an address change follows the reply's address.
  QTest::qWait(400);
  Click(1004);
  EXPECT_EQ(AddressBox()->text(), "8");
  EXPECT_EQ(BaudBox()->text(), "4800");
  AddressBox()->setText("17");
  Click(1005);
  EXPECT_EQ(Sink().Take(), (Box{"Address set successfully", kAppTitle, MessageIcon::None}));
  EXPECT_EQ(TheLink().CurrentAddress, 17);
  EXPECT_EQ(Sim().Config().address, 17);

  // The device answers, but its port cannot be opened again (as if unplugged meanwhile): the
  // held descriptor stays, only the path to re-open is gone.
  BaudBox()->setText("2400");
  TheLink().Port.Configure("/dev/tamsu-no-such-port", 8, 0, 0, 4800);
  Click(1007);
  EXPECT_EQ(Sink().boxes, (std::vector<Box>{{"Baudrate set successfully", kAppTitle, MessageIcon::None},
                                            {"Serial port open failed!", "Warning", MessageIcon::Question}}));
  EXPECT_EQ(TheLink().PortOpen.load(), 0);
}

TEST_F(MainWindowTest, Any0FailuresUseTheirOwnCaptions) {
  StartScanned({.address = 4, .baud = 9600, .protocol = sim::Protocol::Any0}, ConfigMode::Any0);
  AddressBox()->setText("9");
  BaudBox()->setText("4800");
  const struct {
    int button;
    std::optional<sim::FaultKind> fault;  // none: the device answers
    Box box;
  } cases[] = {
      {1005, sim::FaultKind::Silence, {"Address setting failed!", "Warnging", MessageIcon::Question}},
      {1005, sim::FaultKind::BadCrc, {"Address setting failed!", "Warning", MessageIcon::Question}},
      {1005, std::nullopt, {"Address set successfully", kAppTitle, MessageIcon::None}},
      {1007, sim::FaultKind::Silence, {"Baudrate setting failed!", "Warning", MessageIcon::Question}},
      {1007, std::nullopt, {"Baudrate set successfully", kAppTitle, MessageIcon::None}},
  };
  for (const auto& c : cases) {
    if (c.fault) Sim().AddFault({.kind = *c.fault, .count = 1});
    Click(c.button);
    EXPECT_EQ(Sink().Take(), c.box);
  }
  EXPECT_EQ(Sim().Config().address, 9);
  EXPECT_EQ(OpenRate(), 9600u);  // the port stays at its old rate in this mode
}

// The adapter is pulled while a page polls, and plugged in again under the same name: the
// poll empties its field at once (no half-second waits on a dead line), and after a new scan
// it shows the transmitter again.
TEST_F(MainWindowTest, PollingResumesAfterTheAdapterIsPulledAndPluggedInAgain) {
  StartScanned({.address = 1, .baud = 9600, .protocol = sim::Protocol::Legacy}, ConfigMode::Legacy);
  DevicePage* page = window_->Categories().VisiblePage(0);
  ASSERT_EQ(page->Name(), "TemperaturePage");
  page->RealTimeCheckBox()->click();
  ASSERT_TRUE(Sim().SetRegister(0x0001, 215));
  window_->Categories().RealTimeDispatch(0);
  line_->WaitIdle();
  EXPECT_EQ(page->Edit(1009)->text(), "21.5");

  const std::string name = QFileInfo(QString::fromStdString(Sim().PortPath())).fileName().toStdString();
  Sim().Stop();
  const auto pulled = std::chrono::steady_clock::now();
  while (!TheLink().HungUp() && std::chrono::steady_clock::now() - pulled < std::chrono::seconds(2))
    QTest::qWait(5);
  window_->Categories().RealTimeDispatch(0);
  line_->WaitIdle();
  EXPECT_EQ(page->Edit(1009)->text(), "");
  EXPECT_TRUE(Sink().boxes.empty());

  sim::SimulatorOptions options;
  options.device = {.address = 1, .baud = 9600, .protocol = sim::Protocol::Legacy};
  options.publish = true;
  options.linkName = name;
  sim::TransmitterSimulator replugged(options);
  ASSERT_TRUE(replugged.Start());
  ASSERT_TRUE(replugged.SetRegister(0x0001, 0xFF9C));
  window_->RefreshPortList();
  ASSERT_EQ(window_->SelectedPortPath(), replugged.PortPath());
  EXPECT_EQ(Scan().caption, "Test Result");
  window_->Categories().RealTimeDispatch(0);
  line_->WaitIdle();
  EXPECT_EQ(page->Edit(1009)->text(), "-10.0");
}

TEST_F(MainWindowTest, AboutOpensFromF1AndTheContextMenuAndEscapeClosesOnlyFromTheBand) {
  MainWindow& w = Start({});
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.activateWindow();
  QString title, button;
  QSize size;
  QTimer::singleShot(100, [&] {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    auto* yes = box ? box->findChild<QPushButton*>("aboutYes") : nullptr;
    if (!yes) return;
    std::tie(title, size, button) = std::tuple(box->windowTitle(), box->size(), yes->text());
    yes->click();
  });
  QTest::keyClick(&w, Qt::Key_F1);
  EXPECT_EQ(title, "About Tamsu Tools Configuration Software");
  EXPECT_EQ(button, "Yes");
  EXPECT_EQ(size, DialogUnits(w.font()).Size(235, 55));

  QStringList entries;
  QTimer::singleShot(100, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* action : menu->actions()) entries << action->text();
      menu->close();
    }
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), w.mapToGlobal(QPoint(20, 20)));
  QApplication::sendEvent(&w, &event);
  EXPECT_EQ(entries.value(0), "Tamsu Tools Configuration Software(&A)...");
  EXPECT_TRUE(entries.contains("Line traffic"));
  EXPECT_TRUE(entries.contains("Trend") && entries.contains("Save record…"));

  // Esc inside a device page stays there.
  auto* edit = w.Categories().Page(0)->findChild<QLineEdit*>();
  ASSERT_NE(edit, nullptr);
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_TRUE(w.isVisible());
  AddressBox()->setFocus();
  QTest::keyClick(AddressBox(), Qt::Key_Escape);
  EXPECT_FALSE(w.isVisible());
}

// Renders the window to the path in TAMSU_SCREENSHOT (scripts/screenshots sets it).
// The tool's own windows are found at the window's foot, not only in the right-click menu; the
// status text there starts empty.
TEST_F(MainWindowTest, TheStatusLineOpensTheToolsWindowsAndNamesTheirShortcuts) {
  MainWindow& w = Start({});
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto* text = w.findChild<QLabel*>("statusText");
  ASSERT_TRUE(text);
  EXPECT_TRUE(text->text().isEmpty());
  const auto* categories = Find<QWidget>(1008);
  EXPECT_GE(text->mapTo(&w, QPoint(0, 0)).y(), categories->geometry().bottom());
  const std::pair<const char*, const char*> buttons[] = {
      {"lineTrafficButton", "Line traffic (Ctrl+L)"}, {"trendButton", "Trend (Ctrl+T)"},
      {"saveRecordButton", "Save record\u2026 (Ctrl+S)"}};
  for (const auto& [name, tip] : buttons) {
    auto* button = w.findChild<QToolButton*>(name);
    ASSERT_TRUE(button) << name;
    EXPECT_EQ(button->toolTip(), QString::fromUtf8(tip));
    EXPECT_FALSE(button->accessibleName().isEmpty());
    EXPECT_TRUE(w.rect().contains(QRect(button->mapTo(&w, QPoint(0, 0)), button->size()))) << name;
  }
  QTest::mouseClick(w.findChild<QToolButton*>("trendButton"), Qt::LeftButton);
  EXPECT_TRUE(w.Trend()->isVisible());
  QTest::mouseClick(w.findChild<QToolButton*>("lineTrafficButton"), Qt::LeftButton);
  EXPECT_TRUE(w.ShowLineTraffic()->isVisible());
}

TEST_F(MainWindowTest, Screenshot) {
  const char* out = std::getenv("TAMSU_SCREENSHOT");
  if (!out) GTEST_SKIP() << "TAMSU_SCREENSHOT not set";
  MainWindow& w = Start({.address = 1, .baud = 9600, .protocol = sim::Protocol::Legacy});
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  Click(1001);
  QTest::qWait(100);
  const QString path = QString::fromLocal8Bit(out);
  ASSERT_TRUE(w.grab().save(path));
  AboutBox about(&w);
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  ASSERT_TRUE(about.grab().save(QFileInfo(path).dir().filePath("about-box.png")));
  // The scan's exchanges, in the line traffic window.
  LineTrafficWindow* traffic = w.ShowLineTraffic();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(traffic));
  traffic->Refresh();
  QTest::qWait(50);
  ASSERT_TRUE(traffic->grab().save(QFileInfo(path).dir().filePath("line-traffic.png")));
}

}  // namespace
}  // namespace tamsu
