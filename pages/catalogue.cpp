// The fifteen categories in tab order: eleven hosts with their device tabs, four single pages.
#include "pages/catalogue.h"

#include "pages/climate/climate_pages.h"
#include "pages/electrical/electrical_pages.h"
#include "pages/gas/gas_pages.h"
#include "pages/motion/motion_pages.h"
#include "pages/soil_weather/soil_weather_pages.h"
#include "pages/water/water_pages.h"

namespace tamsu {

namespace {

using Declare = PageDeclaration (*)();
struct Tab {
  const char* caption;
  Declare declare;
};

Catalogue Build() {
  Catalogue c;
  auto host = [&c](const char* caption, HostGeometry geometry, std::initializer_list<Tab> tabs) {
    Category category{.caption = caption, .host = geometry};
    for (const Tab& tab : tabs) category.tabs.push_back({tab.caption, c.Add(tab.declare())});
    c.AddCategory(std::move(category));
  };
  auto single = [&c](const char* caption, Declare declare) {
    c.AddCategory({.caption = caption, .tabs = {{"", c.Add(declare())}}});
  };
  host("Temperature&humidity", {451, 302, 1008, 7, 7, 437, 288},
       {{"Temperature", TemperaturePage},
        {"Tem&Humidity", TemHumPage},
        {"Tem&Hum Kanban", TemHumKanbanPage},
        {"DewTem", DewTemPage}});
  host("Water leak|Smoke|Infrared", {451, 299, 1008, 7, 7, 437, 285},
       {{"Water Leak", WaterLeakPage}, {"Smoke", SmokePage}, {"Infrared", InfraredPage}});
  host("Lighting", {436, 303, 1008, 7, 7, 422, 289},
       {{"6W Illumination", Illum6WPage},
        {"20W Illumination", Illum20WPage},
        {"6W Illumination&Tem&Hum", Illum6WTemHumPage},
        {"20W Illumination&Tem&Hum", Illum20WTemHumPage}});
  host("Gas", {429, 297, 1008, 7, 7, 415, 283},
       {{"Lamp", LampPage},
        {" CO2 ", Co2Page},
        {" CO ", CoPage},
        {" TVOC ", TvocPage},
        {" SO2 ", So2Page},
        {" NO2 ", No2Page},
        {"  O2  ", O2Page},
        {" H2S ", H2sPage},
        {" NH3 ", Nh3Page},
        {" O3 ", O3Page},
        {"MG11", Mg11Page},
        {" HCHO ", HchoPage},
        {" CH4 ", Ch4Page},
        {" SF6 ", Sf6Page}});
  host("Wind Speed|Direction", {454, 300, 1008, 7, 7, 440, 286},
       {{"Wind Direction", WindDirectionPage}, {"Wind Speed", WindSpeedPage}});
  host("Soil", {423, 295, 1008, 7, 7, 401, 281},
       {{"Three in one soil", ThreeInOneSoilPage},
        {"Soil temperature moisture content", SoilTemMoisturePage},
        {"Soil moisture content", SoilMoisturePage},
        {"Soil conductivity", SoilConductivityPage},
        {"Soil PH", SoilPhPage},
        {"Soil tension", SoilTensionPage}});
  host("Weather Sensor", {419, 298, 1008, 7, 10, 398, 284},
       {{"Noise", NoisePage},
        {"Air pressure", AirPressurePage},
        {"Rain gauge", RainGaugePage},
        {"Type C Weather/CO2 blinds", TypeCWeatherCo2Page},
        {"RA", RadiationPage},
        {"UV", UvPage},
        {"Type C Weather/PM blinds", TypeCWeatherPmPage},
        {"Rain&Snow", RainSnowPage},
        {"PM", PmPage},
        {"Dust tester", DustTesterPage},
        {"EVA", EvaPage}});
  host("CurrentVoltage", {457, 287, 1008, 7, 7, 443, 273, true}, {{"Current Collector", CurrentCollectorPage}});
  host("Lampblack", {436, 278, 1346, 7, 6, 422, 265}, {{"485 Lampblack", LampblackPage}});
  single("WaterGauge", WaterGaugePage);
  single("Tilt sensor", TiltSensorPage);
  single("PH", PhPage);
  single("EC", EcPage);
  host("WaterQuality", {432, 281, 1008, 7, 7, 418, 274},
       {{"DO", DoPage}, {"Turbidity", TurbidityPage}, {"CL", ClPage}, {"NHN", NhnPage}});
  host("Warm vibration", {430, 352, 1008, 7, 7, 416, 338},
       {{"Single axis", VibrationSingleAxisPage},
        {"Three axes", VibrationThreeAxisPage},
        {"Spectrum type", VibrationSpectrumPage}});
  return c;
}

}  // namespace

const Catalogue& PageCatalogue() {
  static const Catalogue catalogue = Build();
  return catalogue;
}

const PageDeclaration* FindPage(std::string_view name) { return PageCatalogue().FindPage(name); }

}  // namespace tamsu
