// The climate pages: temperature and humidity, alarm status, illumination and wind.
#pragma once

#include <QPixmap>

#include "app/framework/device_page.h"

class QLabel;

namespace tamsu {

class TemperaturePage : public DevicePage {
 public:
  TemperaturePage(AppContext& context, QWidget* parent = nullptr);
};

class TemHumPage : public DevicePage {
 public:
  TemHumPage(AppContext& context, QWidget* parent = nullptr);
};

class TemHumKanbanPage : public DevicePage {
 public:
  TemHumKanbanPage(AppContext& context, QWidget* parent = nullptr);
};

class DewTemPage : public DevicePage {
 public:
  DewTemPage(AppContext& context, QWidget* parent = nullptr);
};

class WaterLeakPage : public DevicePage {
 public:
  WaterLeakPage(AppContext& context, QWidget* parent = nullptr);
};

class SmokePage : public DevicePage {
 public:
  SmokePage(AppContext& context, QWidget* parent = nullptr);
};

class InfraredPage : public DevicePage {
 public:
  InfraredPage(AppContext& context, QWidget* parent = nullptr);
};

class Illum6WPage : public DevicePage {
 public:
  Illum6WPage(AppContext& context, QWidget* parent = nullptr);
};

class Illum20WPage : public DevicePage {
 public:
  Illum20WPage(AppContext& context, QWidget* parent = nullptr);
};

class Illum6WTemHumPage : public DevicePage {
 public:
  Illum6WTemHumPage(AppContext& context, QWidget* parent = nullptr);
};

class Illum20WTemHumPage : public DevicePage {
 public:
  Illum20WTemHumPage(AppContext& context, QWidget* parent = nullptr);
};

// Names the wind by the low byte of register 0 and shows its compass icon.
class WindDirectionPage : public DevicePage {
 public:
  WindDirectionPage(AppContext& context, QWidget* parent = nullptr);

  struct Direction {
    const char* name;
    int icon;  // resource number of the compass icon
  };
  static Direction Lookup(uint8_t code);
  static QPixmap CompassIcon(int icon, int side);

  QString DirectionName() const;
  int DirectionIcon() const { return icon_; }

 protected:
  void Inquire(int button, bool showErrors) override;
  void Poll(bool showErrors) override;

 private:
  void ShowDirection();
  void SetIcon(int icon);

  QLabel* iconLabel_;
  QLabel* nameLabel_;
  int icon_ = 0;
};

class WindSpeedPage : public DevicePage {
 public:
  WindSpeedPage(AppContext& context, QWidget* parent = nullptr);
};

}  // namespace tamsu
