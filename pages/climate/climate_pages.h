// The climate pages: temperature and humidity, alarm status, illumination and wind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "device/page_model.h"

namespace tamsu {

PageDeclaration TemperaturePage();

PageDeclaration TemHumPage();

PageDeclaration TemHumKanbanPage();

PageDeclaration DewTemPage();

PageDeclaration WaterLeakPage();

PageDeclaration SmokePage();

PageDeclaration InfraredPage();

PageDeclaration Illum6WPage();

PageDeclaration Illum20WPage();

PageDeclaration Illum6WTemHumPage();

PageDeclaration Illum20WTemHumPage();

// Two registers; the low byte of register 0 names the wind (its view shows the name and a
// compass icon).
PageDeclaration WindDirectionPage();

struct WindDirection {
  const char* name;
  int icon;  // resource number of the compass icon
};
inline constexpr int kNorthIcon = 160;
inline constexpr int kWindRegister0 = 1243;  // the field the direction is read from
// The direction a code stands for ("Illegal" past the eight).
WindDirection LookupWind(uint8_t code);
// The direction register 0's field shows; none while it is empty (after a failed read), so the
// last direction that was read stays named.
std::optional<WindDirection> WindShown(const std::string& register0);

PageDeclaration WindSpeedPage();

}  // namespace tamsu
