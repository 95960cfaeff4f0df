// Placeholder until the category hosts land: fifteen empty pages.
#include "app/categories.h"

#include <QStringList>

namespace tamsu {

struct CategorySet::Impl {
  std::vector<QWidget*> pages;
  QStringList captions;
};

CategorySet::CategorySet(AppContext&, QWidget* parent) : impl_(std::make_unique<Impl>()) {
  impl_->captions = {"Temperature&humidity", "Water leak|Smoke|Infrared", "Lighting", "Gas",
                     "Wind Speed|Direction", "Soil", "Weather Sensor", "CurrentVoltage", "Lampblack",
                     "WaterGauge", "Tilt sensor", "PH", "EC", "WaterQuality", "Warm vibration"};
  for (int i = 0; i < impl_->captions.size(); ++i) impl_->pages.push_back(new QWidget(parent));
}
CategorySet::~CategorySet() = default;
int CategorySet::Count() const { return static_cast<int>(impl_->pages.size()); }
QString CategorySet::Caption(int index) const { return impl_->captions.value(index); }
QWidget* CategorySet::Page(int index) const { return impl_->pages.at(index); }
DevicePage* CategorySet::VisiblePage(int) const { return nullptr; }
void CategorySet::RealTimeDispatch(int) {}

}  // namespace tamsu
