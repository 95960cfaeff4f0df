// Single-purpose weather transmitters: noise, air pressure, rainfall, radiation, rain and snow,
// particulates and the dust tester with its float coefficients.
#include "pages/soil_weather/soil_weather_pages.h"

namespace tamsu {

namespace {
ReadOp Tenths(uint16_t reg) { return Signed(reg, 0.1, 1); }

// A dust coefficient: a single over two registers, read with "%f" and written as typed.
Row Coefficient(const char* caption, int edit, int inquire, int setup, uint16_t reg) {
  return {.caption = caption, .edit = edit, .inquire = inquire, .read = Float32(reg), .setup = setup,
          .write = WriteFloat(reg), .column = 1};
}
}  // namespace

PageDeclaration NoisePage() {
  return {
        .name = "NoisePage",
        .rows = {
          {.caption = "Noise", .unit = "dB", .edit = 1248, .inquire = 1249, .read = Tenths(0x0000)},
        },
        .realTime = {.id = 1250},
        .poll = {1248},
      };
}

PageDeclaration AirPressurePage() {
  return {
        .name = "AirPressurePage",
        .rows = {
          {.caption = "Temperature", .unit = "℃", .edit = 1254, .inquire = 1256, .read = Tenths(0x0001)},
          {.caption = "Atmospere", .unit = "Kpa", .edit = 1255, .inquire = 1257, .read = Tenths(0x0000)},
        },
        .realTime = {.id = 1258, .message = "Please open the seiral port first!"},
        .poll = {1254, 1255},
      };
}

PageDeclaration RainGaugePage() {
  return {
        .name = "RainGaugePage",
        .rows = {
          {.caption = "Rainfall", .unit = "mm", .edit = 1259, .inquire = 1260, .read = Tenths(0x0000)},
        },
        .realTime = {.id = 1261},
        .poll = {1259},
      };
}

PageDeclaration RadiationPage() {
  return {
        .name = "RadiationPage",
        .rows = {
          {.caption = "Radiation Value", .unit = "W/m2", .edit = 1265, .inquire = 1267, .read = Unsigned(0x0000)},
          {.caption = "Deviation", .unit = "W/m2", .edit = 1266, .inquire = 1268, .read = Unsigned(0x0052),
           .setup = 1016, .write = WriteInt(0x0052)},
        },
        .realTime = {.id = 1269, .disables = {1267}},
        .poll = {1265},
      };
}

PageDeclaration RainSnowPage() {
  return {
        .name = "RainSnowPage",
        .rows = {
          {.caption = "Rain and Snow", .edit = 1282, .inquire = 1284, .read = Status(0x0000, 0, 1)},
          {.caption = "Current alarm reset delay", .unit = "S", .edit = 1283, .inquire = 1285,
           .read = Unsigned(0x0033), .setup = 1016, .write = WriteInt(0x0033)},
          {.caption = "Sensitivity", .edit = 1017, .inquire = 1018, .read = Unsigned(0x0034), .setup = 1019,
           .write = WriteInt(0x0034)},
        },
        .realTime = {.id = 1015, .disables = {1284}},
        .poll = {1282},
      };
}

PageDeclaration PmPage() {
  return {
        .name = "PmPage",
        .rows = {
          {.caption = "PM2.5", .unit = "ug/m3", .edit = 1286, .inquire = 1288, .read = Unsigned(0x0000)},
          {.caption = "PM10", .unit = "ug/m3", .edit = 1287, .inquire = 1289, .read = Unsigned(0x0001)},
        },
        .realTime = {.id = 1290},
        .poll = {1286, 1287},
      };
}

PageDeclaration DustTesterPage() {
  return {
        .name = "DustTesterPage",
        .rows = {
          {.caption = "TSP", .unit = "ug/m3", .edit = 1412, .inquire = 1347, .read = UnsignedNoClear(0x0000)},
          {.caption = "PM2.5", .unit = "ug/m3", .edit = 1413, .inquire = 1348, .read = UnsignedNoClear(0x0001)},
          {.caption = "PM10", .unit = "ug/m3", .edit = 1414, .inquire = 1349, .read = UnsignedNoClear(0x0002)},
          Coefficient("TSP CoefA", 1415, 1350, 1351, 0x0060),
          Coefficient("TSP CoefB", 1416, 1352, 1353, 0x0062),
          Coefficient("PM2.5 CoefA", 1417, 1354, 1355, 0x0070),
          Coefficient("PM2.5 CoefB", 1418, 1356, 1357, 0x0072),
          Coefficient("PM10 CoefA", 1419, 1358, 1359, 0x0080),
          Coefficient("PM10 CoefB", 1420, 1360, 1361, 0x0082),
        },
        .realTime = {.id = 1069},
        .poll = {1412, 1413, 1414},
      };
}

}  // namespace tamsu
