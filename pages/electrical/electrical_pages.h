// The electrical and emission transmitters: the fan and purifier current collector and the
// kitchen fume (lampblack) monitor.
#pragma once

#include "app/framework/device_page.h"

namespace tamsu {

// Condition and current of a fan and a purifier, with their calibrations and thresholds.
class CurrentCollectorPage : public DevicePage {
 public:
  CurrentCollectorPage(AppContext& context, QWidget* parent = nullptr);
};

// Fume, particulate matter and NMHC concentrations, their A and B coefficients and the
// firmware version.
class LampblackPage : public DevicePage {
 public:
  LampblackPage(AppContext& context, QWidget* parent = nullptr);
};

}  // namespace tamsu
