#include "device/catalogue.h"

namespace tamsu {

const PageDeclaration* Catalogue::Add(PageDeclaration declaration) {
  declarations_.push_back(std::move(declaration));
  return &declarations_.back();
}

std::vector<const PageDeclaration*> Catalogue::Pages() const {
  std::vector<const PageDeclaration*> out;
  for (const Category& category : categories_)
    for (const DeviceTab& tab : category.tabs) out.push_back(tab.page);
  return out;
}

const PageDeclaration* Catalogue::FindPage(std::string_view name) const {
  for (const PageDeclaration& d : declarations_)
    if (d.name == name) return &d;
  return nullptr;
}

}  // namespace tamsu
