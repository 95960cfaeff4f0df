// The categories, their hosts, the declared pages and the once-a-second dispatch.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>

#include "app/categories.h"
#include "view/category_host.h"
#include "view/device_page.h"
#include "view/dialog_units.h"
#include "tests/support/range_page.h"
#include "tests/view/page_test_support.h"

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
  // Shows device tab `tab` of `category` (the single page of a category without a host).
  DevicePage* Select(int category, int tab = 0) {
    tabs.setCurrentIndex(category);
    if (CategoryHost* host = Host(category)) host->SetCurrentIndex(tab);
    return set->VisiblePage(category);
  }
  // A tick of timer 5, and the poll it handed to the line carried out.
  void Tick() {
    Dispatch();
    line.WaitIdle();
  }
  void Dispatch() { set->RealTimeDispatch(tabs.currentIndex()); }

  SimulatedLine line;
  QTabWidget tabs;
  std::unique_ptr<CategorySet> set;
};

TEST(Categories, HostsCarryTheirDeviceTabsAndPagesStillToBeBuiltOnlyTheWebAddress) {
  Shell shell("generic");
  ASSERT_EQ(shell.set->Count(), 15);
  EXPECT_EQ(shell.set->Caption(0), "Temperature&humidity");
  const int tabs[15] = {4, 3, 4, 14, 2, 6, 11, 1, 1, 0, 0, 0, 0, 4, 3};  // 0: a single page, no host
  for (int c = 0; c < 15; ++c) {
    CategoryHost* host = shell.Host(c);
    EXPECT_EQ(host ? host->Count() : 0, tabs[c]) << c;
    EXPECT_TRUE(host || shell.set->VisiblePage(c) == shell.set->Page(c)) << c;
  }
  EXPECT_EQ(shell.Host(0)->Tabs()->tabText(1), "Tem&&Humidity");

  // Every page carries the web address at its foot.
  for (int c = 0; c < 15; ++c) {
    for (int t = 0; t < (shell.Host(c) ? shell.Host(c)->Count() : 1); ++t) {
      DevicePage* page = shell.Host(c) ? shell.Host(c)->PageAt(t) : shell.set->VisiblePage(c);
      EXPECT_EQ(page->findChild<QLabel*>("webAddress")->text(), DevicePage::WebAddress()) << c << " " << t;
    }
  }
  EXPECT_TRUE(DevicePage::WebAddress().endsWith(".example"));
}

// Every page, shown where the main window shows it: each control carries its id and a name
// unique on its page; nothing outside the page, nothing on top of anything else, no button or
// box narrower than its text.
TEST(Categories, EveryPageNamesItsControlsUniquelyAndFitsItsHost) {
  Shell shell("generic");
  shell.tabs.show();
  for (int c = 0; c < shell.set->Count(); ++c) {
    for (int t = 0; t < (shell.Host(c) ? shell.Host(c)->Count() : 1); ++t) {
      DevicePage* page = shell.Select(c, t);
      QApplication::processEvents();
      SCOPED_TRACE(page->Name().toStdString());
      // TAMSU_PAGE_SHOTS=<dir>: each page as the window shows it, for a look at its layout.
      if (const char* shots = std::getenv("TAMSU_PAGE_SHOTS"))
        shell.tabs.grab().save(QStringLiteral("%1/%2.png").arg(QString::fromLocal8Bit(shots), page->Name()));
      ASSERT_TRUE(page->isVisible());
      ASSERT_NE(page->findChild<QLabel*>("webAddress"), nullptr);
      QSet<QString> ids, names;
      for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QAbstractButton*>(w) && !qobject_cast<QComboBox*>(w))
          continue;
        if (qobject_cast<QComboBox*>(w->parentWidget())) continue;
        const std::string where = w->objectName().toStdString() + " " + w->accessibleName().toStdString();
        bool number = false;
        w->objectName().toInt(&number);
        EXPECT_TRUE(number) << where;
        EXPECT_EQ(w->accessibleDescription(), "id:" + w->objectName()) << where;
        EXPECT_FALSE(w->accessibleName().isEmpty()) << where;
        EXPECT_FALSE(ids.contains(w->objectName()) || names.contains(w->accessibleName())) << where;
        ids << w->objectName();
        names << w->accessibleName();
      }
      QList<QWidget*> parts;
      for (QObject* child : page->children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w->isVisible()) parts << w;
      for (QWidget* w : parts) {
        const std::string where = w->objectName().toStdString() + " " + w->accessibleName().toStdString();
        EXPECT_TRUE(page->rect().contains(w->geometry())) << where;
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
        for (QWidget* other : parts)
          EXPECT_TRUE(other == w || !w->geometry().intersects(other->geometry()))
              << where << " / " << other->objectName().toStdString();
      }
      for (QGroupBox* frame : page->findChildren<QGroupBox*>())
        for (QLabel* text : frame->findChildren<QLabel*>())
          EXPECT_GE(text->height(), text->heightForWidth(text->width()));
    }
  }
  // Names say what a control is for; a repeated caption is told apart by its unit.
  DevicePage* illum = shell.Host(2)->PageAt(1);
  EXPECT_EQ(illum->Edit(1045)->accessibleName(), "Illumination (x100 Lux)");
  EXPECT_EQ(illum->Button(1046)->accessibleName(), "Inquire Illumination (Lux)");
  DevicePage* kanban = shell.Host(0)->PageAt(2);
  EXPECT_EQ(kanban->Button(1399)->accessibleName(), "Set up Tem Upper");
  EXPECT_EQ(kanban->Button(1410)->accessibleName(), "Inquire Temperature");
}

