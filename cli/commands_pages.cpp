// The subcommands on the pages: their list, reads, writes with read-back, and polls.
#include <chrono>
#include <ctime>
#include <map>
#include <ostream>
#include <set>
#include <thread>

#include "cli/commands.h"
#include "cli/output.h"
#include "cli/page_session.h"
#include "cli/session.h"
#include "device/field_text.h"
#include "pages/catalogue.h"

namespace tamsu::cli {

namespace {

std::string Yes(bool on) { return on ? "yes" : "no"; }

std::string Joined(const Texts& entries) {
  std::string all;
  for (const auto& e : entries) all += (all.empty() ? "" : "; ") + e;
  return all;
}

// "CAPTION=VALUE" split at its first "=".
std::pair<std::string, std::string> Assignment(const std::string& word) {
  const size_t eq = word.find('=');
  if (eq == std::string::npos || eq == 0) throw UsageError("'" + word + "' is no FIELD=VALUE");
  return {word.substr(0, eq), word.substr(eq + 1)};
}

// Local time to the millisecond: polls a tenth of a second apart stay apart.
std::string TimeText(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
  char withMs[48];
  std::snprintf(withMs, sizeof withMs, "%s.%03d", text, static_cast<int>(ms));
  return withMs;
}

// One field's outcome as a script sees it: the device's value only when this exchange read it
// (a page may keep showing an old text after a failed read), with its status and time.
struct Reported {
  std::string caption{}, unit{}, value{}, status{}, time{};
  bool number = false;  // a number JSON gives as a number, not a list entry or a version
  bool read = false;
};

// JSON's own number grammar; "C" formatting gives nothing else for a number, but a code table
// or a device's text never passes as one.
bool JsonNumber(const std::string& text) {
  size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
  const size_t digits = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i == digits || (text[digits] == '0' && i - digits > 1)) return false;
  if (i < text.size() && text[i] == '.') {
    const size_t fraction = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == fraction) return false;
  }
  return i == text.size();
}

Reported Report(const FieldReading& reading, std::chrono::system_clock::time_point since = {}) {
  Reported r{.caption = reading.caption, .unit = reading.unit};
  FieldState state = reading.state;
  if (state.when < since) state = {};  // filled before this tick: not read now
  r.read = state.source == FieldSource::Read;
  r.status = SourceText(state.source);
  if (state.source != FieldSource::NotRead && state.when.time_since_epoch().count() != 0) r.time = TimeText(state.when);
  if (r.read) r.value = Trim(reading.text);
  r.number = reading.numeric && JsonNumber(r.value);
  return r;
}

std::string Json(const Reported& r) {
  const std::string value = r.number ? r.value : r.read ? JsonString(r.value) : "null";
  return "{\"field\":" + JsonString(r.caption) + ",\"value\":" + value + ",\"unit\":" + JsonString(r.unit) +
         ",\"status\":" + JsonString(r.status) + ",\"time\":" + (r.time.empty() ? "null" : JsonString(r.time)) + "}";
}

// What text output shows for a field: its value, or what became of it.
std::string TextValue(const Reported& r) { return r.read ? r.value : r.status; }

}  // namespace

int RunPages(const Options& options, Io& io) {
  if (options.words.size() > 1) throw UsageError("usage: tamsu-cli pages [PAGE]");
  if (options.words.empty()) {
    Table table{{"category", "tab", "page"}, {}, true};
    for (const Category& category : PageCatalogue().Categories())
      for (const DeviceTab& tab : category.tabs) table.Add({category.caption, Trim(tab.caption), tab.page->name});
    Print(table, options.format, io.out);
    return kExitOk;
  }
  PageSession page(PageNamed(options.words[0]));
  Table table{{"field", "unit", "read", "set", "poll", "entries"}, {}, true};
  for (const Selector& selector : page.Page().selectors)
    table.Add({PageModel::Plain(selector.caption), "", "no", "no", "no", Joined(page.Model().Entries(selector))});
  for (const FieldInfo& field : page.Fields())
    table.Add({field.caption, field.unit, Yes(field.readable), Yes(field.settable), Yes(field.polled), Joined(field.entries)});
  Print(table, options.format, io.out);
  return kExitOk;
}

