// A message sink that records every box instead of showing it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "modbus/ui.h"

namespace tamsu::test {

struct Box {
  std::string text, caption;
  MessageIcon icon = MessageIcon::None;
  bool operator==(const Box&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Box& box) {
  return out << '"' << box.text << "\" / \"" << box.caption << "\" icon " << static_cast<int>(box.icon);
}

// Boxes many pages show.
inline const Box kWritten{"Write Successfully", "", MessageIcon::Exclamation};
inline const Box kOpenFirst{"Please open the serial port first!", "Warning", MessageIcon::Exclamation};
inline Box Warning(const char* text) { return {text, "Warning", MessageIcon::Exclamation}; }

// `whileOpen` runs inside ShowMessage, as the events a real modal box lets through while it
// is open (timer ticks above all).
struct RecordingSink : MessageSink {
  std::vector<Box> boxes;
  std::function<void()> whileOpen;
  int open = 0;

  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    boxes.push_back({text, caption, icon});
    ++open;
    if (whileOpen) whileOpen();
    --open;
  }

  // The one box shown since the last call (empty text when none).
  Box Take() {
    Box box;
    EXPECT_LE(boxes.size(), 1u);
    if (!boxes.empty()) box = boxes.back();
    boxes.clear();
    return box;
  }
};

}  // namespace tamsu::test
