// The water quality transmitters: a few measured values each, and on the DO and turbidity
// pages two calibration commands to 0x1010. Each box ticked locks every button of its page.
#include "pages/water/water_pages.h"

namespace tamsu {

namespace {

// "Zero calibration" and "Slow range calibration": 1 and 2 to 0x1010.
void AddCalibrations(PageDeclaration& d, int zero, int slope) {
  d.rows.push_back({.setup = zero, .write = WriteFixed(0x1010, 1).Says(kWriteSuccessMessages),
                    .setupText = "Zero calibration"});
  d.rows.push_back({.setup = slope, .write = WriteFixed(0x1010, 2).Says(kWriteSuccessMessages),
                    .setupText = "Slow range calibration"});
}

PageDeclaration Do() {
  PageDeclaration d{
      .name = "DoPage",
      .rows = {
          // One button beside the mg/L value reads both; only the mg/L read says why it failed.
          {.caption = "DO", .unit = "(saturation)", .edit = 3501, .inquire = 3521, .read = Float32(0x0000),
           .showErrors = false},
          {.unit = "mg/L", .edit = 3502, .inquire = 3521, .read = Float32(0x0002), .buttonHere = true},
          {.caption = "Tem", .unit = "℃", .edit = 3503, .inquire = 3523, .read = Float32(0x0004)},
      },
      .realTime = {.id = 3530, .after = 3503},
      .poll = {3501, 3502, 3503},
  };
  AddCalibrations(d, 3541, 3542);
  return d;
}

// Its poll reports each failed read, as its buttons do; the dispatcher keeps a silent device
// to one open box at a time.
PageDeclaration Turbidity() {
  PageDeclaration d{
      .name = "TurbidityPage",
      .rows = {
          {.caption = "Turbidity", .unit = "NTU", .edit = 3601, .inquire = 3621, .read = Signed(0x0000, 0.1, 1)},
          {.caption = "Tem", .unit = "℃", .edit = 3602, .inquire = 3622, .read = Signed(0x0001, 0.1, 1)},
      },
      .realTime = {.id = 3630, .after = 3602},
      .poll = {3601, 3602},
      .pollShowsErrors = true,
  };
  AddCalibrations(d, 3641, 3642);
  return d;
}

}  // namespace

PageDeclaration DoPage() {
  return Do();
}

PageDeclaration TurbidityPage() {
  return Turbidity();
}

PageDeclaration ClPage() {
  return {
        .name = "ClPage",
        .rows = {
          {.caption = "CL", .unit = "mg/L", .edit = 3701, .inquire = 3721, .read = Signed(0x0000, 0.01, 2)},
        },
        .realTime = {.id = 3730},
        .poll = {3701},
      };
}

PageDeclaration NhnPage() {
  return {
        .name = "NhnPage",
        .rows = {
          {.caption = "NHN", .unit = "mg/L", .edit = 3801, .inquire = 3821, .read = Signed(0x0000, 0.01, 2)},
          {.caption = "PH", .edit = 3802, .inquire = 3822, .read = Signed(0x0001, 0.01, 2)},
          {.caption = "Tem", .unit = "℃", .edit = 3803, .inquire = 3823, .read = Signed(0x0002, 0.1, 1)},
        },
        .realTime = {.id = 3830},
        .poll = {3801, 3802, 3803},
      };
}

}  // namespace tamsu
