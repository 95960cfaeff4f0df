// Current collectors and kitchen fume monitors. Readings move slowly; calibrations,
// thresholds and coefficients are writable and keep what the master writes.
#include "sim/profile.h"

namespace tamsu::sim {

const std::vector<Profile>& ElectricalProfiles() {
  static const std::vector<Profile> table = {
      {"CurrentCollectorPage",
       "fan and purifier conditions and currents (0.01 A) with calibrations and thresholds",
       false,
       {
           Ro(0x0000, 1),                     // fan running
           Ro(0x0001, 0),                     // purifier stopped
           Ro(0x0002, 250, Sine(20, 120)),    // fan current 2.50 A
           Ro(0x0003, 120, Sine(10, 180)),    // purifier current 1.20 A
           Rw(0x0055, 0),                     // fan current calibration
           Rw(0x0056, 0),                     // purifier current calibration
           Rw(0x005B, 500),                   // fan current threshold 5.00 A
           Rw(0x005C, 300),                   // purifier current threshold 3.00 A
       }},
      {"LampblackPage",
       "kitchen fume, NMHC and particulate matter (0.01 mg/m3) with A and B coefficients and version",
       false,
       {
           Ro(0x0000, 85, Sine(30, 300)),     // fume 0.85 mg/m3
           Ro(0x0001, 320, Sine(60, 600)),    // non-methane total hydrocarbon 3.20 mg/m3
           Ro(0x0002, 45, Sine(15, 300)),     // particulate matter 0.45 mg/m3
           Ro(0x000A, 0x0103),                // firmware 1.3
           RwFloat(0x0010, 1.0f),             // LAMP A
           RwFloat(0x0012, 0.0f),             // LAMP B
           RwFloat(0x0014, 1.0f),             // NMHC A
           RwFloat(0x0016, 0.0f),             // NMHC B
           RwFloat(0x0018, 1.0f),             // TSP A
           RwFloat(0x001A, 0.0f),             // TSP B
       }},
  };
  return table;
}

}  // namespace tamsu::sim
