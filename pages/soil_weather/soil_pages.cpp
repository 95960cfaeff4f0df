// Soil probes: moisture, temperature, conductivity, salinity, TDS, PH and tension. Only the
// conductivity probe has settings: its coefficients and calibration offsets.
#include "pages/soil_weather/soil_weather_pages.h"

namespace tamsu {

namespace {
ReadOp Tenths(uint16_t reg) { return Signed(reg, 0.1, 1); }
ReadOp Hundredths(uint16_t reg) { return Signed(reg, 0.01, 2); }
}  // namespace

PageDeclaration ThreeInOneSoilPage() {
  return {
        .name = "ThreeInOneSoilPage",
        .rows = {
          {.caption = "Moisture", .unit = "%", .edit = 1297, .inquire = 1298, .read = Hundredths(0x0000)},
          {.caption = "Temperature", .unit = "℃", .edit = 1299, .inquire = 1300, .read = Hundredths(0x0001)},
          {.caption = "Conductivity", .unit = "us/cm", .edit = 1301, .inquire = 1302, .read = Unsigned(0x0002)},
        },
        .realTime = {.id = 1303},
        .notices = {{"", "Explanation：\n  This page is mainly for KV- PLMA-D22-B (default). If the product is a "
                         "section A, the moisture content is opposite to the temperature reading, and the other "
                         "has no effect."}},
        .poll = {1297, 1299, 1301},
      };
}

PageDeclaration SoilTemMoisturePage() {
  return {
        .name = "SoilTemMoisturePage",
        .rows = {
          {.caption = "Moisture", .unit = "%", .edit = 1304, .inquire = 1306, .read = Tenths(0x0000)},
          {.caption = "Temperature", .unit = "℃", .edit = 1305, .inquire = 1307, .read = Tenths(0x0001)},
        },
        .realTime = {.id = 1308},
        .poll = {1304, 1305},
      };
}

PageDeclaration SoilMoisturePage() {
  return {
        .name = "SoilMoisturePage",
        .rows = {
          {.caption = "Moisture", .unit = "%", .edit = 1251, .inquire = 1252, .read = Hundredths(0x0001)},
        },
        .realTime = {.id = 1253},
        .poll = {1251},
      };
}

// Conductivity, salinity and TDS are read as signed with one decimal, as the probe's own tool
// shows them. Unticking the box always gives the buttons back, also after the port was lost:
// a box that shows unticked never leaves the page locked.
PageDeclaration SoilConductivityPage() {
  return {
        .name = "SoilConductivityPage",
        .rows = {
          {.caption = "Humidity", .edit = 1392, .inquire = 1396, .read = Tenths(0x0000)},
          {.caption = "Temperature", .edit = 1393, .inquire = 1397, .read = Tenths(0x0001)},
          {.caption = "Conductivity", .edit = 1394, .inquire = 1369, .read = Signed(0x0002, 1, 1)},
          {.caption = "Salinity", .edit = 1395, .inquire = 1371, .read = Signed(0x0003, 1, 1)},
          {.caption = "TDS", .edit = 1372, .inquire = 1373, .read = Signed(0x0004, 1, 1)},
          {.caption = "Conductivity Coef", .edit = 1374, .inquire = 1375, .read = Unsigned(0x0022), .setup = 1376,
           .write = WriteInt(0x0022), .column = 1, .testsPort = true},
          {.caption = "Salinity Coef", .edit = 1377, .inquire = 1378, .read = Unsigned(0x0023), .setup = 1379,
           .write = WriteInt(0x0023), .column = 1, .testsPort = true},
          {.caption = "TDS Coef", .edit = 1380, .inquire = 1381, .read = Unsigned(0x0024), .setup = 1382,
           .write = WriteInt(0x0024), .column = 1, .testsPort = true},
          {.caption = "Tem Cali", .edit = 1383, .inquire = 1386, .read = Tenths(0x0050), .setup = 1387,
           .write = WriteScaled(0x0050, 10), .column = 1, .testsPort = true},
          {.caption = "Hum Cali", .edit = 1384, .inquire = 1388, .read = Tenths(0x0051), .setup = 1389,
           .write = WriteScaled(0x0051, 10), .column = 1, .testsPort = true},
          {.caption = "Conductivity Cali", .edit = 1385, .inquire = 1390, .read = Unsigned(0x0052), .setup = 1391,
           .write = WriteScaled(0x0052, 1), .column = 1, .testsPort = true},
        },
        .realTime = {.id = 1370},
        .poll = {1392, 1393, 1394, 1395, 1372},
      };
}

PageDeclaration SoilPhPage() {
  return {
        .name = "SoilPhPage",
        .rows = {
          {.caption = "PH:", .edit = 1367, .inquire = 1368, .read = Tenths(0x0000)},
        },
        .realTime = {.id = 1366},
        .poll = {1367},
      };
}

// The poll reads the same way: a 16-bit value times 0.1 shows the same one decimal whether the
// product is formed in single or double precision, and the poll shows no messages.
PageDeclaration SoilTensionPage() {
  return {
        .name = "SoilTensionPage",
        .rows = {
          {.caption = "Soil tension", .unit = "KPa", .edit = 1587, .inquire = 1586,
           .read = Tenths(0x0000).Single().Says(kNotOpenedReadMessages)},
        },
        .realTime = {.id = 1588},
        .poll = {1587},
      };
}

}  // namespace tamsu
