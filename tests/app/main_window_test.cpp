#include "app/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QContextMenuEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "app/categories.h"
#include "app/dialog_units.h"
#include "serial/port_directory.h"
#include "sim/simulator.h"
#include "tests/support/recording_sink.h"
#include "tests/support/pty_pair.h"

namespace tamsu {
namespace {

namespace fs = std::filesystem;
using test::RecordingSink;

// One application per process, with a port directory of its own so only our ports are listed.
QApplication& App() {
  static QApplication* app = [] {
    static char dir[] = "/tmp/tamsu-mw-test-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    setenv("XDG_RUNTIME_DIR", dir, 1);
    static int argc = 1;
    static char name[] = "main_window_test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { App(); }

  void StartDevice(sim::DeviceConfig config) {
    sim::SimulatorOptions options;
    options.device = config;
    options.publish = true;
    options.mismatch = sim::Mismatch::Silence;
    sim_ = std::make_unique<sim::TransmitterSimulator>(options);
    std::string error;
    ASSERT_TRUE(sim_->Start(&error)) << error;
  }

  // The window, with the simulator's port selected.
  MainWindow& Window() {
    if (!window_) {
      window_ = std::make_unique<MainWindow>(context_);
      if (sim_) SelectPort(sim_->PortPath());
    }
    return *window_;
  }

  void SelectPort(const std::string& path) {
    auto* list = Find<QComboBox>(1000);
    const int index = list->findData(QString::fromStdString(path));
    ASSERT_GE(index, 0) << path;
    list->setCurrentIndex(index);
  }

  template <typename T>
  T* Find(int id) {
    return Window().findChild<T*>(QString::number(id), Qt::FindDirectChildrenOnly);
  }
  QLineEdit* AddressBox() { return Find<QLineEdit>(1002); }
  QLineEdit* BaudBox() { return Find<QLineEdit>(1003); }
  void Click(int id) { QTest::mouseClick(Find<QPushButton>(id), Qt::LeftButton); }

  void ScanFinds(ScanOutcome expected) {
    sink_.boxes.clear();
    Click(1001);
    ASSERT_EQ(sink_.boxes.size(), 1u);
    ASSERT_EQ(Window().Config().mode, expected == ScanOutcome::Legacy   ? ConfigMode::Legacy
                                      : expected == ScanOutcome::Any255 ? ConfigMode::Any255
                                                                        : ConfigMode::Any0);
    sink_.boxes.clear();
    sim_->ClearLog();
  }

  void ExpectOneBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    ASSERT_EQ(sink_.boxes.size(), 1u);
    EXPECT_EQ(sink_.boxes[0].text, text);
    EXPECT_EQ(sink_.boxes[0].caption, caption);
    EXPECT_EQ(sink_.boxes[0].icon, icon);
    sink_.boxes.clear();
  }

  Link link_;
  RecordingSink sink_;
  AppContext context_{link_, sink_};
  std::unique_ptr<sim::TransmitterSimulator> sim_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(MainWindowTest, WindowControlsCarryTheirIdsCaptionsAndDialogUnitGeometry) {
  MainWindow& w = Window();
  EXPECT_EQ(w.windowTitle(), "Tamsu Tools Configuration Software");
  const DialogUnits du(w.font());
  EXPECT_EQ(w.size(), du.Size(473, 397));
  EXPECT_EQ(w.minimumSize(), w.maximumSize());
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(w.windowIcon().isNull());

  struct Expect {
    int id;
    const char* text;
    QRect rect;
  };
  for (const Expect& e : {Expect{1001, "Test Baud Rate", du.Rect(76, 31, 65, 22)},
                          Expect{1004, "Inquire", du.Rect(213, 35, 42, 14)},
                          Expect{1005, "Set up", du.Rect(261, 35, 42, 14)},
                          Expect{1006, "Inquire", du.Rect(367, 35, 42, 14)},
                          Expect{1007, "Set up", du.Rect(414, 35, 42, 14)}}) {
    auto* b = Find<QPushButton>(e.id);
    ASSERT_NE(b, nullptr) << e.id;
    EXPECT_EQ(b->text(), e.text);
    EXPECT_EQ(b->geometry(), e.rect);
    EXPECT_EQ(b->accessibleDescription(), QStringLiteral("id:%1").arg(e.id));
    EXPECT_FALSE(b->accessibleName().isEmpty());
  }
  EXPECT_EQ(AddressBox()->geometry(), du.Rect(165, 36, 44, 12));
  EXPECT_EQ(BaudBox()->geometry(), du.Rect(320, 36, 44, 12));
  // Accessible names tell the two Inquire buttons apart.
  EXPECT_NE(Find<QPushButton>(1004)->accessibleName(), Find<QPushButton>(1006)->accessibleName());

  auto* tabs = Find<QTabWidget>(1008);
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->geometry(), du.Rect(7, 85, 459, 305));
  const QStringList shown = {"Temperature&&humidity", "Water leak|Smoke|Infrared", "Lighting", "Gas",
                             "Wind Speed|Direction", "Soil", "Weather Sensor", "CurrentVoltage", "Lampblack",
                             "WaterGauge", "Tilt sensor", "PH", "EC", "WaterQuality", "Warm vibration"};
  ASSERT_EQ(tabs->count(), 15);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(tabs->tabText(i), shown[i]) << i;
  EXPECT_EQ(tabs->currentIndex(), 0);

  // Before a scan nothing can reach a device.
  for (int id : {1004, 1005, 1006, 1007}) EXPECT_FALSE(Find<QPushButton>(id)->isEnabled()) << id;
  EXPECT_EQ(link_.PortOpen.load(), 0);
  EXPECT_EQ(w.findChild<QTimer*>("timer1")->interval(), 300);
  EXPECT_EQ(w.findChild<QTimer*>("timer5")->interval(), 1000);
  EXPECT_TRUE(w.findChild<QTimer*>("timer5")->isActive());
}

TEST_F(MainWindowTest, PortListIsNaturallyOrderedAndKeepsTheHeldPortAndSelection) {
  test::PtyPair a, b;
  const fs::path dir = RuntimePortDirectory();
  fs::create_directories(dir);
  fs::create_symlink(a.slavePath(), dir / "dev10");
  fs::create_symlink(b.slavePath(), dir / "dev2");
  fs::create_symlink("/dev/tamsu-gone", dir / "dev3");  // dangling: left out
  StartDevice({.address = 4, .baud = 9600, .protocol = sim::Protocol::Legacy});

  auto* list = Find<QComboBox>(1000);
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->itemText(i);
  const int i2 = names.indexOf("dev2"), i10 = names.indexOf("dev10");
  ASSERT_GE(i2, 0);
  ASSERT_GE(i10, 0);
  EXPECT_LT(i2, i10);
  EXPECT_FALSE(names.contains("dev3"));
  EXPECT_TRUE(list->isEnabled());

  // Once the scan holds the simulator's port, a refill still lists it and keeps it selected.
  ScanFinds(ScanOutcome::Legacy);
  Window().RefreshPortList();
  EXPECT_EQ(Window().SelectedPortPath(), sim_->PortPath());

  fs::remove(dir / "dev10");
  fs::remove(dir / "dev2");
  fs::remove(dir / "dev3");
}

TEST_F(MainWindowTest, InquireIsLatchedUntilTheNextTickOfTimerOne) {
  StartDevice({.address = 21, .baud = 9600, .protocol = sim::Protocol::Any255});
  Window();
  ScanFinds(ScanOutcome::Any255);
  QTest::qWait(400);  // let the latch of any earlier press lapse

  Click(1004);
  Click(1006);  // within the same period: ignored
  EXPECT_EQ(sim_->RequestLog().size(), 1u);
  EXPECT_EQ(AddressBox()->text(), "21");
  EXPECT_EQ(BaudBox()->text(), "9600");
  EXPECT_EQ(link_.CurrentAddress, 255);  // the boxes show the device's own address
  EXPECT_TRUE(Window().InquireLatch());

  QTest::qWait(700);
  EXPECT_FALSE(Window().InquireLatch());
  Click(1006);
  EXPECT_EQ(sim_->RequestLog().size(), 2u);

  // A silent device leaves a blank in both boxes and no message.
  QTest::qWait(700);
  sim_->AddFault({.kind = sim::FaultKind::Silence, .count = 1});
  Click(1004);
  EXPECT_EQ(AddressBox()->text(), " ");
  EXPECT_EQ(BaudBox()->text(), " ");
  EXPECT_TRUE(sink_.boxes.empty());
}

TEST_F(MainWindowTest, AddressAndBaudBoxesAreCheckedBeforeAnythingIsSent) {
  StartDevice({.address = 3, .baud = 9600, .protocol = sim::Protocol::Legacy});
  Window();
  ScanFinds(ScanOutcome::Legacy);

  AddressBox()->setText("256");  // low 8 bits are 0
  BaudBox()->setText("9600");
  Click(1005);
  ExpectOneBox("Address Cannot be 0", kAppTitle, MessageIcon::None);
  Click(1007);
  ExpectOneBox("Address cannot be 0", kAppTitle, MessageIcon::None);

  AddressBox()->setText("3");
  for (const char* baud : {"19200", "1200", "abc", ""}) {
    BaudBox()->setText(baud);
    Click(1007);
    ExpectOneBox("Baudrate Error", kAppTitle, MessageIcon::None);
  }
  EXPECT_TRUE(sim_->RequestLog().empty());
}

TEST_F(MainWindowTest, LegacyBaudChangeReopensThePortAtTheNewRate) {
  StartDevice({.address = 8, .baud = 9600, .protocol = sim::Protocol::Legacy});
  Window();
  ScanFinds(ScanOutcome::Legacy);

  AddressBox()->setText("8");
  BaudBox()->setText("4800");
  Click(1007);
  ExpectOneBox("Baudrate set successfully", kAppTitle, MessageIcon::None);
  EXPECT_EQ(sim_->Config().baud, 4800u);
  EXPECT_NE(link_.PortOpen.load(), 0);
  EXPECT_EQ(link_.Port.Settings().baudRate, 4800u);
  EXPECT_EQ(link_.Port.Settings().devicePath, sim_->PortPath());

  // The device is reachable at its new rate.
  QTest::qWait(400);
  Click(1004);
  EXPECT_EQ(AddressBox()->text(), "8");
  EXPECT_EQ(BaudBox()->text(), "4800");

  // Address change in the same mode follows the reply's address.
  AddressBox()->setText("17");
  Click(1005);
  ExpectOneBox("Address set successfully", kAppTitle, MessageIcon::None);
  EXPECT_EQ(link_.CurrentAddress, 17);
  EXPECT_EQ(sim_->Config().address, 17);
}

TEST_F(MainWindowTest, LegacyReopenFailureIsReported) {
  StartDevice({.address = 8, .baud = 9600, .protocol = sim::Protocol::Legacy});
  Window();
  ScanFinds(ScanOutcome::Legacy);
  // The device answers, but its port cannot be opened again (as if unplugged meanwhile):
  // the held descriptor stays, only the path to re-open is gone.
  AddressBox()->setText("8");
  BaudBox()->setText("2400");
  link_.Port.Configure("/dev/tamsu-no-such-port", 8, 0, 0, 9600);
  Click(1007);
  ASSERT_EQ(sink_.boxes.size(), 2u);
  EXPECT_EQ(sink_.boxes[0].text, "Baudrate set successfully");
  EXPECT_EQ(sink_.boxes[1].text, "Serial port open failed!");
  EXPECT_EQ(sink_.boxes[1].caption, "Warning");
  EXPECT_EQ(link_.PortOpen.load(), 0);
}

TEST_F(MainWindowTest, Any255AddressWriteKeepsTheRateTheDeviceReported) {
  StartDevice({.address = 4, .baud = 9600, .protocol = sim::Protocol::Any255});
  Window();
  ScanFinds(ScanOutcome::Any255);
  // The device now runs at 19200 and the line follows it.
  auto config = sim_->Config();
  config.baud = 19200;
  sim_->SetConfig(config);
  ASSERT_NE(link_.ReopenPort(sim_->PortPath(), 19200), 0);
  QTest::qWait(400);
  Click(1004);
  ASSERT_EQ(BaudBox()->text(), "19200");

  AddressBox()->setText("7");
  Click(1005);
  ExpectOneBox("Address set successfully!", kAppTitle, MessageIcon::None);
  EXPECT_EQ(sim_->Config().address, 7);
  EXPECT_EQ(sim_->Config().baud, 19200u);
  EXPECT_EQ(link_.CurrentAddress, 255);
}

TEST_F(MainWindowTest, Any0FailuresUseTheirOwnCaptions) {
  StartDevice({.address = 4, .baud = 9600, .protocol = sim::Protocol::Any0});
  Window();
  ScanFinds(ScanOutcome::Any0);
  AddressBox()->setText("9");
  sim_->AddFault({.kind = sim::FaultKind::Silence, .count = 1});
  Click(1005);
  ExpectOneBox("Address setting failed!", "Warnging", MessageIcon::Question);
  sim_->AddFault({.kind = sim::FaultKind::BadCrc, .count = 1});
  Click(1005);
  ExpectOneBox("Address setting failed!", "Warning", MessageIcon::Question);
  Click(1005);
  ExpectOneBox("Address set successfully", kAppTitle, MessageIcon::None);
  EXPECT_EQ(sim_->Config().address, 9);

  BaudBox()->setText("4800");
  sim_->AddFault({.kind = sim::FaultKind::Silence, .count = 1});
  Click(1007);
  ExpectOneBox("Baudrate setting failed!", "Warning", MessageIcon::Question);
  Click(1007);
  ExpectOneBox("Baudrate set successfully", kAppTitle, MessageIcon::None);
  // The port stays at its old rate in this mode.
  EXPECT_EQ(link_.Port.Settings().baudRate, 9600u);
}

TEST_F(MainWindowTest, AboutOpensFromF1AndEscapeClosesOnlyFromTheBand) {
  MainWindow& w = Window();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.activateWindow();
  QString title;
  QString button;
  QSize size;
  QTimer::singleShot(100, [&] {
    if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      title = box->windowTitle();
      size = box->size();
      if (auto* yes = box->findChild<QPushButton*>("aboutYes")) {
        button = yes->text();
        yes->click();
      }
    }
  });
  QTest::keyClick(&w, Qt::Key_F1);
  EXPECT_EQ(title, "About Tamsu Tools Configuration Software");
  EXPECT_EQ(button, "Yes");
  EXPECT_EQ(size, DialogUnits(w.font()).Size(235, 55));

  // The same entry in the context menu of the connection band.
  QStringList entries;
  QTimer::singleShot(100, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* action : menu->actions()) entries << action->text();
      menu->close();
    }
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20), w.mapToGlobal(QPoint(20, 20)));
  QApplication::sendEvent(&w, &event);
  EXPECT_EQ(entries, QStringList{"Tamsu Tools Configuration Software(&A)..."});

  // Esc inside a device page stays there.
  QWidget* page = w.Categories().Page(0);
  if (auto* edit = page->findChild<QLineEdit*>()) {
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_TRUE(w.isVisible());
  }
  AddressBox()->setFocus();
  QTest::keyClick(AddressBox(), Qt::Key_Escape);
  EXPECT_FALSE(w.isVisible());
}

// Renders the window to the path in TAMSU_SCREENSHOT (scripts/screenshots sets it).
TEST_F(MainWindowTest, Screenshot) {
  const char* out = std::getenv("TAMSU_SCREENSHOT");
  if (!out) GTEST_SKIP() << "TAMSU_SCREENSHOT not set";
  StartDevice({.address = 1, .baud = 9600, .protocol = sim::Protocol::Legacy});
  MainWindow& w = Window();
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
}

}  // namespace
}  // namespace tamsu
