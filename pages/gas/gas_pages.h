// The gas transmitters: the "Gas" category host with its fourteen device pages.
#pragma once

#include "app/framework/category_host.h"
#include "app/framework/device_page.h"

namespace tamsu {

// Fume concentration with its calibration value and coefficient.
class LampPage : public DevicePage {
 public:
  LampPage(AppContext& context, QWidget* parent = nullptr);
};

class TvocPage : public DevicePage {
 public:
  TvocPage(AppContext& context, QWidget* parent = nullptr);
};

// Gas with temperature and humidity, chosen in "Sensor Type".
class CoPage : public DevicePage {
 public:
  CoPage(AppContext& context, QWidget* parent = nullptr);
};

class So2Page : public DevicePage {
 public:
  So2Page(AppContext& context, QWidget* parent = nullptr);
};

// Its gas reading shows the register twice: in ppm and as mg/m3.
class No2Page : public DevicePage {
 public:
  No2Page(AppContext& context, QWidget* parent = nullptr);
};

class HchoPage : public DevicePage {
 public:
  HchoPage(AppContext& context, QWidget* parent = nullptr);
};

class Ch4Page : public DevicePage {
 public:
  Ch4Page(AppContext& context, QWidget* parent = nullptr);
};

class Sf6Page : public DevicePage {
 public:
  Sf6Page(AppContext& context, QWidget* parent = nullptr);
};

// Gas, temperature and humidity with their upper and lower alarm limits and calibrations.
class Co2Page : public DevicePage {
 public:
  Co2Page(AppContext& context, QWidget* parent = nullptr);
};

class O2Page : public DevicePage {
 public:
  O2Page(AppContext& context, QWidget* parent = nullptr);
};

class H2sPage : public DevicePage {
 public:
  H2sPage(AppContext& context, QWidget* parent = nullptr);
};

// The gas values' scale follows the measuring range chosen in "Sensor Type".
class Nh3Page : public DevicePage {
 public:
  Nh3Page(AppContext& context, QWidget* parent = nullptr);
};

class O3Page : public DevicePage {
 public:
  O3Page(AppContext& context, QWidget* parent = nullptr);
};

// Eighteen quantities of a multi-sensor transmitter, polled as one block of nineteen registers.
class Mg11Page : public DevicePage {
 public:
  Mg11Page(AppContext& context, QWidget* parent = nullptr);
};

// The "Gas" category: fourteen device tabs, LampPage shown first.
class GasHost : public CategoryHost {
 public:
  GasHost(AppContext& context, QWidget* parent = nullptr);
};

}  // namespace tamsu