int RunRead(const Options& options, Io& io) {
  if (options.words.empty()) throw UsageError("usage: tamsu-cli read PAGE [FIELD...]");
  PageSession page(PageNamed(options.words[0]));
  // Everything is checked before the line is opened: a typo sends nothing.
  std::vector<FieldInfo> fields;
  for (size_t i = 1; i < options.words.size(); ++i) {
    const std::string& word = options.words[i];
    if (word.find('=') != std::string::npos && page.IsSelector(Assignment(word).first)) {
      page.Give(Assignment(word).first, Assignment(word).second);
      continue;
    }
    const FieldInfo field = page.Field(word);
    if (!field.readable) throw UsageError(page.Page().name + " " + field.caption + " cannot be read");
    fields.push_back(field);
  }
  if (fields.empty())
    for (const FieldInfo& field : page.Fields())
      if (field.readable) fields.push_back(field);
  if (fields.empty()) throw UsageError(page.Page().name + " has no field that can be read");

  Session session(options);
  session.Connect();
  std::string failures;
  std::set<int> pressed;
  std::map<int, std::string> why;
  for (const FieldInfo& field : fields) {
    // Rows that share an "Inquire" are read by one press, as the window's button does.
    if (!pressed.insert(field.inquire).second) continue;
    std::string reason;
    page.Read(session, field, &reason);
    for (const auto& [id, source] : page.Output().outcomes)
      if (source != FieldSource::Read) why[id] = reason;
  }
  std::map<int, FieldReading> readings;
  for (FieldReading& reading : page.Readings()) readings[reading.id] = std::move(reading);
  Table table{{"field", "value", "unit", "status", "time"}, {}};
  std::string json;
  for (const FieldInfo& field : fields) {
    const Reported r = Report(readings[field.id]);
    if (!r.read) {
      const std::string reason = why.count(field.id) && !why[field.id].empty() ? why[field.id] : r.status;
      failures += (failures.empty() ? "" : "; ") + field.caption + ": " + reason;
    }
    if (options.format == Format::Text) table.Add({field.caption, TextValue(r), r.read ? field.unit : ""});
    else table.Add({field.caption, r.value, field.unit, r.status, r.time});
    json += (json.empty() ? "\n " : ",\n ") + Json(r);
  }
  if (options.format == Format::Json) {
    io.out << '[' << json << (json.empty() ? "]\n" : "\n]\n") << std::flush;
  } else {
    Print(table, options.format, io.out);
  }
  if (!failures.empty()) throw Failure(failures);
  return kExitOk;
}

int RunSet(const Options& options, Io& io) {
  if (options.words.size() < 2) throw UsageError("usage: tamsu-cli set PAGE FIELD=VALUE...");
  PageSession page(PageNamed(options.words[0]));
  std::vector<std::pair<std::string, std::string>> assignments;
  for (size_t i = 1; i < options.words.size(); ++i) assignments.push_back(Assignment(options.words[i]));
  const std::vector<Setting> settings = page.Prepare(assignments);
  if (settings.empty()) throw UsageError("usage: tamsu-cli set PAGE FIELD=VALUE...");

  Session session(options);
  session.Connect();
  const std::map<int, std::string> said = page.WriteAll(session, settings);
  const std::vector<std::string> shown = page.ReadBack(session, settings);
  Table table{{"field", "value", "unit", "message"}, {}};
  for (size_t i = 0; i < settings.size(); ++i) {
    const FieldInfo& field = settings[i].field;
    table.Add({field.caption, shown[i], field.unit, said.at(field.setup)});
  }
  Print(table, options.format, io.out);
  return kExitOk;
}

int RunPoll(const Options& options, Io& io) {
  if (options.words.empty()) throw UsageError("usage: tamsu-cli poll PAGE [--interval S] [--count N]");
  PageSession page(PageNamed(options.words[0]));
  for (size_t i = 1; i < options.words.size(); ++i) {
    const auto [caption, value] = Assignment(options.words[i]);
    if (!page.IsSelector(caption)) throw UsageError(page.Page().name + ": '" + caption + "' is no selector");
    page.Give(caption, value);
  }
  std::vector<FieldInfo> polled;
  for (const FieldInfo& field : page.Fields())
    if (field.polled) polled.push_back(field);
  if (polled.empty()) throw UsageError(page.Page().name + " has no real-time poll");

  Session session(options);
  session.Connect();
  page.Inputs().ticked = true;
  Table text{{"time"}, {}};
  for (const FieldInfo& field : polled)
    text.columns.push_back(field.unit.empty() ? field.caption : field.caption + " (" + field.unit + ")");
  const Table csv{{"tick", "field", "value", "unit", "status", "time"}, {}};
  const auto interval = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(options.interval.value_or(1.0)));
  auto next = std::chrono::steady_clock::now();
  bool failed = false;
  for (long tick = 0; !options.count || tick < *options.count; ++tick) {
    if (tick) {
      next += interval;
      // A poll that overran its interval starts the next at once, without a burst of catch-ups.
      const auto now = std::chrono::steady_clock::now();
      if (next < now) next = now;
      std::this_thread::sleep_until(next);
    }
    const auto started = std::chrono::system_clock::now();
    PageRunner& runner = page.Runner(session);
    runner.RealTimePoll(page.Inputs());
    page.Inputs() = runner.Inputs();
    session.Sink().Take();
    std::map<int, FieldReading> readings;
    for (FieldReading& reading : page.Readings()) readings[reading.id] = std::move(reading);
    const std::string number = std::to_string(tick + 1), when = TimeText(started);
    std::vector<std::string> line{when};
    std::string json, missing;
    for (const FieldInfo& field : polled) {
      const Reported r = Report(readings[field.id], started);
      if (!r.read) missing += (missing.empty() ? "" : ", ") + field.caption + " " + r.status;
      line.push_back(TextValue(r));
      json += (json.empty() ? "" : ",") + Json(r);
      if (options.format == Format::Csv)
        PrintLine(csv, {number, field.caption, r.value, field.unit, r.status, r.time}, Format::Csv,
                  tick == 0 && &field == &polled.front(), io.out);
    }
    if (options.format == Format::Text) PrintLine(text, line, Format::Text, false, io.out);
    if (options.format == Format::Json)
      io.out << "{\"tick\":" << number << ",\"time\":" << JsonString(when) << ",\"fields\":[" << json << "]}\n" << std::flush;
    if (!missing.empty()) {
      io.err << "tamsu-cli: tick " << number << ": " << missing << '\n' << std::flush;
      failed = true;
    }
  }
  return failed ? kExitFailed : kExitOk;
}

}  // namespace tamsu::cli
