// Current collectors and kitchen fume monitors.
#include "sim/profile.h"

namespace tamsu::sim {

const std::vector<Profile>& ElectricalProfiles() {
  static const std::vector<Profile> table = {};
  return table;
}

}  // namespace tamsu::sim
