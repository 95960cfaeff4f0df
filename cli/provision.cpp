// Provisioning: one plan row per transmitter, each connected in turn to the same port; its
// settings, then its address and rate written, the move confirmed, every setting read back,
// and its record lines appended. A record that already holds a row's transmitter skips it.
#include <bit>
#include <chrono>
#include <istream>
#include <map>
#include <set>
#include <optional>
#include <ostream>
#include <thread>

#include "cli/commands.h"
#include "cli/output.h"
#include "cli/page_session.h"
#include "cli/plan.h"
#include "cli/session.h"
#include "device/device_settings.h"
#include "device/field_text.h"
#include "modbus/frame_text.h"
#include "modbus/frames.h"
#include "modbus/number_text.h"

namespace tamsu::cli {

namespace {

using Steady = std::chrono::steady_clock;

struct Device {
  int address = 0;
  uint32_t baud = 0;
  bool operator==(const Device&) const = default;
};

std::string Describe(const Device& device) {
  return "address " + std::to_string(device.address) + ", " + std::to_string(device.baud) + " baud";
}

class Provisioner {
 public:
  Provisioner(const Options& options, Io& io, Session& session) : options_(options), io_(io), session_(session) {}

  // Provisions the row; its line of the table (status "provisioned").
  std::vector<std::string> Row(const PlanRow& row, size_t number, size_t total);
  std::string At(const PlanRow& row, size_t number) const {
    return "row " + std::to_string(number) + " (" + plan_ + " line " + std::to_string(row.line) + ")";
  }

 private:
  // The device the scan found: its own address and the rate it reports.
  // `absentOk`: a port that cannot be opened is one whose transmitter is being swapped (a
  // virtual port comes and goes with its device), not a failure.
  std::optional<Device> Scan(bool absentOk = false) {
    scanStart_ = Steady::now();
    scanLine_ = session_.Line().Waited();
    const ScanOutcome outcome = session_.Scan();
    if (outcome == ScanOutcome::OpenFailed && absentOk) return std::nullopt;
    if (outcome == ScanOutcome::OpenFailed) throw Failure(session_.Path() + ": " + kOpenFailedText);
    if (outcome == ScanOutcome::Unknown) return std::nullopt;
    return Device{session_.DeviceAddress(), static_cast<uint32_t>(session_.Config().DetectedBaud)};
  }
  Device WaitForNext(const std::string& at, const PlanRow& row, size_t number, size_t total);

 public:
  std::string plan_;
  std::optional<Device> last_;  // the transmitter the previous row left behind

