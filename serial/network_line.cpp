#include "serial/network_line.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <cerrno>
#include <cstring>

#include "serial/sockets.h"

namespace tamsu {
namespace {

int MillisLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// One attempt on one resolved address; the socket (non-blocking) or none with errno set.
sockets::Handle ConnectOne(const addrinfo* ai, std::chrono::steady_clock::time_point deadline) {
  const sockets::Handle fd = sockets::Open(ai);
  if (fd == sockets::kNone) {
    errno = sockets::LastError();
    return sockets::kNone;
  }
  if (sockets::Connect(fd, ai) != 0) {
    if (const int e = sockets::LastError(); e != EINPROGRESS) {
      sockets::Close(fd);
      errno = e;
      return sockets::kNone;
    }
    short revents = 0;
    int r;
    do {
      r = sockets::Wait(fd, POLLOUT, MillisLeft(deadline), &revents);
    } while (r < 0 && sockets::LastError() == EINTR);
    int err = 0;
    if (r == 0) {
      err = ETIMEDOUT;
    } else if (r < 0) {
      err = sockets::LastError();
    } else {
      err = sockets::PendingError(fd);
    }
    if (err != 0) {
      sockets::Close(fd);
      errno = err;
      return sockets::kNone;
    }
  }
  // Requests are a few bytes each and every millisecond counts against the reply wait.
  sockets::TuneForRequests(fd);
  return fd;
}

std::string Seconds(std::chrono::milliseconds ms) { return std::to_string(ms.count() / 1000) + " s"; }

// A name looked up on a thread of its own. The caller gives up at its deadline; the thread
// then finishes alone and frees what it found, since both hold the lookup.
struct Lookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;  // under mutex
  bool abandoned = false;  // under mutex
  int result = EAI_AGAIN;
  addrinfo* list = nullptr;
};

// The host's addresses, by the deadline: a name server that does not answer must not hold the
// caller beyond it, so a name is looked up on a thread of its own and abandoned when time is
// up. 0 or the getaddrinfo error; `timedOut` when the deadline passed first.
int Resolve(const std::string& host, const std::string& port, std::chrono::steady_clock::time_point deadline,
            addrinfo** list, bool* timedOut) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, list) == 0) return 0;  // an address: no lookup
  hints.ai_flags = AI_NUMERICSERV;
  auto lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, host, port, hints] {
      addrinfo* found = nullptr;
      const int r = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
      std::lock_guard lock(lookup->mutex);
      if (lookup->abandoned) {
        if (r == 0) ::freeaddrinfo(found);
        return;
      }
      lookup->result = r;
      lookup->list = r == 0 ? found : nullptr;
      lookup->finished = true;
      lookup->done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return sockets::LookupSystemError();
  }
  std::unique_lock lock(lookup->mutex);
  if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; })) {
    lookup->abandoned = true;
    *timedOut = true;
    return EAI_AGAIN;
  }
  if (lookup->result == 0) *list = lookup->list;
  return lookup->result;
}

}  // namespace

NetworkLine::~NetworkLine() { Close(); }

bool NetworkLine::Open(const NetworkAddress& address, uint32_t baud, Clock::time_point deadline, std::string* error) {
  Close();
  address_ = address;
  if (!sockets::Start()) {
    if (error) *error = address.Describe() + ": the sockets layer cannot be started";
    return false;
  }
  const std::string where = address.Describe();
  addrinfo* list = nullptr;
  bool timedOut = false;
  if (const int r = Resolve(address.host, std::to_string(address.port), deadline, &list, &timedOut); r != 0) {
    if (error) {
      *error = where + (timedOut ? ": the name server did not answer within " + Seconds(kOpenDeadline)
                                 : ": unknown host (" + sockets::LookupErrorText(r) + ")");
    }
    return false;
  }
  int lastError = ETIMEDOUT;
  for (const addrinfo* ai = list; ai && fd_ == sockets::kNone; ai = ai->ai_next) {
    if (Clock::now() >= deadline) break;
    fd_ = ConnectOne(ai, deadline);
    if (fd_ == sockets::kNone) lastError = errno;
  }
  ::freeaddrinfo(list);
  if (fd_ == sockets::kNone) {
    if (error) {
      *error = where + (lastError == ETIMEDOUT ? ": no answer within " + Seconds(kOpenDeadline)
                                               : ": " + sockets::ErrorText(lastError));
    }
    return false;
  }
  if (address.kind == NetworkKind::RawTcp) return true;

  codec_ = telnet::Codec();
  std::vector<uint8_t> start;
  codec_.Start(start);
  // COM port commands only once the gateway has taken the option: before that it may not
  // read them as such.
  if (!Send(start, deadline) ||
      !Negotiate([this] { return codec_.ComPort() != telnet::Codec::Agreement::Pending; }, deadline, error)) {
    Close();
    return false;
  }
  if (codec_.ComPort() == telnet::Codec::Agreement::Refused) {
    if (error) *error = where + ": the gateway does not offer COM port control (RFC 2217)";
    Close();
    return false;
  }
  comPort_.store(true, std::memory_order_release);
  if (!SetLine(baud, deadline, error)) {
    Close();
    return false;
  }
  return true;
}

void NetworkLine::Close() {
  std::lock_guard<std::mutex> lock(writeMutex_);
  sockets::Close(fd_);
  fd_ = sockets::kNone;
  comPort_.store(false, std::memory_order_release);
}

