// Everything the tool shares about its one line to the transmitter: the port, the open flag,
// the slave address, the request/reply buffers and the receive rings, with the receive thread
// that fills them. The application owns one; tests build as many as they like.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "serial/framing.h"
#include "serial/line_observer.h"
#include "serial/ring_buffer.h"
#include "serial/serial_port.h"

namespace tamsu {

class ReceivePump;

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
  size_t Exchange(size_t requestLength, std::chrono::milliseconds replyWait = kReplyWait,
                  const ReplyExpectation& expected = {});
  // For a caller to whom silence is the usual answer (a survey of addresses nobody may hold):
  // the reply a silent request may still be owed is not waited out before the next request. A
  // late one then arrives as a frame of its own, which that caller must tell from its answer.
  void ForgoLateReply();
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
  void Settle();
  void DiscardInput(bool report);
  // A reply came `took` after its request: the wait grows to cover it, or shrinks once
  // replies come well inside it.
  void Learn(std::chrono::steady_clock::duration took);
  void Forget();  // a new line: nothing owed, nothing learned

  std::unique_ptr<ReceivePump> pump_;
  // Window thread only: until when the line may still deliver a reply nobody waits for.
  Clock::time_point owedUntil_{};
  Clock::time_point owedSince_{};  // when the request that is owed its reply went out
  std::chrono::milliseconds learnedWait_{0};
  bool lastOwedSilent_ = false;
  // The last request that got a reply, and that reply: a copy of it is suspect as the answer
  // to a different request.
  std::vector<uint8_t> answeredRequest_, lastReply_;  // the last owed reply's whole window passed without a byte
  Clock::time_point lastRequest_{};
  bool lastNotSent_ = false;
  LineObserver* observer_ = nullptr;
};

}  // namespace tamsu