 private:
  const Options& options_;
  Io& io_;
  Session& session_;
  // When the last scan began, and the line time until then: a transmitter's time runs from the
  // scan that found it.
  Steady::time_point scanStart_{};
  Steady::duration scanLine_{};
};

Device Provisioner::WaitForNext(const std::string& at, const PlanRow& row, size_t number, size_t total) {
  const std::string what = "transmitter " + std::to_string(number) + " of " + std::to_string(total) + " (" +
                           row.page + ", to become " + Describe({row.address, row.baud}) + ")";
  if (!options_.autoNext) {
    io_.err << "Connect " << what << " and press Enter: " << std::flush;
    std::string line;
    if (!std::getline(io_.in, line)) throw Failure(at + ": no transmitter connected (end of input)");
    const std::optional<Device> found = Scan();
    if (!found) throw Failure(at + ": " + OneLine(session_.LastScanMessage().text));
    if (last_ && *found == *last_) throw Failure(at + ": the transmitter answering is the one just provisioned; connect the next one");
    return *found;
  }
  io_.err << "Waiting for " << what << "..." << std::endl;
  const auto pause = std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(options_.interval.value_or(1.0)));
  for (;;) {
    const std::optional<Device> found = Scan(true);
    if (found && !(last_ && *found == *last_)) return *found;
    std::this_thread::sleep_for(pause);
  }
}

std::vector<std::string> Provisioner::Row(const PlanRow& row, size_t number, size_t total) {
  const std::string at = At(row, number);
  PageSession page(PageNamed(row.page));
  const std::vector<Setting> settings = page.Prepare(row.settings);
  const Device target{row.address, row.baud};

  const Steady::time_point start = Steady::now();
  const Device found = WaitForNext(at, row, number, total);
  const Steady::time_point connected = scanStart_;
  const Steady::duration waitedBefore = scanLine_;

  try {
    page.WriteAll(session_, settings);
  } catch (const Failure& failure) {
    throw Failure(at + ", " + failure.what());
  }
  // Address and rate last: once they change, the device answers only where the plan puts it.
  DeviceSettings band(session_.GetLink(), session_.Master(), session_.Sink(), session_.Config());
  auto said = [this] { return session_.Sink().TakeText(); };
  if (band.SetAddress(std::to_string(row.address)) != SettingOutcome::Accepted) throw Failure(at + ", address: " + said());
  said();
  if (band.SetBaud(std::to_string(row.address), std::to_string(row.baud), session_.Path()) != SettingOutcome::Accepted)
    throw Failure(at + ", baud rate: " + said());
  said();

  const std::optional<Device> moved = Scan();
  if (!moved) throw Failure(at + ": no transmitter answers after the change (" + OneLine(session_.LastScanMessage().text) + ")");
  if (!(*moved == target)) throw Failure(at + ": the transmitter answers at " + Describe(*moved) + ", not at " + Describe(target));

  std::vector<std::string> shown;
  try {
    shown = page.ReadBack(session_, settings);
  } catch (const Failure& failure) {
    throw Failure(at + ", " + failure.what());
  }
  // The record holds every field the page can read, as the device has it now.
  std::set<int> pressed;
  for (const FieldInfo& field : page.Fields())
    if (field.readable && !pressed.count(field.inquire)) {
      pressed.insert(field.inquire);
      bool setting = false;
      for (const Setting& s : settings) setting |= s.field.inquire == field.inquire;
      if (!setting) page.Read(session_, field, nullptr);
    }
  session_.Sink().Take();

  std::vector<RecordLine> lines;
  const std::string when = RecordTime(std::chrono::system_clock::now()), caption = PageCaption(page.Page());
  for (const FieldReading& reading : page.Model().Readings(page.Inputs(), page.Runner(session_).States()))
    lines.push_back({when, session_.Path(), std::to_string(row.address), std::to_string(row.baud), caption, reading,
                     row.identity});
  AppendRecord(*options_.record, lines);
  last_ = target;

  const Steady::time_point end = Steady::now();
  const double total_s = std::chrono::duration<double>(end - connected).count();
  const double line_s = std::chrono::duration<double>(session_.Line().Waited() - waitedBefore).count();
  char seconds[32], lineSeconds[32], waited[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", total_s);
  std::snprintf(lineSeconds, sizeof lineSeconds, "%.3f", line_s);
  std::snprintf(waited, sizeof waited, "%.3f", std::chrono::duration<double>(connected - start).count());
  if (options_.format == Format::Text)
    io_.out << at << ": " << row.page << " moved from " << Describe(found) << " to " << Describe(target)
            << ", settings read back, recorded (" << seconds << " s from its scan, " << lineSeconds
            << " s of it on the line)\n" << std::flush;
  return {std::to_string(number), std::to_string(row.line), row.page, std::to_string(found.address),
          std::to_string(found.baud), std::to_string(row.address), std::to_string(row.baud), "provisioned", seconds,
          lineSeconds, waited};
}

// A request as the line traffic names it; `moved`: sent before the move, to wherever the scan
// finds the transmitter, so no address is named.
std::string Named(const uint8_t* frame, size_t n, bool beforeMove) {
  std::string said = DescribeRequest(frame, n);
  if (beforeMove) said.resize(said.rfind(" at "));
  return said;
}

// The exchanges a row's run makes, in order, as the line traffic names them.
std::vector<std::string> PlannedExchanges(const PlanRow& row) {
  PageSession page(PageNamed(row.page));
  const std::vector<Setting> settings = page.Prepare(row.settings);
  const PageModel& model = page.Model();
  const PageInputs& inputs = page.Inputs();
  const auto address = static_cast<uint8_t>(row.address);
  std::vector<std::string> said{"scan (Test Baud Rate): 0xFD query at 2400, 4800 and 9600 baud, then comm block read at 255 and 0"};
  uint8_t frame[300];
  auto reads = [&](int inquire, uint8_t at, bool beforeMove) {
    for (const Row& r : page.Page().rows) {
      const ReadOp op = model.ReadFor(inputs, r);
      if (r.inquire == inquire && op && r.edit != 0)
        said.push_back(Named(frame, BuildReadRequest(frame, at, op.reg, static_cast<uint16_t>(op.shown.Words())), beforeMove));
    }
  };
  std::set<int> pressed;
  for (const FieldInfo& other : page.Alongside())
    if (pressed.insert(other.inquire).second) reads(other.inquire, 0, true);
  std::set<int> written;
  for (const Setting& setting : settings) {
    if (!written.insert(setting.field.setup).second) continue;
    for (const Row& r : page.Page().rows) {
      if (r.setup != setting.field.setup) continue;
      const WriteOp op = model.WriteFor(inputs, r);
      const std::string text = inputs.Text(r.edit);
      const double typed = TextToDouble(text);
      size_t n = 0;
      switch (op.kind) {
        case WriteOp::Int: n = BuildWriteSingle(frame, 0, op.reg, static_cast<uint16_t>(DialogUInt(text))); break;
        case WriteOp::Scaled: n = BuildWriteSingle(frame, 0, op.reg, Low16(typed * op.multiplier)); break;
        case WriteOp::Fixed: n = BuildWriteSingle(frame, 0, op.reg, op.value); break;
        case WriteOp::Scaled32:
        case WriteOp::Float: {
          const uint32_t wide = op.kind == WriteOp::Float ? std::bit_cast<uint32_t>(ToSingle(typed)) : Low32(typed * op.multiplier);
          const uint16_t words[] = {static_cast<uint16_t>(wide >> 16), static_cast<uint16_t>(wide & 0xFFFF)};
          n = BuildWriteMany(frame, 0, op.reg, words, 2);
          break;
        }
        case WriteOp::Pair: {
          const uint16_t words[] = {op.value, Low16(typed * op.multiplier)};
          n = BuildWriteMany(frame, 0, op.reg, words, 2);
          break;
        }
        case WriteOp::Choice: {
          const int k = inputs.Chosen(r.edit);
          if (k < 0 || k >= static_cast<int>(r.choices.size())) break;
          const Choice& choice = r.choices[static_cast<size_t>(k)];
          n = BuildWriteSingle(frame, 0, choice.reg >= 0 ? static_cast<uint16_t>(choice.reg) : op.reg, choice.value);
          break;
        }
        case WriteOp::None: break;
      }
      if (n) said.push_back(Named(frame, n, true));
    }
  }
  said.push_back("address " + std::to_string(row.address) + " and " + std::to_string(row.baud) +
                 " baud: 0xFD set address and set baud code, or comm block write, as the scan's mode takes them");
  said.push_back("scan (Test Baud Rate), to find it at address " + std::to_string(row.address) + ", " +
                 std::to_string(row.baud) + " baud");
  pressed.clear();
  for (const Setting& setting : settings)
    if (setting.field.readable && pressed.insert(setting.field.inquire).second) reads(setting.field.inquire, address, false);
  for (const FieldInfo& field : page.Fields())
    if (field.readable && pressed.insert(field.inquire).second) reads(field.inquire, address, false);
  return said;
}

// What becomes of each plan row.
enum class Fate { Provision, Done, Changed };

Fate FateOf(const PlanRow& row, const std::map<size_t, std::set<std::string>>& recorded) {
  const auto line = recorded.find(row.line);
  if (line == recorded.end()) return Fate::Provision;
  return line->second.count(row.identity.substr(row.identity.find(':') + 1)) ? Fate::Done : Fate::Changed;
}

}  // namespace

int RunProvision(const Options& options, Io& io) {
  if (options.words.size() != 1 || (!options.record && !options.dryRun))
    throw UsageError("usage: tamsu-cli provision PLAN.csv --record RECORD.csv [--auto] [--dry-run]");
  const std::string& planFile = options.words[0];
  const std::vector<PlanRow> rows = ReadPlan(planFile);
  // Every row is checked before the first transmitter is touched.
  for (const PlanRow& row : rows) {
    try {
      PageSession page(PageNamed(row.page));
      page.Prepare(row.settings);
    } catch (const UsageError& error) {
      throw UsageError(planFile + ":" + std::to_string(row.line) + ": " + error.what());
    }
  }
  // A record that cannot be kept is found out before the first transmitter moves, not after.
  if (options.record && !options.dryRun) AppendRecord(*options.record, {});
  const auto recorded = options.record ? RecordedRows(*options.record) : std::map<size_t, std::set<std::string>>{};
  auto at = [&](size_t i) { return "row " + std::to_string(i + 1) + " (" + planFile + " line " + std::to_string(rows[i].line) + ")"; };
  static constexpr char kChanged[] = "changed since the record was written there: not provisioned (give the row a line of its own, or use a new record)";

  if (options.dryRun) {
    Table table{{"row", "line", "page", "address", "baud", "status", "exchanges"}, {}};
    for (size_t i = 0; i < rows.size(); ++i) {
      const PlanRow& row = rows[i];
      const Fate fate = FateOf(row, recorded);
      const std::vector<std::string> exchanges = fate == Fate::Provision ? PlannedExchanges(row) : std::vector<std::string>{};
      const char* status = fate == Fate::Provision ? "to provision" : fate == Fate::Done ? "skipped" : "changed";
      if (options.format == Format::Text) {
        io.out << at(i) << ": " << row.page << ", to become " << Describe({row.address, row.baud});
        if (fate == Fate::Done) io.out << ": already in the record, would be skipped";
        if (fate == Fate::Changed) io.out << ": " << kChanged;
        io.out << '\n';
        for (const std::string& exchange : exchanges) io.out << "  " << exchange << '\n';
        continue;
      }
      std::string joined;
      for (const std::string& exchange : exchanges) joined += (joined.empty() ? "" : "; ") + exchange;
      table.Add({std::to_string(i + 1), std::to_string(row.line), row.page, std::to_string(row.address),
                 std::to_string(row.baud), status, joined});
    }
    if (options.format != Format::Text) Print(table, options.format, io.out);
    io.out.flush();
    return kExitOk;
  }

  Session session(options);
  Provisioner provisioner(options, io, session);
  provisioner.plan_ = planFile;
  const Table table{{"row", "line", "page", "found address", "found baud", "address", "baud", "status", "seconds",
                     "line seconds", "waited seconds"},
                    {}};
  bool header = true;
  auto line = [&](std::vector<std::string> cells) {
    if (options.format == Format::Text) return;
    PrintLine(table, cells, options.format, std::exchange(header, false), io.out);
  };
  auto plain = [&](size_t i, const char* status) {
    const PlanRow& row = rows[i];
    line({std::to_string(i + 1), std::to_string(row.line), row.page, "", "", std::to_string(row.address),
          std::to_string(row.baud), status, "", "", ""});
  };
  size_t provisioned = 0, skipped = 0, changed = 0, failed = 0;
  std::string failure;
  size_t i = 0;
  for (; i < rows.size() && failure.empty(); ++i) {
    const PlanRow& row = rows[i];
    switch (FateOf(row, recorded)) {
      case Fate::Done:
        ++skipped;
        if (options.format == Format::Text) io.out << at(i) << ": already in the record, skipped\n";
        plain(i, "skipped");
        provisioner.last_ = Device{row.address, row.baud};
        break;
      case Fate::Changed:
        ++changed;
        io.out.flush();
        io.err << "tamsu-cli: " << at(i) << ": " << kChanged << '\n';
        plain(i, "changed");
        break;
      case Fate::Provision:
        try {
          line(provisioner.Row(row, i + 1, rows.size()));
          ++provisioned;
        } catch (const Failure& error) {
          ++failed;
          failure = error.what();
          plain(i, "failed");
        }
        break;
    }
  }
  const size_t notReached = rows.size() - i;
  for (; i < rows.size(); ++i) plain(i, "not reached");
  io.out.flush();
  if (!failure.empty()) io.err << "tamsu-cli: " << OneLine(failure) << '\n';
  std::ostream& summary = options.format == Format::Text ? io.out : io.err;
  summary << planFile << ": " << rows.size() << (rows.size() == 1 ? " row: " : " rows: ") << provisioned
          << " provisioned, " << skipped << " skipped as done, " << changed << " changed since recorded, " << failed
          << " failed, " << notReached << " not reached\n" << std::flush;
  return changed + failed + notReached == 0 ? kExitOk : kExitFailed;
}

}  // namespace tamsu::cli
