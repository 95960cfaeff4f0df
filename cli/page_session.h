// A page of the catalogue driven from the command line: its fields named by caption, the
// inputs a command line gives them, and its runner on the session's line.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/session.h"
#include "device/page_model.h"
#include "device/page_runner.h"

namespace tamsu::cli {

// The page of that class name; a UsageError naming the command that lists them otherwise.
const PageDeclaration& PageNamed(const std::string& name);
// "Gas /  CO2 " as the window's record names the page.
std::string PageCaption(const PageDeclaration& page);

// Keeps the outcome of each field of the last run.
class OutcomeOutput : public NoOutput {
 public:
  void FieldOutcome(int id, const FieldState& state) override { outcomes[id] = state.source; }
  std::map<int, FieldSource> outcomes;
};

// A field to set and the value typed for it (a list's entry as its text).
struct Setting {
  FieldInfo field;
  std::string value;
};

class PageSession {
 public:
  explicit PageSession(const PageDeclaration& page);

  const PageDeclaration& Page() const { return page_; }
  const PageModel& Model() const { return model_; }
  PageInputs& Inputs() { return inputs_; }
  std::vector<FieldInfo> Fields() const { return model_.Fields(inputs_); }

  // A field by caption (case and colon aside); a UsageError naming the page otherwise.
  FieldInfo Field(const std::string& caption) const;
  const Selector* SelectorNamed(const std::string& caption) const;
  // Puts a typed value into the inputs: a list's entry, a selector's entry, a number for a field
  // that is written as one. A UsageError for anything the page would not send as meant.
  void Give(const std::string& caption, const std::string& value);
  // Whether `caption` names a selector (a choice of how the page reads, never written).
  bool IsSelector(const std::string& caption) const { return SelectorNamed(caption) != nullptr; }

  // Checks FIELD=VALUE assignments and puts them into the inputs (a selector's is only chosen);
  // a UsageError before anything is sent when a field is unknown, cannot be set, or a value is
  // no number or no entry of its list.
  std::vector<Setting> Prepare(const std::vector<std::pair<std::string, std::string>>& assignments);
  // Presses each "Set up" once; a "Set up" that writes further fields writes them with what the
  // device holds now (read first), never an empty field's 0. The page's words per "Set up"
  // button; a Failure "FIELD: words" at the first that fails.
  std::map<int, std::string> WriteAll(Session& session, const std::vector<Setting>& settings);
  // Reads each readable setting back; a Failure when a read fails or shows another value.
  // What each shows now (the typed value where it cannot be read).
  std::vector<std::string> ReadBack(Session& session, const std::vector<Setting>& settings);

  // Fields the last Prepare found a "Set up" writes besides the settings (read first).
  const std::vector<FieldInfo>& Alongside() const { return alongside_; }

  // The runner on the line, made at the first use.
  PageRunner& Runner(Session& session);
  OutcomeOutput& Output() { return output_; }

  // Reads the field with its "Inquire"; false with the page's words (or why) in `why`.
  bool Read(Session& session, const FieldInfo& field, std::string* why);
  // Writes the field with its "Set up" and tells the page's words of the outcome.
  bool Write(Session& session, const FieldInfo& field, std::string* said);
  // What the field shows now: its text, or a list's entry chosen.
  std::string Shown(const FieldInfo& field) const;
  // Every field as the window's record sees it: its text and the outcome and time of the
  // exchange that last filled it (the runner's own).
  std::vector<FieldReading> Readings() const;

 private:
  // A UsageError when the number typed for `field` is one its write cannot carry: out of range,
  // finer than the device keeps, or a value the page refuses.
  void CheckFits(const FieldInfo& field) const;
  // Presses the field's "Set up" or "Inquire"; whether the field was written or read, and the
  // boxes' words.
  bool Press(Session& session, const FieldInfo& field, bool write, std::string* said);

  const PageDeclaration& page_;
  PageModel model_;
  PageInputs inputs_;
  OutcomeOutput output_;
  std::unique_ptr<PageRunner> runner_;
  // Fields a shared "Set up" writes besides the settings: read before the write.
  std::vector<FieldInfo> alongside_;
};

// The value read back stands for the value written: numbers within one step of what the field
// shows (a write truncates to the device's resolution), anything else as the same text.
bool ReadBackMatches(const std::string& written, const std::string& read);

}  // namespace tamsu::cli
