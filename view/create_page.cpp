#include "view/device_page.h"
#include "view/wind_direction_view.h"

namespace tamsu {

DevicePage* CreatePage(AppContext& context, const PageDeclaration& declaration, QWidget* parent) {
  if (declaration.name == "WindDirectionPage") return new WindDirectionView(context, declaration, parent);
  return new DevicePage(context, declaration, parent);
}

}  // namespace tamsu
