// The water transmitters: the water gauge, PH and EC, and the four water quality pages of the
// "WaterQuality" category (DO, turbidity, CL, NHN).
#pragma once

#include "device/page_model.h"

namespace tamsu {

// Running mode, water state, depth and temperature, limits and relays of a water gauge; its
// poll reads the three measured registers in one request.
PageDeclaration WaterGaugePage();

// PH and temperature, polled in one request, with a two-point calibration.
PageDeclaration PhPage();

// Conductivity shown at the resolution chosen on the page, temperature, temperature
// compensation and a one-point calibration.
PageDeclaration EcPage();

// Dissolved oxygen (saturation and mg/L) and temperature as singles; zero and slope
// calibration commands.
PageDeclaration DoPage();

// Turbidity and temperature; zero and slope calibration commands. Its poll reports failures.
PageDeclaration TurbidityPage();

// Residual chlorine.
PageDeclaration ClPage();

// Ammonia nitrogen with PH and temperature.
PageDeclaration NhnPage();

}  // namespace tamsu
