// The weighing water gauge: register 0 holds the water's weight in grams (0 to 65535), the page
// derives the level from it. Button and poll show the weight as that unsigned value and the
// level from the same value: a weight of 0x8000 or more is a weight, not a negative one.
#include "pages/soil_weather/soil_weather_pages.h"

namespace tamsu {

namespace {

constexpr int kWeight = 1571;
constexpr int kLevel = 1574;

const Representation kGrams{};
const Representation kCentimetres{.kind = Representation::Kind::Unsigned, .scale = kEvaLevelPerGram,
                                  .decimals = 2, .single = true};

}  // namespace

PageDeclaration EvaPage() {
  return {
        .name = "EvaPage",
        .rows = {
          // A failed button read empties the weight only and keeps the last level.
          {.caption = "Weight", .unit = "g", .edit = kWeight, .inquire = 1572,
           .read = Unsigned(0x0000).Says(kNotOpenedReadMessages), .alsoShows = {{kLevel, kCentimetres}}},
          {.caption = "Current water level", .unit = "cm", .edit = kLevel},
          {.caption = "Clearing operation", .setup = 1570, .write = WriteFixed(0x0050, 1).Says(kWriteSuccessMessages)},
        },
        .realTime = {.id = 1573},
        // The poll's own request for register 0; a failed answer (or a closed port) empties both
        // fields, silently.
        .block = {.start = 0x0000, .count = 1, .fields = {{kWeight, 0, kGrams}, {kLevel, 0, kCentimetres}}},
      };
}

}  // namespace tamsu
