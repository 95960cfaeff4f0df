// The multi-gas transmitter: eighteen quantities in nineteen registers from 0x0000. Each row
// reads its own register; the poll reads the whole block in one request, waiting up to a
// second for it, and a failed or short answer empties every field, silently.
#include "pages/gas/gas_pages.h"

namespace tamsu {

namespace {

using Kind = Representation::Kind;

struct Quantity {
  const char* caption;
  const char* unit;
  int edit, inquire;
  uint16_t reg;
  Representation shown;
  int column;
};

// Scaled values are formed in single precision, as the device maker computes them. Rows other
// than temperature and humidity are unsigned.
Representation Whole() { return {}; }
Representation Scaled(double scale, int decimals) {
  return {.kind = Kind::Unsigned, .scale = scale, .decimals = decimals, .single = true};
}
Representation SignedTenths() { return {.kind = Kind::Signed, .scale = 0.1, .decimals = 1, .single = true}; }

const std::vector<Quantity>& Quantities() {
  static const std::vector<Quantity> table = {
      {"PM2.5", "ug/m3", 1286, 1495, 0x0000, Whole(), 0},
      {"PM10", "ug/m3", 1287, 1497, 0x0001, Whole(), 0},
      {"Hum", "%RH", 1488, 1499, 0x0002, SignedTenths(), 0},
      {"Tem", "℃", 1487, 1498, 0x0003, SignedTenths(), 0},
      {"Pressure", "KPa", 1478, 1500, 0x0004, Scaled(0.1, 1), 0},
      {"Light", "Lux", 1479, 1501, 0x0005, {.kind = Kind::Unsigned32}, 0},
      {"TVOC", "ppb", 1480, 1494, 0x0007, Whole(), 1},
      {"CO2", "ppm", 1481, 1503, 0x0008, Whole(), 1},
      {"HCHO", "ppm", 1482, 1504, 0x0009, Scaled(0.01, 2), 1},
      {"O3", "ppm", 1483, 1505, 0x000A, Scaled(0.01, 2), 1},
      {"O2", "%Vol", 1484, 1506, 0x000B, Scaled(0.1, 1), 1},
      {"H2S", "ppm", 1485, 1507, 0x000C, Whole(), 1},
      {"CH4", "%LEL", 1486, 1496, 0x000D, Whole(), 2},
      {"CO", "ppm", 1489, 1508, 0x000E, Whole(), 2},
      {"NO2", "ppm", 1490, 1509, 0x000F, Scaled(0.1, 1), 2},
      {"SO2", "ppm", 1491, 1510, 0x0010, Scaled(0.1, 1), 2},
      {"H2", "ppm", 1492, 1511, 0x0011, Whole(), 2},
      {"NH3", "ppm", 1493, 1512, 0x0012, Whole(), 2},
  };
  return table;
}

PageDeclaration Mg11Declaration() {
  PageDeclaration d{
      .name = "Mg11Page",
      .realTime = {.id = 1435, .message = "Please open the serial port first"},
      .block = {.start = 0x0000, .count = 19, .replyWait = std::chrono::milliseconds(1000)},
      .metrics = {.editWidth = 36, .columnGap = 6},
  };
  for (const Quantity& q : Quantities()) {
    d.rows.push_back({.caption = q.caption, .unit = q.unit, .edit = q.edit, .inquire = q.inquire,
                      .read = ReadOp{q.reg, q.shown, &kNotOpenedReadMessages}, .column = q.column});
    d.block.fields.push_back({q.edit, q.reg, q.shown});
  }
  return d;
}

}  // namespace

PageDeclaration Mg11Page() {
  return Mg11Declaration();
}

}  // namespace tamsu
