// A category page with a second row of tabs, one device page per transmitter type. The pages
// are created once and only shown and hidden by the tabs, so hidden pages keep their state.
#pragma once

#include <QSize>
#include <QWidget>
#include <vector>

class QTabWidget;

namespace tamsu {

class DevicePage;

struct HostLayout {
  QSize size{};          // dialog units
  int tabId = 1008;       // the tab control's id
  QRect tabRect{};        // its place in the host's layout, dialog units
  bool keepsTabRect = false;  // leaves the tab control where the layout puts it
};

class CategoryHost : public QWidget {
  Q_OBJECT

 public:
  CategoryHost(const HostLayout& layout, QWidget* parent = nullptr);

  // Adds a device tab ("&" in the caption shows as itself) and its page.
  void AddPage(const QString& caption, DevicePage* page);
  // Shows the first page, hides the others, selects the first tab.
  void Start();

  int Count() const { return static_cast<int>(pages_.size()); }
  DevicePage* PageAt(int index) const { return pages_.at(index); }
  DevicePage* CurrentPage() const;
  int CurrentIndex() const;
  void SetCurrentIndex(int index);
  QTabWidget* Tabs() const { return tabs_; }

  QSize sizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Place();

  HostLayout layout_;
  QTabWidget* tabs_;
  std::vector<DevicePage*> pages_;
};

// A tab text shows "&" as itself only when doubled.
QString TabText(const QString& caption);

}  // namespace tamsu
