// The water transmitters: the water gauge, PH and EC, and the four water quality pages of the
// "WaterQuality" category (DO, turbidity, CL, NHN).
#pragma once

#include "app/framework/device_page.h"

namespace tamsu {

// Running mode, water state, depth and temperature, limits and relays of a water gauge; its
// poll reads the three measured registers in one request.
class WaterGaugePage : public DevicePage {
 public:
  WaterGaugePage(AppContext& context, QWidget* parent = nullptr);
};

// PH and temperature, polled in one request, with a two-point calibration.
class PhPage : public DevicePage {
 public:
  PhPage(AppContext& context, QWidget* parent = nullptr);
};

// Conductivity shown at the resolution chosen on the page, temperature, temperature
// compensation and a one-point calibration.
class EcPage : public DevicePage {
 public:
  EcPage(AppContext& context, QWidget* parent = nullptr);
};

// Dissolved oxygen (saturation and mg/L) and temperature as singles; zero and slope
// calibration commands.
class DoPage : public DevicePage {
 public:
  DoPage(AppContext& context, QWidget* parent = nullptr);
};

// Turbidity and temperature; zero and slope calibration commands. Its poll reports failures.
class TurbidityPage : public DevicePage {
 public:
  TurbidityPage(AppContext& context, QWidget* parent = nullptr);
};

// Residual chlorine.
class ClPage : public DevicePage {
 public:
  ClPage(AppContext& context, QWidget* parent = nullptr);
};

// Ammonia nitrogen with PH and temperature.
class NhnPage : public DevicePage {
 public:
  NhnPage(AppContext& context, QWidget* parent = nullptr);
};

}  // namespace tamsu
