// The categories, their hosts, the declared pages and the once-a-second dispatch.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>

#include "app/categories.h"
#include "app/category_host.h"
#include "app/device_page.h"
#include "app/dialog_units.h"
#include "tests/pages/page_test_support.h"

namespace tamsu {
namespace {

using test::Box;
using test::Read;
using test::Request;
using test::SimulatedLine;

// The categories inside a tab control placed as the main window places it.
struct Shell {
  explicit Shell(const std::string& profile) : line(profile) {
    tabs.setFont(DialogFont());
    tabs.setGeometry(DialogUnits(tabs.font()).Rect(7, 85, 459, 305));
    set = std::make_unique<CategorySet>(line.Context(), &tabs);
    for (int i = 0; i < set->Count(); ++i) tabs.addTab(set->Page(i), TabText(set->Caption(i)));
  }
  CategoryHost* Host(int category) { return qobject_cast<CategoryHost*>(set->Page(category)); }
  void Select(int category, int tab = -1) {
    tabs.setCurrentIndex(category);
    if (tab >= 0) Host(category)->SetCurrentIndex(tab);
  }
  void Tick() { set->RealTimeDispatch(tabs.currentIndex()); }

  SimulatedLine line;
  QTabWidget tabs;
  std::unique_ptr<CategorySet> set;
};

QStringList TabCaptions(CategoryHost* host) {
  QStringList out;
  for (int i = 0; i < host->Tabs()->count(); ++i) out << host->Tabs()->tabText(i).replace("&&", "&");
  return out;
}

TEST(Categories, CaptionsHostsAndDeviceTabsInOrder) {
  Shell shell("generic");
  CategorySet& set = *shell.set;
  ASSERT_EQ(set.Count(), 15);
  const QStringList captions = {"Temperature&humidity", "Water leak|Smoke|Infrared", "Lighting", "Gas",
                                "Wind Speed|Direction", "Soil", "Weather Sensor", "CurrentVoltage", "Lampblack",
                                "WaterGauge", "Tilt sensor", "PH", "EC", "WaterQuality", "Warm vibration"};
  for (int i = 0; i < 15; ++i) EXPECT_EQ(set.Caption(i), captions[i]);
  // The tab shows one "&" rather than taking it as a shortcut mark.
  EXPECT_EQ(shell.tabs.tabText(0), "Temperature&&humidity");

  EXPECT_EQ(TabCaptions(shell.Host(0)), (QStringList{"Temperature", "Tem&Humidity", "Tem&Hum Kanban", "DewTem"}));
  EXPECT_EQ(TabCaptions(shell.Host(1)), (QStringList{"Water Leak", "Smoke", "Infrared"}));
  EXPECT_EQ(TabCaptions(shell.Host(2)), (QStringList{"6W Illumination", "20W Illumination",
                                                     "6W Illumination&Tem&Hum", "20W Illumination&Tem&Hum"}));
  EXPECT_EQ(TabCaptions(shell.Host(3)),
            (QStringList{"Lamp", " CO2 ", " CO ", " TVOC ", " SO2 ", " NO2 ", "  O2  ", " H2S ", " NH3 ", " O3 ",
                         "MG11", " HCHO ", " CH4 ", " SF6 "}));
  EXPECT_EQ(TabCaptions(shell.Host(4)), (QStringList{"Wind Direction", "Wind Speed"}));
  EXPECT_EQ(TabCaptions(shell.Host(5)).size(), 6);
  EXPECT_EQ(TabCaptions(shell.Host(6)).size(), 11);
  EXPECT_EQ(TabCaptions(shell.Host(6))[7], "Rain&Snow");
  EXPECT_EQ(TabCaptions(shell.Host(7)), QStringList{"Current Collector"});
  EXPECT_EQ(TabCaptions(shell.Host(8)), QStringList{"485 Lampblack"});
  EXPECT_EQ(shell.Host(8)->Tabs()->objectName(), "1346");
  EXPECT_EQ(TabCaptions(shell.Host(13)), (QStringList{"DO", "Turbidity", "CL", "NHN"}));
  EXPECT_EQ(TabCaptions(shell.Host(14)), (QStringList{"Single axis", "Three axes", "Spectrum type"}));
  for (int i : {9, 10, 11, 12}) {
    EXPECT_EQ(shell.Host(i), nullptr) << i;
    EXPECT_EQ(set.VisiblePage(i), set.Page(i)) << i;
  }
  // Host sizes are their layouts' sizes in dialog units.
  const DialogUnits du(DialogFont());
  EXPECT_EQ(shell.Host(0)->sizeHint(), du.Size(451, 302));
  EXPECT_EQ(shell.Host(14)->sizeHint(), du.Size(430, 352));

  // A page still to be built carries only the web address.
  DevicePage* empty = set.VisiblePage(9);
  EXPECT_TRUE(empty->findChildren<QLineEdit*>().isEmpty());
  EXPECT_TRUE(empty->findChildren<QAbstractButton*>().isEmpty());
  EXPECT_EQ(empty->findChild<QLabel*>("webAddress")->text(), DevicePage::WebAddress());
  EXPECT_TRUE(DevicePage::WebAddress().endsWith(".example"));
}

TEST(Categories, EveryControlCarriesItsIdAndAUniqueName) {
  Shell shell("generic");
  for (int c = 0; c < shell.set->Count(); ++c) {
    std::vector<DevicePage*> pages;
    if (CategoryHost* host = shell.Host(c)) {
      for (int i = 0; i < host->Count(); ++i) pages.push_back(host->PageAt(i));
    } else {
      pages.push_back(shell.set->VisiblePage(c));
    }
    for (DevicePage* page : pages) {
      ASSERT_NE(page->findChild<QLabel*>("webAddress"), nullptr);
      QSet<QString> ids, names;
      QList<QWidget*> controls;
      for (QWidget* w : page->findChildren<QWidget*>())
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w))
          if (!qobject_cast<QComboBox*>(w->parentWidget())) controls << w;
      for (QWidget* w : controls) {
        const std::string where = page->Name().toStdString() + " " + w->objectName().toStdString();
        bool number = false;
        w->objectName().toInt(&number);
        EXPECT_TRUE(number) << where;
        EXPECT_EQ(w->accessibleDescription(), "id:" + w->objectName()) << where;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << where;
        EXPECT_FALSE(ids.contains(w->objectName())) << where;
        EXPECT_FALSE(names.contains(w->accessibleName())) << where << " " << w->accessibleName().toStdString();
        ids << w->objectName();
        names << w->accessibleName();
      }
    }
  }
  // Names say what a control is for.
  DevicePage* illum = shell.Host(2)->PageAt(1);
  EXPECT_EQ(illum->Edit(1045)->accessibleName(), "Illumination (x100 Lux)");
  EXPECT_EQ(illum->Button(1046)->accessibleName(), "Inquire Illumination (Lux)");
  DevicePage* kanban = shell.Host(0)->PageAt(2);
  EXPECT_EQ(kanban->Edit(1408)->accessibleName(), "Tem Upper");
  EXPECT_EQ(kanban->Button(1399)->accessibleName(), "Set up Tem Upper");
  EXPECT_EQ(kanban->Button(1410)->accessibleName(), "Inquire Temperature");
  EXPECT_EQ(shell.Host(4)->PageAt(0)->Edit(1243)->accessibleName(), "Register 0");
}

