// A page driven as a person drives it, with no display: its controls' state is a PageInputs
// the runner's reports keep up to date, and a disabled button does nothing when clicked.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "device/page_runner.h"
#include "pages/catalogue.h"
#include "tests/support/sim_line.h"

namespace tamsu::test {

class HeadlessPage : private PageOutput {
 public:
  HeadlessPage(Link& link, MessageSink& messages, const PageDeclaration& declaration)
      : runner_(link, declaration, messages, *this) {
    for (const Selector& selector : declaration.selectors) inputs_.chosen[selector.id] = selector.selected;
    for (const Row& row : declaration.rows) {
      if (row.edit != 0 && !row.choices.empty()) inputs_.chosen[row.edit] = -1;
      if (row.edit != 0 && row.choices.empty()) inputs_.texts[row.edit] = "";
    }
    runner_.Refresh(inputs_);
  }

  const PageModel& Model() const { return runner_.Model(); }
  const PageInputs& Inputs() const { return inputs_; }
  const FieldStates& States() const { return states_; }
  PageRunner& Runner() { return runner_; }

  std::string Text(int edit) const { return inputs_.Text(edit); }
  // Typed into a field.
  void Set(int edit, const std::string& text) {
    inputs_.texts[edit] = text;
    states_[edit] = {FieldSource::Typed, {}};
  }
  // The entry with this text chosen in a selector or a list field ("" for none).
  void Choose(int id, const std::string& entry) {
    int index = -1;
    if (const Selector* selector = Model().SelectorOf(id)) {
      const Texts items = Model().Entries(*selector);
      for (size_t k = 0; k < items.size(); ++k)
        if (items[k] == entry) index = static_cast<int>(k);
      ASSERT_TRUE(entry.empty() || index >= 0) << entry;
      inputs_.chosen[id] = index;
      runner_.SelectorChanged(id, inputs_);
      return;
    }
    const Row* row = Model().RowOfEdit(id);
    ASSERT_NE(row, nullptr) << id;
    for (size_t k = 0; k < row->choices.size(); ++k)
      if (row->choices[k].text == entry) index = static_cast<int>(k);
    ASSERT_TRUE(entry.empty() || index >= 0) << entry;
    inputs_.chosen[id] = index;
  }
  std::string Chosen(int list) const {
    const Row* row = Model().RowOfEdit(list);
    const int k = inputs_.Chosen(list);
    return row && k >= 0 && k < static_cast<int>(row->choices.size()) ? row->choices[k].text : std::string();
  }
  bool Enabled(int id) const {
    const auto it = enabled_.find(id);
    return it != enabled_.end() && it->second;
  }
  // A click: nothing happens on a disabled button.
  void Click(int button) {
    ASSERT_TRUE(enabled_.count(button)) << "no button " << button;
    if (Enabled(button)) runner_.Press(button, inputs_);
  }
  void Poll() { runner_.RealTimePoll(inputs_); }
  bool Ticked() const { return inputs_.ticked; }
  // A click on the real-time box.
  void ClickBox() {
    inputs_.ticked = !inputs_.ticked;
    runner_.RealTimeClicked(inputs_);
  }

 private:
  void FieldEmptied(int id) override { inputs_.texts[id].clear(); }
  void FieldFilled(int id, const std::string& text) override { inputs_.texts[id] = text; }
  void EntryChosen(int list, int index) override { inputs_.chosen[list] = index; }
  void ControlEnabled(int id, bool enabled) override { enabled_[id] = enabled; }
  void BoxTicked(bool ticked) override { inputs_.ticked = ticked; }
  void FieldOutcome(int id, const FieldState& state) override { states_[id] = state; }

  PageRunner runner_;
  PageInputs inputs_;
  FieldStates states_;
  std::map<int, bool> enabled_;
};

// A page of this declaration on a simulated transmitter (the profile is named after the page
// unless given).
struct HeadlessOnSim {
  explicit HeadlessOnSim(const PageDeclaration& declaration, const std::string& profile = "")
      : line(profile.empty() ? declaration.name : profile), page(line.GetLink(), line.Sink(), declaration) {}
  SimLine line;
  HeadlessPage page;
};

// A page of the catalogue on a simulated transmitter of its kind, driven headless.
struct PageOnLine {
  explicit PageOnLine(const char* name) : line(name), page(line.GetLink(), line.Sink(), Declaration(name)) {}
  std::string Text(int edit) const { return page.Text(edit); }
  void Set(int edit, const std::string& text) { page.Set(edit, text); }
  void Click(int button) { page.Click(button); }
  void Choose(int id, const std::string& entry) { page.Choose(id, entry); }
  bool Enabled(int id) const { return page.Enabled(id); }
  void Poll() { page.Poll(); }

  static const PageDeclaration& Declaration(const char* name) {
    const PageDeclaration* declaration = FindPage(name);
    if (!declaration) {
      ADD_FAILURE() << "no page " << name;
      std::abort();
    }
    return *declaration;
  }

  SimLine line;
  HeadlessPage page;
};

// Reads through a page's buttons: what the transmitter holds, the buttons pressed, what the
// fields then show and the requests that went out, with no message.
struct ReadCase {
  const char* page;
  std::vector<std::pair<uint16_t, uint32_t>> registers;
  std::vector<int> buttons;
  std::vector<std::pair<int, std::string>> shown;
  std::vector<Request> requests;
};

inline void ExpectReads(const std::vector<ReadCase>& cases) {
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.page);
    PageOnLine t(c.page);
    for (auto [reg, value] : c.registers) ASSERT_TRUE(Hold(t.line.Sim(), reg, value)) << reg;
    for (int button : c.buttons) t.Click(button);
    for (const auto& [edit, text] : c.shown) EXPECT_EQ(t.Text(edit), text) << edit;
    EXPECT_EQ(t.line.TakeRequests(), c.requests);
    EXPECT_TRUE(t.line.TakeBoxes().empty());
  }
}

// A "Set up": the text typed, the button pressed, the one request that went out and the box.
struct WriteCase {
  const char* page;
  int edit, setup;
  const char* text;
  Request write;
};

inline void ExpectWrites(const std::vector<WriteCase>& cases, const Box& box) {
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.page);
    PageOnLine t(c.page);
    t.Set(c.edit, c.text);
    t.Click(c.setup);
    EXPECT_EQ(t.line.TakeRequests(), std::vector<Request>{c.write}) << c.text;
    EXPECT_EQ(t.line.TakeBoxes(), std::vector<Box>{box}) << c.text;
  }
}

}  // namespace tamsu::test
