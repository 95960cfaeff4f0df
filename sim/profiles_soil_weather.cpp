// Soil probes and weather sensors. Readings move slowly (periods of minutes); coefficients,
// calibrations, deviations and settings are writable and keep what the master writes.
#include "sim/profile.h"

namespace tamsu::sim {
namespace {

// 0.1 units: 23.0 degC, 55.0 %RH, 101.3 kPa.
constexpr RegisterDef Humidity(uint16_t reg = 0x0000) { return Ro(reg, 550, Sine(40, 900)); }
constexpr RegisterDef Temperature(uint16_t reg = 0x0001) { return Ro(reg, 230, Sine(15, 600)); }
constexpr RegisterDef Pressure(uint16_t reg) { return Ro(reg, 1013, Sine(5, 1200)); }

// The combined stations' block from 0x01F4; register 0x01F7 holds CO2 (ppm) or PM2.5 (ug/m3).
// The illumination is a 32-bit value that passes 65535 lux in bright sun.
Profile Station(const char* name, const char* description, RegisterDef gas, bool pm10) {
  Profile p{name,
            description,
            false,
            {
                Humidity(0x01F4),
                Temperature(0x01F5),
                Ro(0x01F6, 452, Sine(60, 300)),  // noise 0.1 dB
                gas,
                Pressure(0x01F9),
                Ro32(0x01FA, 100000, Sine(30000, 420)),
                Rw(0x0060, 1),  // virtual multiple address
            }};
  if (pm10) p.registers.push_back(Ro(0x01F8, 60, Sine(15, 300)));
  return p;
}

}  // namespace

const std::vector<Profile>& SoilWeatherProfiles() {
  static const std::vector<Profile> table = {
      {"ThreeInOneSoilPage",
       "soil moisture and temperature (0.01) with conductivity (us/cm)",
       false,
       {Ro(0x0000, 2650, Sine(300, 900)), Ro(0x0001, 2150, Sine(150, 600)), Ro(0x0002, 850, Sine(120, 600))}},
      {"SoilTemMoisturePage",
       "soil moisture and temperature (0.1)",
       false,
       {Ro(0x0000, 265, Sine(30, 900)), Ro(0x0001, 215, Sine(15, 600))}},
      {"SoilMoisturePage", "soil moisture (0.01 %) in register 1", false, {Ro(0x0001, 2650, Sine(300, 900))}},
      {"SoilConductivityPage",
       "soil humidity, temperature, conductivity, salinity and TDS with coefficients and calibrations",
       false,
       {
           Humidity(),
           Temperature(),
           Ro(0x0002, 850, Sine(120, 600)),  // conductivity us/cm
           Ro(0x0003, 420, Sine(60, 600)),   // salinity mg/L
           Ro(0x0004, 425, Sine(60, 600)),   // TDS mg/L
           Rw(0x0022, 100),                  // conductivity coefficient
           Rw(0x0023, 55),                   // salinity coefficient
           Rw(0x0024, 50),                   // TDS coefficient
           Rw(0x0050, 0),                    // temperature calibration 0.1
           Rw(0x0051, 0),                    // humidity calibration 0.1
           Rw(0x0052, 0),                    // conductivity calibration
       }},
      {"SoilPhPage", "soil PH (0.1)", false, {Ro(0x0000, 68, Sine(3, 900))}},
      {"SoilTensionPage", "soil tension (0.1 kPa, signed)", false, {Ro(0x0000, 152, Sine(40, 900))}},
      {"NoisePage", "noise (0.1 dB)", false, {Ro(0x0000, 452, Sine(60, 300))}},
      {"AirPressurePage", "atmospheric pressure (0.1 kPa) in register 0, temperature in 1", false,
       {Pressure(0x0000), Temperature()}},
      {"RainGaugePage", "rainfall (0.1 mm)", false, {Ro(0x0000, 125, Sine(40, 900))}},
      Station("TypeCWeatherCo2Page", "weather station with CO2: block at 0x01F4, 32-bit illumination",
              Ro(0x01F7, 650, Sine(120, 600)), false),
      {"RadiationPage", "solar radiation (W/m2) with its deviation", false,
       {Ro(0x0000, 650, Sine(200, 600)), Rw(0x0052, 0)}},
      {"UvPage",
       "ultraviolet intensity (0.01 mW/cm2) and index with temperature, humidity and deviations",
       false,
       {Humidity(), Temperature(), Ro(0x0002, 125, Sine(40, 600)), Ro(0x0003, 3, Cycle(6, 60)), Rw(0x0050, 0),
        Rw(0x0051, 0)}},
      Station("TypeCWeatherPmPage", "weather station with PM2.5 and PM10: block at 0x01F4, 32-bit illumination",
              Ro(0x01F7, 35, Sine(10, 300)), true),
      {"RainSnowPage",
       "rain and snow detector (0 normal, 1 warning) with alarm reset delay and sensitivity",
       false,
       {Ro(0x0000, 0, Cycle(2, 30)), Rw(0x0033, 60), Rw(0x0034, 5)}},
      {"PmPage", "PM2.5 and PM10 (ug/m3)", false, {Ro(0x0000, 35, Sine(10, 300)), Ro(0x0001, 60, Sine(15, 300))}},
      {"DustTesterPage",
       "TSP, PM2.5 and PM10 (ug/m3) with their A and B coefficients as floats",
       false,
       {
           Ro(0x0000, 120, Sine(30, 300)),
           Ro(0x0001, 35, Sine(10, 300)),
           Ro(0x0002, 60, Sine(15, 300)),
           RwFloat(0x0060, 1.0f),
           RwFloat(0x0062, 0.0f),
           RwFloat(0x0070, 1.0f),
           RwFloat(0x0072, 0.0f),
           RwFloat(0x0080, 1.0f),
           RwFloat(0x0082, 0.0f),
       }},
      // The weight rises slowly as water collects; the clearing command starts it again from 0.
      {"EvaPage", "weighing water gauge (g) with its clearing command at 0x0050", false,
       {Ro(0x0000, 0, Ramp(2, 0x0050)), Rw(0x0050, 0)}},
  };
  return table;
}

}  // namespace tamsu::sim