// Every page, shown where the main window shows it: nothing outside the page, nothing on top
// of anything else, no button or box narrower than its text.
TEST(Categories, PagesFitTheirHostWithoutOverlap) {
  Shell shell("generic");
  shell.tabs.show();
  for (int c = 0; c < shell.set->Count(); ++c) {
    CategoryHost* host = shell.Host(c);
    const int tabs = host ? host->Count() : 1;
    for (int t = 0; t < tabs; ++t) {
      shell.Select(c, host ? t : -1);
      DevicePage* page = shell.set->VisiblePage(c);
      QApplication::processEvents();
      const std::string name = page->Name().toStdString();
      ASSERT_TRUE(page->isVisible()) << name;
      QList<QWidget*> parts;
      for (QObject* child : page->children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w->isVisible()) parts << w;
      for (QWidget* w : parts) {
        const std::string where = name + " " + w->objectName().toStdString() + " " +
                                  w->accessibleName().toStdString();
        EXPECT_TRUE(page->rect().contains(w->geometry())) << where;
        // Text never cut: a button holds its text with a margin, a box its mark and text.
        if (auto* button = qobject_cast<QPushButton*>(w)) {
          EXPECT_GE(w->width(), button->fontMetrics().horizontalAdvance(button->text()) + 8) << where;
          EXPECT_GE(w->height(), button->fontMetrics().height() + 2) << where;
        } else if (qobject_cast<QCheckBox*>(w)) {
          EXPECT_GE(w->width(), w->sizeHint().width()) << where;
        } else if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap()) {
          EXPECT_GE(w->width(), w->minimumSizeHint().width()) << where;
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
          EXPECT_GE(w->height(), edit->fontMetrics().height() + 2) << where;
        }
        for (QWidget* other : parts) {
          if (other != w) {
            EXPECT_FALSE(w->geometry().intersects(other->geometry()))
                << where << " / " << other->objectName().toStdString();
          }
        }
      }
      for (QGroupBox* frame : page->findChildren<QGroupBox*>()) {
        for (QLabel* text : frame->findChildren<QLabel*>()) {
          EXPECT_GE(text->height(), text->heightForWidth(text->width())) << name;
        }
      }
    }
  }
}

