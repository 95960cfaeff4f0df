// One run's line to the transmitter: the link, the master, what the message boxes would have
// said, and where the device was found.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "cli/options.h"
#include "device/baud_scan.h"
#include "modbus/modbus_master.h"
#include "modbus/ui.h"
#include "serial/line_observer.h"
#include "serial/link.h"

namespace tamsu::cli {

struct Message {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::None;
};

// Keeps every box instead of showing it.
class CollectingSink : public MessageSink {
 public:
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override {
    messages_.push_back({text, caption, icon});
  }
  std::vector<Message> Take() { return std::exchange(messages_, {}); }
  // The texts of the boxes kept since the last take, each on one line, joined by a blank.
  std::string TakeText();
  bool Empty() const { return messages_.empty(); }

 private:
  std::vector<Message> messages_;
};

// How long the exchanges waited for the line: from each request's write to its reply or its
// time-out.
class LineClock : public LineObserver {
 public:
  void Sent(const uint8_t*, size_t, uint32_t) override { sent_ = Clock::now(); ++exchanges_; }
  void NotSent(const uint8_t*, size_t, uint32_t, const std::string&) override {}
  void Received(const uint8_t*, size_t, uint32_t, std::chrono::microseconds) override { Ended(); }
  void Discarded(size_t) override {}
  void TimedOut(std::chrono::milliseconds) override { Ended(); }
  void ReplyWaitChanged(std::chrono::milliseconds, std::chrono::milliseconds) override {}
  void Outcome(uint8_t, std::chrono::microseconds) override {}

  Clock::duration Waited() const { return waited_; }
  size_t Exchanges() const { return exchanges_; }

 private:
  void Ended() {
    if (sent_ == Clock::time_point{}) return;
    waited_ += Clock::now() - sent_;
    sent_ = {};
  }
  Clock::time_point sent_{};
  Clock::duration waited_{};
  size_t exchanges_ = 0;
};

class Session {
 public:
  explicit Session(const Options& options);
  ~Session();

  // Resolves --port (first listed port when none is given) without opening it; a Failure when
  // it names nothing usable (missing, busy, not permitted).
  const std::string& Path();
  // Opens the line at --address and --baud when both are given; otherwise runs "Test Baud
  // Rate" and takes what it finds for what is not given. `scan`: always run the scan (the
  // address and rate exchanges need its mode). A Failure when no device is reached.
  void Connect(bool scan = false);
  // The scan on its own: its outcome, its message kept in LastScanMessage.
  ScanOutcome Scan();

  Link& GetLink() { return link_; }
  ModbusMaster& Master() { return master_; }
  CollectingSink& Sink() { return sink_; }
  DeviceConfig& Config() { return config_; }
  // The device's own address and the rate the line runs at (as the connection band shows them).
  int DeviceAddress() const { return deviceAddress_; }
  uint32_t Baud() const { return baud_; }
  const Message& LastScanMessage() const { return scanMessage_; }
  const LineClock& Line() const { return clock_; }

 private:
  const Options& options_;
  std::string path_;
  Link link_;
  LineClock clock_;
  ModbusMaster master_{link_};
  CollectingSink sink_;
  DeviceConfig config_;
  int deviceAddress_ = -1;
  uint32_t baud_ = 0;
  Message scanMessage_;
};

std::string ModeName(ConfigMode mode);

}  // namespace tamsu::cli
