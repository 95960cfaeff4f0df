// Performs a declared page on the line: an "Inquire", a "Set up" or a command by its button id,
// and one pass of the real-time poll, exactly as the window's buttons and timer do. Every read
// and write goes through the page's ModbusMaster (its Show operations and field writes, in
// their own words). It holds no widget: it reads the controls through the inputs it is handed
// and reports what the controls should now show to a PageOutput and its boxes to a
// MessageSink, so it runs wherever the line is driven from.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "device/page_model.h"
#include "modbus/modbus_master.h"
#include "modbus/ui.h"
#include "serial/link.h"

namespace tamsu {

// What a run tells the controls of its page.
class PageOutput {
 public:
  virtual ~PageOutput() = default;
  virtual void FieldEmptied(int id) = 0;
  virtual void FieldFilled(int id, const std::string& text) = 0;
  virtual void EntryChosen(int list, int index) = 0;  // -1: no entry
  virtual void ControlEnabled(int id, bool enabled) = 0;
  virtual void BoxTicked(bool ticked) = 0;
  // The outcome of the exchange that last filled or emptied a field (or failed to).
  virtual void FieldOutcome(int id, const FieldState& state) = 0;
};

// An output that only keeps the page's inputs up to date, for callers with no controls.
class NoOutput : public PageOutput {
 public:
  void FieldEmptied(int) override {}
  void FieldFilled(int, const std::string&) override {}
  void EntryChosen(int, int) override {}
  void ControlEnabled(int, bool) override {}
  void BoxTicked(bool) override {}
  void FieldOutcome(int, const FieldState&) override {}
};

class PageRunner {
 public:
  using Clock = std::function<std::chrono::system_clock::time_point()>;

  PageRunner(Link& link, PageDeclaration declaration, MessageSink& messages, PageOutput& output);

  const PageDeclaration& Declaration() const { return declaration_; }
  const PageModel& Model() const { return model_; }
  ModbusMaster& Master() { return master_; }
  // The inputs as the last run left them: what it was handed, with what it filled in.
  const PageInputs& Inputs() const { return inputs_; }
  // The outcome per field of every exchange this runner made.
  const FieldStates& States() const { return states_; }
  // The time an outcome is stamped with (the wall clock unless a test gives its own).
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // On the line's own thread: before each exchange of a sequence a run asks `stop` (Esc,
  // "Stop", a user's press during a poll) and ends there, leaving the fields not yet read as
  // they were; and tells `say` what it does next ("Reading Temperature…"). Unset: every
  // exchange runs and nothing is said.
  void SetLineHooks(std::function<bool()> stop, std::function<void(const std::string&)> say) {
    stop_ = std::move(stop);
    say_ = std::move(say);
  }

  // The reads of one "Inquire" button (its own row and the rows that share it).
  void Inquire(int button, const PageInputs& inputs);
  // The write of one "Set up" or command button.
  void SetUp(int button, const PageInputs& inputs);
  // Whichever of the two the button is; false when the page has no such button.
  bool Press(int button, const PageInputs& inputs);
  // One pass of the page's live reads: the declared block, or the polled rows in order. False
  // when it stopped before its last read (a partial pass: the fields after it were not read).
  bool RealTimePoll(const PageInputs& inputs);
  // The user clicked the real-time box (its new state is in `inputs`).
  void RealTimeClicked(const PageInputs& inputs);
  // A selector's entry changed: blanks what the entry blanks, then the enabled states.
  void SelectorChanged(int selector, const PageInputs& inputs);
  // Reports every control's enabled state for these inputs.
  void Refresh(const PageInputs& inputs);

 private:
  class Field;

  uint8_t ReadRow(size_t index, bool showErrors);
  uint8_t WriteRow(size_t index);
  void BlockRead();
  void Fill(int id, const std::string& text);
  void Outcome(int id, FieldSource source, std::chrono::system_clock::time_point when);
  // False when the run is to stop here; otherwise says what the next exchange is about.
  bool Next(const char* doing, size_t row);

  PageDeclaration declaration_;
  PageModel model_{declaration_};
  ModbusMaster master_;
  MessageSink& messages_;
  PageOutput& output_;
  PageInputs inputs_;
  FieldStates states_;
  Clock clock_ = [] { return std::chrono::system_clock::now(); };
  std::function<bool()> stop_;
  std::function<void(const std::string&)> say_;
};

}  // namespace tamsu
