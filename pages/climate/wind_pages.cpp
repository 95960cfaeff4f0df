// Wind vane and anemometer transmitters.
#include "modbus/number_text.h"
#include "pages/climate/climate_pages.h"

namespace tamsu {

PageDeclaration WindDirectionPage() {
  return {
      .name = "WindDirectionPage",
      .rows = {
        {.caption = "Register 0：", .edit = kWindRegister0, .inquire = 1242, .read = Unsigned(0x0000),
         .readOnly = true},
        // The same button reads the second register too.
        {.caption = "Register 1：", .edit = 1056, .inquire = 1242, .read = Unsigned(0x0001), .readOnly = true},
      },
      .realTime = {.id = 1244},
      .poll = {kWindRegister0, 1056},
  };
}

WindDirection LookupWind(uint8_t code) {
  static constexpr WindDirection kTable[] = {
      {"North Wind", 160},     {"Northeasterly Wind", 166}, {"East Wind", 164},     {"Southeast Wind", 165},
      {"Southerly Wind", 159}, {"Southwest Wind", 162},     {"Westerly Wind", 161}, {"Northwest Wind", 163},
  };
  if (code < 8) return kTable[code];
  return {"Illegal", kNorthIcon};
}

// The direction is the low byte of register 0 as shown.
std::optional<WindDirection> WindShown(const std::string& register0) {
  if (register0.empty()) return std::nullopt;
  return LookupWind(static_cast<uint8_t>(DialogUInt(register0) & 0xFF));
}

PageDeclaration WindSpeedPage() {
  return {
      .name = "WindSpeedPage",
      .rows = {
        {.caption = "Wind Speed：", .unit = "m/s", .edit = 1245, .inquire = 1246, .read = Signed(0x0000, 0.1, 1),
         .readOnly = true},
      },
      .realTime = {.id = 1247},
      .poll = {1245},
  };
}

}  // namespace tamsu