bool NetworkLine::SendLocked(const std::vector<uint8_t>& bytes, Clock::time_point deadline) {
  size_t done = 0;
  while (done < bytes.size()) {
    if (fd_ == sockets::kNone) return false;
    const long n = sockets::Send(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && sockets::LastError() != EAGAIN && sockets::LastError() != EINTR) return false;
    const int left = MillisLeft(deadline);
    if (left <= 0) return false;
    short revents = 0;
    if (sockets::Wait(fd_, POLLOUT, left, &revents) < 0 && sockets::LastError() != EINTR) return false;
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
  }
  return true;
}

bool NetworkLine::Send(const std::vector<uint8_t>& bytes, Clock::time_point deadline) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  return SendLocked(bytes, deadline);
}

bool NetworkLine::Write(const uint8_t* buffer, size_t count, Clock::time_point deadline) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  if (address_.kind == NetworkKind::RawTcp) {
    out_.assign(buffer, buffer + count);
  } else {
    out_.clear();
    telnet::EncodeData(buffer, count, out_);
  }
  return SendLocked(out_, deadline);
}

size_t NetworkLine::Read(uint8_t* buffer, size_t max, bool* gone) {
  if (fd_ == sockets::kNone || max == 0) return 0;
  if (address_.kind == NetworkKind::RawTcp) {
    const long n = sockets::Receive(fd_, buffer, max);
    if (n > 0) {
      AcknowledgeAtOnce();
      return static_cast<size_t>(n);
    }
    if (gone && (n == 0 || (sockets::LastError() != EAGAIN && sockets::LastError() != EINTR))) *gone = true;
    return 0;
  }
  // Decoded data is never longer than what was read, so it fits the caller's buffer.
  uint8_t raw[512];
  const long n = sockets::Receive(fd_, raw, std::min(max, sizeof raw));
  if (n <= 0) {
    if (gone && (n == 0 || (sockets::LastError() != EAGAIN && sockets::LastError() != EINTR))) *gone = true;
    return 0;
  }
  AcknowledgeAtOnce();
  decoded_.clear();
  answers_.clear();
  codec_.Decode(raw, static_cast<size_t>(n), decoded_, answers_);
  if (!answers_.empty()) Send(answers_, Clock::now() + std::chrono::milliseconds(1000));
  if (!decoded_.empty()) std::memcpy(buffer, decoded_.data(), decoded_.size());
  return decoded_.size();
}

// A gateway that waits for our acknowledgement before it sends its next small segment (Nagle)
// would hold a reply for as long as a delayed acknowledgement takes.
void NetworkLine::AcknowledgeAtOnce() { sockets::AcknowledgeAtOnce(fd_); }

template <typename Done>
bool NetworkLine::Negotiate(Done done, Clock::time_point deadline, std::string* error) {
  uint8_t scratch[512];
  while (!done()) {
    short revents = 0;
    const int r = sockets::Wait(fd_, POLLIN, MillisLeft(deadline), &revents);
    if (r < 0 && sockets::LastError() == EINTR) continue;
    if (r <= 0) {
      if (error) *error = address_.Describe() + ": the gateway did not answer the line settings within " + Seconds(kOpenDeadline);
      return false;
    }
    bool gone = false;
    Read(scratch, sizeof scratch, &gone);  // line data before the purge is stale: dropped
    if (gone) {
      if (error) *error = address_.Describe() + ": the gateway closed the connection";
      return false;
    }
  }
  return true;
}

bool NetworkLine::SetLine(uint32_t baud, Clock::time_point deadline, std::string* error) {
  if (address_.kind == NetworkKind::RawTcp) return true;
  if (fd_ == sockets::kNone) return false;
  codec_.ForgetAcks();
  std::vector<uint8_t> out;
  telnet::EncodeSetBaudRate(baud, out);
  const uint8_t dataSize = 8, parity = telnet::kParityNone, stopSize = telnet::kStopOne, purge = telnet::kPurgeBoth;
  telnet::EncodeComPort(telnet::kSetDataSize, &dataSize, 1, out);
  telnet::EncodeComPort(telnet::kSetParity, &parity, 1, out);
  telnet::EncodeComPort(telnet::kSetStopSize, &stopSize, 1, out);
  telnet::EncodeComPort(telnet::kPurgeData, &purge, 1, out);
  if (!Send(out, deadline)) {
    if (error) *error = address_.Describe() + ": the connection broke";
    return false;
  }
  // Only what the line needs is waited for: a gateway acknowledges these, while requests for
  // modem lines go unanswered on lines that have none. The purge is not waited for either.
  const bool taken = Negotiate(
      [this] {
        return codec_.AckedBaud() && codec_.AckedDataSize() && codec_.AckedParity() && codec_.AckedStopSize();
      },
      deadline, error);
  if (!taken) return false;
  if (*codec_.AckedBaud() != baud) {
    if (error) *error = address_.Describe() + ": the gateway cannot set " + std::to_string(baud) + " baud";
    return false;
  }
  return true;
}

void NetworkLine::PurgeReceive() {
  if (!comPort_.load(std::memory_order_acquire)) return;
  std::vector<uint8_t> out;
  const uint8_t purge = telnet::kPurgeReceive;
  telnet::EncodeComPort(telnet::kPurgeData, &purge, 1, out);
  Send(out, Clock::now() + std::chrono::milliseconds(1000));
}

}  // namespace tamsu
