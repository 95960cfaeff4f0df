// Water gauge, PH, EC and water quality transmitters.
#include "sim/profile.h"

namespace tamsu::sim {

const std::vector<Profile>& WaterProfiles() {
  static const std::vector<Profile> table = {};
  return table;
}

}  // namespace tamsu::sim
