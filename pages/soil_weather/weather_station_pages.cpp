// The combined weather stations: one register block from 0x01F4 (humidity, temperature, noise,
// CO2 or PM2.5, PM10, pressure, 32-bit illumination) and, for the variant in a louvred shelter,
// a virtual address. Both pages share one layout; each gives its ids and its station's texts.
#include "pages/soil_weather/soil_weather_pages.h"

namespace tamsu {

namespace {

constexpr int kSensorType = 1665;

ReadOp Tenths(uint16_t reg) { return Signed(reg, 0.1, 1); }

struct Ids {
  int edit, inquire;
};

struct Station {
  const char* name;
  std::string blinds;     // the shelter variant's entry: "CO2 blinds", "PM blinds"
  std::string gas, unit;  // what register 0x01F7 holds: "CO2" in ppm, "PM2.5" in ug/m3
  Ids tem, hum, noise, gasIds;
  Ids pm10;  // {0, 0}: the station has none
  Ids atmosphere, illumination, address;
  int addressSetup, realTime;
};

PageDeclaration Declare(const Station& s) {
  std::vector<Row> rows = {
      {.caption = "Temperature", .unit = "℃", .edit = s.tem.edit, .inquire = s.tem.inquire, .read = Tenths(0x01F5)},
      {.caption = "Humidity", .unit = "%RH", .edit = s.hum.edit, .inquire = s.hum.inquire, .read = Tenths(0x01F4)},
      {.caption = "Noise", .unit = "db", .edit = s.noise.edit, .inquire = s.noise.inquire, .read = Tenths(0x01F6)},
      {.caption = s.gas, .unit = s.unit, .edit = s.gasIds.edit, .inquire = s.gasIds.inquire, .read = Unsigned(0x01F7)},
  };
  if (s.pm10.edit != 0)
    rows.push_back({.caption = "PM10", .unit = "ug/m3", .edit = s.pm10.edit, .inquire = s.pm10.inquire,
                    .read = Unsigned(0x01F8)});
  rows.push_back({.caption = "Atmosphere", .unit = "Kpa", .edit = s.atmosphere.edit, .inquire = s.atmosphere.inquire,
                  .read = Tenths(0x01F9)});
  rows.push_back({.caption = "Illumination", .unit = "Lux", .edit = s.illumination.edit,
                  .inquire = s.illumination.inquire, .read = Unsigned32(0x01FA)});
  rows.push_back({.caption = "Device Virtual Multiple Address", .edit = s.address.edit, .inquire = s.address.inquire,
                  .read = Unsigned(0x0060), .setup = s.addressSetup, .write = WriteInt(0x0060)});

  // The box locks the measured values' buttons; the address row and the list stay usable.
  std::vector<int> measured, poll;
  for (const Row& row : rows)
    if (row.setup == 0) {
      measured.push_back(row.inquire);
      poll.push_back(row.edit);
    }
  return {
      .name = s.name,
      // Filled as the category host fills it; sorted, the shelter variant comes first.
      .selectors = {{.id = kSensorType, .caption = "SensorType", .items = {s.blinds, "Type C Weather"}, .selected = 0,
                     .editable = true, .sorted = true}},
      .rows = std::move(rows),
      .realTime = {.id = s.realTime, .disables = measured},
      .effects = {{.selector = kSensorType, .entries = {"Type C Weather"},
                   .disable = {s.address.edit, s.address.inquire, s.addressSetup}}},
      .poll = poll,
  };
}

}  // namespace

PageDeclaration TypeCWeatherCo2Page() {
  return Declare({.name = "TypeCWeatherCo2Page", .blinds = "CO2 blinds", .gas = "CO2", .unit = "ppm",
                                   .tem = {1309, 1315}, .hum = {1310, 1316}, .noise = {1311, 1317},
                                   .gasIds = {1312, 1318}, .pm10 = {0, 0}, .atmosphere = {1313, 1319},
                                   .illumination = {1314, 1320}, .address = {1322, 1323}, .addressSetup = 1324,
                                   .realTime = 1321});
}

PageDeclaration TypeCWeatherPmPage() {
  return Declare({.name = "TypeCWeatherPmPage", .blinds = "PM blinds", .gas = "PM2.5",
                                   .unit = "ug/m3", .tem = {1277, 1279}, .hum = {1278, 1280}, .noise = {1016, 1011},
                                   .gasIds = {1017, 1018}, .pm10 = {1019, 1020}, .atmosphere = {1021, 1022},
                                   .illumination = {1023, 1024}, .address = {1027, 1028}, .addressSetup = 1029,
                                   .realTime = 1281});
}

}  // namespace tamsu
