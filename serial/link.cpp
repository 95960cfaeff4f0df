#include "serial/link.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
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
  recent_.clear();
  owed_.clear();
  pump_->StopExpecting();
}

void Link::ForgoLateReply() {
  owedUntil_ = owedSince_ = {};
  owed_.clear();
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

void Link::Remember(const uint8_t* frame, size_t n, Clock::time_point lastByte) {
  if (n == 0) return;
  const auto now = Clock::now();
  while (!recent_.empty() && recent_.front().lastByte + kCopyLag < now) recent_.pop_front();
  recent_.push_back({std::vector<uint8_t>(frame, frame + n), lastByte});
}

bool Link::CopyOfRecent(const uint8_t* frame, size_t n, Clock::time_point lastByte) {
  for (const Recent& r : recent_) {
    if (r.lastByte + kCopyLag < lastByte || r.bytes.size() < n) continue;
    // Inside another frame too: an earlier reply run together with noise was heard only so.
    if (std::search(r.bytes.begin(), r.bytes.end(), frame, frame + n) != r.bytes.end()) return true;
  }
  return false;
}

bool Link::OwedCouldSend(const uint8_t* frame, size_t n, Clock::time_point at) {
  return std::any_of(owed_.begin(), owed_.end(),
                     [&](const Owed& o) { return at < o.sent + kLateHorizon && o.shape.Matches(frame, n); });
}

void Link::Owe(const ReplyExpectation& expected, Clock::time_point sent) {
  const auto now = Clock::now();
  std::erase_if(owed_, [&](const Owed& o) { return o.sent + kLateHorizon <= now; });
  ReplyExpectation shape = expected;
  shape.echo = nullptr;  // the request's bytes are not kept
  shape.echoLength = 0;
  owed_.push_back({shape, sent});
}

Link::Clock::time_point Link::OwedHorizon() const {
  Clock::time_point until{};
  for (const Owed& o : owed_) until = std::max(until, o.sent + kLateHorizon);
  return until;
}

bool Link::Drained(const uint8_t* frame, size_t n, Clock::time_point lastByte) {
  // A late reply that could be nobody else's, and no copy, lets its request go.
  bool settled = false;
  const auto could = [&](const Owed& o) { return lastByte < o.sent + kLateHorizon && o.shape.Matches(frame, n); };
  if (std::count_if(owed_.begin(), owed_.end(), could) == 1 && !CopyOfRecent(frame, n, lastByte)) {
    const auto owed = std::find_if(owed_.begin(), owed_.end(), could);
    if (owed->sent == owedSince_) {
      Learn(lastByte - owedSince_);
      settled = true;
    }
    owed_.erase(owed);
  }
  Remember(frame, n, lastByte);
  return settled;
}

void Link::Settle() {
  // A request that got no reply may still be answered: wait that out. Only its reply (a frame
  // that could be nobody else's) ends the wait; anything else is thrown away and the wait goes
  // on, and the time it took teaches the wait for the next requests.
  if (owedUntil_ != Clock::time_point{}) {
    bool heard = false, answered = false;
    uint8_t frame[RingBuffer::kSize];
    size_t dropped = 0;
    while (!answered) {
      ReceivePump::Frame info;
      while (const uint16_t n = pump_->TakeFrame(frame, sizeof frame, &info)) {
        heard = true;
        dropped += n;
        answered = Drained(frame, n, info.lastByte) || answered;
      }
      if (answered || Clock::now() >= owedUntil_ || HungUp()) break;
      WaitForFrame(owedUntil_);
    }
    if (dropped > 0) {
      Port.PurgeRemote();
      if (observer_) observer_->Discarded(dropped);
    }
    lastOwedSilent_ = !heard && FrameRing.Count() == 0 && !pump_->Collecting();
  }
  pump_->StopExpecting();
  if (pump_->Collecting()) pump_->WaitUntilQuiet(std::max(Clock::now(), owedUntil_) + kQuietLimit);
  owedUntil_ = {};
  DiscardInput(true);
}

void Link::ClearForChange(const ReplyExpectation& expected) {
  for (;;) {
    Clock::time_point until{};
    for (const Recent& r : recent_)
      if (expected.FoundIn(r.bytes.data(), r.bytes.size())) until = std::max(until, r.lastByte + kCopyLag);
    for (const Owed& o : owed_)
      if (o.shape.Overlaps(expected)) until = std::max(until, o.sent + kLateHorizon);
    if (Clock::now() >= until || HungUp()) return;
    // What arrives meanwhile is thrown away as before any request (a late reply lets its request go).
    if (WaitForFrame(until)) DiscardInput(true);
  }
}

bool Link::Send(size_t requestLength, const ReplyExpectation& armed, Clock::time_point& sent, bool again) {
  const uint32_t baud = Port.Settings().baudRate;
  // Modbus RTU's manners: a frame starts only after the line has been quiet between frames.
  pump_->WaitForQuiet(InterFrameGap(baud));
  pump_->Expect(armed);
  std::vector<uint8_t> stale;
  Clock::time_point staleAt{};
  if (const size_t n = pump_->TakeDropped(&stale, &staleAt); n > 0) {
    Remember(stale.data(), stale.size(), staleAt);
    if (observer_) observer_->Discarded(n);
  }
  const bool written = Port.Write(TxFrame.data(), requestLength) != 0;
  const int writeError = errno;
  lastNotSent_ = !written;
  if (!written) {
    // Nothing went out, so no reply can come: none is waited for.
    pump_->StopExpecting();
    if (observer_)
      observer_->NotSent(TxFrame.data(), requestLength, baud,
                         writeError == EBADF ? "port closed" : std::generic_category().message(writeError));
    return false;
  }
  sent = lastRequest_ = Clock::now();
  if (observer_) {
    if (again) observer_->SentAgain(TxFrame.data(), requestLength, baud);
    else observer_->Sent(TxFrame.data(), requestLength, baud);
  }
  return true;
}

struct Link::Heard {
  Clock::time_point sent;       // when the request listened for went out
  Clock::time_point deadline;   // its reply wait
  Clock::time_point lateUntil;  // a frame still arriving at the deadline is waited for until then
  Clock::time_point lastHeard{};  // the last byte of the last frame judged
  bool anyFrame = false;        // something besides the echo came
  int echoes = 0;
  bool taken = false;
  std::vector<uint8_t> reply;
  Clock::time_point replyLastByte{};
  // Replies in doubt; `late`: one of them could be a late reply to a request still owed.
  std::vector<std::vector<uint8_t>> held;
  bool late = false;
  bool confirming = false;  // the request asked again: its first reply decides
  bool decided = false;
  // The first frame refused that the caller's checks can only refuse too (a bad check, or no
  // longer than the reply): handed on when no reply is taken, so they name the failure.
  std::vector<uint8_t> refused;
};

void Link::Judge(const ReplyExpectation& expected, const uint8_t* frame, uint16_t n, Clock::time_point lastByte,
                 Heard& heard) {
  const uint32_t baud = Port.Settings().baudRate;
  auto refuse = [&](const char* why) {
    if (observer_) observer_->Refused(frame, n, baud, why);
  };
  heard.lastHeard = std::max(heard.lastHeard, lastByte);
  // The adapter's echo: every copy of a request whose reply cannot be its bytes; on a line
  // known to echo, the first copy of one whose reply can.
  if (expected.IsEchoBytes(frame, n) && (!expected.replyMayEcho || (expected.lineEchoes && heard.echoes == 0))) {
    ++heard.echoes;
    refuse(kEchoesText);
    if (!expected.replyMayEcho && !echoes_) {
      SetEchoes(true);
      if (observer_) observer_->Refused(nullptr, 0, baud, kEchoesText);
    }
    return;  // not kept for the copy check: a write's acknowledgement repeats these bytes
  }
  heard.anyFrame = true;
  if (!expected.Matches(frame, n)) {
    const bool intact = expected.intact != nullptr && expected.intact(frame, n);
    if (heard.refused.empty() && (!intact || n <= expected.length)) heard.refused.assign(frame, frame + n);
    Remember(frame, n, lastByte);
    refuse(n < 4                                                  ? "noise"
           : !expected.anyAddress && frame[0] != expected.address ? "another address"
           : !intact                                              ? "bad check"
                                                                  : "not the reply to this request");
    return;
  }
  const auto same = [&](const std::vector<uint8_t>& h) { return h.size() == n && std::equal(h.begin(), h.end(), frame); };
  if (heard.confirming) {
    // The answer to the request asked again: taken only when it is one of the replies in doubt.
    Remember(frame, n, lastByte);
    heard.decided = true;
    if (std::any_of(heard.held.begin(), heard.held.end(), same)) {
      heard.taken = true;
      heard.reply.assign(frame, frame + n);
      heard.replyLastByte = lastByte;
    } else {
      refuse("not the reply in doubt: the value is not taken");
    }
    return;
  }
  const bool copy = CopyOfRecent(frame, n, lastByte);
  const bool late = OwedCouldSend(frame, n, lastByte);
  Remember(frame, n, lastByte);
  if (!copy && !late) {
    heard.taken = true;
    heard.reply.assign(frame, frame + n);
    heard.replyLastByte = lastByte;
    return;
  }
  if (std::none_of(heard.held.begin(), heard.held.end(), same)) heard.held.emplace_back(frame, frame + n);
  heard.late = heard.late || late;
  refuse(copy ? "in doubt: may be a copy of an earlier frame" : "in doubt: may be a late reply to an earlier request");
}

void Link::Listen(const ReplyExpectation& expected, Heard& heard) {
  uint8_t frame[RingBuffer::kSize];
  bool extended = false;
  for (;;) {
    ReceivePump::Frame info;
    while (const uint16_t n = pump_->TakeFrame(frame, sizeof frame, &info)) {
      Judge(expected, frame, n, info.lastByte, heard);
      if (heard.taken || heard.decided) return;
    }
    // A reply in doubt: the line is let go quiet past any copy of what was heard and, when it
    // may be a late reply, past every request still owed and this one's own late replies.
    auto until = heard.deadline;
    if (!heard.held.empty() && !heard.confirming) {
      until = heard.lastHeard + kCopyLag;
      if (heard.late) until = std::max({until, OwedHorizon(), heard.sent + kLateHorizon});
    }
    const auto now = Clock::now();
    if (now >= until) {
      // A frame already arriving is still taken whole.
      if (HungUp() || !pump_->Collecting()) return;
      if (heard.held.empty() || heard.confirming) {
        if (extended || now >= heard.lateUntil) return;
        extended = true;
        until = heard.lateUntil;
      } else {
        until = now + kQuietLimit;
      }
    }
    if (HungUp()) return;
    WaitForFrame(until);
  }
}

size_t Link::Deliver(const uint8_t* frame, uint16_t n, Clock::time_point lastByte, Clock::time_point sent) {
  std::copy(frame, frame + n, RxFrame.begin());
  pump_->StopExpecting();
  lastOwedSilent_ = false;
  Learn(lastByte - sent);
  if (observer_)
    observer_->Received(RxFrame.data(), n, Port.Settings().baudRate,
                        std::chrono::duration_cast<std::chrono::microseconds>(std::max(lastByte, sent) - sent));
  return n;
}

size_t Link::Exchange(size_t requestLength, std::chrono::milliseconds replyWait, const ReplyExpectation& expected,
                      Take take) {
  lastRequest_ = Clock::now();
  // An unplugged adapter answers nothing: fail at once rather than hold the window.
  if (HungUp()) return 0;
  if (Port.Settings().devicePath != echoesPath_) {
    echoes_ = false;  // another adapter, maybe
    echoesPath_ = Port.Settings().devicePath;
  }
  Settle();
  if (take == Take::FirstFrame || !expected.Armed()) return ExchangeFirstFrame(requestLength, replyWait, expected);
  return ExchangeReply(requestLength, replyWait, expected);
}

Link::Clock::duration Link::LateWindow(std::chrono::milliseconds replyWait) const {
  // Until the transmitter has shown its pace, a late reply is waited for as long as any may
  // come; after a request that heard nothing at all, as long as a reply wait allows for.
  const auto wait = std::max(replyWait, learnedWait_);
  auto window = std::max(std::chrono::duration_cast<Clock::duration>(kLateReplyFactor * replyWait), Clock::duration(wait));
  if (!lastOwedSilent_ || learnedWait_.count() > 0) window = std::max(window, Clock::duration(kLongestReplyWait));
  return window;
}

size_t Link::ExchangeReply(size_t requestLength, std::chrono::milliseconds replyWait,
                           const ReplyExpectation& expected) {
  const auto wait = std::max(replyWait, learnedWait_);
  const auto lateWindow = LateWindow(replyWait);
  ReplyExpectation armed = expected;
  armed.echo = TxFrame.data();
  armed.echoLength = static_cast<uint16_t>(std::min<size_t>(requestLength, UINT16_MAX));
  armed.lineEchoes = echoes_;
  if (armed.changesDevice) ClearForChange(armed);
  Heard heard;
  if (!Send(requestLength, armed, heard.sent)) return 0;
  const auto firstSent = heard.sent;
  heard.deadline = heard.sent + wait;
  heard.lateUntil = heard.sent + lateWindow;
  Listen(armed, heard);
  // A request that changes the device is never sent twice (ClearForChange made its reply
  // unmistakable; a reply in doubt even so fails it).
  if (!heard.taken && !heard.held.empty() && !expected.changesDevice && !HungUp()) {
    // Asked again once, the line quiet: its answer confirms a reply in doubt or nothing is taken.
    heard.confirming = true;
    heard.anyFrame = false;
    heard.echoes = 0;
    if (Send(requestLength, armed, heard.sent, true)) {
      heard.deadline = heard.sent + wait;
      heard.lateUntil = heard.sent + lateWindow;
      Listen(armed, heard);
    }
  }
  if (heard.taken) return Deliver(heard.reply.data(), static_cast<uint16_t>(heard.reply.size()), heard.replyLastByte, heard.sent);
  // No reply told apart: the request is owed (and the first one too, when asked again), and a
  // late reply that could be its answer is in doubt until the horizon.
  Owe(armed, firstSent);
  if (heard.sent != firstSent && !heard.decided) Owe(armed, heard.sent);
  if (!heard.anyFrame && !lastNotSent_ && !HungUp()) {
    // Nothing at all came: the next request waits until a late reply can no longer come.
    owedUntil_ = heard.sent + lateWindow;
    owedSince_ = heard.sent;
  } else {
    pump_->StopExpecting();
  }
  if (observer_)
    observer_->TimedOut(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - heard.sent));
  // What came instead is handed on, so the caller's checks say what it was, as they always did.
  const size_t n = std::min(heard.refused.size(), RxFrame.size());
  std::copy(heard.refused.begin(), heard.refused.begin() + static_cast<std::ptrdiff_t>(n), RxFrame.begin());
  return n;
}

