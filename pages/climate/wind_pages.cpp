// Wind vane and anemometer transmitters.
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>
#include <QVBoxLayout>

#include "app/framework/dialog_units.h"
#include "modbus/number_text.h"
#include "pages/climate/climate_pages.h"

// The icons live in a static library: their registration must be referenced to be linked in.
static void LoadCompassIcons() { Q_INIT_RESOURCE(compass); }

namespace tamsu {

namespace {
constexpr int kRegister0 = 1243;
constexpr int kInquire = 1242;
constexpr int kNorthIcon = 160;
}  // namespace

WindDirectionPage::WindDirectionPage(AppContext& context, QWidget* parent)
    : DevicePage(context, {
        .name = "WindDirectionPage",
        .rows = {
          {.caption = "Register 0：", .edit = kRegister0, .inquire = kInquire, .read = Unsigned(0x0000),
           .readOnly = true},
          // The same button reads the second register too.
          {.caption = "Register 1：", .edit = 1056, .inquire = kInquire, .read = Unsigned(0x0001),
           .readOnly = true},
        },
        .realTime = {.id = 1244},
        .poll = {kRegister0, 1056},
      }, parent) {
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

WindDirectionPage::Direction WindDirectionPage::Lookup(uint8_t code) {
  static constexpr Direction kTable[] = {
      {"North Wind", 160},     {"Northeasterly Wind", 166}, {"East Wind", 164},     {"Southeast Wind", 165},
      {"Southerly Wind", 159}, {"Southwest Wind", 162},     {"Westerly Wind", 161}, {"Northwest Wind", 163},
  };
  if (code < 8) return kTable[code];
  return {"Illegal", kNorthIcon};
}

QPixmap WindDirectionPage::CompassIcon(int icon, int side) {
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

QString WindDirectionPage::DirectionName() const { return nameLabel_->text(); }

void WindDirectionPage::SetIcon(int icon) {
  icon_ = icon;
  iconLabel_->setPixmap(CompassIcon(icon, iconLabel_->width()));
  // The picture says the direction the name says.
  iconLabel_->setAccessibleName(QStringLiteral("Compass: %1").arg(nameLabel_->text()));
}

// The direction is the low byte of register 0 as shown. After a failed read that field is
// empty; naming it would show "North Wind" that was never read, so the name and the icon keep
// the last direction that was.
void WindDirectionPage::ShowDirection() {
  const QString shown = Edit(kRegister0)->text();
  if (shown.isEmpty()) return;
  const Direction direction = Lookup(static_cast<uint8_t>(DialogUInt(shown.toStdString()) & 0xFF));
  nameLabel_->setText(QString::fromLatin1(direction.name));
  SetIcon(direction.icon);
}

void WindDirectionPage::Inquire(int button, bool showErrors) {
  DevicePage::Inquire(button, showErrors);
  ShowDirection();
}

void WindDirectionPage::Poll(bool showErrors) {
  DevicePage::Poll(showErrors);
  ShowDirection();
}

WindSpeedPage::WindSpeedPage(AppContext& context, QWidget* parent)
    : DevicePage(context, {
        .name = "WindSpeedPage",
        .rows = {
          {.caption = "Wind Speed：", .unit = "m/s", .edit = 1245, .inquire = 1246, .read = Signed(0x0000, 0.1, 1),
           .readOnly = true},
        },
        .realTime = {.id = 1247},
        .poll = {1245},
      }, parent) {}

}  // namespace tamsu
