// Gas transmitters. Readings move slowly (periods of minutes); limits, calibrations and
// coefficients are writable and keep what the master writes.
#include "sim/profile.h"

namespace tamsu::sim {
namespace {

// 0.1 units, as the climate transmitters: 23.0 degC and 55.0 %RH.
constexpr RegisterDef Humidity() { return Ro(0x0000, 550, Sine(40, 900)); }
constexpr RegisterDef Temperature() { return Ro(0x0001, 230, Sine(15, 600)); }

Profile TemHumGas(const char* name, const char* description, RegisterDef gas) {
  return {name, description, false, {Humidity(), Temperature(), gas}};
}

// Readings, then the limits and calibrations at 0x0030..0x0038 (temperature, humidity, gas:
// upper, lower, calibration), in the gas's own units.
Profile Threshold(const char* name, const char* description, RegisterDef gas, int64_t gasUpper, int64_t gasLower) {
  return {name,
          description,
          false,
          {
              Humidity(),
              Temperature(),
              gas,
              Rw(0x0030, 400),  // temperature upper limit 40.0
              Rw(0x0031, 0),    // temperature lower limit 0.0
              Rw(0x0032, 0),    // temperature calibration
              Rw(0x0033, 900),  // humidity upper limit 90.0
              Rw(0x0034, 100),  // humidity lower limit 10.0
              Rw(0x0035, 0),    // humidity calibration
              Rw(0x0036, gasUpper),
              Rw(0x0037, gasLower),
              Rw(0x0038, 0),    // gas calibration
          }};
}

}  // namespace

const std::vector<Profile>& GasProfiles() {
  static const std::vector<Profile> table = {
      {"LampPage",
       "fume concentration (0.01 mg/m3) with calibration value and coefficient",
       false,
       {Ro(0x0000, 125, Sine(40, 300)), Rw(0x0050, 0), RwFloat(0x0200, 1.0f), Ro(0x0007, 0x0102)}},
      {"TvocPage", "TVOC transmitter, ppb", false, {Ro(0x0000, 220, Sine(80, 600))}},
      TemHumGas("CoPage", "CO (0.1 ppm) with temperature and humidity", Ro(0x0002, 35, Sine(10, 300))),
      TemHumGas("So2Page", "SO2 (0.01 ppm) with temperature and humidity", Ro(0x0002, 42, Sine(12, 300))),
      TemHumGas("No2Page", "NO2 (0.01 ppm) with temperature and humidity", Ro(0x0002, 1000, Sine(150, 300))),
      TemHumGas("HchoPage", "formaldehyde (0.01 ppm) with temperature and humidity", Ro(0x0002, 6, Sine(3, 300))),
      TemHumGas("Ch4Page", "methane (ppm) with temperature and humidity", Ro(0x0002, 120, Sine(40, 300))),
      TemHumGas("Sf6Page", "SF6 (ppm) with temperature and humidity", Ro(0x0002, 300, Sine(60, 300))),
      Threshold("Co2Page", "CO2 (ppm) with temperature, humidity, limits and calibrations",
                Ro(0x0002, 650, Sine(120, 600)), 1500, 400),
      Threshold("O2Page", "oxygen (0.1 %vol) with temperature, humidity, limits and calibrations",
                Ro(0x0002, 209, Sine(3, 600)), 235, 195),
      Threshold("H2sPage", "H2S (ppm) with temperature, humidity, limits and calibrations",
                Ro(0x0002, 4, Sine(3, 600)), 10, 0),
      Threshold("Nh3Page", "ammonia (ppm, 0.01 ppm in the 0-50 range) with limits and calibrations",
                Ro(0x0002, 250, Sine(50, 600)), 3500, 0),
      Threshold("O3Page", "ozone (0.1 ppm, 0.01 ppm in the 0-10 range) with limits and calibrations",
                Ro(0x0002, 45, Sine(10, 600)), 200, 0),
      {"Mg11Page",
       "multi-gas transmitter: eighteen quantities in registers 0x0000-0x0012",
       false,
       {
           Ro(0x0000, 35, Sine(10, 300)),       // PM2.5 ug/m3
           Ro(0x0001, 60, Sine(15, 300)),       // PM10 ug/m3
           Ro(0x0002, 550, Sine(40, 900)),      // humidity 0.1 %RH
           Ro(0x0003, 230, Sine(15, 600)),      // temperature 0.1 degC
           Ro(0x0004, 1013, Sine(5, 1200)),     // pressure 0.1 kPa
           Ro32(0x0005, 100000, Sine(30000, 420)),  // light lux, 32-bit
           Ro(0x0007, 220, Sine(80, 600)),      // TVOC ppb
           Ro(0x0008, 650, Sine(120, 600)),     // CO2 ppm
           Ro(0x0009, 6, Sine(3, 300)),         // HCHO 0.01 ppm
           Ro(0x000A, 5, Sine(2, 300)),         // O3 0.01 ppm
           Ro(0x000B, 209, Sine(3, 600)),       // O2 0.1 %vol
           Ro(0x000C, 0, Sine(2, 300)),         // H2S ppm
           Ro(0x000D, 0),                       // CH4 %LEL
           Ro(0x000E, 2, Sine(2, 300)),         // CO ppm
           Ro(0x000F, 1, Sine(1, 300)),         // NO2 0.1 ppm
           Ro(0x0010, 1, Sine(1, 300)),         // SO2 0.1 ppm
           Ro(0x0011, 0),                       // H2 ppm
           Ro(0x0012, 3, Sine(2, 300)),         // NH3 ppm
       }},
  };
  return table;
}

}  // namespace tamsu::sim
