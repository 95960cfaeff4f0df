#include "view/wind_direction_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSvgRenderer>
#include <QVBoxLayout>

#include "pages/climate/climate_pages.h"
#include "view/dialog_units.h"

// The icons live in a static library: their registration must be referenced to be linked in.
static void LoadCompassIcons() { Q_INIT_RESOURCE(compass); }

namespace tamsu {

WindDirectionView::WindDirectionView(AppContext& context, const PageDeclaration& declaration, QWidget* parent)
    : DevicePage(context, declaration, parent) {
  const DialogUnits du(font());
  iconLabel_ = new QLabel(this);
  iconLabel_->setFixedSize(du.X(24), du.X(24));
  Identify(iconLabel_, 1238, QString());
  // The name shows a value: a screen reader reads its text, with no fixed name over it.
  nameLabel_ = new QLabel(QStringLiteral("Wind Direction"), this);
  Identify(nameLabel_, 1240, QString());
  auto* line = new QHBoxLayout;
  line->setSpacing(du.X(6));
  line->addWidget(iconLabel_);
  line->addWidget(nameLabel_);
  line->addStretch(1);
  HeaderLayout()->addLayout(line);
  SetIcon(kNorthIcon);
}

QPixmap WindDirectionView::CompassIcon(int icon, int side) {
  static const char* const kFiles[] = {"south", "north", "west", "southwest", "northwest", "east", "southeast",
                                       "northeast"};  // resources 159 to 166
  static const bool loaded = (LoadCompassIcons(), true);
  (void)loaded;
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  if (icon < 159 || icon > 166) return pixmap;
  QSvgRenderer renderer(QStringLiteral(":/compass/%1.svg").arg(QLatin1String(kFiles[icon - 159])));
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

QString WindDirectionView::DirectionName() const { return nameLabel_->text(); }

void WindDirectionView::SetIcon(int icon) {
  icon_ = icon;
  iconLabel_->setPixmap(CompassIcon(icon, iconLabel_->width()));
  // The picture says the direction the name says.
  iconLabel_->setAccessibleName(QStringLiteral("Compass: %1").arg(nameLabel_->text()));
}

void WindDirectionView::Updated() {
  const QLineEdit* register0 = Edit(kWindRegister0);
  if (!register0) return;
  if (const auto direction = WindShown(register0->text().toStdString())) {
    nameLabel_->setText(QString::fromLatin1(direction->name));
    SetIcon(direction->icon);
  }
}

}  // namespace tamsu
