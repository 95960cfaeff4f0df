// The soil probes and the weather sensors: the "Soil" and "Weather Sensor" categories.
#pragma once

#include "app/framework/device_page.h"

namespace tamsu {

// Moisture, temperature (both 0.01) and conductivity of a three-in-one probe.
class ThreeInOneSoilPage : public DevicePage {
 public:
  ThreeInOneSoilPage(AppContext& context, QWidget* parent = nullptr);
};

class SoilTemMoisturePage : public DevicePage {
 public:
  SoilTemMoisturePage(AppContext& context, QWidget* parent = nullptr);
};

// Its moisture sits in register 1.
class SoilMoisturePage : public DevicePage {
 public:
  SoilMoisturePage(AppContext& context, QWidget* parent = nullptr);
};

// Five measured values with the coefficients and calibration offsets of conductivity, salinity
// and TDS; the coefficient and calibration buttons test the port first.
class SoilConductivityPage : public DevicePage {
 public:
  SoilConductivityPage(AppContext& context, QWidget* parent = nullptr);
};

class SoilPhPage : public DevicePage {
 public:
  SoilPhPage(AppContext& context, QWidget* parent = nullptr);
};

// Its button shows the tension as the maker's tool does: a single-precision product, in the
// page's own words.
class SoilTensionPage : public DevicePage {
 public:
  SoilTensionPage(AppContext& context, QWidget* parent = nullptr);
};

// Weather stations with their register block at 0x01F4; "SensorType" enables the virtual
// address row for the variant in a louvred shelter only.
class TypeCWeatherCo2Page : public DevicePage {
 public:
  TypeCWeatherCo2Page(AppContext& context, QWidget* parent = nullptr);
};

class TypeCWeatherPmPage : public DevicePage {
 public:
  TypeCWeatherPmPage(AppContext& context, QWidget* parent = nullptr);
};

// Ultraviolet, with temperature and humidity and their deviations for one of its variants.
class UvPage : public DevicePage {
 public:
  UvPage(AppContext& context, QWidget* parent = nullptr);
};

class NoisePage : public DevicePage {
 public:
  NoisePage(AppContext& context, QWidget* parent = nullptr);
};

class AirPressurePage : public DevicePage {
 public:
  AirPressurePage(AppContext& context, QWidget* parent = nullptr);
};

class RainGaugePage : public DevicePage {
 public:
  RainGaugePage(AppContext& context, QWidget* parent = nullptr);
};

class RadiationPage : public DevicePage {
 public:
  RadiationPage(AppContext& context, QWidget* parent = nullptr);
};

class RainSnowPage : public DevicePage {
 public:
  RainSnowPage(AppContext& context, QWidget* parent = nullptr);
};

class PmPage : public DevicePage {
 public:
  PmPage(AppContext& context, QWidget* parent = nullptr);
};

// Its three dust values keep their text when a read fails; six float coefficients.
class DustTesterPage : public DevicePage {
 public:
  DustTesterPage(AppContext& context, QWidget* parent = nullptr);
};

// A weighing water gauge: the weight in grams, the water level derived from it, and the
// clearing command.
class EvaPage : public DevicePage {
 public:
  EvaPage(AppContext& context, QWidget* parent = nullptr);

  // Grams to centimetres, in single precision as the device maker computes it.
  static constexpr double kLevelPerGram = 0.0031830985;
};

}  // namespace tamsu
