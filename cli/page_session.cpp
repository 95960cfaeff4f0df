#include "cli/page_session.h"

#include <charconv>
#include <cmath>
#include <set>

#include "cli/options.h"
#include "cli/output.h"
#include "device/field_text.h"
#include "modbus/number_text.h"
#include "pages/catalogue.h"

namespace tamsu::cli {

namespace {

std::string Joined(const Texts& entries) {
  std::string all;
  for (const auto& e : entries) all += (all.empty() ? "'" : ", '") + e + "'";
  return all;
}

// The index of `value` among `entries` (exact, else ignoring case and outer blanks); -1: none.
int EntryIndex(const Texts& entries, const std::string& value) {
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i] == value) return static_cast<int>(i);
  for (size_t i = 0; i < entries.size(); ++i)
    if (Lower(Trim(entries[i])) == Lower(Trim(value))) return static_cast<int>(i);
  return -1;
}

}  // namespace

const PageDeclaration& PageNamed(const std::string& name) {
  if (const PageDeclaration* page = FindPage(name)) return *page;
  throw UsageError("unknown page '" + name + "' (tamsu-cli pages lists them)");
}

std::string PageCaption(const PageDeclaration& page) {
  for (const Category& category : PageCatalogue().Categories())
    for (const DeviceTab& tab : category.tabs)
      if (tab.page == &page) return tab.caption.empty() ? category.caption : category.caption + " / " + tab.caption;
  return page.name;
}

PageSession::PageSession(const PageDeclaration& page) : page_(page), model_(page_) {
  // The selectors show the entry they start with, as the window's do.
  for (const Selector& selector : page_.selectors) inputs_.chosen[selector.id] = selector.selected;
}

FieldInfo PageSession::Field(const std::string& caption) const {
  if (const Row* row = model_.FindRow(caption))
    for (const FieldInfo& field : Fields())
      if (field.id == row->edit) return field;
  throw UsageError(page_.name + " has no field '" + caption + "' (tamsu-cli pages " + page_.name + " lists them)");
}

const Selector* PageSession::SelectorNamed(const std::string& caption) const {
  const std::string wanted = Lower(PageModel::Plain(caption));
  for (const Selector& selector : page_.selectors)
    if (Lower(PageModel::Plain(selector.caption)) == wanted) return &selector;
  return nullptr;
}

void PageSession::Give(const std::string& caption, const std::string& value) {
  if (const Selector* selector = SelectorNamed(caption)) {
    const Texts entries = model_.Entries(*selector);
    const int index = EntryIndex(entries, value);
    if (index < 0) throw UsageError(page_.name + " " + caption + ": '" + value + "' is none of " + Joined(entries));
    inputs_.chosen[selector->id] = index;
    return;
  }
  const FieldInfo field = Field(caption);
  if (!field.entries.empty()) {
    const int index = EntryIndex(field.entries, value);
    if (index < 0) throw UsageError(page_.name + " " + field.caption + ": '" + value + "' is none of " + Joined(field.entries));
    inputs_.chosen[field.id] = index;
    return;
  }
  // The window would write a typo as 0; a script gets an error instead.
  const std::optional<double> number = ShownNumber(value);
  if (!number) throw UsageError(page_.name + " " + field.caption + ": '" + value + "' is not a number");
  // The write converts only the first 19 characters: a longer text goes in as its shortest form.
  std::string text = Trim(value);
  if (text.size() > 19) {
    char shortest[40];
    text.assign(shortest, static_cast<size_t>(std::to_chars(shortest, shortest + sizeof shortest, *number).ptr - shortest));
  }
  inputs_.texts[field.id] = text;
}

void PageSession::CheckFits(const FieldInfo& field) const {
  const Row* row = model_.RowOfEdit(field.id);
  const std::optional<double> number = ShownNumber(inputs_.Text(field.id));
  const std::optional<WriteRange> span = row ? model_.WriteRangeFor(inputs_, *row) : std::nullopt;
  if (!span || !number) return;
  const std::string what = page_.name + " " + field.caption + ": " + Trim(inputs_.Text(field.id));
  if (!span->Holds(*number)) throw UsageError(what + " is out of range " + span->Text());
  if (!span->Whole(*number)) {
    char step[40];
    const char* end = std::to_chars(step, step + sizeof step, 1.0 / span->multiplier).ptr;
    throw UsageError(what + " has more decimals than the field keeps (steps of " + std::string(step, static_cast<size_t>(end - step)) + ")");
  }
  const WriteOp op = model_.WriteFor(inputs_, *row);
  if ((op.refuse == WriteOp::Refuse::Zero && *number == 0) ||
      (op.refuse == WriteOp::Refuse::ZeroLow16 && Low16(*number * op.multiplier) == 0))
    throw UsageError(page_.name + " " + field.caption + ": " + kEmptyInputText);
}

