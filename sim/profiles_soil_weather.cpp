// Soil probes and weather sensors.
#include "sim/profile.h"

namespace tamsu::sim {

const std::vector<Profile>& SoilWeatherProfiles() {
  static const std::vector<Profile> table = {};
  return table;
}

}  // namespace tamsu::sim
