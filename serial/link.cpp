#include "serial/link.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "serial/receive_pump.h"

namespace tamsu {

namespace {
// Bytes that are arriving when an exchange starts (chatter, the tail of a late reply) are
// waited out this long at most before they are thrown away.
constexpr std::chrono::milliseconds kQuietLimit{200};
}  // namespace

Link::Link() {
  IncomingRing.Init();
  FrameRing.Init();
  pump_ = std::make_unique<ReceivePump>(*this);
}

Link::~Link() {
  pump_.reset();
  Port.Close();
  PortOpen.store(0);
}

void Link::ClosePort() {
  pump_->Exclusive([this] {
    Port.Close();
    PortOpen.store(0, std::memory_order_release);
  });
  owedUntil_ = {};
}

int Link::ReopenPort(const std::string& devicePath, uint32_t baudRate) {
  int opened = 0;
  pump_->Exclusive([&] {
    // A network line that is still up changes its rate in place: a gateway may hold a closed
    // connection's port for a while, and reconnecting costs a round trip or more.
    const bool changed = !pump_->HungUp() && Port.ChangeRate(devicePath, baudRate);
    PortOpen.store(0, std::memory_order_release);
    if (!changed) {
      Port.Close();
      Port.Configure(devicePath, 8, 0, 0, baudRate);
    }
    opened = changed || Port.Open() ? 1 : 0;
    PortOpen.store(opened, std::memory_order_release);
  });
  // A reply owed on the old line would arrive at another rate or not at all.
  owedUntil_ = {};
  if (opened && observer_) observer_->LineOpened(Port.Transport(), Port.SetsLineRate());
  return opened;
}

void Link::Settle() {
  // A request that got no reply may still be answered: wait that out, dropping what comes. Once
  // the late reply is in, nothing more is owed.
  if (Clock::now() < owedUntil_ && !HungUp() && WaitForFrame(owedUntil_)) DiscardInput(true);
  if (pump_->Collecting()) pump_->WaitUntilQuiet(std::max(Clock::now(), owedUntil_) + kQuietLimit);
  owedUntil_ = {};
  DiscardInput(true);
}

size_t Link::Exchange(size_t requestLength, std::chrono::milliseconds replyWait) {
  lastRequest_ = Clock::now();
  // An unplugged adapter answers nothing: fail at once rather than hold the window.
  if (HungUp()) return 0;
  Settle();
  const uint32_t baud = Port.Settings().baudRate;
  const bool written = Port.Write(TxFrame.data(), requestLength) != 0;
  const int writeError = errno;
  if (!written) {
    // Nothing went out, so no reply can come: none is waited for.
    if (observer_)
      observer_->NotSent(TxFrame.data(), requestLength, baud,
                         writeError == EBADF ? "port closed" : std::generic_category().message(writeError));
    return 0;
  }
  const auto sent = lastRequest_ = Clock::now();
  if (observer_) observer_->Sent(TxFrame.data(), requestLength, baud);
  // The receive thread releases a reply only whole, after the line has gone quiet, so the
  // first bytes seen are the complete reply.
  const auto lateUntil = sent + std::chrono::duration_cast<Clock::duration>(kLateReplyFactor * replyWait);
  bool got = WaitForFrame(sent + replyWait);
  if (!got && pump_->Collecting()) got = WaitForFrame(lateUntil);
  if (!got) {
    // Nothing sent, or nobody left on the line to answer: no reply can be owed.
    if (written && !HungUp()) owedUntil_ = lateUntil;
    if (observer_) observer_->TimedOut(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent));
    return 0;
  }
  const uint16_t n = ReadFrameBytes(RxFrame.data(), static_cast<uint16_t>(RxFrame.size()));
  if (observer_) observer_->Received(RxFrame.data(), n, baud);
  return n;
}

uint16_t Link::ReadFrameBytes(uint8_t* dst, uint16_t max) { return tamsu::ReadFrameBytes(FrameRing, dst, max); }

void Link::DiscardInput() { DiscardInput(false); }

void Link::DiscardInput(bool report) {
  size_t dropped = 0;
  while (const uint16_t n = ReadFrameBytes(RxFrame.data(), static_cast<uint16_t>(RxFrame.size()))) dropped += n;
  // A gateway may still hold more of what is thrown away here. Only then: a purge request
  // before every request would cost a round of acknowledgements each time.
  if (dropped > 0) Port.PurgeRemote();
  if (report && dropped > 0 && observer_) observer_->Discarded(dropped);
}

bool Link::WaitForFrame(Clock::time_point deadline) { return pump_->WaitForFrame(deadline); }

bool Link::HungUp() const { return pump_->HungUp(); }

}  // namespace tamsu
