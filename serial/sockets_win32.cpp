#include "serial/sockets.h"

#include <mstcpip.h>

#include <cerrno>
#include <mutex>

namespace tamsu::sockets {
namespace {
void SetOption(Handle s, int level, int name, int value) {
  ::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

int FromWinsock(int e) {
  switch (e) {
    case WSAEWOULDBLOCK: return EAGAIN;
    case WSAEINPROGRESS: return EINPROGRESS;
    case WSAEINTR: return EINTR;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAECONNRESET: return ECONNRESET;
    case WSAENETUNREACH: return ENETUNREACH;
    case WSAEHOSTUNREACH: return EHOSTUNREACH;
    case WSAEADDRNOTAVAIL: return EADDRNOTAVAIL;
    case WSAEAFNOSUPPORT: return EAFNOSUPPORT;
    default: return e;
  }
}
}  // namespace

bool Start() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

Handle Open(const addrinfo* ai) {
  if (!Start()) return kNone;
  // Overlapped, for the receive thread's wait; not inheritable: a program the tool starts must
  // not keep the connection open.
  const Handle s = ::WSASocketW(ai->ai_family, ai->ai_socktype, ai->ai_protocol, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == kNone) return kNone;
  u_long on = 1;
  if (::ioctlsocket(s, FIONBIO, &on) != 0) {
    ::closesocket(s);
    return kNone;
  }
  return s;
}

void Close(Handle s) {
  if (s != kNone) ::closesocket(s);
}

int LastError() { return FromWinsock(::WSAGetLastError()); }

std::string ErrorText(int error) {
  switch (error) {
    case ECONNREFUSED: return "Connection refused";
    case ETIMEDOUT: return "Connection timed out";
    case ECONNRESET: return "Connection reset by peer";
    case ENETUNREACH: return "Network is unreachable";
    case EHOSTUNREACH: return "No route to host";
    default: break;
  }
  wchar_t* text = nullptr;
  const int code = error == EAGAIN ? WSAEWOULDBLOCK : error;
  if (::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr) == 0)
    return "error " + std::to_string(error);
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
  if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) out.pop_back();
  return out;
}

int LookupSystemError() { return EAI_FAIL; }
std::string LookupErrorText(int error) { return ::gai_strerrorA(error); }

int Connect(Handle s, const addrinfo* ai) {
  if (::connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen)) == 0) return 0;
  // Winsock says "would block" where POSIX says "in progress".
  if (::WSAGetLastError() == WSAEWOULDBLOCK) ::WSASetLastError(WSAEINPROGRESS);
  return -1;
}

int Wait(Handle s, short events, int ms, short* revents) {
  WSAPOLLFD p{s, events, 0};
  const int r = ::WSAPoll(&p, 1, ms);
  *revents = p.revents;
  return r;
}

int PendingError(Handle s) {
  int err = 0;
  int len = sizeof err;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0) return LastError();
  return FromWinsock(err);
}

long Send(Handle s, const uint8_t* data, size_t n) {
  return ::send(s, reinterpret_cast<const char*>(data), static_cast<int>(n > 0x10000 ? 0x10000 : n), 0);
}

long Receive(Handle s, uint8_t* data, size_t n) {
  return ::recv(s, reinterpret_cast<char*>(data), static_cast<int>(n > 0x10000 ? 0x10000 : n), 0);
}

void TuneForRequests(Handle s) {
  SetOption(s, IPPROTO_TCP, TCP_NODELAY, 1);
  // A gateway that vanishes without closing (power, cable) is noticed within half a minute.
  tcp_keepalive keepalive{1, 10000, 5000};
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepalive, sizeof keepalive, nullptr, 0, &returned, nullptr, nullptr);
  // A gateway that holds its next small segment for our acknowledgement (Nagle) must not wait
  // out a delayed one: every segment is acknowledged at once.
  constexpr DWORD kSetAckFrequency = 0x98000017;  // SIO_TCP_SET_ACK_FREQUENCY
  DWORD everySegment = 1;
  ::WSAIoctl(s, kSetAckFrequency, &everySegment, sizeof everySegment, nullptr, 0, &returned, nullptr, nullptr);
}

// Windows acknowledges every segment when asked once per socket (Windows 10 and later; older
// systems and Wine refuse, and keep their delayed acknowledgement).
void AcknowledgeAtOnce(Handle) {}

}  // namespace tamsu::sockets
