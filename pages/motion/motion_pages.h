// The vibration and tilt transmitters: the "Warm vibration" category's three device pages and
// the "Tilt sensor" category's page.
#pragma once

#include "device/page_model.h"

namespace tamsu {

// Temperature, speed, stretch and acceleration of one axis, with the temperature correction
// and the six A and B coefficients of the Z axis.
PageDeclaration VibrationSingleAxisPage();

// Temperature and the three quantities of X, Y and Z read as one sequence, with the
// temperature correction and eighteen coefficients.
PageDeclaration VibrationThreeAxisPage();

// The same sequence of ten reads, laid out as a grid of quantity by axis; nothing to write.
PageDeclaration VibrationSpectrumPage();

// Three tilt angles polled as one block, the installation method and the zero-point
// calibration commands.
PageDeclaration TiltSensorPage();

}  // namespace tamsu
