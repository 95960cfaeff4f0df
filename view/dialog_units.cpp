#include "view/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QStringList>
#include <cmath>

namespace tamsu {

QFont DialogFont() {
  const QStringList families = QFontDatabase::families();
  for (const char* name : {"SimSun", "AR PL UMing CN", "AR PL UMing TW", "AR PL UMing HK", "AR PL UMing"}) {
    if (families.contains(QString::fromLatin1(name))) {
      QFont font(QString::fromLatin1(name));
      font.setPointSizeF(9.0);
      return font;
    }
  }
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSizeF(9.0);
  return font;
}

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetricsF metrics(font);
  // The average width of the 52 Latin letters, as the dialog manager measures it.
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  baseX_ = metrics.horizontalAdvance(letters) / 52.0;
  baseY_ = metrics.height();
  if (!(baseX_ > 0)) baseX_ = 6;
  if (!(baseY_ > 0)) baseY_ = 12;
}

int DialogUnits::X(int units) const { return static_cast<int>(std::lround(units * baseX_ / 4.0)); }
int DialogUnits::Y(int units) const { return static_cast<int>(std::lround(units * baseY_ / 8.0)); }

QRect DialogUnits::Rect(int x, int y, int w, int h) const {
  return QRect(X(x), Y(y), X(x + w) - X(x), Y(y + h) - Y(y));
}

QSize DialogUnits::Size(int w, int h) const { return QSize(X(w), Y(h)); }

}  // namespace tamsu
