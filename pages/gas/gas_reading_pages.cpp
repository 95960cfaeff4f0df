// Gas transmitters that only read: the fume and TVOC sensors, and six that measure a gas with
// temperature and humidity, their variant chosen in "Sensor Type".
#include "pages/gas/gas_pages.h"

namespace tamsu {

namespace {

ReadOp Tenths(uint16_t reg) { return Signed(reg, 0.1, 1); }

// The six temperature-humidity-gas pages share one layout: the list, three readings and the
// box. With the gas-only entry chosen the temperature and humidity are blanked, their buttons
// (on the first three pages their fields too) disabled and left out of the poll.
struct TemHumGas {
  const char* name;
  int list;
  Texts items;
  bool sortedEditable;  // a sorted list with an edit field
  std::string temCaption, humCaption;
  int tem, temInquire, hum, humInquire;
  std::string gasCaption;
  int gas, gasInquire;
  ReadOp gasRead;
  int realTime;
  bool disablesFields;
  std::string message = "Please open the serial port first!";
};

PageDeclaration Declare(const TemHumGas& p) {
  std::vector<int> disabled{p.temInquire, p.humInquire};
  if (p.disablesFields) disabled.insert(disabled.end(), {p.tem, p.hum});
  return {
      .name = p.name,
      .selectors = {{.id = p.list, .caption = "Sensor Type", .items = p.items, .selected = 1,
                     .editable = p.sortedEditable, .sorted = p.sortedEditable}},
      .rows = {
          {.caption = p.temCaption, .unit = "℃", .edit = p.tem, .inquire = p.temInquire, .read = Tenths(0x0001)},
          {.caption = p.humCaption, .unit = "%RH", .edit = p.hum, .inquire = p.humInquire, .read = Tenths(0x0000)},
          {.caption = p.gasCaption, .unit = "ppm", .edit = p.gas, .inquire = p.gasInquire, .read = p.gasRead},
      },
      .realTime = {.id = p.realTime, .message = p.message, .disables = {p.gasInquire, p.list, p.temInquire, p.humInquire}},
      .effects = {{.selector = p.list, .entries = {p.items.front()}, .blank = {p.tem, p.hum}, .disable = disabled,
                   .skipPoll = {p.tem, p.hum}}},
      .poll = {p.tem, p.hum, p.gas},
  };
}

}  // namespace

PageDeclaration LampPage() {
  return {
        .name = "LampPage",
        .rows = {
          {.caption = "Fume", .unit = "mg/m3", .edit = 1053, .inquire = 1054, .read = Signed(0x0000, 0.01, 2)},
          {.caption = "Calibration", .unit = "mg/m3", .edit = 1055, .inquire = 1056, .read = Signed(0x0050, 0.01, 2),
           .setup = 1057, .write = WriteScaled(0x0050, 100)},
          {.caption = "Coefficient", .edit = 1058, .inquire = 1059, .read = Float32(0x0200),
           .setup = 1060, .write = WriteFloat(0x0200)},
          {.caption = "Version", .edit = 1061, .inquire = 1062, .read = Unsigned(0x0007), .hidden = true},
        },
        .realTime = {.id = 1064, .disables = {1054}},
        .poll = {1053},
      };
}

PageDeclaration TvocPage() {
  return {
        .name = "TvocPage",
        .rows = {
          {.caption = "TVOC", .unit = "ppb", .edit = 1071, .inquire = 1070, .read = Unsigned(0x0000)},
        },
        .realTime = {.id = 1072, .disables = {1070}},
        .poll = {1071},
      };
}

PageDeclaration CoPage() {
  return Declare({"CoPage", 1236, {"CO", "CO&Tem&Hum"}, false, "Temperature", "Humidity",
                                   1068, 1065, 1054, 1066, "CO", 1055, 1067, Tenths(0x0002), 1069, true});
}

PageDeclaration So2Page() {
  return Declare({"So2Page", 1235, {"SO2", "SO2&Tem&Hum"}, false, "Temperature", "Humidity",
                                   1073, 1076, 1074, 1077, "SO2", 1075, 1078, Signed(0x0002, 0.01, 2), 1079, true});
}

namespace {
// NO2's button reads its register a second time, as mass concentration, into a field of its own.
PageDeclaration No2() {
  PageDeclaration d = Declare({"No2Page", 1234, {"NO2", "NO2&Tem&Hum"}, false, "Temperature", "Humidity",
                               1080, 1083, 1081, 1084, "NO2", 1082, 1085, Signed(0x0002, 0.01, 2), 1086, true});
  d.rows.push_back({.unit = "mg/m3", .edit = 1087, .inquire = 1085, .read = Signed(0x0002, 0.0205, 2)});
  d.poll.push_back(1087);
  return d;
}
}  // namespace

PageDeclaration No2Page() {
  return No2();
}

PageDeclaration HchoPage() {
  return Declare({"HchoPage", 1600, {"HCHO", "HCHO&Tem&Hum"}, true, "Tem", "Hum",
                                   1601, 1602, 1603, 1604, "HCHO", 1482, 1606, Signed(0x0002, 0.01, 2), 1605, false,
                                   "Please open the serial port first"});
}

PageDeclaration Ch4Page() {
  return Declare({"Ch4Page", 1607, {"CH4", "CH4&Tem&Hum"}, true, "Tem", "Hum",
                                   1608, 1609, 1610, 1611, "CH4", 1486, 1612, Signed(0x0002, 1, 0), 1613, false,
                                   "Please open the serial port first"});
}

// Its poll reads what its buttons read, as its sister page's does.
PageDeclaration Sf6Page() {
  return Declare({"Sf6Page", 1657, {"SF6", "SF6&Tem&Hum"}, true, "Tem", "Hum",
                                   1658, 1662, 1660, 1663, "SF6", 1661, 1664, Signed(0x0002, 1, 0), 1659, false});
}

}  // namespace tamsu
