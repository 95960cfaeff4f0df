// The inclination transmitter: three angles in hundredths of a degree, the installation method
// (a code) and two zero-point calibration commands, each to a register of its own. Its poll is
// one request for the three angles; a failed or short answer empties all three, silently.
#include "pages/motion/motion_pages.h"

namespace tamsu {

namespace {

constexpr int kAngleX = 1971, kAngleY = 1973, kAngleZ = 1975;

ReadOp Angle(uint16_t reg) { return Signed(reg, 0.01, 2).Says(kNotOpenedReadMessages); }

Representation AngleShown() { return Angle(0).shown; }

}  // namespace

// A list with nothing chosen writes nothing: the installation method is never set to one the
// user did not pick, and no calibration runs unasked.
PageDeclaration TiltSensorPage() {
  return {
        .name = "TiltSensorPage",
        .rows = {
          {.caption = "AngleX", .unit = "°", .edit = kAngleX, .inquire = 1972, .read = Angle(0x0000)},
          {.caption = "AngleY", .unit = "°", .edit = kAngleY, .inquire = 1974, .read = Angle(0x0001)},
          {.caption = "AngleZ", .unit = "°", .edit = kAngleZ, .inquire = 1976, .read = Angle(0x0002)},
          {.caption = "Installation method", .edit = 1977, .inquire = 1978,
           .read = Unsigned(0x0052).Says(kNotOpenedReadMessages), .setup = 1979,
           .write = WriteChoice(0x0052).Says(kWriteSuccessMessages),
           .choices = {{"Horizontal", 101}, {"Vertical", 102}}},
          {.caption = "Calibration", .edit = 1980, .setup = 1981,
           .write = WriteChoice(0x0053).Says(kWriteSuccessMessages),
           .choices = {{"Zero point cali", 0x0067, 0x0053}, {"Z Axis Zero point cali", 0x0052, 0x0054}}},
        },
        .realTime = {.id = 1970, .after = kAngleZ},
        .block = {.start = 0x0000, .count = 3,
                  .fields = {{kAngleX, 0, AngleShown()}, {kAngleY, 1, AngleShown()}, {kAngleZ, 2, AngleShown()}}},
      };
}

}  // namespace tamsu
