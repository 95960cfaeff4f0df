#include "sim/profile.h"

namespace tamsu::sim {

const std::vector<Profile>& GenericProfiles() {
  static const std::vector<Profile> table = {
      {"generic", "every register exists and keeps what is written (0 until then)", true, {}},
  };
  return table;
}

const std::vector<Profile>& AllProfiles() {
  static const std::vector<Profile> all = [] {
    std::vector<Profile> out;
    for (const auto* table : {&GenericProfiles(), &ClimateProfiles(), &GasProfiles(), &SoilWeatherProfiles(),
                              &ElectricalProfiles(), &WaterProfiles(), &MotionProfiles()}) {
      out.insert(out.end(), table->begin(), table->end());
    }
    return out;
  }();
  return all;
}

const Profile* FindProfile(std::string_view name) {
  for (const Profile& p : AllProfiles()) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

}  // namespace tamsu::sim