size_t Link::ExchangeFirstFrame(size_t requestLength, std::chrono::milliseconds replyWait,
                                const ReplyExpectation& expected) {
  const uint32_t baud = Port.Settings().baudRate;
  const auto wait = std::max(replyWait, learnedWait_);
  const auto lateWindow = LateWindow(replyWait);
  Clock::time_point sent;
  if (!Send(requestLength, expected, sent)) return 0;
  // The receive thread releases a frame only whole: at the expected reply's last byte, or
  // after the line has gone quiet, so the first bytes seen are a complete frame.
  const auto lateUntil = sent + lateWindow;
  bool got = WaitForFrame(sent + wait);
  if (!got && pump_->Collecting()) got = WaitForFrame(lateUntil);
  if (!got) {
    // Nobody left on the line to answer: no reply can be owed.
    if (!HungUp()) {
      owedUntil_ = lateUntil;
      owedSince_ = sent;
      Owe(expected, sent);
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
  Remember(RxFrame.data(), n, pump_->LastByte());
  if (observer_)
    observer_->Received(RxFrame.data(), n, baud,
                        std::chrono::duration_cast<std::chrono::microseconds>(std::max(complete, sent) - sent));
  return n;
}

uint16_t Link::ReadFrameBytes(uint8_t* dst, uint16_t max) { return tamsu::ReadFrameBytes(FrameRing, dst, max); }

void Link::DiscardInput() { DiscardInput(false); }

void Link::DiscardInput(bool report) {
  size_t dropped = 0;
  uint8_t frame[RingBuffer::kSize];
  ReceivePump::Frame info;
  while (const uint16_t n = pump_->TakeFrame(frame, sizeof frame, &info)) {
    Drained(frame, n, info.lastByte);
    dropped += n;
  }
  // A gateway may still hold more of what is thrown away here. Only then: a purge request
  // before every request would cost a round of acknowledgements each time.
  if (dropped > 0) Port.PurgeRemote();
  if (report && dropped > 0 && observer_) observer_->Discarded(dropped);
}

bool Link::WaitForFrame(Clock::time_point deadline) { return pump_->WaitForFrame(deadline); }

bool Link::HungUp() const { return pump_->HungUp(); }

}  // namespace tamsu
