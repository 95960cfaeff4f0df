// The kitchen fume monitor: three concentrations in 0.01 mg/m3, the A and B coefficients of
// each measurement as singles over two registers, and the firmware version as high.low byte.
// Its box only decides whether the poll runs: it tests no port and locks no button.
#include "pages/electrical/electrical_pages.h"

namespace tamsu {

namespace {
ReadOp Concentration(uint16_t reg) { return Signed(reg, 0.01, 2); }

constexpr int kFume = 3101, kParticulate = 3102, kHydrocarbon = 3103;

// One coefficient below the readings: its field, "Inqurie" (A, left: column 0) or "Inquire" (B,
// right: column 1), "Set up".
Row Coefficient(const char* caption, int edit, uint16_t reg, int column) {
  return {.caption = caption, .edit = edit, .inquire = edit + 20, .read = Float32(reg), .setup = edit + 40,
          .write = WriteFloat(reg), .inquireText = column == 0 ? "Inqurie" : "Inquire",
          .column = 2 + column};
}
}  // namespace

PageDeclaration LampblackPage() {
  return {
        .name = "LampblackPage",
        .rows = {
          {.caption = "Fume value:", .unit = "mg/m3", .edit = kFume, .inquire = 3111, .read = Concentration(0x0000)},
          {.caption = "Particulate Matter:", .unit = "mg/m3", .edit = kParticulate, .inquire = 3112,
           .read = Concentration(0x0002)},
          {.caption = "Non Methane Total Hydrocarbon:", .unit = "mg/m3", .edit = kHydrocarbon, .inquire = 3113,
           .read = Concentration(0x0001)},
          // A failed read leaves the version empty, as every other field of the page.
          {.caption = "Version", .edit = 3104, .inquire = 3114, .read = Version(0x000A), .inquireText = "Inqurie",
           .column = 1},
          Coefficient("LAMP coefficient A", 3121, 0x0010, 0),
          Coefficient("NMHC coefficient A", 3122, 0x0014, 0),
          Coefficient("TSP coefficient A", 3123, 0x0018, 0),
          Coefficient("LAMP coefficient B", 3124, 0x0012, 1),
          Coefficient("NMHC coefficient B", 3125, 0x0016, 1),
          Coefficient("TSP coefficient B", 3126, 0x001A, 1),
        },
        .realTime = {.id = 3130, .testsPort = false, .locks = RealTimeBox::Locks::Nothing, .after = kHydrocarbon},
        .poll = {kFume, kParticulate, kHydrocarbon},
        .metrics = {.editWidth = 48, .columnGap = 10, .buttonWidth = 30},
        .bands = {2, 2},  // readings and the version above, the A and B coefficients below
      };
}

}  // namespace tamsu
