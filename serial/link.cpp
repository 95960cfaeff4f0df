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
  Forget();
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
  // A reply owed on the old line would arrive at another rate or not at all, and what the old
  // line taught about its transmitter's pace is not this one's.
  Forget();
  if (opened && observer_) observer_->LineOpened(Port.Transport(), Port.SetsLineRate());
  return opened;
}

void Link::SetCompletion(Completion completion) { pump_->SetCompletion(completion); }

void Link::Forget() {
  owedUntil_ = owedSince_ = {};
  learnedWait_ = std::chrono::milliseconds(0);
  lastOwedSilent_ = false;
  answeredRequest_.clear();
  lastReply_.clear();
  pump_->StopExpecting();
}

void Link::ForgoLateReply() {
  owedUntil_ = owedSince_ = {};
  pump_->StopExpecting();
}

void Link::Learn(Clock::duration took) {
  using std::chrono::milliseconds;
  const auto ms = std::chrono::ceil<milliseconds>(took);
  // The time it took, a quarter more and at least 100 ms, for the scheduling of both ends.
  milliseconds want = std::min(ms + std::max(ms / 4, milliseconds(100)), kLongestReplyWait);
  if (want <= kReplyWait) want = milliseconds(0);
  // Longer at once; shorter only once replies come well inside the wait, so jitter does not
  // move it back and forth.
  const bool longer = want > learnedWait_;
  const bool shorter = want < learnedWait_ * 3 / 4;
  if (!longer && !shorter) return;
  learnedWait_ = want;
  if (observer_) observer_->ReplyWaitChanged(std::max(kReplyWait, want), ms);
}

void Link::Settle() {
  // A request that got no reply may still be answered: wait that out. Only a frame from the
  // address asked with a good check ends the wait (a stray byte or noise is thrown away and the
  // wait goes on), and the time it took teaches the wait for the next requests.
  if (owedUntil_ != Clock::time_point{}) {
    bool heard = false;
    for (;;) {
      if (const auto reply = pump_->ExpectedReply(); reply.done) {
        Learn(reply.lastByte - owedSince_);
        heard = true;
        break;
      }
      if (Clock::now() >= owedUntil_ || HungUp()) break;
      if (WaitForFrame(owedUntil_) && !pump_->ExpectedReply().done) {
        DiscardInput(true);
        heard = true;
      }
    }
    lastOwedSilent_ = !heard && FrameRing.Count() == 0 && !pump_->Collecting();
  }
  pump_->StopExpecting();
  if (pump_->Collecting()) pump_->WaitUntilQuiet(std::max(Clock::now(), owedUntil_) + kQuietLimit);
  owedUntil_ = {};
  DiscardInput(true);
}

size_t Link::Exchange(size_t requestLength, std::chrono::milliseconds replyWait, const ReplyExpectation& expected) {
  lastRequest_ = Clock::now();
  // An unplugged adapter answers nothing: fail at once rather than hold the window.
  if (HungUp()) return 0;
  Settle();
  const uint32_t baud = Port.Settings().baudRate;
  // Modbus RTU's manners: a frame starts only after the line has been quiet between frames.
  pump_->WaitForQuiet(InterFrameGap(baud));
  const auto wait = std::max(replyWait, learnedWait_);
  // Until the transmitter has shown its pace, a late reply is waited for as long as any may
  // come; after a request that heard nothing at all, as long as a reply wait allows for.
  auto lateWindow = std::max(std::chrono::duration_cast<Clock::duration>(kLateReplyFactor * replyWait),
                             Clock::duration(wait));
  if (!lastOwedSilent_ || learnedWait_.count() > 0) lateWindow = std::max(lateWindow, Clock::duration(kLongestReplyWait));
  ReplyExpectation armed = expected;
  const bool sameRequest = answeredRequest_.size() == requestLength &&
                           std::equal(answeredRequest_.begin(), answeredRequest_.end(), TxFrame.begin());
  if (!sameRequest && !lastReply_.empty()) {
    armed.copyOf = lastReply_.data();
    armed.copyLength = static_cast<uint16_t>(lastReply_.size());
  }
  pump_->Expect(armed);
  if (const size_t stale = pump_->TakeDropped(); stale > 0 && observer_) observer_->Discarded(stale);
  const bool written = Port.Write(TxFrame.data(), requestLength) != 0;
  const int writeError = errno;
  lastNotSent_ = !written;
  if (!written) {
    // Nothing went out, so no reply can come: none is waited for.
    if (observer_)
      observer_->NotSent(TxFrame.data(), requestLength, baud,
                         writeError == EBADF ? "port closed" : std::generic_category().message(writeError));
    return 0;
  }
  const auto sent = lastRequest_ = Clock::now();
  if (observer_) observer_->Sent(TxFrame.data(), requestLength, baud);
  // The receive thread releases a frame only whole: at the expected reply's last byte, or
  // after the line has gone quiet, so the first bytes seen are a complete frame.
  const auto lateUntil = sent + lateWindow;
  bool got = WaitForFrame(sent + wait);
  if (!got && pump_->Collecting()) got = WaitForFrame(lateUntil);
  if (!got) {
    // Nothing sent, or nobody left on the line to answer: no reply can be owed.
    if (written && !HungUp()) {
      owedUntil_ = lateUntil;
      owedSince_ = sent;
    } else {
      pump_->StopExpecting();
    }
    if (observer_) observer_->TimedOut(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent));
    return 0;
  }
  // The expected reply handed over on its own is taken on its own: what followed it is stale.
  const auto reply = pump_->ExpectedReply();
  const uint16_t take = reply.done && reply.alone ? reply.length : static_cast<uint16_t>(RxFrame.size());
  const uint16_t n = ReadFrameBytes(RxFrame.data(), take);
  const auto complete = reply.done ? reply.handedOver : pump_->LastRelease();
  pump_->StopExpecting();
  lastOwedSilent_ = false;
  if (reply.done) Learn(reply.lastByte - sent);
  answeredRequest_.assign(TxFrame.begin(), TxFrame.begin() + static_cast<std::ptrdiff_t>(requestLength));
  lastReply_.assign(RxFrame.begin(), RxFrame.begin() + n);
  if (observer_)
    observer_->Received(RxFrame.data(), n, baud,
                        std::chrono::duration_cast<std::chrono::microseconds>(std::max(complete, sent) - sent));
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
