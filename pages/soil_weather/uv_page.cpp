// The ultraviolet sensor. With "UV" chosen the device has no temperature and humidity: their
// fields are blanked, their controls disabled and the poll leaves them out.
#include "pages/soil_weather/soil_weather_pages.h"

namespace tamsu {

namespace {
constexpr int kSensorType = 1270;
constexpr int kTem = 1271, kHum = 1272, kTemDeviation = 1071, kHumDeviation = 1057;
ReadOp Tenths(uint16_t reg) { return Signed(reg, 0.1, 1); }
}  // namespace

PageDeclaration UvPage() {
  return {
        .name = "UvPage",
        .selectors = {{.id = kSensorType, .caption = "Sensor Type", .items = {"UV", "UV&Tem&Hum"}, .selected = 1}},
        .rows = {
          {.caption = "Temperature", .unit = "℃", .edit = kTem, .inquire = 1274, .read = Tenths(0x0001)},
          {.caption = "Humidity", .unit = "%RH", .edit = kHum, .inquire = 1275, .read = Tenths(0x0000)},
          {.caption = "UV Intensity", .unit = "mW/cm2", .edit = 1273, .inquire = 1276, .read = Signed(0x0002, 0.01, 2)},
          {.caption = "UV index", .edit = 1056, .inquire = 1070, .read = Unsigned(0x0003)},
          {.caption = "Tem Deviation", .unit = "℃", .edit = kTemDeviation, .inquire = 1072, .read = Tenths(0x0051),
           .setup = 1074, .write = WriteScaled(0x0051, 10)},
          {.caption = "Hum Deviation", .unit = "%RH", .edit = kHumDeviation, .inquire = 1073, .read = Tenths(0x0050),
           .setup = 1075, .write = WriteScaled(0x0050, 10)},
        },
        // The deviation rows stay usable while polling; the list is locked, so the variant
        // cannot change under a poll.
        .realTime = {.id = 1069, .disables = {1274, 1275, 1276, 1070, kSensorType}},
        .effects = {{.selector = kSensorType, .entries = {"UV"},
                     .blank = {kTem, kHum, kTemDeviation, kHumDeviation},
                     .disable = {kTem, kHum, kTemDeviation, kHumDeviation, 1274, 1275, 1072, 1073, 1074, 1075},
                     .skipPoll = {kTem, kHum}}},
        .poll = {kTem, kHum, 1273, 1056},
      };
}

}  // namespace tamsu
