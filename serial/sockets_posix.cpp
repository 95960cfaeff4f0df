#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/sockets.h"

namespace tamsu::sockets {
namespace {
void SetOption(Handle s, int level, int name, int value) { ::setsockopt(s, level, name, &value, sizeof value); }
}  // namespace

bool Start() { return true; }

Handle Open(const addrinfo* ai) {
  return ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
}

void Close(Handle s) {
  if (s != kNone) ::close(s);
}

int LastError() { return errno; }
std::string ErrorText(int error) { return std::strerror(error); }
int LookupSystemError() { return EAI_SYSTEM; }
std::string LookupErrorText(int error) { return ::gai_strerror(error); }

int Connect(Handle s, const addrinfo* ai) { return ::connect(s, ai->ai_addr, ai->ai_addrlen); }

int Wait(Handle s, short events, int ms, short* revents) {
  pollfd p{s, events, 0};
  const int r = ::poll(&p, 1, ms);
  *revents = p.revents;
  return r;
}

int PendingError(Handle s) {
  int err = 0;
  socklen_t len = sizeof err;
  return ::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0 ? errno : err;
}

long Send(Handle s, const uint8_t* data, size_t n) { return ::send(s, data, n, MSG_NOSIGNAL | MSG_DONTWAIT); }
long Receive(Handle s, uint8_t* data, size_t n) { return ::recv(s, data, n, MSG_DONTWAIT); }

void TuneForRequests(Handle s) {
  SetOption(s, IPPROTO_TCP, TCP_NODELAY, 1);
  // A gateway that vanishes without closing (power, cable) is noticed within half a minute.
  SetOption(s, SOL_SOCKET, SO_KEEPALIVE, 1);
  SetOption(s, IPPROTO_TCP, TCP_KEEPIDLE, 10);
  SetOption(s, IPPROTO_TCP, TCP_KEEPINTVL, 5);
  SetOption(s, IPPROTO_TCP, TCP_KEEPCNT, 3);
}

// The kernel forgets this after each acknowledgement, so it is asked for again after every read.
void AcknowledgeAtOnce(Handle s) { SetOption(s, IPPROTO_TCP, TCP_QUICKACK, 1); }

}  // namespace tamsu::sockets
