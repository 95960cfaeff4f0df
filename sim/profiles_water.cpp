// Water gauge, PH, EC and water quality transmitters. Readings move slowly; settings,
// calibration registers and command registers are writable.
#include "sim/profile.h"

namespace tamsu::sim {
namespace {

// A reading held as an IEEE-754 single over two registers, high word first.
constexpr RegisterDef RoFloat(uint16_t reg, float value) { return Ro32(reg, std::bit_cast<uint32_t>(value)); }

// The calibration command register of the water quality transmitters.
constexpr RegisterDef CalibrationCommand() { return Rw(0x1010, 0); }

}  // namespace

const std::vector<Profile>& WaterProfiles() {
  static const std::vector<Profile> table = {
      {"WaterGaugePage",
       "water gauge: depth (cm), temperature (0.1 degC), water state, limits, tilt angle and relays",
       false,
       {
           Ro(0x0000, 125, Sine(5, 300)),     // water depth 125 cm
           Ro(0x0001, 182, Sine(10, 600)),    // water temperature 18.2 degC
           Ro(0x0002, 1),                     // water present
           Rw(0x0003, 0),                     // relay open
           Rw(0x0064, 1),                     // depth measurement
           Rw(0x0065, 300),                   // upper limit
           Rw(0x0066, 50),                    // lower limit
           Rw(0x0067, 5),                     // backlash
           Rw(0x0068, 20),                    // draft length
           Rw(0x0069, 0),                     // datum value
           RwFloat(0x006A, 0.0f),             // tilt angle
           Rw(0x006C, 1),                     // upper limit relay associated
           Rw(0x006D, 0),                     // lower limit relay uncorrelated
           Rw(0x006E, 3),                     // sensitivity
           Rw(0x006F, 0),                     // analog range lower limit
           Rw(0x0070, 500),                   // analog range upper limit
           Rw(0x0075, 1),                     // analog output 4-20mA
       }},
      {"PhPage",
       "PH (0.01) and temperature (0.1 degC) with a two-point calibration",
       false,
       {Ro(0x0000, 700, Sine(20, 600)), Ro(0x0001, 215, Sine(10, 600)), Rw(0x0120, 0), Rw(0x0121, 0)}},
      {"EcPage",
       "conductivity (us/cm at the page's resolution), temperature, temperature compensation, calibration",
       false,
       {Ro(0x0000, 1413, Sine(50, 600)), Ro(0x0001, 250, Sine(10, 600)), RwFloat(0x0052, 0.02f), Rw(0x0110, 0),
        Rw(0x0111, 0)}},
      {"DoPage",
       "dissolved oxygen (saturation and mg/L) and temperature as singles, calibration commands",
       false,
       {RoFloat(0x0000, 95.2f), RoFloat(0x0002, 8.26f), RoFloat(0x0004, 21.5f), CalibrationCommand()}},
      {"TurbidityPage",
       "turbidity (0.1 NTU) and temperature (0.1 degC), calibration commands",
       false,
       {Ro(0x0000, 125, Sine(20, 300)), Ro(0x0001, 205, Sine(10, 600)), CalibrationCommand()}},
      {"ClPage", "residual chlorine (0.01 mg/L)", false, {Ro(0x0000, 50, Sine(10, 300))}},
      {"NhnPage",
       "ammonia nitrogen (0.01 mg/L), PH (0.01) and temperature (0.1 degC)",
       false,
       {Ro(0x0000, 35, Sine(5, 300)), Ro(0x0001, 720, Sine(10, 600)), Ro(0x0002, 190, Sine(10, 600))}},
  };
  return table;
}

}  // namespace tamsu::sim
