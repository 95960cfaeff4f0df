// The current collector: conditions and currents of a fan and a purifier in 0.01 A, their
// calibrations and thresholds. Its box only decides whether the poll runs: it tests no port
// and locks no button.
#include "pages/electrical/electrical_pages.h"

namespace tamsu {

namespace {
ReadOp Amperes(uint16_t reg) { return Signed(reg, 0.01, 2); }
WriteOp SetAmperes(uint16_t reg) { return WriteScaled(reg, 100); }

constexpr int kFanCondition = 3001, kPurifierCondition = 3002, kFanCurrent = 3003, kPurifierCurrent = 3004;
}  // namespace

PageDeclaration CurrentCollectorPage() {
  return {
        .name = "CurrentCollectorPage",
        .rows = {
          {.caption = "Fan Conditon", .edit = kFanCondition, .inquire = 3011, .read = Unsigned(0x0000)},
          {.caption = "Purifier Condition", .edit = kPurifierCondition, .inquire = 3012, .read = Unsigned(0x0001)},
          {.caption = "Fan Current", .unit = "A", .edit = kFanCurrent, .inquire = 3013, .read = Amperes(0x0002)},
          {.caption = "Purifier Current", .unit = "A", .edit = kPurifierCurrent, .inquire = 3014,
           .read = Amperes(0x0003)},
          {.caption = "Fan Current Cali", .unit = "A", .edit = 3005, .inquire = 3015, .read = Amperes(0x0055),
           .setup = 3025, .write = SetAmperes(0x0055)},
          {.caption = "Purifier Current Cali", .unit = "A", .edit = 3006, .inquire = 3016, .read = Amperes(0x0056),
           .setup = 3026, .write = SetAmperes(0x0056)},
          {.caption = "Fan Current Threshold", .unit = "A", .edit = 3007, .inquire = 3017, .read = Amperes(0x005B),
           .setup = 3027, .write = SetAmperes(0x005B)},
          {.caption = "Purifier Current Threshold", .unit = "A", .edit = 3008, .inquire = 3018,
           .read = Amperes(0x005C), .setup = 3028, .write = SetAmperes(0x005C)},
        },
        .realTime = {.id = 3030, .testsPort = false, .locks = RealTimeBox::Locks::Nothing, .after = kPurifierCurrent},
        .poll = {kFanCondition, kPurifierCondition, kFanCurrent, kPurifierCurrent},
      };
}

}  // namespace tamsu
