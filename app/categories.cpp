// The fifteen categories of the catalogue, in tab order: hosts with their device tabs, or a
// single page.
#include "app/categories.h"

#include <QRect>
#include <QSize>

#include "pages/catalogue.h"
#include "view/category_host.h"
#include "view/device_page.h"

namespace tamsu {

struct CategorySet::Impl {
  struct Entry {
    QString caption;
    QWidget* widget = nullptr;
    CategoryHost* host = nullptr;  // null for a single page
    DevicePage* page = nullptr;    // the single page
  };
  std::vector<Entry> entries;
  LineThread* line = nullptr;
};

CategorySet::CategorySet(AppContext& context, QWidget* parent) : impl_(std::make_unique<Impl>()) {
  impl_->line = &context.line;
  for (const Category& category : PageCatalogue().Categories()) {
    Impl::Entry entry;
    entry.caption = QString::fromStdString(category.caption);
    if (const auto& geometry = category.host) {
      auto* host = new CategoryHost({.size = QSize(geometry->width, geometry->height),
                                     .tabId = geometry->tabId,
                                     .tabRect = QRect(geometry->x, geometry->y, geometry->w, geometry->h),
                                     .keepsTabRect = geometry->keepsTabRect},
                                    parent);
      for (const DeviceTab& tab : category.tabs)
        host->AddPage(QString::fromStdString(tab.caption), CreatePage(context, *tab.page));
      host->Start();
      entry.widget = entry.host = host;
    } else {
      entry.page = CreatePage(context, *category.tabs.front().page, parent);
      entry.widget = entry.page;
    }
    impl_->entries.push_back(entry);
  }
}

CategorySet::~CategorySet() = default;

int CategorySet::Count() const { return static_cast<int>(impl_->entries.size()); }

QString CategorySet::Caption(int index) const {
  return index >= 0 && index < Count() ? impl_->entries[index].caption : QString();
}

QWidget* CategorySet::Page(int index) const { return impl_->entries.at(index).widget; }

DevicePage* CategorySet::VisiblePage(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  const Impl::Entry& entry = impl_->entries[index];
  return entry.host ? entry.host->CurrentPage() : entry.page;
}

// Only the page the user sees is polled, and only while its box is ticked. A page whose poll is
// still running (on the line, or a message box of that poll is open) is left alone until it
// has ended: one box at a time, not one a second. Nor is a poll handed over while another
// page's poll is still on the line (the user has just switched pages).
void CategorySet::RealTimeDispatch(int selectedCategory) {
  DevicePage* page = VisiblePage(selectedCategory);
  if (!page || !page->RealTimeTicked() || page->PollRunning()) return;
  if (impl_->line->Worker().PollPending()) return;
  page->RealTimePoll();
}

}  // namespace tamsu
