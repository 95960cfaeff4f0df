// The water gauge: the running mode on top (its entries need the width), below it the measured
// values and then the limits on the left, the settings and then the relays on the right. Its
// poll reads registers 0..2 in one request; a failed answer empties the three measured fields,
// silently. The analog output group the device also answers for is never shown, so it is not
// built.
#include "pages/water/water_pages.h"

namespace tamsu {

namespace {

using Kind = Representation::Kind;

// The running mode's read speaks its own words; every other read these.
constexpr const ReadMessages& kGaugeReads = kShowFloatMessages;
// The field writes' words, with the information icon on success.
constexpr WriteMessages kGaugeWrites{"Write Successfully", "", MessageIcon::Information, kFieldWriteMessages.failure};

const Representation kWholeNumber{};
const Representation kTemperature{.kind = Kind::Signed, .scale = 0.1, .decimals = 1};
const Representation kState{.kind = Kind::Codes, .codes = {{0, "No Water"}, {1, "Water"}}};

constexpr int kMode = 3201, kStateField = 3202, kWaterDepth = 3203, kWaterTem = 3204;

ReadOp Reads(uint16_t reg, Representation shown) { return ReadOp{reg, std::move(shown), &kGaugeReads}; }

// A whole number of centimetres (or steps): typed text truncated toward zero, its low 16 bits
// written, so -1 writes 65535 and 12.7 writes 12.
Row Whole(const char* caption, const char* unit, int edit, uint16_t reg, int column) {
  return {.caption = caption, .unit = unit, .edit = edit, .inquire = edit + 20, .read = Reads(reg, kWholeNumber),
          .setup = edit + 40, .write = WriteScaled(reg, 1).Says(kGaugeWrites), .column = 1 + column};
}

// A list read and written by the index of its entry; a value past its entries empties it,
// nothing chosen writes nothing.
Row Indexed(const char* caption, int edit, uint16_t reg, Texts entries, int column,
            const ReadMessages& words = kGaugeReads) {
  Row row{.caption = caption, .edit = edit, .inquire = edit + 20, .read = ReadOp{reg, {}, &words}, .setup = edit + 40,
          .write = WriteChoice(reg).Says(kGaugeWrites), .unknownClears = true, .column = column};
  for (size_t i = 0; i < entries.size(); ++i) row.choices.push_back({entries[i], static_cast<uint16_t>(i)});
  return row;
}

const Texts kRelay{"Uncorrelated", "Associated"};

}  // namespace

PageDeclaration WaterGaugePage() {
  return {
        .name = "WaterGaugePage",
        .rows = {
          Indexed("Host Running Mode", kMode, 0x0064, {"Altitude Measurement", "Depth Measurement", "Tilt Measurement"},
                  0, kNotOpenedReadMessages),
          {.caption = "State", .edit = kStateField, .inquire = 3222, .read = Reads(0x0002, kState), .column = 1},
          {.caption = "Water Depth", .unit = "cm", .edit = kWaterDepth, .inquire = 3223,
           .read = Reads(0x0000, kWholeNumber), .column = 1},
          {.caption = "Water Tem", .unit = "℃", .edit = kWaterTem, .inquire = 3224,
           .read = Reads(0x0001, kTemperature), .column = 1},
          Whole("Upper Limit", "cm", 3205, 0x0065, 0),
          Whole("Lower Limit", "cm", 3206, 0x0066, 0),
          Whole("Backlash", "cm", 3207, 0x0067, 0),
          Whole("Draft Length", "cm", 3208, 0x0068, 1),
          Whole("Datum Value", "cm", 3209, 0x0069, 1),
          {.caption = "Tilt Angle", .unit = "°", .edit = 3210, .inquire = 3230,
           .read = Float32(0x006A, 2).Says(kGaugeReads),
           .setup = 3250, .write = WriteFloat(0x006A).Says(kGaugeWrites), .column = 2},
          Whole("Sensitivity", "", 3211, 0x006E, 1),
          Indexed("Relay Status", 3212, 0x0003, {"Open", "Close"}, 2),
          Indexed("Upper Limit Relay", 3213, 0x006C, kRelay, 2),
          Indexed("Lower Limit Relay", 3214, 0x006D, kRelay, 2),
        },
        .realTime = {.id = 3260, .after = kWaterTem},
        .block = {.start = 0x0000, .count = 3,
                  .fields = {{kStateField, 2, kState}, {kWaterDepth, 0, kWholeNumber}, {kWaterTem, 1, kTemperature}}},
        .metrics = {.editWidth = 48, .columnGap = 10, .buttonWidth = 30},
        .bands = {1, 2},  // the mode alone on top; below it two columns
      };
}

}  // namespace tamsu
