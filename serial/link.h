// Everything the tool shares about its one line to the transmitter: the port, the open flag,
// the slave address, the request/reply buffers and the receive rings, with the receive thread
// that fills them. The application owns one; tests build as many as they like.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "serial/framing.h"
#include "serial/line_observer.h"
#include "serial/ring_buffer.h"
#include "serial/serial_port.h"

namespace tamsu {

class ReceivePump;

// What the line traffic and the scan say of an adapter that puts what the tool sends back on
// the line.
inline constexpr char kEchoesText[] = "adapter echoes what it sends";

class Link {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr size_t kFrameSize = 1024;
  // The longest an exchange waits for its reply: as long as fifty 10 ms polls would.
  static constexpr std::chrono::milliseconds kReplyWait{500};
  // How long after its request a reply that missed its wait may still turn up (a slow sensor,
  // a radio bridge), as a multiple of that wait: until then no new request goes out, so a late
  // reply is never taken for the answer to the next one. Two and a half times: a reply due just
  // inside it still makes it with the scheduling of a loaded machine to spare.
  static constexpr double kLateReplyFactor = 2.5;
  // A transmitter that has answered late is waited for as long as it took, with a margin, up to
  // this; and until it has shown its pace (or after a silent request) a late reply is waited
  // for this long, so its first late reply is caught and never taken for another's answer.
  static constexpr std::chrono::milliseconds kLongestReplyWait{2000};
  // RTU carries no transaction id, so which request a frame answers is told by timing alone.
  // A copy of a frame (a gateway's or repeater's second delivery) comes within this of it: a
  // reply byte-identical to a frame heard that recently may be that copy.
  static constexpr std::chrono::milliseconds kCopyLag{150};
  // The longest after its request that a reply may still come, past every wait: a request
  // whose reply has not been told apart is owed that long, and a reply that could be its answer
  // is in doubt until then.
  static constexpr std::chrono::milliseconds kLateHorizon{3500};
  // What an exchange takes: only the valid reply to its request, judged by the matching rule
  // (every exchange that knows its reply), or the first frame whatever it is (a survey of
  // addresses, which tells collisions and strays apart itself).
  enum class Take : uint8_t { Reply, FirstFrame };

  Link();   // rings initialised, receive thread started (idle while the port is closed)
  ~Link();  // receive thread stopped and joined, port closed
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  SerialPort Port;
  std::atomic<int> PortOpen{0};  // nonzero while the port is open; every transaction tests it
  uint8_t CurrentAddress = 0;    // slave address of every register request
  std::array<uint8_t, kFrameSize> TxFrame{};
  std::array<uint8_t, kFrameSize> RxFrame{};
  RingBuffer IncomingRing;       // receive thread only
  RingBuffer FrameRing;          // receive thread -> window thread, whole frames

  // Window thread. Each keeps the receive thread off the descriptor while it changes.
  void ClosePort();  // Close, PortOpen = 0
  // Close, PortOpen = 0, Configure(path, 8N1, baud), Open, PortOpen = outcome. Returns outcome.
  // A network line still up on the same address changes its rate in place instead; a network
  // open waits at most a few seconds (Port.LastError() says why it failed). Safe from any one
  // thread at a time: the receive thread is kept off the line meanwhile.
  int ReopenPort(const std::string& devicePath, uint32_t baudRate);

  // One request and its reply (window thread): lets the line settle (a reply still owed to an
  // earlier request that timed out, bytes still arriving), discards whatever waits, writes
  // TxFrame[0..requestLength) and waits up to replyWait for one frame. Returns its length in
  // RxFrame, 0 when none came. A frame already arriving when the wait runs out is still taken
  // whole; after none came, the next request waits until a late reply can no longer come (or
  // has come and been thrown away).
  // `expected` lets the receive side hand the reply over at its last byte (anything else still
  // ends by silence), and tells a late reply from noise. The request goes out no sooner than
  // the inter-frame gap after the last byte received.
  // With Take::Reply and an armed expectation, only a valid reply to this request ends the wait
  // (docs/ARCHITECTURE.md, "Reply matching"): anything else is reported as discarded and the
  // wait goes on; an echo of the request is skipped; a reply in doubt (a possible copy of a
  // frame just heard, or a possible late reply to a request still owed) is held, the line let go
  // quiet past whatever may still come, the request sent once more, and the reply taken only
  // when that answer is byte-identical. A request that changes the device is never sent twice:
  // it waits until nothing heard or owed could be taken for its reply. When no reply is taken,
  // the first frame refused that the caller's checks can only refuse too is returned, so they
  // name it as before; else 0.
  size_t Exchange(size_t requestLength, std::chrono::milliseconds replyWait = kReplyWait,
                  const ReplyExpectation& expected = {}, Take take = Take::Reply);
  // For a caller to whom silence is the usual answer (a survey of addresses nobody may hold):
  // the reply a silent request may still be owed is not waited out before the next request. A
  // late one then arrives as a frame of its own, which that caller must tell from its answer.
  void ForgoLateReply();
  // Whether the adapter puts what the tool sends back on the line. Learned from any request whose
  // reply cannot be its own bytes (function 03 or 16, the legacy query), or set by the scan; kept
  // while the port stays the same. On such a line the first copy of a request whose reply may
  // be those bytes (function 06) is the echo, and only the transmitter's own copy acknowledges.
  bool Echoes() const { return echoes_; }
  void SetEchoes(bool echoes) {
    echoes_ = echoes;
    echoesPath_ = Port.Settings().devicePath;
  }
  // What the replies have taught about the transmitter's pace: the wait every exchange gets at
  // least (zero until a reply has come close to or after the usual wait).
  std::chrono::milliseconds LearnedReplyWait() const { return learnedWait_; }
  // Hand expected replies over at their last byte (the default) or only after silence.
  void SetCompletion(Completion completion);

