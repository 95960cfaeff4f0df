// What the GUI tests share: an application, a recording message sink, and a simulated
// transmitter behind the tool's link.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "view/app_context.h"
#include "pages/catalogue.h"
#include "view/device_page.h"
#include "serial/link.h"
#include "sim/simulator.h"

#include "tests/support/recording_sink.h"
#include "tests/support/sim_line.h"

namespace tamsu::test {

// GUI tests need an application object; the first line under test makes one. A runtime
// directory of its own keeps the port list to the ports the test publishes.
inline void EnsureApplication() {
  if (qApp) return;
  static char dir[] = "/tmp/tamsu-gui-test-XXXXXX";
  if (!mkdtemp(dir)) std::abort();
  setenv("XDG_RUNTIME_DIR", dir, 1);
  static int argc = 1;
  static char name[] = "tamsu-tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

// Made before the simulator publishes its port.
struct ApplicationFirst {
  ApplicationFirst() { EnsureApplication(); }
};

// A simulated transmitter with the tool's link, sink and context.
class SimulatedLine : private ApplicationFirst, public SimLine {
 public:
  explicit SimulatedLine(const std::string& profile) : SimLine(profile), context_{GetLink(), Sink(), line_} {}
  SimulatedLine(const sim::SimulatorOptions& options, bool open)
      : SimLine(options, open), context_{GetLink(), Sink(), line_} {}

  AppContext& Context() { return context_; }
  LineThread& Line() { return line_; }
  // Until every exchange handed to the line has run and its reports were applied.
  void WaitIdle() { EXPECT_TRUE(line_.WaitIdle()) << "the line is still busy"; }

 private:
  LineThread line_{Sink()};
  AppContext context_;
};

using Factory = std::function<std::unique_ptr<DevicePage>(AppContext&)>;
// The page of the catalogue with this class name, as the window shows it.
inline Factory Make(const char* name) {
  return [name](AppContext& c) -> std::unique_ptr<DevicePage> {
    const PageDeclaration* declaration = FindPage(name);
    if (!declaration) {
      ADD_FAILURE() << "no page " << name;
      std::abort();
    }
    return std::unique_ptr<DevicePage>(CreatePage(c, *declaration));
  };
}

// A page on a simulated transmitter of its kind (the profile is named after the page).
struct PageOnSim {
  PageOnSim(const char* profile, const Factory& make) : line(profile), page(make(line.Context())) {}
  QString Text(int edit) { return page->Edit(edit)->text(); }
  void Set(int edit, const QString& text) { page->Edit(edit)->setText(text); }
  void Click(int button) {
    ASSERT_NE(page->Button(button), nullptr) << button;
    page->Button(button)->click();
    line.WaitIdle();
  }
  // One real-time tick of the page, its reports applied.
  void Poll() {
    page->RealTimePoll();
    line.WaitIdle();
  }
  // Chooses the entry with this text in a selector (or a list field).
  void Choose(int list, const QString& entry) {
    QComboBox* box = page->SelectorBox(list);
    ASSERT_NE(box, nullptr) << list;
    const int index = box->findText(entry);
    ASSERT_GE(index, 0) << entry.toStdString();
    box->setCurrentIndex(index);
  }
  bool Enabled(int id) {
    auto* w = page->findChild<QWidget*>(QString::number(id));
    EXPECT_NE(w, nullptr) << id;
    return w && w->isEnabled();
  }
  SimulatedLine line;
  std::unique_ptr<DevicePage> page;
};

}  // namespace tamsu::test