TEST(RealTimeDispatch, PollsOnlyTheVisibleTickedPage) {
  Shell shell("TemHumPage");
  shell.Select(0, 1);
  DevicePage* temHum = shell.set->VisiblePage(0);
  ASSERT_EQ(temHum->Name(), "TemHumPage");
  temHum->RealTimeCheckBox()->click();
  temHum->Edit(1012)->setText("kept");

  shell.Tick();
  EXPECT_EQ(shell.line.TakeRequests(), (std::vector<Request>{Read(1), Read(0)}));

  // Another device tab, ticked too: only it is polled.
  shell.Select(0, 3);
  DevicePage* dew = shell.set->VisiblePage(0);
  ASSERT_EQ(dew->Name(), "DewTemPage");
  shell.Tick();
  EXPECT_TRUE(shell.line.TakeRequests().empty());
  dew->RealTimeCheckBox()->click();
  shell.Tick();
  EXPECT_EQ(shell.line.TakeRequests(), (std::vector<Request>{Read(1), Read(0), Read(2)}));

  // Another category: nothing of the first is polled; back again, it resumes, box still ticked.
  shell.Select(1);
  shell.Tick();
  EXPECT_TRUE(shell.line.TakeRequests().empty());
  shell.Select(0, 1);
  EXPECT_TRUE(temHum->RealTimeTicked());
  EXPECT_TRUE(temHum->Edit(1014)->isVisible() || !shell.tabs.isVisible());
  shell.Tick();
  EXPECT_EQ(shell.line.TakeRequests(), (std::vector<Request>{Read(1), Read(0)}));
  EXPECT_EQ(temHum->Edit(1012)->text(), "55.0");

  // Hidden pages keep what they show.
  dew->Edit(1625)->setText("typed");
  shell.Select(4);
  shell.Select(0, 3);
  EXPECT_EQ(dew->Edit(1625)->text(), "typed");
  EXPECT_TRUE(dew->RealTimeTicked());

  // Unticked: not polled.
  dew->RealTimeCheckBox()->click();
  shell.Tick();
  EXPECT_TRUE(shell.line.TakeRequests().empty());
  EXPECT_TRUE(shell.line.TakeBoxes().empty());
}

// The display board polls with its messages on. While one of its boxes is open further ticks
// arrive (a modal box runs its own loop) and must not poll again: one box at a time, and once
// it is closed the poll goes on.
TEST(RealTimeDispatch, OneBoxAtATimeFromASilentDevice) {
  Shell shell("TemHumKanbanPage");
  shell.Select(0, 2);
  DevicePage* kanban = shell.set->VisiblePage(0);
  ASSERT_EQ(kanban->Name(), "TemHumKanbanPage");
  kanban->RealTimeCheckBox()->click();
  shell.line.TakeRequests();
  shell.line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = sim::kAlways});

  int ticksWhileOpen = 0;
  size_t requestsWhileOpen = 0;
  shell.line.Sink().whileOpen = [&] {
    EXPECT_EQ(shell.line.Sink().open, 1);
    const size_t before = shell.line.Sim().RequestLog().size();
    for (int i = 0; i < 3; ++i, ++ticksWhileOpen) shell.Tick();
    requestsWhileOpen += shell.line.Sim().RequestLog().size() - before;
  };
  shell.Tick();
  const Box format{"Read format error!", "Warning", MessageIcon::Exclamation};
  EXPECT_EQ(shell.line.TakeBoxes(), (std::vector<Box>{format, format}));
  EXPECT_EQ(ticksWhileOpen, 6);
  EXPECT_EQ(requestsWhileOpen, 0u);
  EXPECT_EQ(shell.line.TakeRequests(), (std::vector<Request>{Read(1), Read(0)}));

  // Closed: the next tick polls again.
  shell.line.Sink().whileOpen = nullptr;
  shell.line.Sim().ClearFaults();
  shell.Tick();
  EXPECT_EQ(shell.line.TakeRequests(), (std::vector<Request>{Read(1), Read(0)}));
  EXPECT_TRUE(shell.line.TakeBoxes().empty());
  EXPECT_EQ(kanban->Edit(1407)->text(), "23.0");
}

