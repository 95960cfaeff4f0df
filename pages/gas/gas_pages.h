// The gas transmitters: the fourteen device pages of the "Gas" category.
#pragma once

#include "device/page_model.h"

namespace tamsu {

// Fume concentration with its calibration value and coefficient.
PageDeclaration LampPage();

PageDeclaration TvocPage();

// Gas with temperature and humidity, chosen in "Sensor Type".
PageDeclaration CoPage();

PageDeclaration So2Page();

// Its gas reading shows the register twice: in ppm and as mg/m3.
PageDeclaration No2Page();

PageDeclaration HchoPage();

PageDeclaration Ch4Page();

PageDeclaration Sf6Page();

// Gas, temperature and humidity with their upper and lower alarm limits and calibrations.
PageDeclaration Co2Page();

PageDeclaration O2Page();

PageDeclaration H2sPage();

// The gas values' scale follows the measuring range chosen in "Sensor Type".
PageDeclaration Nh3Page();

PageDeclaration O3Page();

// Eighteen quantities of a multi-sensor transmitter, polled as one block of nineteen registers.
PageDeclaration Mg11Page();

}  // namespace tamsu