TEST(RealTimeDispatch, PollsOnlyTheVisibleTickedPage) {
  Shell shell("TemHumPage");
  DevicePage* temHum = shell.Select(0, 1);
  ASSERT_EQ(temHum->Name(), "TemHumPage");
  temHum->RealTimeCheckBox()->click();
  shell.Tick();
  EXPECT_EQ(shell.line.TakeRequests(), (std::vector<Request>{Read(1), Read(0)}));

  // Another device tab, ticked too: only it is polled.
  DevicePage* dew = shell.Select(0, 3);
  ASSERT_EQ(dew->Name(), "DewTemPage");
  shell.Tick();
  EXPECT_TRUE(shell.line.TakeRequests().empty());
  dew->RealTimeCheckBox()->click();
  shell.Tick();
  EXPECT_EQ(shell.line.TakeRequests(), (std::vector<Request>{Read(1), Read(0), Read(2)}));

  // Another category: nothing of the first is polled; back again, it resumes, box still ticked.
  dew->Edit(1625)->setText("typed");
  temHum->Edit(1012)->setText("stale");
  shell.Select(1);
  shell.Tick();
  EXPECT_TRUE(shell.line.TakeRequests().empty());
  shell.Select(0, 1);
  EXPECT_TRUE(temHum->RealTimeTicked());
  shell.Tick();
  EXPECT_EQ(shell.line.TakeRequests(), (std::vector<Request>{Read(1), Read(0)}));
  EXPECT_EQ(temHum->Edit(1012)->text(), "55.0");

  // Hidden pages keep what they show; unticked, a page is not polled.
  shell.Select(0, 3);
  EXPECT_EQ(dew->Edit(1625)->text(), "typed");
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
  DevicePage* kanban = shell.Select(0, 2);
  ASSERT_EQ(kanban->Name(), "TemHumKanbanPage");
  kanban->RealTimeCheckBox()->click();
  shell.line.TakeRequests();
  shell.line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = sim::kAlways});

  int ticksWhileOpen = 0;
  size_t requestsWhileOpen = 0;
  shell.line.Sink().whileOpen = [&] {
    EXPECT_EQ(shell.line.Sink().open, 1);
    const size_t before = shell.line.Sim().RequestLog().size();
    for (int i = 0; i < 3; ++i, ++ticksWhileOpen) shell.Dispatch();
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

class RangePage : public DevicePage {
 public:
  explicit RangePage(AppContext& context, PageDeclaration declaration = test::RangeDeclaration())
      : DevicePage(context, std::move(declaration)) {}
};

TEST(DevicePage, DeclaredVariantsEffectsAndLocks) {
  SimulatedLine line("generic");
  RangePage page(line.Context());
  QComboBox* type = page.SelectorBox(10);
  // Sorted, the default chosen without a change notification.
  EXPECT_EQ(type->itemText(0), "Gas 0-50");
  EXPECT_EQ(page.CurrentEntry(10), "Gas 0-500");

  // The representation follows the entry at every press; one button reads two rows.
  line.Sim().SetRegister(0x0002, 1000);
  page.Button(21)->click();
  line.WaitIdle();
  EXPECT_EQ(page.Edit(20)->text(), "1000");
  EXPECT_EQ(page.Edit(22)->text(), "20.50");
  type->setCurrentIndex(0);
  page.Button(21)->click();
  line.WaitIdle();
  EXPECT_EQ(page.Edit(20)->text(), "10.00");
  page.Edit(23)->setText("2.5");
  page.Button(25)->click();
  line.WaitIdle();
  EXPECT_EQ(line.TakeRequests(), (std::vector<Request>{Read(2), Read(2), Read(2), Read(2), test::Write(0x36, 250)}));
  line.TakeBoxes();
  // Typed text is no entry: the representation stays with the chosen one.
  type->setEditText("Gas 0-500");
  page.Button(21)->click();
  line.WaitIdle();
  EXPECT_EQ(page.Edit(20)->text(), "10.00");

  // An entry that blanks and disables a row, and leaves it out of the poll.
  type->setCurrentIndex(type->findText("Gas only"));
  EXPECT_EQ(page.Edit(23)->text(), " ");
  EXPECT_FALSE(page.Edit(23)->isEnabled() || page.Button(24)->isEnabled() || page.Button(25)->isEnabled());
  line.TakeRequests();
  page.RealTimePoll();
  line.WaitIdle();
  EXPECT_EQ(line.TakeRequests(), (std::vector<Request>{Read(2)}));

  // A silent button: a failure only empties its field. The hidden row never shows.
  type->setCurrentIndex(type->findText("Gas 0-500"));
  EXPECT_TRUE(page.Button(24)->isEnabled());
  line.GetLink().ClosePort();
  page.Button(24)->click();
  line.WaitIdle();
  EXPECT_TRUE(line.TakeBoxes().empty());
  page.show();
  EXPECT_FALSE(page.Edit(26)->isVisible() || page.Button(27)->isVisible());
  // A row that tests the port says the box's words, sends nothing and keeps its field.
  page.Edit(46)->setText("kept");
  page.Button(47)->click();
  line.WaitIdle();
  EXPECT_EQ(line.TakeBoxes(), (std::vector<Box>{{"Please open the serial port first!", "Warning", MessageIcon::Exclamation}}));
  EXPECT_EQ(page.Edit(46)->text(), "kept");

  // The box locks only what it names; unticked, what an entry disables stays disabled.
  line.GetLink().ReopenPort(line.Sim().PortPath(), 9600);
  page.RealTimeCheckBox()->click();
  EXPECT_FALSE(page.Button(21)->isEnabled() || type->isEnabled());
  EXPECT_TRUE(page.Button(24)->isEnabled() && page.Button(25)->isEnabled());
  page.RealTimeCheckBox()->click();
  EXPECT_TRUE(page.Button(21)->isEnabled() && type->isEnabled());
}

// What a record or a trend reads off a page: every visible field in page order, named by its
// caption (or that of the row it is read with), whether a number fills it and whether the poll
// does, as the entries chosen now decide.
TEST(DevicePage, ReadingsSayWhatEachFieldShowsAndWhetherThePollFillsItWithANumber) {
  SimulatedLine line("generic");
  RangePage page(line.Context());
  struct Seen {
    int id;
    std::string caption, unit, text;
    bool numeric, polled;
    bool operator==(const Seen&) const = default;
  };
  auto seen = [&page] {
    std::vector<Seen> out;
    for (const FieldReading& r : page.Readings()) out.push_back({r.id, r.caption, r.unit, r.text, r.numeric, r.polled});
    return out;
  };
  line.Sim().SetRegister(0x0002, 1000);
  line.Sim().SetRegister(0x0064, 1);
  page.RealTimePoll();
  line.WaitIdle();
  page.Button(41)->click();
  line.WaitIdle();
  page.Edit(44)->setText("4.00");
  EXPECT_EQ(seen(), (std::vector<Seen>{{10, "Sensor Type", "", "Gas 0-500", false, false},
                                       {20, "Gas", "ppm", "1000", true, true},
                                       {22, "Gas", "mg/m3", "", true, false},
                                       {23, "Gas Upper", "ppm", "0", true, true},
                                       {40, "Mode", "", "Depth", false, false},
                                       {44, "Calibration", "", "4.00", false, false},
                                       {46, "Weight", "g", "", true, false},
                                       {48, "Level", "cm", "", true, false}}));
  // An entry that leaves a field out of the poll; a list with nothing chosen reads "".
  page.SelectorBox(10)->setCurrentIndex(page.SelectorBox(10)->findText("Gas only"));
  page.List(40)->setCurrentIndex(-1);
  const std::vector<Seen> now = seen();
  EXPECT_EQ(now[3], (Seen{23, "Gas Upper", "ppm", " ", true, false}));
  EXPECT_EQ(now[4].text, "");

  // A block poll fills exactly its fields, each as the block shows it.
  PageDeclaration declaration = test::RangeDeclaration();
  declaration.block = {.start = 0, .count = 2,
                       .fields = {{46, 0, {}}, {48, 1, {.kind = Representation::Kind::Codes}},
                                  {20, 1, {.kind = Representation::Kind::Unsigned32}}}};
  RangePage block(line.Context(), declaration);
  std::vector<std::pair<int, std::pair<bool, bool>>> polled;
  for (const FieldReading& r : block.Readings()) polled.push_back({r.id, {r.numeric, r.polled}});
  EXPECT_EQ(polled, (std::vector<std::pair<int, std::pair<bool, bool>>>{
                        {10, {false, false}}, {20, {true, false}}, {22, {true, false}}, {23, {true, false}},
                        {40, {false, false}}, {44, {false, false}}, {46, {true, true}}, {48, {false, true}}}));
}

// Bands stand above one another, each holding its columns side by side; columns past the last
// band join it. A row may take a line of its column out of its reading order. Narrow buttons
// still show their whole caption.
TEST(DevicePage, BandsOfColumnsRowsOnLinesOfTheirOwnAndNarrowButtons) {
  SimulatedLine line("generic");
  DevicePage page(line.Context(), {.name = "BandPage",
                                   .rows = {{.caption = "A", .edit = 1, .inquire = 6, .read = Unsigned(0), .line = 1},
                                            {.caption = "E", .edit = 5, .line = 0},
                                            {.caption = "B", .edit = 2, .column = 1},
                                            {.caption = "C", .edit = 3, .column = 2},
                                            {.caption = "D", .edit = 4, .column = 3}},
                                   .metrics = {.buttonWidth = 10},
                                   .bands = {2, 1}});
  page.show();
  QApplication::processEvents();
  auto at = [&page](int edit) { return page.Edit(edit)->geometry(); };
  const QRect a = at(1), b = at(2), c = at(3), d = at(4), e = at(5);
  EXPECT_EQ(e.left(), a.left());
  EXPECT_LT(e.bottom(), a.top());
  EXPECT_EQ(b.top(), e.top());
  EXPECT_GT(b.left(), a.right());
  EXPECT_GT(c.top(), a.bottom());
  EXPECT_LT(c.left(), b.left());
  EXPECT_EQ(d.top(), c.top());
  EXPECT_GT(d.left(), c.right());
  QPushButton* inquire = page.Button(6);
  EXPECT_LT(inquire->width(), inquire->sizeHint().width());
  EXPECT_GE(inquire->width(), inquire->fontMetrics().horizontalAdvance("Inquire") + 8);
}

}  // namespace
}  // namespace tamsu
