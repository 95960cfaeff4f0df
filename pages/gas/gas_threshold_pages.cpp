// Gas transmitters with alarm thresholds: one layout and one behaviour for five gases. Each page
// gives only its ids, its gas's texts and how its gas values are read and written.
#include "pages/gas/gas_pages.h"

namespace tamsu {

namespace {

ReadOp Tenths(uint16_t reg) { return Signed(reg, 0.1, 1); }
ReadOp Hundredths(uint16_t reg) { return Signed(reg, 0.01, 2); }

// Edit, "Inquire" and (for limits and calibrations) "Set up" of one row.
struct Ids {
  int edit, inquire, setup = 0;
};

// How a gas value is read and written: always, or while the range entries are chosen.
struct GasForm {
  ReadOp (*read)(uint16_t reg);
  WriteOp (*write)(uint16_t reg);
};

ReadOp Whole(uint16_t reg) { return Unsigned(reg); }
ReadOp SignedWhole(uint16_t reg) { return Signed(reg, 1, 0); }
WriteOp Int(uint16_t reg) { return WriteInt(reg); }
WriteOp Times1(uint16_t reg) { return WriteScaled(reg, 1); }
WriteOp Times10(uint16_t reg) { return WriteScaled(reg, 10); }
WriteOp Times100(uint16_t reg) { return WriteScaled(reg, 100); }

constexpr GasForm kWhole{Whole, Int};
constexpr GasForm kTenths{Tenths, Times10};

struct Threshold {
  const char* name;
  int list;
  Texts items;
  int selected;
  Texts gasOnly;
  std::string gas;  // "O2": the rows "O2", "O2 Upper", "O2 Under", "O2 Cali"
  std::string unit;
  Ids tem, hum, reading, temUpper, temUnder, temCali, humUpper, humUnder, humCali, gasUpper, gasUnder, gasCali;
  GasForm form;
  GasForm caliForm;        // the gas calibration's own, where it differs
  Texts lowRange{};  // entries that select two decimals and multiplier 100
  std::string boxCaption = "Real Time";
  bool silentGasUnder = false;
};

Row Limit(const std::string& caption, const std::string& unit, Ids ids, ReadOp read, WriteOp write) {
  return {.caption = caption, .unit = unit, .edit = ids.edit, .inquire = ids.inquire, .read = read,
          .setup = ids.setup, .write = write, .column = 1};
}

PageDeclaration Declare(const Threshold& p) {
  auto gasRow = [&p](const std::string& suffix, Ids ids, uint16_t reg, const GasForm& form, int column,
                     bool showErrors = true) {
    Row row{.caption = suffix.empty() ? p.gas : p.gas + ' ' + suffix, .unit = p.unit, .edit = ids.edit,
            .inquire = ids.inquire, .read = form.read(reg), .setup = ids.setup,
            .write = ids.setup ? form.write(reg) : WriteOp{}, .column = column, .showErrors = showErrors};
    if (!p.lowRange.empty())
      row.variants = {{.selector = p.list, .entries = p.lowRange, .read = Hundredths(reg),
                       .write = ids.setup ? Times100(reg) : WriteOp{}}};
    return row;
  };
  const Ids climate[] = {p.temUpper, p.temUnder, p.temCali, p.humUpper, p.humUnder, p.humCali};
  std::vector<int> blank{p.tem.edit, p.hum.edit}, disable{p.tem.edit, p.hum.edit, p.tem.inquire, p.hum.inquire};
  for (const Ids& ids : climate) {
    blank.push_back(ids.edit);
    disable.insert(disable.end(), {ids.edit, ids.inquire, ids.setup});
  }
  return {
      .name = p.name,
      .selectors = {{.id = p.list, .caption = "Sensor Type", .items = p.items, .selected = p.selected}},
      .rows = {
          {.caption = "Temperature", .unit = "℃", .edit = p.tem.edit, .inquire = p.tem.inquire, .read = Tenths(0x0001)},
          {.caption = "Humidity", .unit = "%RH", .edit = p.hum.edit, .inquire = p.hum.inquire, .read = Tenths(0x0000)},
          gasRow("", p.reading, 0x0002, p.form, 0),
          Limit("Tem Upper", "℃", p.temUpper, Tenths(0x0030), Times10(0x0030)),
          Limit("Tem Under", "℃", p.temUnder, Tenths(0x0031), Times10(0x0031)),
          Limit("Tem Cali", "℃", p.temCali, Tenths(0x0032), Times10(0x0032)),
          Limit("Hum Upper", "%RH", p.humUpper, Tenths(0x0033), Times10(0x0033)),
          Limit("Hum Under", "%RH", p.humUnder, Tenths(0x0034), Times10(0x0034)),
          Limit("Hum Cali", "%RH", p.humCali, Tenths(0x0035), Times10(0x0035)),
          gasRow("Upper", p.gasUpper, 0x0036, p.form, 1),
          gasRow("Under", p.gasUnder, 0x0037, p.form, 1, !p.silentGasUnder),
          gasRow("Cali", p.gasCali, 0x0038, p.caliForm, 1),
      },
      .realTime = {.id = 1015, .caption = p.boxCaption,
                   .disables = {p.reading.inquire, p.list, p.tem.inquire, p.hum.inquire}},
      .effects = {{.selector = p.list, .entries = p.gasOnly, .blank = blank, .disable = disable,
                   .skipPoll = {p.tem.edit, p.hum.edit}}},
      .poll = {p.tem.edit, p.hum.edit, p.reading.edit},
  };
}

}  // namespace

// Its temperature calibration uses register 0x0032 as on the sister pages: 0x0033 is its own
// humidity upper limit, which a calibration must never change.
PageDeclaration Co2Page() {
  return Declare({.name = "Co2Page", .list = 1237, .items = {"CO2", "CO2&Tem&Hum"}, .selected = 1,
                                   .gasOnly = {"CO2"}, .gas = "CO2", .unit = "ppm",
                                   .tem = {1049, 1051}, .hum = {1050, 1052}, .reading = {1053, 1054},
                                   .temUpper = {1055, 1056, 1061}, .temUnder = {1057, 1058, 1062},
                                   .temCali = {1094, 1095, 1096}, .humUpper = {1064, 1065, 1070},
                                   .humUnder = {1066, 1067, 1071}, .humCali = {1097, 1098, 1099},
                                   .gasUpper = {1073, 1074, 1079}, .gasUnder = {1075, 1076, 1080},
                                   .gasCali = {1100, 1101, 1102}, .form = kWhole, .caliForm = {SignedWhole, Times1},
                                   .boxCaption = "Teal Time", .silentGasUnder = true});
}

PageDeclaration O2Page() {
  return Declare({.name = "O2Page", .list = 1132, .items = {"O2 0-25%vol", "O2&Temp&Hum 0-25%vol"},
                                   .selected = 1, .gasOnly = {"O2 0-25%vol"}, .gas = "O2", .unit = "%vol",
                                   .tem = {1133, 1145}, .hum = {1134, 1146}, .reading = {1135, 1147},
                                   .temUpper = {1136, 1148, 1149}, .temUnder = {1137, 1150, 1151},
                                   .temCali = {1138, 1152, 1153}, .humUpper = {1139, 1154, 1155},
                                   .humUnder = {1140, 1156, 1157}, .humCali = {1141, 1158, 1159},
                                   .gasUpper = {1142, 1160, 1161}, .gasUnder = {1143, 1162, 1163},
                                   .gasCali = {1144, 1164, 1165}, .form = kTenths, .caliForm = kTenths});
}

PageDeclaration H2sPage() {
  return Declare({.name = "H2sPage", .list = 1166, .items = {"H2S", "H2S&Tem&Hum"}, .selected = 1,
                                   .gasOnly = {"H2S"}, .gas = "H2S", .unit = "ppm",
                                   .tem = {1167, 1179}, .hum = {1168, 1180}, .reading = {1169, 1181},
                                   .temUpper = {1170, 1182, 1183}, .temUnder = {1171, 1184, 1185},
                                   .temCali = {1172, 1186, 1187}, .humUpper = {1173, 1188, 1189},
                                   .humUnder = {1174, 1190, 1191}, .humCali = {1175, 1192, 1193},
                                   .gasUpper = {1176, 1194, 1195}, .gasUnder = {1177, 1196, 1197},
                                   .gasCali = {1178, 1198, 1199}, .form = kWhole, .caliForm = kWhole});
}

PageDeclaration Nh3Page() {
  return Declare({.name = "Nh3Page", .list = 1131,
                                   .items = {"NH3 0-50ppm", "NH3 0-100ppm", "NH3 0-500ppm", "NH3&Tem&Hum 0-50ppm",
                                             "NH3&Tem&Hum 0-100ppm", "NH3&Tem&Hum 0-500ppm"},
                                   .selected = 3, .gasOnly = {"NH3 0-50ppm", "NH3 0-100ppm", "NH3 0-500ppm"},
                                   .gas = "NH3", .unit = "ppm",
                                   .tem = {1087, 1107}, .hum = {1088, 1108}, .reading = {1089, 1109},
                                   .temUpper = {1090, 1110, 1111}, .temUnder = {1091, 1112, 1113},
                                   .temCali = {1092, 1114, 1115}, .humUpper = {1093, 1116, 1117},
                                   .humUnder = {1094, 1118, 1119}, .humCali = {1103, 1120, 1121},
                                   .gasUpper = {1104, 1122, 1123}, .gasUnder = {1105, 1124, 1125},
                                   .gasCali = {1106, 1126, 1127}, .form = kWhole, .caliForm = kWhole,
                                   .lowRange = {"NH3 0-50ppm", "NH3&Tem&Hum 0-50ppm"}});
}

PageDeclaration O3Page() {
  return Declare({.name = "O3Page", .list = 1200,
                                   .items = {"O3 0-10ppm", "O3 0-100ppm", "O3&Tem&Hum 0-10ppm", "O3&Tem&Hum 0-100ppm"},
                                   .selected = 2, .gasOnly = {"O3 0-10ppm", "O3 0-100ppm"}, .gas = "O3", .unit = "ppm",
                                   .tem = {1201, 1213}, .hum = {1202, 1214}, .reading = {1203, 1215},
                                   .temUpper = {1204, 1216, 1217}, .temUnder = {1205, 1218, 1219},
                                   .temCali = {1206, 1220, 1221}, .humUpper = {1207, 1222, 1223},
                                   .humUnder = {1208, 1224, 1225}, .humCali = {1209, 1226, 1227},
                                   .gasUpper = {1210, 1228, 1229}, .gasUnder = {1211, 1230, 1231},
                                   .gasCali = {1212, 1232, 1233}, .form = kTenths, .caliForm = kTenths,
                                   .lowRange = {"O3 0-10ppm", "O3&Tem&Hum 0-10ppm"}});
}

}  // namespace tamsu
