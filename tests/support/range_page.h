// A page of the kind the device families declare, for tests of the model, the runner and the
// view alike.
#pragma once

#include "device/page_model.h"

namespace tamsu::test {

// A page of the kind the device families declare: a selector whose entry decides the
// representation and disables and blanks controls, a hidden row, a silent button, a row read
// by another row's button, a real-time box that locks only some controls, a list field, a
// command button, a two-register write that refuses an empty input, a derived field and a
// block poll.
inline PageDeclaration RangeDeclaration() {
  const Texts low{"Gas 0-50"};
  static constexpr ReadMessages kOwn{"Warning", {"not opened", "format", "check"}};
  return {
      .name = "RangePage",
      .selectors = {{.id = 10, .caption = "Sensor Type", .items = {"Gas 0-500", "Gas 0-50", "Gas only"},
                     .selected = 1, .editable = true, .sorted = true}},
      .rows =
          {
              {.caption = "Gas", .unit = "ppm", .edit = 20, .inquire = 21, .read = Unsigned(0x0002),
               .variants = {{.selector = 10, .entries = low, .read = Signed(0x0002, 0.01, 2)}}},
              {.unit = "mg/m3", .edit = 22, .inquire = 21, .read = Signed(0x0002, 0.0205, 2)},
              {.caption = "Gas Upper", .unit = "ppm", .edit = 23, .inquire = 24, .read = Unsigned(0x0036), .setup = 25,
               .write = WriteInt(0x0036),
               .variants = {{.selector = 10, .entries = low, .read = Signed(0x0036, 0.01, 2),
                             .write = WriteScaled(0x0036, 100)}},
               .showErrors = false},
              {.caption = "Version", .edit = 26, .inquire = 27, .read = Unsigned(0x0007), .hidden = true},
              {.caption = "Mode", .edit = 40, .inquire = 41, .read = Unsigned(0x0064).Says(kOwn), .setup = 42,
               .write = WriteChoice(0x0064), .choices = {{"Altitude", 0}, {"Depth", 1}, {"Zero cali", 0x67, 0x53}},
               .unknownClears = true},
              {.caption = "Clearing operation", .setup = 43, .write = WriteFixed(0x0050, 1).Says(kWriteSuccessMessages)},
              {.caption = "Calibration", .edit = 44, .setup = 45, .write = WritePair(0x0120, 2, 100).Refusing(
                                                                          WriteOp::Refuse::ZeroLow16),
               .setupText = "calibration"},
              {.caption = "Weight", .unit = "g", .edit = 46, .inquire = 47, .read = Unsigned(0x0000).Says(kOwn),
               .alsoShows = {{48, {.kind = Representation::Kind::Unsigned, .scale = 0.0031830985, .decimals = 2,
                                   .single = true}}},
               .testsPort = true},
              {.caption = "Level", .unit = "cm", .edit = 48},
          },
      .realTime = {.id = 30, .caption = "Auto Read", .disables = {21, 10}},
      .effects = {{.selector = 10, .entries = {"Gas only"}, .blank = {23}, .disable = {23, 24, 25}, .skipPoll = {23}}},
      .poll = {20, 23},
  };
}

}  // namespace tamsu::test
