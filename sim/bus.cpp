#include "sim/bus.h"

#include <algorithm>
#include <charconv>

#include "modbus/frames.h"
#include "sim/profile.h"
#include "sim/simulator.h"

namespace tamsu::sim {

namespace {

bool Whole(std::string_view s, long& out) {
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return !s.empty() && ec == std::errc() && p == s.data() + s.size();
}

std::optional<BusDevice> Refuse(std::string* problem, std::string why) {
  if (problem) *problem = std::move(why);
  return std::nullopt;
}

}  // namespace

std::optional<BusDevice> ParseBusDevice(std::string_view text, const DeviceConfig& defaults, std::string* problem) {
  const size_t at = text.find('@');
  if (at == std::string_view::npos || at == 0) return Refuse(problem, "--device takes PROFILE@ADDRESS[:BAUD[:PROTOCOL]]");
  BusDevice device{std::string(text.substr(0, at)), defaults};
  if (!FindProfile(device.profile)) return Refuse(problem, "unknown profile: " + device.profile + " (see --list-profiles)");
  std::string_view rest = text.substr(at + 1);
  std::string_view parts[3];
  size_t count = 0;
  for (;;) {
    const size_t colon = rest.find(':');
    if (count == 3) return Refuse(problem, "--device takes PROFILE@ADDRESS[:BAUD[:PROTOCOL]]");
    parts[count++] = rest.substr(0, colon);
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  long n = 0;
  if (!Whole(parts[0], n) || n < 1 || n > 247) return Refuse(problem, "--device address takes 1..247");
  device.config.address = static_cast<uint8_t>(n);
  if (count > 1) {
    if (!Whole(parts[1], n) || n <= 0 || BaudCodeOf(static_cast<uint32_t>(n)) < 0)
      return Refuse(problem, "--device rate takes 1200, 2400, 4800, 9600, 19200 or 38400");
    device.config.baud = static_cast<uint32_t>(n);
  }
  if (count > 2) {
    const auto protocol = ParseProtocol(parts[2]);
    if (!protocol) return Refuse(problem, "--device protocol takes legacy, any255, any0 or modbus");
    device.config.protocol = *protocol;
  }
  return device;
}

TimedReply Collide(const std::vector<TimedReply>& replies, std::chrono::steady_clock::duration byteTime) {
  if (replies.empty()) return {};
  if (byteTime <= byteTime.zero()) byteTime = std::chrono::microseconds(1);
  const auto first = std::min_element(replies.begin(), replies.end(),
                                      [](const TimedReply& a, const TimedReply& b) { return a.start < b.start; })->start;
  TimedReply line{first, {}};
  for (const TimedReply& r : replies) {
    // Whole byte times from the first: a receiver samples each byte on its own start bit.
    const auto slot = static_cast<size_t>((r.start - first + byteTime / 2) / byteTime);
    if (line.bytes.size() < slot + r.bytes.size()) line.bytes.resize(slot + r.bytes.size(), 0xFF);  // idle: mark
    for (size_t i = 0; i < r.bytes.size(); ++i) line.bytes[slot + i] &= r.bytes[i];
  }
  return line;
}

void TransmitterSimulator::AnswerOnBus(const std::vector<uint8_t>& frame, Clock::time_point now) {
  LogEntry entry{now, frame, {}, LineBaud(), true};
  const Clock::time_point start = ReplyStart(frame.size(), now);
  const auto byteTime = ByteTime();
  std::vector<TimedReply> sent;
  {
    std::lock_guard lock(mutex_);
    const uint32_t line = LineBaud();
    for (Transmitter& device : devices_) {
      if (device.Config().baud != line) continue;  // heard as noise: keeps quiet
      tamsu::sim::Answer a = device.Handle(frame.data(), frame.size(), Seconds(now));
      // Its reply is already made: a new address or rate may take effect at once.
      if (a.after) device.SetConfig(*a.after);
      // No two transmitters answer in step: each one a byte time after the one before it.
      if (!a.reply.empty()) sent.push_back({start + static_cast<Clock::rep>(sent.size()) * byteTime, std::move(a.reply)});
    }
  }
  if (!sent.empty()) {
    TimedReply onLine = Collide(sent, byteTime);
    entry.reply = onLine.bytes;
    Queue({onLine.start, std::move(onLine.bytes)});
  }
  Log(std::move(entry));
}

}  // namespace tamsu::sim
