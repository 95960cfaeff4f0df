#include "cli/session.h"

#include <cstdio>

#include "cli/output.h"
#include "cli/ports.h"

namespace tamsu::cli {

std::string CollectingSink::TakeText() {
  std::string said;
  for (const Message& message : Take()) said += (said.empty() ? "" : " ") + OneLine(message.text);
  return said;
}

Session::Session(const Options& options) : options_(options) { link_.SetObserver(&clock_); }

Session::~Session() {
  link_.SetObserver(nullptr);
  if (options_.timing) {
    const auto ms = std::chrono::duration<double, std::milli>(clock_.Waited()).count();
    std::fprintf(stderr, "tamsu-cli: timing: %zu exchanges, %.1f ms waiting for the line\n", clock_.Exchanges(), ms);
  }
}

std::string ModeName(ConfigMode mode) {
  switch (mode) {
    case ConfigMode::Legacy: return "legacy";
    case ConfigMode::Any255: return "any255";
    case ConfigMode::Any0: return "any0";
  }
  return "legacy";
}

const std::string& Session::Path() {
  if (!path_.empty()) return path_;
  if (options_.port) {
    path_ = ResolvePort(*options_.port);
  } else {
    // As the window does: the first port of the list.
    for (const PortEntry& entry : ListPorts())
      if (entry.state == "available") {
        path_ = entry.path;
        break;
      }
    if (path_.empty()) throw Failure("no serial port found; connect one or name it with --port");
  }
  return path_;
}

ScanOutcome Session::Scan() {
  const std::string& path = Path();
  ScanControls controls;
  controls.showDevice = [this](int address, int baud) {
    deviceAddress_ = address;
    baud_ = static_cast<uint32_t>(baud);
  };
  BaudScan scan(link_, master_, sink_, config_, std::move(controls));
  const ScanOutcome outcome = scan.TestBaudRate(path);
  std::vector<Message> shown = sink_.Take();
  scanMessage_ = shown.empty() ? Message{} : shown.back();
  // The register-block modes always talk at 9600 whatever rate the device reports.
  if (outcome == ScanOutcome::Any255 || outcome == ScanOutcome::Any0) baud_ = BaudScan::kBlockRate;
  return outcome;
}

void Session::Connect(bool scan) {
  const std::string& path = Path();
  if (!scan && options_.address && options_.baud) {
    if (link_.ReopenPort(path, *options_.baud) == 0) throw Failure(path + ": " + kOpenFailedText);
    link_.CurrentAddress = static_cast<uint8_t>(*options_.address);
    deviceAddress_ = *options_.address;
    baud_ = *options_.baud;
    return;
  }
  const ScanOutcome outcome = Scan();
  if (outcome == ScanOutcome::OpenFailed) throw Failure(path + ": " + kOpenFailedText);
  if (outcome == ScanOutcome::Unknown) throw Failure(path + ": " + OneLine(scanMessage_.text));
  if (options_.baud && *options_.baud != baud_) {
    if (link_.ReopenPort(path, *options_.baud) == 0) throw Failure(path + ": " + kOpenFailedText);
    baud_ = *options_.baud;
  }
  if (options_.address) link_.CurrentAddress = static_cast<uint8_t>(*options_.address);
}

}  // namespace tamsu::cli
