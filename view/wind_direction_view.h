// The wind direction page: its fields, and above them the direction's name and compass icon.
#pragma once

#include <QPixmap>
#include <QString>

#include "view/device_page.h"

class QLabel;

namespace tamsu {

class WindDirectionView : public DevicePage {
 public:
  WindDirectionView(AppContext& context, const PageDeclaration& declaration, QWidget* parent = nullptr);

  static QPixmap CompassIcon(int icon, int side);

  QString DirectionName() const;
  int DirectionIcon() const { return icon_; }

 protected:
  void Updated() override;

 private:
  void SetIcon(int icon);

  QLabel* iconLabel_;
  QLabel* nameLabel_;
  int icon_ = 0;
};

}  // namespace tamsu
