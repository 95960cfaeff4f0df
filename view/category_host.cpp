#include "view/category_host.h"

#include <QResizeEvent>
#include <QTabBar>
#include <QTabWidget>

#include "view/device_page.h"
#include "view/dialog_units.h"

namespace tamsu {

QString TabText(const QString& caption) {
  QString text = caption;
  return text.replace(u'&', QStringLiteral("&&"));
}

CategoryHost::CategoryHost(const HostLayout& layout, QWidget* parent)
    : QWidget(parent), layout_(layout), tabs_(new QTabWidget(this)) {
  setFont(DialogFont());
  tabs_->setObjectName(QString::number(layout_.tabId));
  tabs_->setAccessibleDescription(QStringLiteral("id:%1").arg(layout_.tabId));
  tabs_->setAccessibleName(QStringLiteral("Device type"));
  tabs_->setUsesScrollButtons(true);
  resize(sizeHint());
  Place();
}

QSize CategoryHost::sizeHint() const {
  return DialogUnits(font()).Size(layout_.size.width(), layout_.size.height());
}

void CategoryHost::AddPage(const QString& caption, DevicePage* page) {
  tabs_->addTab(page, TabText(caption));
  pages_.push_back(page);
}

void CategoryHost::Start() {
  if (!pages_.empty()) tabs_->setCurrentIndex(0);
}

DevicePage* CategoryHost::CurrentPage() const {
  const int index = tabs_->currentIndex();
  return index < 0 ? nullptr : pages_.at(index);
}

int CategoryHost::CurrentIndex() const { return tabs_->currentIndex(); }

void CategoryHost::SetCurrentIndex(int index) { tabs_->setCurrentIndex(index); }

void CategoryHost::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Place();
}

// The tab control sits 2 pixels left of the client area and 10 below its top, and ends 19
// above its bottom. It is as wide as the client area plus the 2 pixels on either side (its
// side frames disappear under the category frame): any wider and the right-hand part of
// every device page would be cut off by the host's edge.
void CategoryHost::Place() {
  if (layout_.keepsTabRect) {
    const QRect r = layout_.tabRect;
    tabs_->setGeometry(DialogUnits(font()).Rect(r.x(), r.y(), r.width(), r.height()));
    return;
  }
  const QRect client = rect();
  tabs_->setGeometry(client.left() - 2, client.top() + 10, client.width() + 4, client.height() - 29);
}

}  // namespace tamsu
