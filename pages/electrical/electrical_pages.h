// The electrical and emission transmitters: the fan and purifier current collector and the
// kitchen fume (lampblack) monitor.
#pragma once

#include "device/page_model.h"

namespace tamsu {

// Condition and current of a fan and a purifier, with their calibrations and thresholds.
PageDeclaration CurrentCollectorPage();

// Fume, particulate matter and NMHC concentrations, their A and B coefficients and the
// firmware version.
PageDeclaration LampblackPage();

}  // namespace tamsu
