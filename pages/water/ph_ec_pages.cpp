// The PH and EC transmitters. Their calibrations write a code or point number and the value
// in one two-register write, and refuse an input that would write nothing.
#include "pages/water/water_pages.h"

namespace tamsu {

namespace {

using Kind = Representation::Kind;

constexpr ReadMessages kPhReads{"Warning", {"Serial port not open", "Read format error", "Device check value error"}};
constexpr WriteMessages kPhWrites{
    "Write success",
    "",
    MessageIcon::Information,
    {"Warning",
     {"Serial port not open", "The return value is incorrect or the device is not responding",
      "The received data is inconsistent with the transmitted data"}}};

constexpr int kPh = 3301, kPhTem = 3302;

// Point one or two: the number in 288, the value in hundredths in 289; a value whose low 16
// bits are 0 is refused.
Row PhPoint(const char* caption, int edit, uint16_t point) {
  return {.caption = caption, .edit = edit, .setup = edit + 40,
          .write = WritePair(0x0120, point, 100).Refusing(WriteOp::Refuse::ZeroLow16).Says(kPhWrites),
          .setupText = "calibration"};
}

}  // namespace

// Its buttons read PH as signed, its poll (one request for both registers) as unsigned: a
// register of 0x8000 or more shows negative on "Inquire" and large in the poll.
PageDeclaration PhPage() {
  return {
        .name = "PhPage",
        .rows = {
          {.caption = "PH", .edit = kPh, .inquire = 3321, .read = Signed(0x0000, 0.01, 2).Says(kPhReads)},
          {.caption = "Tem", .unit = "℃", .edit = kPhTem, .inquire = 3322, .read = Signed(0x0001, 0.1, 1).Says(kPhReads)},
          PhPoint("PH Calibration point one", 3303, 1),
          PhPoint("PH Calibration point two", 3304, 2),
        },
        .realTime = {.id = 3330, .message = "Please open the serial port first", .after = kPhTem},
        .block = {.start = 0x0000, .count = 2,
                  .fields = {{kPh, 0, {.kind = Kind::Unsigned, .scale = 0.01, .decimals = 2}},
                             {kPhTem, 1, {.kind = Kind::Signed, .scale = 0.1, .decimals = 1}}}},
      };
}

namespace {

constexpr int kResolution = 3400, kEc = 3401, kEcTem = 3402;

// The resolution chosen on the page (the device does not keep it): how EC is shown and what
// the calibration value is multiplied by. "Precision 1.0" is the rows' own.
struct Resolution {
  const char* entry;
  double scale;
  int decimals, multiplier;
};
constexpr Resolution kResolutions[] = {
    {"Precision 1.0", 1, 0, 1},
    {"Precision 0.1", 0.1, 1, 10},
    {"Precision 0.01", 0.01, 2, 100},
    {"Precision 0.001", 0.001, 3, 1000},
};

WriteOp Calibration(int multiplier) {
  return WritePair(0x0110, 4, multiplier).Refusing(WriteOp::Refuse::Zero).Says(kWriteSuccessMessages);
}

PageDeclaration EcDeclaration() {
  Row ec{.caption = "EC", .unit = "us/cm", .edit = kEc, .inquire = 3421, .read = Signed(0x0000, 1, 0)};
  Row cali{.caption = "EC Calibration", .unit = "us/cm", .edit = 3404, .setup = 3444, .write = Calibration(1),
           .setupText = "Cali"};
  Texts entries;
  for (const Resolution& r : kResolutions) {
    entries.push_back(r.entry);
    if (r.multiplier == 1) continue;
    ec.variants.push_back({.selector = kResolution, .entries = {r.entry}, .read = Signed(0x0000, r.scale, r.decimals)});
    cali.variants.push_back({.selector = kResolution, .entries = {r.entry}, .write = Calibration(r.multiplier)});
  }
  return {
      .name = "EcPage",
      .selectors = {{.id = kResolution, .caption = "Resolution Ratio", .items = entries, .selected = 0}},
      .rows = {
          ec,
          {.caption = "TEM", .unit = "℃", .edit = kEcTem, .inquire = 3422, .read = Signed(0x0001, 0.1, 1)},
          {.caption = "Tem Compensation", .edit = 3403, .inquire = 3423, .read = Float32(0x0052), .setup = 3443,
           .write = WriteFloat(0x0052).Refusing(WriteOp::Refuse::Zero).Says(kWriteSuccessMessages)},
          cali,
      },
      .realTime = {.id = 3430, .after = kEcTem},
      // The category has no poll of its own: the box reads the live values, at the resolution
      // chosen, silently.
      .poll = {kEc, kEcTem},
  };
}

}  // namespace

PageDeclaration EcPage() {
  return EcDeclaration();
}

}  // namespace tamsu
