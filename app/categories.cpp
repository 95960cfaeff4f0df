// The fifteen categories in tab order: eleven hosts with their device tabs, four single pages.
#include "app/categories.h"

#include <QRect>
#include <QSize>
#include <functional>
#include <variant>

#include "app/framework/category_host.h"
#include "app/framework/device_page.h"
#include "pages/climate/climate_pages.h"
#include "pages/electrical/electrical_pages.h"
#include "pages/gas/gas_pages.h"
#include "pages/motion/motion_pages.h"
#include "pages/soil_weather/soil_weather_pages.h"
#include "pages/water/water_pages.h"

namespace tamsu {

namespace {

using PageFactory = std::function<DevicePage*(AppContext&)>;

template <typename PageClass>
PageFactory Make() {
  return [](AppContext& context) { return new PageClass(context); };
}

struct DeviceTab {
  const char* caption;  // as the tab shows it
  PageFactory make;
};

struct HostDecl {
  int width, height;          // dialog units
  int tabId;
  int x, y, w, h;             // the tab control in the host's layout
  bool keepsTabRect = false;
};

// A family's own host, which creates its device pages itself.
using HostFactory = std::function<CategoryHost*(AppContext&, QWidget*)>;
template <typename HostClass>
HostFactory MakeHost() {
  return [](AppContext& context, QWidget* parent) { return new HostClass(context, parent); };
}

struct Category {
  const char* caption;  // as the tab shows it
  std::variant<HostDecl, PageFactory, HostFactory> kind;
  std::vector<DeviceTab> tabs;
};

std::vector<Category> Categories() {
  return {
      {"Temperature&humidity", HostDecl{451, 302, 1008, 7, 7, 437, 288},
       {{"Temperature", Make<TemperaturePage>()},
        {"Tem&Humidity", Make<TemHumPage>()},
        {"Tem&Hum Kanban", Make<TemHumKanbanPage>()},
        {"DewTem", Make<DewTemPage>()}}},
      {"Water leak|Smoke|Infrared", HostDecl{451, 299, 1008, 7, 7, 437, 285},
       {{"Water Leak", Make<WaterLeakPage>()}, {"Smoke", Make<SmokePage>()}, {"Infrared", Make<InfraredPage>()}}},
      {"Lighting", HostDecl{436, 303, 1008, 7, 7, 422, 289},
       {{"6W Illumination", Make<Illum6WPage>()},
        {"20W Illumination", Make<Illum20WPage>()},
        {"6W Illumination&Tem&Hum", Make<Illum6WTemHumPage>()},
        {"20W Illumination&Tem&Hum", Make<Illum20WTemHumPage>()}}},
      {"Gas", MakeHost<GasHost>(), {}},
      {"Wind Speed|Direction", HostDecl{454, 300, 1008, 7, 7, 440, 286},
       {{"Wind Direction", Make<WindDirectionPage>()}, {"Wind Speed", Make<WindSpeedPage>()}}},
      {"Soil", HostDecl{423, 295, 1008, 7, 7, 401, 281},
       {{"Three in one soil", Make<ThreeInOneSoilPage>()},
        {"Soil temperature moisture content", Make<SoilTemMoisturePage>()},
        {"Soil moisture content", Make<SoilMoisturePage>()},
        {"Soil conductivity", Make<SoilConductivityPage>()},
        {"Soil PH", Make<SoilPhPage>()},
        {"Soil tension", Make<SoilTensionPage>()}}},
      {"Weather Sensor", HostDecl{419, 298, 1008, 7, 10, 398, 284},
       {{"Noise", Make<NoisePage>()},
        {"Air pressure", Make<AirPressurePage>()},
        {"Rain gauge", Make<RainGaugePage>()},
        {"Type C Weather/CO2 blinds", Make<TypeCWeatherCo2Page>()},
        {"RA", Make<RadiationPage>()},
        {"UV", Make<UvPage>()},
        {"Type C Weather/PM blinds", Make<TypeCWeatherPmPage>()},
        {"Rain&Snow", Make<RainSnowPage>()},
        {"PM", Make<PmPage>()},
        {"Dust tester", Make<DustTesterPage>()},
        {"EVA", Make<EvaPage>()}}},
      {"CurrentVoltage", HostDecl{457, 287, 1008, 7, 7, 443, 273, true},
       {{"Current Collector", Make<CurrentCollectorPage>()}}},
      {"Lampblack", HostDecl{436, 278, 1346, 7, 6, 422, 265}, {{"485 Lampblack", Make<LampblackPage>()}}},
      {"WaterGauge", Make<WaterGaugePage>(), {}},
      {"Tilt sensor", Make<TiltSensorPage>(), {}},
      {"PH", Make<PhPage>(), {}},
      {"EC", Make<EcPage>(), {}},
      {"WaterQuality", HostDecl{432, 281, 1008, 7, 7, 418, 274},
       {{"DO", Make<DoPage>()}, {"Turbidity", Make<TurbidityPage>()}, {"CL", Make<ClPage>()}, {"NHN", Make<NhnPage>()}}},
      {"Warm vibration", HostDecl{430, 352, 1008, 7, 7, 416, 338},
       {{"Single axis", Make<VibrationSingleAxisPage>()},
        {"Three axes", Make<VibrationThreeAxisPage>()},
        {"Spectrum type", Make<VibrationSpectrumPage>()}}},
  };
}

}  // namespace

struct CategorySet::Impl {
  struct Entry {
    QString caption;
    QWidget* widget = nullptr;
    CategoryHost* host = nullptr;  // null for a single page
    DevicePage* page = nullptr;    // the single page
  };
  std::vector<Entry> entries;
};

CategorySet::CategorySet(AppContext& context, QWidget* parent) : impl_(std::make_unique<Impl>()) {
  for (const Category& category : Categories()) {
    Impl::Entry entry;
    entry.caption = QString::fromUtf8(category.caption);
    if (const auto* decl = std::get_if<HostDecl>(&category.kind)) {
      auto* host = new CategoryHost({.size = QSize(decl->width, decl->height),
                                     .tabId = decl->tabId,
                                     .tabRect = QRect(decl->x, decl->y, decl->w, decl->h),
                                     .keepsTabRect = decl->keepsTabRect},
                                    parent);
      for (const DeviceTab& tab : category.tabs) host->AddPage(QString::fromUtf8(tab.caption), tab.make(context));
      host->Start();
      entry.widget = entry.host = host;
    } else if (const auto* make = std::get_if<HostFactory>(&category.kind)) {
      entry.widget = entry.host = (*make)(context, parent);
    } else {
      entry.page = std::get<PageFactory>(category.kind)(context);
      entry.page->setParent(parent);
      entry.widget = entry.page;
    }
    impl_->entries.push_back(entry);
  }
}

CategorySet::~CategorySet() = default;

int CategorySet::Count() const { return static_cast<int>(impl_->entries.size()); }

QString CategorySet::Caption(int index) const {
  return index >= 0 && index < Count() ? impl_->entries[index].caption : QString();
}

QWidget* CategorySet::Page(int index) const { return impl_->entries.at(index).widget; }

DevicePage* CategorySet::VisiblePage(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  const Impl::Entry& entry = impl_->entries[index];
  return entry.host ? entry.host->CurrentPage() : entry.page;
}

// Only the page the user sees is polled, and only while its box is ticked. A page whose poll is
// still running (a message box of that poll is open, and ticks arrive through the box's own
// loop) is left alone until the box is closed: one box at a time, not one a second.
void CategorySet::RealTimeDispatch(int selectedCategory) {
  DevicePage* page = VisiblePage(selectedCategory);
  if (!page || !page->RealTimeTicked() || page->PollRunning()) return;
  page->RealTimePoll();
}

}  // namespace tamsu
