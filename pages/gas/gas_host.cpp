#include <QRect>
#include <QSize>

#include "pages/gas/gas_pages.h"

namespace tamsu {

GasHost::GasHost(AppContext& context, QWidget* parent)
    : CategoryHost({.size = QSize(429, 297), .tabId = 1008, .tabRect = QRect(7, 7, 415, 283)}, parent) {
  AddPage("Lamp", new LampPage(context));
  AddPage(" CO2 ", new Co2Page(context));
  AddPage(" CO ", new CoPage(context));
  AddPage(" TVOC ", new TvocPage(context));
  AddPage(" SO2 ", new So2Page(context));
  AddPage(" NO2 ", new No2Page(context));
  AddPage("  O2  ", new O2Page(context));
  AddPage(" H2S ", new H2sPage(context));
  AddPage(" NH3 ", new Nh3Page(context));
  AddPage(" O3 ", new O3Page(context));
  AddPage("MG11", new Mg11Page(context));
  AddPage(" HCHO ", new HchoPage(context));
  AddPage(" CH4 ", new Ch4Page(context));
  AddPage(" SF6 ", new Sf6Page(context));
  Start();
}

}  // namespace tamsu
