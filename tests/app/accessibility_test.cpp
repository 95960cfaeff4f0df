// Every control a person can reach is named the way a screen reader says it: walked through
// the accessible tree of the main window with every category page and device page, and of the
// line traffic and trend windows. A label that shows a value is read as that value.
#include <QAccessible>
#include <QLabel>
#include <QTabWidget>

#include "app/categories.h"
#include "view/category_host.h"
#include "app/line_traffic_window.h"
#include "app/main_window.h"
#include "app/trend_window.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

bool NeedsName(QAccessible::Role role) {
  switch (role) {
    case QAccessible::EditableText:
    case QAccessible::PushButton:
    case QAccessible::ComboBox:
    case QAccessible::CheckBox:
    case QAccessible::Graphic:
    case QAccessible::List:
    case QAccessible::PageTab:
    case QAccessible::PageTabList:
      return true;
    default:
      return false;
  }
}

// Walks the tree below `root`, collecting what is wrong. Hidden controls are not reachable.
void Walk(QAccessibleInterface* iface, QStringList& faults, int& visited, const QString& where) {
  if (!iface || !iface->isValid() || iface->state().invisible) return;
  ++visited;
  const QString name = iface->text(QAccessible::Name);
  QObject* object = iface->object();
  const QString id = object ? object->objectName() : QString();
  if (NeedsName(iface->role()) && name.trimmed().isEmpty())
    faults << QStringLiteral("%1: unnamed %2 %3").arg(where).arg(iface->role()).arg(id);
  if (auto* label = qobject_cast<QLabel*>(object); label && !label->text().isEmpty() && name != label->text())
    faults << QStringLiteral("%1: label \"%2\" reads \"%3\"").arg(where, label->text(), name);
  for (int i = 0; i < iface->childCount(); ++i) Walk(iface->child(i), faults, visited, where);
}

TEST(Accessibility, EveryControlOfEveryPageAndWindowIsNamedAndValueLabelsReadTheirValue) {
  test::SimulatedLine line("generic");
  MainWindow window(line.Context());
  window.show();
  QStringList faults;
  int visited = 0, pages = 0;
  auto* tabs = window.findChild<QTabWidget*>("1008", Qt::FindDirectChildrenOnly);
  ASSERT_NE(tabs, nullptr);
  CategorySet& categories = window.Categories();
  for (int c = 0; c < categories.Count(); ++c) {
    tabs->setCurrentIndex(c);
    auto* host = qobject_cast<CategoryHost*>(categories.Page(c));
    for (int t = 0; t < (host ? host->Count() : 1); ++t) {
      if (host) host->SetCurrentIndex(t);
      DevicePage* page = categories.VisiblePage(c);
      QApplication::processEvents();
      Walk(QAccessible::queryAccessibleInterface(page), faults, visited, page->Name());
      ++pages;
    }
  }
  tabs->setCurrentIndex(0);
  Walk(QAccessible::queryAccessibleInterface(&window), faults, visited, "MainWindow");
  Walk(QAccessible::queryAccessibleInterface(window.ShowLineTraffic()), faults, visited, "LineTrafficWindow");
  window.ShowTrend();
  Walk(QAccessible::queryAccessibleInterface(window.Trend()), faults, visited, "TrendWindow");
  EXPECT_TRUE(faults.isEmpty()) << faults.join(u'\n').toStdString();
  EXPECT_GE(pages, 57);
  EXPECT_GT(visited, 1000);
}

// The page's controls in the order Tab reaches them, starting at `first`.
std::vector<QWidget*> TabChain(DevicePage* page, QWidget* first) {
  std::vector<QWidget*> chain;
  for (QWidget* w = first; w && chain.size() < 500; w = w->nextInFocusChain()) {
    if (w == first && !chain.empty()) break;
    if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(page) && !w->focusProxy())
      chain.push_back(w);
  }
  return chain;
}

// Tab runs row by row, left to right, top to bottom, and reaches every control of every page.
TEST(Accessibility, TabRunsInReadingOrderThroughEveryControl) {
  test::SimulatedLine line("generic");
  MainWindow window(line.Context());
  CategorySet& categories = window.Categories();
  DevicePage* kanban = qobject_cast<CategoryHost*>(categories.Page(0))->PageAt(2);
  ASSERT_EQ(kanban->Name(), "TemHumKanbanPage");
  const std::vector<QWidget*> chain = TabChain(kanban, kanban->Edit(1407));
  QStringList ids;
  for (size_t i = 0; i < 10 && i < chain.size(); ++i) ids << chain[i]->objectName();
  EXPECT_EQ(ids, (QStringList{"1407", "1410", "1067", "1068", "1405", "1054", "1348", "1069", "1070", "1406"}));

  for (int c = 0; c < categories.Count(); ++c) {
    auto* host = qobject_cast<CategoryHost*>(categories.Page(c));
    for (int t = 0; t < (host ? host->Count() : 1); ++t) {
      DevicePage* page = host ? host->PageAt(t) : categories.VisiblePage(c);
      std::vector<QWidget*> reachable;
      for (QWidget* w : page->findChildren<QWidget*>())
        if ((w->focusPolicy() & Qt::TabFocus) && !w->isHidden() && !w->focusProxy() && w->objectName().toInt() > 0)
          reachable.push_back(w);
      if (reachable.empty()) continue;
      const std::vector<QWidget*> all = TabChain(page, reachable.front());
      for (QWidget* w : reachable)
        EXPECT_EQ(std::count(all.begin(), all.end(), w), 1) << page->Name().toStdString() << " " << w->objectName().toStdString();
    }
  }
}

}  // namespace
}  // namespace tamsu
