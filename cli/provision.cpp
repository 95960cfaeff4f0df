// Provisioning: one plan row per transmitter, each connected in turn to the same port; its
// settings, then its address and rate written, the move confirmed, every setting read back,
// and its record lines appended. A record that already holds a row's transmitter skips it.
#include <chrono>
#include <istream>
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

  void Row(const PlanRow& row, size_t number, size_t total);

 private:
  std::string At(const PlanRow& row, size_t number) const {
    return "row " + std::to_string(number) + " (" + plan_ + " line " + std::to_string(row.line) + ")";
  }
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

void Provisioner::Row(const PlanRow& row, size_t number, size_t total) {
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
    lines.push_back({when, session_.Path(), std::to_string(row.address), std::to_string(row.baud), caption, reading});
  AppendRecord(*options_.record, lines);
  last_ = target;

  const Steady::time_point end = Steady::now();
  const double total_s = std::chrono::duration<double>(end - connected).count();
  const double line_s = std::chrono::duration<double>(session_.Line().Waited() - waitedBefore).count();
  Table table{{"row", "line", "page", "found address", "found baud", "address", "baud", "status", "seconds",
               "line seconds", "waited seconds"},
              {}};
  char seconds[32], lineSeconds[32], waited[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", total_s);
  std::snprintf(lineSeconds, sizeof lineSeconds, "%.3f", line_s);
  std::snprintf(waited, sizeof waited, "%.3f", std::chrono::duration<double>(connected - start).count());
  const std::vector<std::string> out{std::to_string(number), std::to_string(row.line), row.page,
                                     std::to_string(found.address), std::to_string(found.baud),
                                     std::to_string(row.address), std::to_string(row.baud), "done", seconds,
                                     lineSeconds, waited};
  if (options_.format == Format::Text)
    io_.out << at << ": " << row.page << " moved from " << Describe(found) << " to " << Describe(target)
            << ", settings read back, recorded (" << seconds << " s from its scan, " << lineSeconds
            << " s of it on the line)\n" << std::flush;
  else
    PrintLine(table, out, options_.format, number == 1, io_.out);
}

}  // namespace

int RunProvision(const Options& options, Io& io) {
  if (options.words.size() != 1 || !options.record)
    throw UsageError("usage: tamsu-cli provision PLAN.csv --record RECORD.csv [--auto]");
  const std::vector<PlanRow> rows = ReadPlan(options.words[0]);
  // Every row is checked before the first transmitter is touched.
  for (size_t i = 0; i < rows.size(); ++i) {
    try {
      PageSession page(PageNamed(rows[i].page));
      page.Prepare(rows[i].settings);
    } catch (const UsageError& error) {
      throw UsageError(options.words[0] + ":" + std::to_string(rows[i].line) + ": " + error.what());
    }
  }
  const auto done = RecordedDevices(*options.record);

  Session session(options);
  Provisioner provisioner(options, io, session);
  provisioner.plan_ = options.words[0];
  for (size_t i = 0; i < rows.size(); ++i) {
    const PlanRow& row = rows[i];
    const std::string caption = Trim(PageCaption(PageNamed(row.page)));
    if (done.count({caption, std::to_string(row.address), std::to_string(row.baud)})) {
      if (options.format == Format::Text)
        io.out << "row " << i + 1 << " (" << options.words[0] << " line " << row.line << "): already in the record, skipped\n";
      provisioner.last_ = Device{row.address, row.baud};
      continue;
    }
    provisioner.Row(row, i + 1, rows.size());
  }
  return kExitOk;
}

}  // namespace tamsu::cli
