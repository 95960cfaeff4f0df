#include "device/page_model.h"

#include <algorithm>
#include <cctype>
#include <strings.h>

#include "modbus/number_text.h"

namespace tamsu {

namespace {

ReadOp Shown(uint16_t reg, Representation shown, const ReadMessages& messages, bool keep = false) {
  return {reg, std::move(shown), &messages, keep};
}

Representation Fixed(Representation::Kind kind, double scale, int decimals) {
  return {.kind = kind, .scale = scale, .decimals = decimals >= 0 && decimals <= 3 ? decimals : 0};
}

template <typename T>
bool Contains(const std::vector<T>& list, const T& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

ReadOp Unsigned(uint16_t reg) { return Shown(reg, {}, kShowRegisterMessages); }
ReadOp UnsignedNoClear(uint16_t reg) { return Shown(reg, {}, kShowNoClearMessages, true); }
ReadOp Unsigned32(uint16_t reg) {
  return Shown(reg, {.kind = Representation::Kind::Unsigned32}, kShowRegister32Messages);
}
ReadOp Float32(uint16_t reg, int decimals) {
  return Shown(reg, {.kind = Representation::Kind::Float, .decimals = decimals}, kShowFloatMessages);
}
ReadOp Signed(uint16_t reg, double scale, int decimals) {
  return Shown(reg, Fixed(Representation::Kind::Signed, scale, decimals), kShowRegisterMessages);
}
ReadOp UnsignedScaled(uint16_t reg, double scale, int decimals) {
  return Shown(reg, Fixed(Representation::Kind::Unsigned, scale, decimals), kShowScaledMessages);
}
ReadOp Status(uint16_t reg, uint16_t normalCode, uint16_t warningCode) {
  return Shown(reg, {.kind = Representation::Kind::Codes, .codes = {{normalCode, "Normal"}, {warningCode, "Warning"}}},
               kShowNoClearMessages);
}
ReadOp Codes(uint16_t reg, std::vector<std::pair<uint16_t, std::string>> codes) {
  return Shown(reg, {.kind = Representation::Kind::Codes, .codes = std::move(codes)}, kShowRegisterMessages);
}
ReadOp Version(uint16_t reg) { return Shown(reg, {.kind = Representation::Kind::Bytes}, kShowRegisterMessages); }

std::string PageInputs::Text(int id) const {
  const auto it = texts.find(id);
  return it == texts.end() ? std::string() : it->second;
}

int PageInputs::Chosen(int id) const {
  const auto it = chosen.find(id);
  return it == chosen.end() ? -1 : it->second;
}

const char* SourceText(FieldSource source) {
  switch (source) {
    case FieldSource::Read: return "read";
    case FieldSource::Written: return "written";
    case FieldSource::ReadFailed: return "read failed";
    case FieldSource::Typed: return "typed, not written";
    case FieldSource::NotRead: break;
  }
  return "not read";
}

std::string PageModel::Plain(std::string caption) {
  static const std::string kWideColon = "\xEF\xBC\x9A";  // "："
  for (;;) {
    if (!caption.empty() && (caption.back() == ':' || IsSpace(caption.back())))
      caption.pop_back();
    else if (EndsWith(caption, kWideColon))
      caption.resize(caption.size() - kWideColon.size());
    else
      break;
  }
  size_t first = 0;
  while (first < caption.size() && IsSpace(caption[first])) ++first;
  return caption.substr(first);
}

std::string PageModel::RowCaption(size_t index) const {
  const Row& row = d_.rows[index];
  std::string own = Plain(row.caption);
  for (size_t j = 0; own.empty() && row.inquire != 0 && j < d_.rows.size(); ++j)
    if (j != index && d_.rows[j].inquire == row.inquire) own = Plain(d_.rows[j].caption);
  return own;
}

std::string PageModel::RowName(size_t index) const {
  const Row& row = d_.rows[index];
  if (!row.name.empty()) return row.name;
  // The caption a row is known by (its own, or that of the rows its button reads with); a row
  // named outright is told apart by that name and never clashes.
  auto caption = [this](size_t i) { return d_.rows[i].name.empty() ? RowCaption(i) : std::string(); };
  const std::string name = RowCaption(index);
  const std::string unit = Plain(row.unit);
  if (name.empty()) return unit;
  int same = 0;
  for (size_t i = 0; i < d_.rows.size(); ++i) same += d_.rows[i].edit != 0 && caption(i) == name;
  if (same > 1 && !unit.empty()) return unit.front() == '(' ? name + ' ' + unit : name + " (" + unit + ')';
  return name;
}

size_t PageModel::ButtonRow(int inquire) const {
  const size_t none = d_.rows.size();
  size_t first = none, marked = none, line = none;
  for (size_t j = 0; j < d_.rows.size(); ++j) {
    const Row& other = d_.rows[j];
    if (other.inquire != inquire) continue;
    if (first == none) first = j;
    if (other.edit == 0 && line == none) line = j;
    if (other.buttonHere && marked == none) marked = j;
  }
  return line != none ? line : marked != none ? marked : first;
}

const Row* PageModel::RowOfEdit(int edit) const {
  for (const Row& row : d_.rows)
    if (row.edit == edit) return &row;
  return nullptr;
}

const Row* PageModel::FindRow(const std::string& caption) const {
  const std::string wanted = Lower(Plain(caption));
  for (size_t i = 0; i < d_.rows.size(); ++i) {
    const Row& row = d_.rows[i];
    if (row.edit == 0 || row.hidden) continue;
    if (Lower(RowCaption(i)) == wanted || Lower(RowName(i)) == wanted) return &row;
  }
  return nullptr;
}

Texts PageModel::Entries(const Selector& selector) const {
  Texts items = selector.items;
  if (selector.sorted)
    std::stable_sort(items.begin(), items.end(),
                     [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
  return items;
}

const Selector* PageModel::SelectorOf(int id) const {
  for (const Selector& selector : d_.selectors)
    if (selector.id == id) return &selector;
  return nullptr;
}

std::string PageModel::CurrentEntry(const PageInputs& inputs, int selector) const {
  const Selector* s = SelectorOf(selector);
  if (!s) return {};
  const Texts items = Entries(*s);
  const int k = inputs.Chosen(selector);
  return k >= 0 && k < static_cast<int>(items.size()) ? items[k] : std::string();
}

bool PageModel::EntryChosen(const PageInputs& inputs, int selector, const Texts& entries) const {
  const Selector* s = SelectorOf(selector);
  if (!s) return false;
  const int k = inputs.Chosen(selector);
  const Texts items = Entries(*s);
  return k >= 0 && k < static_cast<int>(items.size()) && Contains(entries, items[k]);
}

ReadOp PageModel::ReadFor(const PageInputs& inputs, const Row& row) const {
  for (const Variant& v : row.variants)
    if (v.read && EntryChosen(inputs, v.selector, v.entries)) return v.read;
  return row.read;
}

WriteOp PageModel::WriteFor(const PageInputs& inputs, const Row& row) const {
  for (const Variant& v : row.variants)
    if (v.write && EntryChosen(inputs, v.selector, v.entries)) return v.write;
  return row.write;
}

bool PageModel::Skipped(const PageInputs& inputs, int edit) const {
  for (const SelectorEffect& effect : d_.effects)
    if (Contains(effect.skipPoll, edit) && EntryChosen(inputs, effect.selector, effect.entries)) return true;
  return false;
}

const Representation* PageModel::PolledAs(const PageInputs& inputs, int edit) const {
  const BlockPoll& block = d_.block;
  if (block.count > 0) {
    for (const BlockField& f : block.fields)
      if (f.edit == edit && f.offset + f.shown.Words() <= block.count) return &f.shown;
    return nullptr;
  }
  for (int polled : d_.poll) {
    const Row* row = Skipped(inputs, polled) ? nullptr : RowOfEdit(polled);
    if (!row) continue;
    if (polled == edit) {
      // The variant's representation lives in the declaration, so a pointer to it stays valid.
      for (const Variant& v : row->variants)
        if (v.read && EntryChosen(inputs, v.selector, v.entries)) return &v.read.shown;
      if (row->read) return &row->read.shown;
    }
    for (const auto& [also, shown] : row->alsoShows)
      if (also == edit) return &shown;
  }
  return nullptr;
}

std::optional<WriteRange> PageModel::WriteRangeFor(const PageInputs& inputs, const Row& row) const {
  const WriteOp op = WriteFor(inputs, row);
  const ReadOp read = ReadFor(inputs, row);
  const Representation* shown = read ? &read.shown : nullptr;
  switch (op.kind) {
    case WriteOp::Int: return WriteRangeOf(WriteWidth::Unsigned16, 1, shown);
    case WriteOp::Scaled:
    case WriteOp::Pair: return WriteRangeOf(WriteWidth::Word, op.multiplier, shown);
    case WriteOp::Scaled32: return WriteRangeOf(WriteWidth::Wide, op.multiplier, shown);
    case WriteOp::Float: return WriteRangeOf(WriteWidth::Single, 1, shown);
    default: return std::nullopt;
  }
}

std::optional<std::pair<std::string, std::string>> PageModel::RefusedSetUp(int button, const PageInputs& inputs) const {
  for (size_t i = 0; i < d_.rows.size(); ++i) {
    const Row& row = d_.rows[i];
    if (row.setup != button || row.edit == 0 || !row.choices.empty()) continue;
    const std::optional<WriteRange> span = WriteRangeFor(inputs, row);
    const std::string text = inputs.Text(row.edit);
    const std::optional<double> typed = TypedNumber(text);
    if (!span || !typed || span->Holds(*typed)) continue;
    std::string name = RowName(i);
    if (name.empty()) name = d_.name;
    std::string shownText = text.substr(0, 19);
    while (!shownText.empty() && IsSpace(shownText.back())) shownText.pop_back();
    while (!shownText.empty() && IsSpace(shownText.front())) shownText.erase(shownText.begin());
    return std::pair{std::string(WriteFor(inputs, row).messages->failure.caption),
                     name + ": " + shownText + " is out of range.\nIt can be " + span->Text() + "; nothing was sent."};
  }
  return std::nullopt;
}

std::vector<std::pair<int, bool>> PageModel::EnabledStates(const PageInputs& inputs) const {
  const RealTimeBox& box = d_.realTime;
  std::vector<int> buttons;
  for (const Row& row : d_.rows) {
    if (row.inquire) buttons.push_back(row.inquire);
    if (row.setup) buttons.push_back(row.setup);
  }
  auto lockedByBox = [&](int id) {
    if (!inputs.ticked) return false;
    switch (box.disables.empty() ? box.locks : RealTimeBox::Locks::Listed) {
      case RealTimeBox::Locks::Buttons: return Contains(buttons, id);
      case RealTimeBox::Locks::Listed: return Contains(box.disables, id);
      case RealTimeBox::Locks::Nothing: break;
    }
    return false;
  };
  auto disabledByEntry = [&](int id) {
    for (const SelectorEffect& effect : d_.effects)
      if (Contains(effect.disable, id) && EntryChosen(inputs, effect.selector, effect.entries)) return true;
    return false;
  };
  std::vector<std::pair<int, bool>> out;
  auto add = [&](int id) {
    if (id != 0) out.emplace_back(id, !lockedByBox(id) && !disabledByEntry(id));
  };
  for (size_t i = 0; i < d_.rows.size(); ++i) {
    const Row& row = d_.rows[i];
    if (row.hidden) continue;
    add(row.edit);
    if (row.inquire != 0 && ButtonRow(row.inquire) == i) add(row.inquire);
    add(row.setup);
  }
  for (const Selector& selector : d_.selectors) add(selector.id);
  return out;
}

std::vector<int> PageModel::Blanked(const PageInputs& inputs, int selector) const {
  std::vector<int> out;
  for (const SelectorEffect& effect : d_.effects) {
    if (effect.selector != selector || !EntryChosen(inputs, selector, effect.entries)) continue;
    for (int edit : effect.blank) {
      const Row* row = RowOfEdit(edit);
      if (row && row->choices.empty()) out.push_back(edit);
    }
  }
  return out;
}

std::vector<FieldReading> PageModel::Readings(const PageInputs& inputs, const FieldStates& states) const {
  auto stateOf = [&states](int id) {
    const auto it = states.find(id);
    return it == states.end() ? FieldState{} : it->second;
  };
  std::vector<FieldReading> out;
  for (const Selector& selector : d_.selectors)
    out.push_back({.id = selector.id, .caption = Plain(selector.caption), .text = CurrentEntry(inputs, selector.id),
                   .state = stateOf(selector.id)});

  // Otherwise how a press fills it: its own read, or a read it is derived from.
  auto readAs = [&](const Row& row) -> const Representation* {
    for (const Variant& v : row.variants)
      if (v.read && EntryChosen(inputs, v.selector, v.entries)) return &v.read.shown;
    if (row.read) return &row.read.shown;
    for (const Row& other : d_.rows)
      for (const auto& [also, shown] : other.alsoShows)
        if (also == row.edit) return &shown;
    return nullptr;
  };

  for (size_t i = 0; i < d_.rows.size(); ++i) {
    const Row& row = d_.rows[i];
    if (row.hidden || row.edit == 0) continue;
    FieldReading reading{.id = row.edit, .caption = RowCaption(i), .unit = row.unit, .state = stateOf(row.edit)};
    if (reading.caption.empty()) reading.caption = row.name;
    const Representation* shown = PolledAs(inputs, row.edit);
    reading.polled = shown != nullptr;
    if (!row.choices.empty()) {
      const int k = inputs.Chosen(row.edit);
      reading.text = k >= 0 && k < static_cast<int>(row.choices.size()) ? row.choices[k].text : std::string();
    } else {
      reading.text = inputs.Text(row.edit);
      if (!shown) shown = readAs(row);
      reading.numeric = shown && shown->Numeric();
    }
    out.push_back(std::move(reading));
  }
  return out;
}

std::vector<FieldInfo> PageModel::Fields(const PageInputs& inputs) const {
  std::vector<FieldInfo> out;
  for (size_t i = 0; i < d_.rows.size(); ++i) {
    const Row& row = d_.rows[i];
    if (row.hidden || row.edit == 0) continue;
    FieldInfo info{.id = row.edit, .caption = RowCaption(i), .unit = row.unit, .inquire = row.inquire,
                   .setup = row.setup};
    if (info.caption.empty()) info.caption = RowName(i);
    info.readable = row.inquire != 0 && static_cast<bool>(ReadFor(inputs, row));
    const WriteOp write = WriteFor(inputs, row);
    info.settable = row.setup != 0 && (write.FromField() || write.kind == WriteOp::Pair ||
                                       (write.kind == WriteOp::Choice && !row.choices.empty()));
    info.polled = PolledAs(inputs, row.edit) != nullptr;
    for (const Choice& choice : row.choices) info.entries.push_back(choice.text);
    out.push_back(std::move(info));
  }
  return out;
}

}  // namespace tamsu
