// Vibration and tilt transmitters.
#include "sim/profile.h"

namespace tamsu::sim {

const std::vector<Profile>& MotionProfiles() {
  static const std::vector<Profile> table = {};
  return table;
}

}  // namespace tamsu::sim
