#include "device/page_runner.h"

#include "modbus/number_text.h"

namespace tamsu {

// The seam between the Show operations and field writes and the inputs: reads the text the
// run was handed, and passes on every text it puts into the field.
class PageRunner::Field : public EditField {
 public:
  Field(PageRunner& runner, int id) : runner_(runner), id_(id) {}
  std::string GetText() const override { return runner_.inputs_.Text(id_); }
  void SetText(const std::string& text) override { runner_.Fill(id_, text); }

 private:
  PageRunner& runner_;
  int id_;
};

PageRunner::PageRunner(Link& link, PageDeclaration declaration, MessageSink& messages, PageOutput& output)
    : declaration_(std::move(declaration)), master_(link), messages_(messages), output_(output) {}

void PageRunner::Fill(int id, const std::string& text) {
  inputs_.texts[id] = text;
  if (text.empty())
    output_.FieldEmptied(id);
  else
    output_.FieldFilled(id, text);
}

void PageRunner::Outcome(int id, FieldSource source, std::chrono::system_clock::time_point when) {
  const FieldState state{source, when};
  states_[id] = state;
  output_.FieldOutcome(id, state);
}

uint8_t PageRunner::ReadRow(size_t index, bool showErrors) {
  const Row& row = declaration_.rows[index];
  const ReadOp op = model_.ReadFor(inputs_, row);
  if (!op) return kSuccess;
  if (row.testsPort && master_.GetLink().PortOpen.load() == 0) {
    const RealTimeBox& box = declaration_.realTime;
    messages_.ShowMessage(box.message, box.messageCaption, box.icon);
    return kPortNotOpen;
  }
  if (!row.choices.empty()) {
    // A list shows the entry that stands for the value; on failure it keeps its selection.
    uint16_t value = 0;
    const auto when = clock_();
    const uint8_t result = master_.ReadRegister(op.reg, value);
    if (result != kSuccess) {
      Outcome(row.edit, FieldSource::ReadFailed, when);
      if (showErrors) ReportFailure(messages_, *op.messages, result);
      return result;
    }
    int found = -1;
    for (size_t k = 0; k < row.choices.size() && found < 0; ++k)
      if (row.choices[k].value == value) found = static_cast<int>(k);
    if (found >= 0 || row.unknownClears) {
      inputs_.chosen[row.edit] = found;
      output_.EntryChosen(row.edit, found);
    }
    Outcome(row.edit, FieldSource::Read, when);
    return result;
  }
  if (row.edit == 0) return kSuccess;
  uint32_t value = 0;
  Field field(*this, row.edit);
  const auto when = clock_();
  const uint8_t result = master_.Show(messages_, field, op.reg, op.shown, *op.messages, op.keep, showErrors, &value);
  const FieldSource source = result == kSuccess ? FieldSource::Read : FieldSource::ReadFailed;
  Outcome(row.edit, source, when);
  for (const auto& [edit, shown] : row.alsoShows) {
    const Row* other = model_.RowOfEdit(edit);
    if (!other || !other->choices.empty()) continue;
    // A derived field keeps its text when the read fails, but no longer shows the device's value.
    if (result == kSuccess) Fill(edit, Present(shown, value));
    Outcome(edit, source, when);
  }
  return result;
}

uint8_t PageRunner::WriteRow(size_t index) {
  const Row& row = declaration_.rows[index];
  const WriteOp op = model_.WriteFor(inputs_, row);
  const WriteMessages& words = *op.messages;
  const bool hasField = row.edit != 0 && row.choices.empty();
  const std::string text = hasField ? inputs_.Text(row.edit) : std::string();
  const double number = TextToDouble(text);
  const uint16_t scaled = Low16(number * op.multiplier);
  const bool refused = (op.refuse == WriteOp::Refuse::Zero && number == 0) ||
                       (op.refuse == WriteOp::Refuse::ZeroLow16 && scaled == 0);
  if (refused) {
    messages_.ShowMessage(kEmptyInputText, "Warning", MessageIcon::Exclamation);
    return kSuccess;
  }
  // Field writes need a field; a row without one has nothing to write from.
  if (op.FromField() && !hasField) return kSuccess;
  Field field(*this, row.edit);
  const auto when = clock_();
  uint8_t result = kSuccess;
  switch (op.kind) {
    case WriteOp::Int:
      result = master_.WriteFieldInt(messages_, field, op.reg, words);
      break;
    case WriteOp::Scaled:
      result = master_.WriteFieldScaled(messages_, field, op.reg, op.multiplier, words);
      break;
    case WriteOp::Scaled32:
      result = master_.WriteFieldScaled32(messages_, field, op.reg, op.multiplier, words);
      break;
    case WriteOp::Float:
      result = master_.WriteFieldFloat(messages_, field, op.reg, words);
      break;
    case WriteOp::Fixed:
      result = master_.WriteRegister(op.reg, op.value);
      ReportWrite(messages_, words, result);
      return result;  // a command: the field, if any, is not what was written
    case WriteOp::Choice: {
      // Nothing chosen, nothing written: a value the user never picked is never sent.
      const int k = inputs_.Chosen(row.edit);
      if (k < 0 || k >= static_cast<int>(row.choices.size())) return kSuccess;
      const Choice& choice = row.choices[k];
      result = master_.WriteRegister(choice.reg >= 0 ? static_cast<uint16_t>(choice.reg) : op.reg, choice.value);
      ReportWrite(messages_, words, result);
      break;
    }
    case WriteOp::Pair:
      result = master_.WriteRegisterPair(op.reg, op.value, scaled);
      ReportWrite(messages_, words, result);
      break;
    case WriteOp::None:
      return kSuccess;
  }
  // What the device took is what the field shows; a failed write leaves it typed, not written.
  if (result == kSuccess && row.edit != 0) Outcome(row.edit, FieldSource::Written, when);
  return result;
}

bool PageRunner::Next(const char* doing, size_t row) {
  if (stop_ && stop_()) return false;
  if (say_) {
    std::string what = model_.RowName(row);
    if (what.empty()) what = declaration_.name;
    say_(std::string(doing) + ' ' + what + "\u2026");
  }
  return true;
}

void PageRunner::Inquire(int button, const PageInputs& inputs) {
  inputs_ = inputs;
  for (size_t i = 0; i < declaration_.rows.size(); ++i) {
    const Row& row = declaration_.rows[i];
    if (row.inquire != button) continue;
    if (!Next("Reading", i)) return;
    ReadRow(i, row.showErrors);
  }
}

void PageRunner::SetUp(int button, const PageInputs& inputs) {
  inputs_ = inputs;
  for (size_t i = 0; i < declaration_.rows.size(); ++i) {
    if (declaration_.rows[i].setup != button) continue;
    if (!Next("Writing", i)) return;
    WriteRow(i);
  }
}

bool PageRunner::Press(int button, const PageInputs& inputs) {
  for (const Row& row : declaration_.rows) {
    if (button == 0) break;
    if (row.inquire == button) {
      Inquire(button, inputs);
      return true;
    }
    if (row.setup == button) {
      SetUp(button, inputs);
      return true;
    }
  }
  return false;
}

void PageRunner::BlockRead() {
  const BlockPoll& block = declaration_.block;
  std::vector<uint16_t> words(block.count);
  const auto when = clock_();
  const uint8_t result = master_.ReadRegisters(block.start, block.count, words.data(), block.replyWait);
  for (const BlockField& f : block.fields) {
    if (!model_.RowOfEdit(f.edit)) continue;
    Fill(f.edit, std::string());
    if (f.offset + f.shown.Words() > block.count) continue;
    if (result != kSuccess) {
      Outcome(f.edit, FieldSource::ReadFailed, when);
      continue;
    }
    uint32_t value = words[f.offset];
    if (f.shown.Words() == 2) value = value << 16 | words[f.offset + 1];
    Fill(f.edit, Present(f.shown, value));
    Outcome(f.edit, FieldSource::Read, when);
  }
}

bool PageRunner::RealTimePoll(const PageInputs& inputs) {
  inputs_ = inputs;
  if (declaration_.block.count > 0) {
    if (stop_ && stop_()) return false;
    if (say_) say_("Reading live values\u2026");
    BlockRead();
    return true;
  }
  for (int edit : declaration_.poll) {
    if (model_.Skipped(inputs_, edit)) continue;
    for (size_t i = 0; i < declaration_.rows.size(); ++i)
      if (declaration_.rows[i].edit == edit) {
        if (!Next("Reading", i)) return false;
        ReadRow(i, declaration_.pollShowsErrors);
        break;
      }
  }
  return true;
}

void PageRunner::RealTimeClicked(const PageInputs& inputs) {
  inputs_ = inputs;
  const RealTimeBox& box = declaration_.realTime;
  if (box.testsPort && master_.GetLink().PortOpen.load() == 0) {
    inputs_.ticked = false;
    output_.BoxTicked(false);
    messages_.ShowMessage(box.message, box.messageCaption, box.icon);
  }
  Refresh(inputs_);
}

void PageRunner::SelectorChanged(int selector, const PageInputs& inputs) {
  inputs_ = inputs;
  for (int edit : model_.Blanked(inputs_, selector)) {
    Fill(edit, " ");
    Outcome(edit, FieldSource::NotRead, {});
  }
  Refresh(inputs_);
}

void PageRunner::Refresh(const PageInputs& inputs) {
  inputs_ = inputs;
  for (const auto& [id, enabled] : model_.EnabledStates(inputs_)) output_.ControlEnabled(id, enabled);
}

}  // namespace tamsu
