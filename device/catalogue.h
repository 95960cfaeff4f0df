// The categories of the window, their device tabs and pages in the window's order, with the
// geometry of the hosts that show a row of device tabs. The pages themselves are declared
// above the core; this is only the shape of the catalogue.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/page_model.h"

namespace tamsu {

// A category shown as a host with a row of device tabs: its size and where its tab control
// sits, in dialog units.
struct HostGeometry {
  int width = 0, height = 0;
  int tabId = 1008;  // the tab control's id
  int x = 0, y = 0, w = 0, h = 0;
  bool keepsTabRect = false;  // leaves the tab control where the layout puts it
};

struct DeviceTab {
  std::string caption;  // as the tab shows it ("" for a category's single page)
  const PageDeclaration* page = nullptr;
};

struct Category {
  std::string caption;                // as the tab shows it
  std::optional<HostGeometry> host{};  // none: the category is its one page
  std::vector<DeviceTab> tabs{};
};

class Catalogue {
 public:
  // Keeps the declaration; the catalogue's pointers to it stay valid for its lifetime.
  const PageDeclaration* Add(PageDeclaration declaration);
  void AddCategory(Category category) { categories_.push_back(std::move(category)); }

  const std::vector<Category>& Categories() const { return categories_; }
  // Every page, in the window's order.
  std::vector<const PageDeclaration*> Pages() const;
  // A page by its class name ("Co2Page"); null if there is none.
  const PageDeclaration* FindPage(std::string_view name) const;

 private:
  std::deque<PageDeclaration> declarations_;
  std::vector<Category> categories_;
};

}  // namespace tamsu
