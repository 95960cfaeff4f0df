// Illumination transmitters: lux in one register (the 20W devices in units of 100 lux), the 20W
// devices also as a 32-bit value; some with temperature and humidity. Nothing is written.
#include "pages/climate/climate_pages.h"

namespace tamsu {

namespace {
ReadOp Tenths(uint16_t reg) { return Signed(reg, 0.1, 1); }
}  // namespace

PageDeclaration Illum6WPage() {
  return {
        .name = "Illum6WPage",
        .rows = {
          {.caption = "Illumination", .unit = "Lux", .edit = 1041, .inquire = 1042, .read = Unsigned(0x0006)},
        },
        .realTime = {.id = 1043},
        .notices = {{"Notice:", " The details of the device range 0-65535LUX, refer to the instruction "
                                "manual for details. Otherwise, it will cause measurement results."}},
        .poll = {1041},
      };
}

PageDeclaration Illum20WPage() {
  return {
        .name = "Illum20WPage",
        .rows = {
          {.caption = "Illumination", .unit = "Lux", .edit = 1044, .inquire = 1046, .read = Unsigned32(0x0002)},
          {.caption = "Illumination", .unit = "x100 Lux", .edit = 1045, .inquire = 1047, .read = Unsigned(0x0006)},
        },
        .realTime = {.id = 1048},
        .notices = {{"Please notice：", " The details of the device range 0-200000LUX,refer to the instruction "
                                       "manual for details. Otherwise, it will cause measurement results."}},
        .poll = {1044, 1045},
      };
}

PageDeclaration Illum6WTemHumPage() {
  return {
        .name = "Illum6WTemHumPage",
        .rows = {
          {.caption = "Temperature", .unit = "℃", .edit = 1031, .inquire = 1032, .read = Tenths(0x0001)},
          {.caption = "Humidity", .unit = "%RH", .edit = 1012, .inquire = 1013, .read = Tenths(0x0000)},
          {.caption = "Illumination", .unit = "Lux", .edit = 1014, .inquire = 1015, .read = Unsigned(0x0006)},
        },
        .realTime = {.id = 1033},
        .notices = {{"Notice：", " The details of the device range 0-65535LUX, refer to the instruction "
                                "manual for details. Otherwise, it will cause measurement results."}},
        .poll = {1031, 1012, 1014},
      };
}

// Its box makes no port test: ticked with the port closed, each poll empties the fields.
PageDeclaration Illum20WTemHumPage() {
  return {
        .name = "Illum20WTemHumPage",
        .rows = {
          {.caption = "Temperature", .unit = "℃", .edit = 1034, .inquire = 1037, .read = Tenths(0x0001)},
          {.caption = "Humidity", .unit = "%RH", .edit = 1035, .inquire = 1038, .read = Tenths(0x0000)},
          {.caption = "Illumination", .unit = "Lux", .edit = 1036, .inquire = 1039, .read = Unsigned32(0x0002)},
          {.caption = "Illumination", .unit = "x100 Lux", .edit = 1016, .inquire = 1017, .read = Unsigned(0x0006)},
        },
        .realTime = {.id = 1040, .testsPort = false},
        .notices = {{"Notice：", " The details of the device range 0-200000LUX, refer to the instruction "
                                "manual for details. Otherwise, it will cause measurement results."}},
        .poll = {1034, 1035, 1036, 1016},
      };
}

}  // namespace tamsu
