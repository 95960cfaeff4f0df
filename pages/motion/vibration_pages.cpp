// Vibration transmitters that also measure temperature. Every measured value is one register in
// tenths: temperature and speed signed, stretch and acceleration unsigned. The calibration
// values are the temperature correction at 0x0050 and, per quantity and axis, the coefficients
// A and B as singles over two registers.
#include "pages/motion/motion_pages.h"

namespace tamsu {

namespace {

// The family's own words: the single-axis page's reads and every coefficient read and write.
constexpr ReadMessages kVibrationRead{
    "Warning", {"Serial port not open!", "Read format error!", "Equipment verification value error!"}};
constexpr WriteMessages kVibrationWrite{
    "Write successful!",
    "",
    MessageIcon::Information,
    {"Warning",
     {"Serial port not open!", "Return value error or device not responding!",
      "Inconsistent reception and transmission of data!"}}};

constexpr uint16_t kTemCal = 0x0050;
const std::string kTem = "Tem";
const std::string kCelsius = "℃";
const std::string kAutoRead = "Auto Read";

ReadOp SignedTenths(uint16_t reg) { return Signed(reg, 0.1, 1); }
ReadOp UnsignedTenths(uint16_t reg) { return UnsignedScaled(reg, 0.1, 1); }

enum Quantity { kSpeed, kStretch, kAcceleration };
constexpr const char* kAxes[] = {"X", "Y", "Z"};
constexpr const char* kKinds[] = {"A", "B"};

// Coefficient `kind` (0: A, 1: B) of a quantity on an axis (0: X, 1: Y, 2: Z).
constexpr uint16_t CoefficientRegister(int quantity, int axis, int kind) {
  return static_cast<uint16_t>(96 + 12 * quantity + 4 * axis + 2 * kind);
}

// A coefficient row: its edit, "Inquire" and "Set up" ids follow one another from `edit`.
Row Coefficient(const std::string& caption, uint16_t reg, int edit, int column) {
  return {.caption = caption, .edit = edit, .inquire = edit + 1, .read = Float32(reg).Says(kVibrationRead),
          .setup = edit + 2, .write = WriteFloat(reg).Says(kVibrationWrite), .column = column};
}

// Where one field of the measured block stands, and what it is called.
struct Placed {
  std::string caption{};
  int column = 0;
  int line = -1;
  std::string name{};
};

// The measured block of the three-axis and spectrum pages: temperature, then the speed, the
// stretch and the acceleration of X, Y and Z, read one register each in that order. Its
// "Inquire" (on a line of its own) reports only the last read's failure; the poll none.
struct MeasuredBlock {
  int firstEdit;  // the ten fields take the ids from here on, in reading order
  int inquire;
  int inquireColumn;
  uint16_t firstAcceleration;  // X's register; Y's and Z's follow
  std::string stretchUnit;
  Placed (*place)(int quantity, int axis);  // quantity -1: the temperature
};

void DeclareMeasuredBlock(PageDeclaration& d, const MeasuredBlock& block) {
  static const std::string kUnits[] = {"mm/s", "", "m/s2"};
  auto add = [&](const Placed& at, const std::string& unit, ReadOp read, bool last) {
    const int edit = block.firstEdit + static_cast<int>(d.poll.size());
    d.rows.push_back({.caption = at.caption, .unit = unit, .edit = edit, .inquire = block.inquire, .read = read,
                      .column = at.column, .showErrors = last, .name = at.name, .line = at.line});
    d.poll.push_back(edit);
  };
  add(block.place(-1, 0), kCelsius, SignedTenths(0x0000), false);
  for (int quantity : {kSpeed, kStretch, kAcceleration}) {
    for (int axis = 0; axis < 3; ++axis) {
      const auto reg = static_cast<uint16_t>(quantity == kAcceleration ? block.firstAcceleration + axis
                                                                        : 1 + 3 * quantity + axis);
      const std::string& unit = quantity == kStretch ? block.stretchUnit : kUnits[quantity];
      add(block.place(quantity, axis), unit, quantity == kSpeed ? SignedTenths(reg) : UnsignedTenths(reg),
          quantity == kAcceleration && axis == 2);
    }
  }
  d.rows.push_back({.inquire = block.inquire, .column = block.inquireColumn, .name = "Measured values"});
}

// Measured values with their own buttons and the temperature correction above; the Z axis's
// coefficients below, A on the left and B on the right.
PageDeclaration SingleAxis() {
  PageDeclaration d{
      .name = "VibrationSingleAxisPage",
      .rows = {
          {.caption = kTem, .unit = kCelsius, .edit = 2101, .inquire = 2102,
           .read = SignedTenths(0x0000).Says(kVibrationRead)},
          {.caption = "Speed", .unit = "mm/s", .edit = 2103, .inquire = 2104,
           .read = SignedTenths(0x0001).Says(kVibrationRead)},
          {.caption = "Stretch", .unit = "μm", .edit = 2105, .inquire = 2106,
           .read = UnsignedTenths(0x0002).Says(kVibrationRead)},
          {.caption = "Acceleration", .unit = "m/s2", .edit = 2107, .inquire = 2108,
           .read = UnsignedTenths(0x0003).Says(kVibrationRead)},
          {.caption = "Tem CAL", .unit = kCelsius, .edit = 2109, .inquire = 2110,
           .read = SignedTenths(kTemCal).Says(kVibrationRead), .setup = 2111,
           .write = WriteScaled(kTemCal, 10).Says(kVibrationWrite), .column = 1},
      },
      .realTime = {.id = 2100, .caption = kAutoRead},
      .poll = {2101, 2103, 2105, 2107},
      .metrics = {.editWidth = 48, .columnGap = 8, .buttonWidth = 34},
      .bands = {2, 2},
  };
  constexpr const char* kQuantities[] = {"Speed", "Stretch", "ACC"};
  int edit = 2120;
  for (int quantity : {kSpeed, kStretch, kAcceleration}) {
    for (int kind = 0; kind < 2; ++kind, edit += 3) {
      d.rows.push_back(Coefficient(std::string(kQuantities[quantity]) + ' ' + kKinds[kind] + " CAL",
                                   CoefficientRegister(quantity, 2, kind), edit, 2 + kind));
    }
  }
  return d;
}

// Speeds, stretches and accelerations in three columns; the temperature, the block's
// "Inquire", the box and the temperature correction on one line below them; the eighteen
// coefficients at the foot, A on the left and B on the right.
PageDeclaration ThreeAxis() {
  PageDeclaration d{
      .name = "VibrationThreeAxisPage",
      .realTime = {.id = 2200, .caption = kAutoRead, .column = 5},
      .metrics = {.editWidth = 52, .columnGap = 12, .buttonWidth = 34},
      .bands = {3, 4, 2},
  };
  DeclareMeasuredBlock(d, {.firstEdit = 2202, .inquire = 2201, .inquireColumn = 4, .firstAcceleration = 0x000A,
              .stretchUnit = "μm", .place = [](int quantity, int axis) -> Placed {
                static const char* const kNames[] = {"Speed", "Stretch", "Acc"};
                if (quantity < 0) return {.caption = kTem, .column = 3};
                return {.caption = std::string(kAxes[axis]) + ' ' + kNames[quantity], .column = quantity};
              }});
  d.rows.push_back({.caption = "Tem CAL", .unit = kCelsius, .edit = 2212, .inquire = 2213,
                    .read = SignedTenths(kTemCal), .setup = 2214, .write = WriteScaled(kTemCal, 10), .column = 6});
  constexpr const char* kQuantities[] = {"Speed", "Stretch", "Acc"};
  for (int quantity : {kSpeed, kStretch, kAcceleration}) {
    for (int axis = 0; axis < 3; ++axis) {
      for (int kind = 0; kind < 2; ++kind) {
        const uint16_t reg = CoefficientRegister(quantity, axis, kind);
        d.rows.push_back(
            Coefficient(std::string(kAxes[axis]) + ' ' + kQuantities[quantity] + ' ' + kKinds[kind] + " CAL", reg,
                        2220 + 3 * ((reg - CoefficientRegister(0, 0, 0)) / 2), 7 + kind));
      }
    }
  }
  return d;
}

// Rows "Acceleration", "Speed" and "Stretch" by columns "X", "Y" and "Z", then the temperature,
// the "Inquire" and the box.
PageDeclaration Spectrum() {
  PageDeclaration d{
      .name = "VibrationSpectrumPage",
      .headings = {{"X", 0}, {"Y", 1}, {"Z", 2}},
      .realTime = {.id = 2300, .caption = kAutoRead, .column = 5},
      .bands = {3, 3},
  };
  DeclareMeasuredBlock(d, {.firstEdit = 2302, .inquire = 2301, .inquireColumn = 4, .firstAcceleration = 0x0007,
              .stretchUnit = "um", .place = [](int quantity, int axis) -> Placed {
                static const char* const kNames[] = {"Speed", "Stretch", "Acceleration"};
                static const int kLines[] = {1, 2, 0};  // acceleration first
                if (quantity < 0) return {.caption = kTem, .column = 3, .name = kTem};
                const std::string name = std::string(kNames[quantity]);
                return {.caption = axis == 0 ? name : std::string(), .column = axis, .line = kLines[quantity],
                        .name = name + ' ' + kAxes[axis]};
              }});
  return d;
}

}  // namespace

PageDeclaration VibrationSingleAxisPage() {
  return SingleAxis();
}

PageDeclaration VibrationThreeAxisPage() {
  return ThreeAxis();
}

PageDeclaration VibrationSpectrumPage() {
  return Spectrum();
}

}  // namespace tamsu
