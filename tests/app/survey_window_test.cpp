// "Survey line…" on the real main window, over a simulated bus: the table fills as the survey
// finds transmitters, a doubled address shows red, Stop ends it, and "Use" sets the band.
#include "app/survey_window.h"

#include <QCheckBox>
#include <cstdlib>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include "app/main_window.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

std::vector<sim::BusDevice> SmallBus() {
  return {{"TemHumPage", {.address = 2, .baud = 9600}},
          {"WindSpeedPage", {.address = 3, .baud = 4800}},
          {"TemHumPage", {.address = 5, .baud = 9600}},
          {"generic", {.address = 5, .baud = 9600}}};
}

struct BusWindow {
  explicit BusWindow(std::vector<sim::BusDevice> devices = SmallBus()) {
    sim::SimulatorOptions options;
    options.publish = true;
    options.drift = false;
    options.mismatch = sim::Mismatch::Silence;
    options.bus = std::move(devices);
    line = std::make_unique<test::SimulatedLine>(options, false);
    window = std::make_unique<MainWindow>(line->Context());
    auto* list = window->findChild<QComboBox*>("1000");
    list->setCurrentIndex(list->findData(QString::fromStdString(line->Sim().PortPath())));
  }
  template <typename T>
  T* In(SurveyWindow* w, const char* name) {
    T* found = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_TRUE(found) << name;
    return found;
  }
  // Every address from 1 to `to` at 9600 and 4800 baud, each given 30 ms.
  SurveyWindow* Prepared(int to) {
    QTest::mouseClick(window->findChild<QToolButton*>("surveyButton"), Qt::LeftButton);
    SurveyWindow* survey = window->findChild<SurveyWindow*>();
    EXPECT_TRUE(survey && survey->isVisible());
    In<QCheckBox>(survey, "surveyRate2400")->setChecked(false);
    In<QSpinBox>(survey, "surveyTo")->setValue(to);
    In<QSpinBox>(survey, "surveyWait")->setValue(30);
    return survey;
  }
  std::unique_ptr<test::SimulatedLine> line;
  std::unique_ptr<MainWindow> window;
};

TEST(SurveyWindowTest, TheTableFillsAsFoundAConflictIsRedAndUseSetsTheBand) {
  BusWindow bus;
  SurveyWindow* survey = bus.Prepared(6);
  // Every control is named for a screen reader; a range cannot run backwards, nor the wait leave its limits.
  for (QWidget* w : survey->findChildren<QWidget*>()) {
    if (qobject_cast<QPushButton*>(w) || qobject_cast<QSpinBox*>(w) || qobject_cast<QCheckBox*>(w) ||
        qobject_cast<QTableWidget*>(w) || qobject_cast<QProgressBar*>(w)) {
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
    }
  }
  EXPECT_EQ(bus.In<QSpinBox>(survey, "surveyFrom")->maximum(), 6);
  EXPECT_EQ(bus.In<QSpinBox>(survey, "surveyWait")->minimum(), 20);
  EXPECT_EQ(bus.In<QSpinBox>(survey, "surveyWait")->maximum(), 2000);

  QSignalSpy finished(survey, &SurveyWindow::Finished);
  QTest::mouseClick(bus.In<QPushButton>(survey, "surveyStart"), Qt::LeftButton);
  EXPECT_TRUE(bus.In<QPushButton>(survey, "surveyStop")->isEnabled());
  EXPECT_FALSE(bus.In<QPushButton>(survey, "surveyStart")->isEnabled());
  ASSERT_TRUE(finished.wait(20000));
  QTableWidget* table = survey->Table();
  ASSERT_EQ(table->rowCount(), 3);
  auto cell = [&](int row, int column) { return table->item(row, column)->text().toStdString(); };
  EXPECT_EQ(cell(0, 0) + " " + cell(0, 1), "2 9600");
  EXPECT_EQ(cell(1, 0) + " " + cell(1, 1) + " " + cell(1, 3), "5 9600 several transmitters answer at address 5");
  EXPECT_EQ(table->item(1, 0)->foreground().color(), QColor(Qt::red));
  EXPECT_EQ(cell(2, 0) + " " + cell(2, 1) + " " + cell(2, 2), "3 4800 32");
  EXPECT_EQ(bus.In<QLabel>(survey, "surveySummary")->text(), "2 transmitters found, 1 address with several");
  EXPECT_EQ(bus.In<QProgressBar>(survey, "surveyProgress")->value(), 12);

  // A doubled address is nobody to use; a transmitter is.
  table->selectRow(1);
  EXPECT_FALSE(bus.In<QPushButton>(survey, "surveyUse")->isEnabled());
  table->selectRow(2);
  QTest::mouseClick(bus.In<QPushButton>(survey, "surveyUse"), Qt::LeftButton);
  bus.line->WaitIdle();
  EXPECT_EQ(bus.window->findChild<QLineEdit*>("1002")->text(), "3");
  EXPECT_EQ(bus.window->findChild<QLineEdit*>("1003")->text(), "4800");
  Link& link = bus.line->GetLink();
  EXPECT_EQ(link.PortOpen.load(), 1);
  EXPECT_EQ(link.Port.Settings().baudRate, 4800u);
  EXPECT_EQ(link.CurrentAddress, 3);
  EXPECT_TRUE(bus.window->findChild<QPushButton*>("1004")->isEnabled());
  EXPECT_EQ(bus.window->SelectedPortPath(), bus.line->Sim().PortPath());

  // Stop ends the next survey after the exchange in flight; what it found stays.
  bus.line->Sim().ClearLog();
  bus.In<QSpinBox>(survey, "surveyTo")->setValue(247);
  QTest::mouseClick(bus.In<QPushButton>(survey, "surveyStart"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return table->rowCount() == 1; }, 10000));
  QTest::mouseClick(bus.In<QPushButton>(survey, "surveyStop"), Qt::LeftButton);
  ASSERT_TRUE(finished.wait(5000));
  EXPECT_LT(bus.line->Sim().RequestLog().size(), 8u);
  EXPECT_EQ(table->rowCount(), 1);
  EXPECT_TRUE(bus.In<QLabel>(survey, "surveySummary")->text().startsWith("Stopped: "));
  EXPECT_TRUE(bus.In<QPushButton>(survey, "surveyStart")->isEnabled());
}

TEST(SurveyWindowTest, Screenshot) {
  const char* out = std::getenv("TAMSU_SURVEY_SHOT");
  if (!out) GTEST_SKIP() << "TAMSU_SURVEY_SHOT not set";
  // Five transmitters at two rates, and two left at the factory address.
  BusWindow bus({{"TemHumPage", {.address = 1, .baud = 9600}},
                 {"WindSpeedPage", {.address = 1, .baud = 9600}},
                 {"Illum20WPage", {.address = 4, .baud = 9600}},
                 {"generic", {.address = 7, .baud = 9600, .protocol = sim::Protocol::Any255, .parity = 1}},
                 {"WindDirectionPage", {.address = 9, .baud = 9600}},
                 {"TemHumPage", {.address = 3, .baud = 4800}},
                 {"WindSpeedPage", {.address = 12, .baud = 4800}}});
  bus.line->Sim().SetRegisterOf(3, 0, 512);
  SurveyWindow* survey = bus.Prepared(12);
  QSignalSpy finished(survey, &SurveyWindow::Finished);
  survey->Start();
  ASSERT_TRUE(finished.wait(20000));
  survey->Table()->selectRow(2);
  QTest::qWait(50);
  ASSERT_TRUE(survey->grab().save(QString::fromLocal8Bit(out)));
}

}  // namespace
}  // namespace tamsu
