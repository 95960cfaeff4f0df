// A message sink that records every box instead of showing it.
#pragma once

#include <string>
#include <vector>

#include "modbus/ui.h"

namespace tamsu::test {

struct Shown {
  std::string text;
  std::string caption;
  MessageIcon icon;
};

class RecordingSink : public MessageSink {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    shown.push_back({text, caption, icon});
    if (onShow) onShow();
  }
  std::vector<Shown> shown;
  void (*onShow)() = nullptr;
};

}  // namespace tamsu::test
