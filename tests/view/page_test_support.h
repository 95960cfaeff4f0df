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
  explicit SimulatedLine(const std::string& profile) : SimLine(profile), context_{GetLink(), Sink()} {}
  SimulatedLine(const sim::SimulatorOptions& options, bool open)
      : SimLine(options, open), context_{GetLink(), Sink()} {}

  AppContext& Context() { return context_; }

 private:
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

// Reads through a page's buttons: what the transmitter holds, the buttons pressed, what the
// fields then show and the requests that went out, with no message.
struct ReadCase {
  const char* profile;
  Factory make;
  std::vector<std::pair<uint16_t, uint32_t>> registers;
  std::vector<int> buttons;
  std::vector<std::pair<int, QString>> shown;
  std::vector<Request> requests;
};

inline void ExpectReads(const std::vector<ReadCase>& cases) {
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.profile);
    PageOnSim t(c.profile, c.make);
    for (auto [reg, value] : c.registers) ASSERT_TRUE(Hold(t.line.Sim(), reg, value)) << reg;
    for (int button : c.buttons) t.Click(button);
    for (const auto& [edit, text] : c.shown) EXPECT_EQ(t.Text(edit), text) << edit;
    EXPECT_EQ(t.line.TakeRequests(), c.requests);
    EXPECT_TRUE(t.line.TakeBoxes().empty());
  }
}

// A "Set up": the text typed, the button pressed, the one request that went out and the box.
struct WriteCase {
  const char* profile;
  Factory make;
  int edit, setup;
  const char* text;
  Request write;
};

inline void ExpectWrites(const std::vector<WriteCase>& cases, const Box& box) {
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.profile);
    PageOnSim t(c.profile, c.make);
    t.Set(c.edit, QString::fromUtf8(c.text));
    t.Click(c.setup);
    EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{c.write}) << c.text;
    EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{box}) << c.text;
  }
}

}  // namespace tamsu::test