PageRunner& PageSession::Runner(Session& session) {
  if (!runner_) runner_ = std::make_unique<PageRunner>(session.GetLink(), page_, session.Sink(), output_);
  return *runner_;
}

bool PageSession::Press(Session& session, const FieldInfo& field, bool write, std::string* said) {
  PageRunner& runner = Runner(session);
  output_.outcomes.clear();
  if (write) runner.SetUp(field.setup, inputs_);
  else runner.Inquire(field.inquire, inputs_);
  inputs_ = runner.Inputs();
  const std::string words = session.Sink().TakeText();
  if (said) *said = words;
  const auto outcome = output_.outcomes.find(field.id);
  return outcome != output_.outcomes.end() && outcome->second == (write ? FieldSource::Written : FieldSource::Read);
}

bool PageSession::Read(Session& session, const FieldInfo& field, std::string* why) {
  const bool read = Press(session, field, false, why);
  if (!read && why && why->empty()) *why = "no reply";
  return read;
}

bool PageSession::Write(Session& session, const FieldInfo& field, std::string* said) {
  return Press(session, field, true, said);
}

std::string PageSession::Shown(const FieldInfo& field) const {
  if (!field.entries.empty()) {
    const int k = inputs_.Chosen(field.id);
    return k >= 0 && k < static_cast<int>(field.entries.size()) ? field.entries[k] : std::string();
  }
  return Trim(inputs_.Text(field.id));
}

std::vector<FieldReading> PageSession::Readings() const {
  return model_.Readings(inputs_, runner_ ? runner_->States() : FieldStates{});
}

std::vector<Setting> PageSession::Prepare(const std::vector<std::pair<std::string, std::string>>& assignments) {
  std::vector<Setting> settings;
  for (const auto& [caption, value] : assignments) {
    Give(caption, value);
    if (IsSelector(caption)) continue;
    const FieldInfo field = Field(caption);
    if (!field.settable) throw UsageError(page_.name + " " + field.caption + " cannot be set");
    settings.push_back({field, Shown(field)});
  }
  // Once every selector is chosen: it decides how a field is written.
  for (const Setting& setting : settings) CheckFits(setting.field);
  std::set<int> given;
  for (const Setting& setting : settings) given.insert(setting.field.id);
  alongside_.clear();
  for (const FieldInfo& other : Fields())
    for (const Setting& setting : settings)
      if (other.setup == setting.field.setup && other.settable && !given.count(other.id)) {
        if (!other.readable)
          throw UsageError(page_.name + " " + setting.field.caption + ": give " + other.caption + " too (one Set up writes both)");
        alongside_.push_back(other);
        given.insert(other.id);
      }
  return settings;
}

std::map<int, std::string> PageSession::WriteAll(Session& session, const std::vector<Setting>& settings) {
  const PageInputs typed = inputs_;
  for (const FieldInfo& other : alongside_) {
    std::string why;
    if (!Read(session, other, &why)) throw Failure(other.caption + ": " + why);
  }
  // A shared "Inquire" may have read a setting's field too: what was typed goes back in.
  for (const Setting& setting : settings) {
    if (setting.field.entries.empty()) inputs_.texts[setting.field.id] = typed.Text(setting.field.id);
    else inputs_.chosen[setting.field.id] = typed.Chosen(setting.field.id);
  }
  std::map<int, std::string> said;
  for (const Setting& setting : settings) {
    const FieldInfo& field = setting.field;
    if (said.count(field.setup)) continue;
    if (!Write(session, field, &said[field.setup]))
      throw Failure(field.caption + ": " + (said[field.setup].empty() ? "not written" : said[field.setup]));
  }
  return said;
}

std::vector<std::string> PageSession::ReadBack(Session& session, const std::vector<Setting>& settings) {
  std::vector<std::string> shown;
  for (const Setting& setting : settings) {
    const FieldInfo& field = setting.field;
    std::string why;
    if (!field.readable) {
      shown.push_back(setting.value);
      continue;
    }
    if (!Read(session, field, &why)) throw Failure(field.caption + ": written, but the read-back failed: " + why);
    shown.push_back(Shown(field));
    if (!ReadBackMatches(setting.value, shown.back()))
      throw Failure(field.caption + ": wrote " + setting.value + ", read back " +
                    (shown.back().empty() ? "nothing" : shown.back()));
  }
  return shown;
}

bool ReadBackMatches(const std::string& written, const std::string& read) {
  const auto a = ShownNumber(written), b = ShownNumber(read);
  if (a && b) return std::fabs(*a - *b) < std::pow(10.0, -ShownDecimals(read)) * (1 - 1e-9);
  return Trim(written) == Trim(read);
}

}  // namespace tamsu::cli
