// Temperature and humidity transmitters: every value a signed register of 0.1 ℃ or 0.1 %RH.
#include "pages/climate/climate_pages.h"

namespace tamsu {

namespace {
ReadOp Tenths(uint16_t reg) { return Signed(reg, 0.1, 1); }
}  // namespace

PageDeclaration TemperaturePage() {
  return {
        .name = "TemperaturePage",
        .rows = {
          {.caption = "Temperature", .unit = "℃", .edit = 1009, .inquire = 1010, .read = Tenths(0x0001)},
        },
        .realTime = {.id = 1011},
        .poll = {1009},
      };
}

PageDeclaration TemHumPage() {
  return {
        .name = "TemHumPage",
        .rows = {
          {.caption = "Temperature", .unit = "℃", .edit = 1014, .inquire = 1010, .read = Tenths(0x0001)},
          {.caption = "Humidity", .unit = "%RH", .edit = 1012, .inquire = 1013, .read = Tenths(0x0000)},
        },
        .realTime = {.id = 1015},
        .poll = {1014, 1012},
      };
}

// Measured values and temperature limits on the left, calibration and humidity limits on the
// right. The display board polls with its messages on.
PageDeclaration TemHumKanbanPage() {
  return {
        .name = "TemHumKanbanPage",
        .rows = {
          {.caption = "Temperature", .edit = 1407, .inquire = 1410, .read = Tenths(0x0001)},
          {.caption = "Humidity", .edit = 1054, .inquire = 1348, .read = Tenths(0x0000)},
          {.caption = "Tem Upper", .edit = 1408, .inquire = 1411, .read = Tenths(0x0030),
           .setup = 1399, .write = WriteScaled(0x0030, 10)},
          {.caption = "Tem Under", .edit = 1057, .inquire = 1058, .read = Tenths(0x0031),
           .setup = 1400, .write = WriteScaled(0x0031, 10)},
          {.caption = "Tem Back", .edit = 1059, .inquire = 1060, .read = Tenths(0x0032),
           .setup = 1401, .write = WriteScaled(0x0032, 10)},
          {.caption = "Tem Cali", .edit = 1067, .inquire = 1068, .read = Tenths(0x0050),
           .setup = 1405, .write = WriteScaled(0x0050, 10), .column = 1},
          {.caption = "Hum Cali", .edit = 1069, .inquire = 1070, .read = Tenths(0x0051),
           .setup = 1406, .write = WriteScaled(0x0051, 10), .column = 1},
          {.caption = "Hum Upper", .edit = 1409, .inquire = 1062, .read = Tenths(0x0035),
           .setup = 1402, .write = WriteScaled(0x0035, 10), .column = 1},
          {.caption = "Hum Under", .edit = 1063, .inquire = 1064, .read = Tenths(0x0036),
           .setup = 1403, .write = WriteScaled(0x0036, 10), .column = 1},
          {.caption = "Hum Back", .edit = 1065, .inquire = 1066, .read = Tenths(0x0037),
           .setup = 1404, .write = WriteScaled(0x0037, 10), .column = 1},
        },
        .realTime = {.id = 1398},
        .poll = {1407, 1054},
        .pollShowsErrors = true,
      };
}

// Register 1 is the dew point here, register 2 the air temperature.
PageDeclaration DewTemPage() {
  return {
        .name = "DewTemPage",
        .rows = {
          {.caption = "Hum", .unit = "%RH", .edit = 1625, .inquire = 1628, .read = Tenths(0x0000)},
          {.caption = "Dew Tem", .unit = "℃", .edit = 1626, .inquire = 1629, .read = Tenths(0x0001)},
          {.caption = "Tem", .unit = "℃", .edit = 1627, .inquire = 1630, .read = Tenths(0x0002)},
        },
        .realTime = {.id = 1631},
        .poll = {1626, 1625, 1627},
      };
}

}  // namespace tamsu