// A page of the kind later subsystems declare: a selector whose entry decides the
// representation, a hidden row, a silent button, a row read by another row's button, and a
// real-time box that locks only some controls.
class RangePage : public DevicePage {
 public:
  int changes = 0;
  explicit RangePage(AppContext& context)
      : DevicePage(context, {
          .name = "RangePage",
          .selectors = {{.id = 10, .caption = "Sensor Type", .items = {"Gas 0-500", "Gas 0-50"}, .selected = 1,
                         .sorted = true}},
          .rows = {
            {.caption = "Gas", .unit = "ppm", .edit = 20, .inquire = 21, .read = Unsigned(0x0002)},
            {.unit = "mg/m3", .edit = 22, .inquire = 21, .read = Signed(0x0002, 0.0205, 2)},
            {.caption = "Gas Upper", .unit = "ppm", .edit = 23, .inquire = 24, .read = Unsigned(0x0036),
             .setup = 25, .write = WriteInt(0x0036), .showErrors = false},
            {.caption = "Version", .edit = 26, .inquire = 27, .read = Unsigned(0x0007), .hidden = true},
          },
          .realTime = {.id = 30, .caption = "Auto Read", .disables = {21, 10}},
          .poll = {20},
        }) {}

 protected:
  bool LowRange() const { return SelectorBox(10)->currentText() == "Gas 0-50"; }
  ReadOp ReadFor(const Row& row) const override {
    return LowRange() && row.edit != 22 ? Signed(row.read.reg, 0.01, 2) : row.read;
  }
  WriteOp WriteFor(const Row& row) const override {
    return LowRange() ? WriteScaled(row.write.reg, 100) : row.write;
  }
  void SelectorChanged(int) override { ++changes; }
};

TEST(DevicePage, DeclaredSelectorsOverridesAndLocks) {
  SimulatedLine line("generic");
  RangePage page(line.Context());
  QComboBox* type = page.SelectorBox(10);
  ASSERT_NE(type, nullptr);
  // Sorted, the default chosen without a change notification.
  EXPECT_EQ(type->itemText(0), "Gas 0-50");
  EXPECT_EQ(type->currentText(), "Gas 0-500");
  EXPECT_EQ(page.changes, 0);
  EXPECT_EQ(type->accessibleName(), "Sensor Type");

  line.Sim().SetRegister(0x0002, 1000);
  page.Button(21)->click();
  EXPECT_EQ(page.Edit(20)->text(), "1000");
  EXPECT_EQ(page.Edit(22)->text(), "20.50");
  EXPECT_EQ(page.Edit(22)->accessibleName(), "Gas (mg/m3)");
  EXPECT_EQ(line.TakeRequests(), (std::vector<Request>{Read(2), Read(2)}));

  type->setCurrentIndex(0);
  EXPECT_EQ(page.changes, 1);
  page.Button(21)->click();
  EXPECT_EQ(page.Edit(20)->text(), "10.00");
  page.Edit(23)->setText("2.5");
  page.Button(25)->click();
  EXPECT_EQ(line.TakeRequests(), (std::vector<Request>{Read(2), Read(2), test::Write(0x0036, 250)}));
  line.TakeBoxes();

  // A silent button: a failure only empties its field.
  line.GetLink().ClosePort();
  page.Button(24)->click();
  EXPECT_TRUE(line.TakeBoxes().empty());

  // The hidden row exists, never shows.
  page.show();
  EXPECT_NE(page.Edit(26), nullptr);
  EXPECT_FALSE(page.Edit(26)->isVisible());
  EXPECT_FALSE(page.Button(27)->isVisible());

  // The box locks only what it names.
  line.GetLink().ReopenPort(line.Sim().PortPath(), 9600);
  page.RealTimeCheckBox()->click();
  EXPECT_EQ(page.RealTimeCheckBox()->text(), "Auto Read");
  EXPECT_FALSE(page.Button(21)->isEnabled());
  EXPECT_FALSE(type->isEnabled());
  EXPECT_TRUE(page.Button(24)->isEnabled());
  EXPECT_TRUE(page.Button(25)->isEnabled());
  page.RealTimeCheckBox()->click();
  EXPECT_TRUE(page.Button(21)->isEnabled());
  EXPECT_TRUE(type->isEnabled());
}

TEST(CategoryHost, TabControlPlacedInTheClientArea) {
  test::EnsureApplication();
  CategoryHost host({.size = QSize(451, 302), .tabId = 1008, .tabRect = QRect(7, 7, 437, 288)});
  host.resize(600, 400);
  host.show();
  EXPECT_EQ(host.Tabs()->geometry(), QRect(-2, 10, 604, 371));
  CategoryHost kept({.size = QSize(457, 287), .tabId = 1008, .tabRect = QRect(7, 7, 443, 273), .keepsTabRect = true});
  kept.resize(600, 400);
  kept.show();
  EXPECT_EQ(kept.Tabs()->geometry(), DialogUnits(kept.font()).Rect(7, 7, 443, 273));
}

}  // namespace
}  // namespace tamsu
