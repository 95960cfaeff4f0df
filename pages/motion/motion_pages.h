// The vibration and tilt transmitters: the "Warm vibration" category's three device pages and
// the "Tilt sensor" category's page.
#pragma once

#include "app/framework/device_page.h"

namespace tamsu {

// Temperature, speed, stretch and acceleration of one axis, with the temperature correction
// and the six A and B coefficients of the Z axis.
class VibrationSingleAxisPage : public DevicePage {
 public:
  VibrationSingleAxisPage(AppContext& context, QWidget* parent = nullptr);
};

// Temperature and the three quantities of X, Y and Z read as one sequence, with the
// temperature correction and eighteen coefficients.
class VibrationThreeAxisPage : public DevicePage {
 public:
  VibrationThreeAxisPage(AppContext& context, QWidget* parent = nullptr);
};

// The same sequence of ten reads, laid out as a grid of quantity by axis; nothing to write.
class VibrationSpectrumPage : public DevicePage {
 public:
  VibrationSpectrumPage(AppContext& context, QWidget* parent = nullptr);
};

// Three tilt angles polled as one block, the installation method and the zero-point
// calibration commands.
class TiltSensorPage : public DevicePage {
 public:
  TiltSensorPage(AppContext& context, QWidget* parent = nullptr);
};

}  // namespace tamsu
