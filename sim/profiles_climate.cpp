// Temperature and humidity, alarm status, illumination and wind transmitters. Live values
// move slowly (periods of minutes) so a person watching a page sees them change while two
// reads a moment apart agree.
#include "sim/profile.h"

namespace tamsu::sim {
namespace {

// 0.1 units: 23.0 degC and 55.0 %RH, a dew point of about 13.6 degC to match.
constexpr RegisterDef Humidity(uint16_t reg = 0x0000) { return Ro(reg, 550, Sine(40, 900)); }
constexpr RegisterDef Temperature(uint16_t reg = 0x0001) { return Ro(reg, 230, Sine(15, 600)); }
// Lux: thousands indoors on the 6W devices, above 65535 on the 20W devices, whose register 6
// carries the same reading in units of 100 lux.
constexpr RegisterDef Lux6W() { return Ro(0x0006, 3500, Sine(1500, 420)); }
constexpr RegisterDef Lux20W() { return Ro32(0x0002, 150000, Sine(40000, 420)); }
constexpr RegisterDef Lux20WHundreds() { return Ro(0x0006, 1500, Follow(0x0002, 0.01)); }

}  // namespace

const std::vector<Profile>& ClimateProfiles() {
  static const std::vector<Profile> table = {
      {"TemperaturePage", "temperature transmitter", false, {Temperature()}},
      {"TemHumPage", "temperature and humidity transmitter", false, {Humidity(), Temperature()}},
      {"TemHumKanbanPage",
       "temperature and humidity display board with limits, return differences, calibration",
       false,
       {
           Humidity(),
           Temperature(),
           Rw(0x0030, 350),  // temperature upper limit 35.0
           Rw(0x0031, 50),   // temperature lower limit 5.0
           Rw(0x0032, 10),   // temperature return difference 1.0
           Rw(0x0033, 0),
           Rw(0x0034, 0),
           Rw(0x0035, 800),  // humidity upper limit 80.0
           Rw(0x0036, 200),  // humidity lower limit 20.0
           Rw(0x0037, 30),   // humidity return difference 3.0
           Rw(0x0050, 0),    // temperature calibration offset
           Rw(0x0051, 0),    // humidity calibration offset
       }},
      {"DewTemPage",
       "humidity, dew-point and temperature transmitter",
       false,
       {Humidity(), Ro(0x0001, 136, Sine(12, 900)), Temperature(0x0002)}},
      {"WaterLeakPage", "water leak detector (1 normal, 2 warning)", false, {Ro(0x0002, 1)}},
      {"SmokePage", "smoke detector (0 normal, 1 warning)", false, {Ro(0x0003, 0)}},
      {"InfraredPage", "infrared detector (0 normal, 1 warning)", false, {Ro(0x0003, 0)}},
      {"Illum6WPage", "illumination transmitter, 0-65535 lux", false, {Lux6W()}},
      {"Illum20WPage", "illumination transmitter, 0-200000 lux", false, {Lux20W(), Lux20WHundreds()}},
      {"Illum6WTemHumPage",
       "illumination (0-65535 lux), temperature and humidity transmitter",
       false,
       {Humidity(), Temperature(), Lux6W()}},
      {"Illum20WTemHumPage",
       "illumination (0-200000 lux), temperature and humidity transmitter",
       false,
       {Humidity(), Temperature(), Lux20W(), Lux20WHundreds()}},
      {"WindDirectionPage",
       "wind vane: direction code 0-7 turning every 15 s, register 1 in degrees",
       false,
       {Ro(0x0000, 0, Cycle(8, 15)), Ro(0x0001, 0, Follow(0x0000, 45))}},
      {"WindSpeedPage", "anemometer, 0.1 m/s", false, {Ro(0x0000, 32, Sine(20, 120))}},
  };
  return table;
}

}  // namespace tamsu::sim
