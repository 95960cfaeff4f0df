// The soil probes and the weather sensors: the "Soil" and "Weather Sensor" categories.
#pragma once

#include "device/page_model.h"

namespace tamsu {

// Moisture, temperature (both 0.01) and conductivity of a three-in-one probe.
PageDeclaration ThreeInOneSoilPage();

PageDeclaration SoilTemMoisturePage();

// Its moisture sits in register 1.
PageDeclaration SoilMoisturePage();

// Five measured values with the coefficients and calibration offsets of conductivity, salinity
// and TDS; the coefficient and calibration buttons test the port first.
PageDeclaration SoilConductivityPage();

PageDeclaration SoilPhPage();

// Its button shows the tension as the maker's tool does: a single-precision product, in the
// page's own words.
PageDeclaration SoilTensionPage();

// Weather stations with their register block at 0x01F4; "SensorType" enables the virtual
// address row for the variant in a louvred shelter only.
PageDeclaration TypeCWeatherCo2Page();

PageDeclaration TypeCWeatherPmPage();

// Ultraviolet, with temperature and humidity and their deviations for one of its variants.
PageDeclaration UvPage();

PageDeclaration NoisePage();

PageDeclaration AirPressurePage();

PageDeclaration RainGaugePage();

PageDeclaration RadiationPage();

PageDeclaration RainSnowPage();

PageDeclaration PmPage();

// Its three dust values keep their text when a read fails; six float coefficients.
PageDeclaration DustTesterPage();

// A weighing water gauge: the weight in grams, the water level derived from it, and the
// clearing command.
PageDeclaration EvaPage();
// Grams to centimetres, in single precision as the device maker computes it.
inline constexpr double kEvaLevelPerGram = 0.0031830985;

}  // namespace tamsu
