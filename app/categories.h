// The fifteen category pages below the connection band: category hosts with their device tabs,
// or a single device page; and the once-a-second real-time dispatch over them.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "view/app_context.h"

namespace tamsu {

class DevicePage;

class CategorySet {
 public:
  // Creates every category page (and all their device pages) once, as children of `parent`.
  CategorySet(AppContext& context, QWidget* parent);
  ~CategorySet();

  int Count() const;                 // 15
  QString Caption(int index) const;  // tab text as shown ("&&" shows as one "&")
  QWidget* Page(int index) const;    // the host or the single device page
  // The device page the user sees when this category is selected.
  DevicePage* VisiblePage(int index) const;
  // Timer 5: polls the visible page of the selected category if its real-time box is ticked.
  void RealTimeDispatch(int selectedCategory);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tamsu
