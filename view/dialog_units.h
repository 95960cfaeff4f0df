// Dialog units: the window and page layouts are given in them, and they are converted from the
// dialog font's own metrics, so the proportions hold at any font size or screen scale.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace tamsu {

// SimSun 9 pt where installed, otherwise a Song-style CJK face (AR PL UMing), otherwise the
// system's CJK face.
QFont DialogFont();

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font = DialogFont());
  int X(int units) const;  // horizontal: units * average character width / 4
  int Y(int units) const;  // vertical: units * character height / 8
  QRect Rect(int x, int y, int w, int h) const;
  QSize Size(int w, int h) const;
  double baseX() const { return baseX_; }
  double baseY() const { return baseY_; }

 private:
  double baseX_;
  double baseY_;
};

}  // namespace tamsu