  // Pops up to max bytes of released frames (window thread only).
  uint16_t ReadFrameBytes(uint8_t* dst, uint16_t max);
  // Empties whatever frames wait, however many bytes they hold.
  void DiscardInput();
  // Blocks until FrameRing holds bytes or the deadline passes; true when bytes wait.
  bool WaitForFrame(Clock::time_point deadline);

  // True after the device hung up (adapter unplugged) until the port is closed or re-opened.
  bool HungUp() const;
  ReceivePump& Pump() { return *pump_; }

  // Who is told of every frame (window thread); nullptr: nobody.
  void SetObserver(LineObserver* observer) { observer_ = observer; }
  LineObserver* Observer() const { return observer_; }
  // When the last exchange's request went out (or began, if nothing could be sent).
  Clock::time_point LastRequest() const { return lastRequest_; }
  // The last exchange's request could not be written: the line is gone or closed, whatever the
  // receive thread has noticed yet.
  bool LastRequestNotSent() const { return lastNotSent_; }

 private:
  struct Heard;
  void Settle();
  void DiscardInput(bool report);
  // The exchange by the matching rule, and by the first frame (Take::FirstFrame, unarmed).
  size_t ExchangeReply(size_t requestLength, std::chrono::milliseconds replyWait, const ReplyExpectation& expected);
  size_t ExchangeFirstFrame(size_t requestLength, std::chrono::milliseconds replyWait,
                            const ReplyExpectation& expected);
  // Before a request that changes the device: waits until no frame heard within kCopyLag and no
  // request still owed could be taken for its reply.
  void ClearForChange(const ReplyExpectation& expected);
  // Waits the inter-frame gap, arms the expectation, writes TxFrame; false (observer told) when
  // the request never left. `sent`: when it went out.
  bool Send(size_t requestLength, const ReplyExpectation& armed, Clock::time_point& sent, bool again = false);
  // Judges every frame that arrives until the exchange's deadlines end or a reply is taken.
  void Listen(const ReplyExpectation& expected, Heard& heard);
  // One frame, judged: skipped as echo, discarded, held in doubt, or taken.
  void Judge(const ReplyExpectation& expected, const uint8_t* frame, uint16_t n, Clock::time_point lastByte,
             Heard& heard);
  // A frame heard, kept for kCopyLag so a copy of it is told.
  void Remember(const uint8_t* frame, size_t n, Clock::time_point lastByte);
  bool CopyOfRecent(const uint8_t* frame, size_t n, Clock::time_point lastByte);
  // A request still owed whose reply frame[0..n) could be.
  bool OwedCouldSend(const uint8_t* frame, size_t n, Clock::time_point at);
  void Owe(const ReplyExpectation& expected, Clock::time_point sent);
  // A frame thrown away between exchanges: remembered, and when it can only be the late reply
  // of one request owed, that request is let go. True when that was the one Settle waits for.
  bool Drained(const uint8_t* frame, size_t n, Clock::time_point lastByte);
  Clock::time_point OwedHorizon() const;
  // Hands a taken reply to the caller: RxFrame, the pace learned, the observer told.
  size_t Deliver(const uint8_t* frame, uint16_t n, Clock::time_point lastByte, Clock::time_point sent);
  // A reply came `took` after its request: the wait grows to cover it, or shrinks once
  // replies come well inside it.
  void Learn(std::chrono::steady_clock::duration took);
  void Forget();  // a new line: nothing owed, nothing learned
  // How long after a request its reply may still come and is waited out before the next one.
  Clock::duration LateWindow(std::chrono::milliseconds replyWait) const;

  std::unique_ptr<ReceivePump> pump_;
  // Window thread only: until when the line may still deliver a reply nobody waits for.
  Clock::time_point owedUntil_{};
  Clock::time_point owedSince_{};  // when the request that is owed its reply went out
  std::chrono::milliseconds learnedWait_{0};
  bool lastOwedSilent_ = false;
  // Frames heard within kCopyLag, whatever became of them: a reply equal to (or inside) one of
  // them may be its copy.
  struct Recent {
    std::vector<uint8_t> bytes;
    Clock::time_point lastByte;
  };
  std::deque<Recent> recent_;
  // Requests whose reply has not been told apart, with when each went out: a reply that could
  // be theirs is in doubt until kLateHorizon after them.
  struct Owed {
    ReplyExpectation shape;
    Clock::time_point sent;
  };
  std::vector<Owed> owed_;
  bool echoes_ = false;
  std::string echoesPath_;  // the port echoes_ was learned on
  Clock::time_point lastRequest_{};
  bool lastNotSent_ = false;
  LineObserver* observer_ = nullptr;
};

}  // namespace tamsu
