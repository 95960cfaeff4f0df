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

namespace tamsu::test {

// A request as (function, register, count or value).
struct Request {
  int function, reg, word;
  bool operator==(const Request&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Request& r) {
  return out << "{fn " << r.function << ", reg 0x" << std::hex << r.reg << ", 0x" << r.word << std::dec << "}";
}

inline Request Read(int reg, int count = 1) { return {0x03, reg, count}; }
inline Request Write(int reg, int value) { return {0x06, reg, value}; }

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

// A simulated transmitter with the tool's link, sink and context. From a profile: address 1,
// 9600 baud, plain Modbus, values held still, the line open to it.
class SimulatedLine {
 public:
  explicit SimulatedLine(const std::string& profile) : SimulatedLine(Options(profile), true) {}
  SimulatedLine(const sim::SimulatorOptions& options, bool open) : simulator_(options), context_{link_, sink_} {
    std::string error;
    EXPECT_TRUE(simulator_.Start(&error)) << error;
    if (!open) return;
    EXPECT_EQ(link_.ReopenPort(simulator_.PortPath(), 9600), 1);
    link_.CurrentAddress = 1;
  }

  sim::TransmitterSimulator& Sim() { return simulator_; }
  Link& GetLink() { return link_; }
  RecordingSink& Sink() { return sink_; }
  AppContext& Context() { return context_; }

  // The requests heard since the last call.
  std::vector<Request> TakeRequests() {
    std::vector<Request> out;
    for (const sim::LogEntry& entry : simulator_.RequestLog()) {
      const auto& b = entry.request;
      if (b.size() >= 6) out.push_back({b[1], b[2] << 8 | b[3], b[4] << 8 | b[5]});
    }
    simulator_.ClearLog();
    return out;
  }

  std::vector<Box> TakeBoxes() { return std::exchange(sink_.boxes, {}); }

  static sim::SimulatorOptions Options(const std::string& profile) {
    sim::SimulatorOptions options;
    options.profile = profile;
    options.device = {.address = 1, .baud = 9600, .protocol = sim::Protocol::Modbus};
    options.drift = false;
    return options;
  }

 private:
  bool application_ = (EnsureApplication(), true);  // before the simulator publishes its port
  sim::TransmitterSimulator simulator_;
  Link link_;
  RecordingSink sink_;
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

// Puts a value into the simulated transmitter: above 0xFFFF into two registers, high word first.
inline bool Hold(sim::TransmitterSimulator& sim, uint16_t reg, uint32_t value) {
  return value > 0xFFFF ? sim.SetRegister32(reg, value) : sim.SetRegister(reg, static_cast<uint16_t>(value));
}

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
