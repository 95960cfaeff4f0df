// The little of a sockets layer the network line needs, the same on POSIX and Winsock: a
// non-blocking stream socket, its errors in errno's terms, a wait for one socket, and the
// name lookup (getaddrinfo) with its types.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#endif

#include <cstddef>
#include <cstdint>
#include <string>

namespace tamsu::sockets {

#ifdef _WIN32
using Handle = SOCKET;
constexpr Handle kNone = INVALID_SOCKET;
#else
using Handle = int;
constexpr Handle kNone = -1;
#endif

// Starts the platform's sockets layer once per process (Winsock); false when it cannot be.
bool Start();

// A non-blocking stream socket for `ai`, not inherited by child processes; kNone on failure.
Handle Open(const addrinfo* ai);
void Close(Handle s);
// The last socket call's error as an errno value (EAGAIN, EINPROGRESS, EINTR, ETIMEDOUT,
// ECONNREFUSED, ...), or the system's own code where there is none.
int LastError();
std::string ErrorText(int error);
// An errno-like code for a lookup that could not even be started.
int LookupSystemError();
std::string LookupErrorText(int error);

// Starts a connect: 0 when connected, else -1 with LastError() (EINPROGRESS while it goes on).
int Connect(Handle s, const addrinfo* ai);
// Waits up to `ms` for `events` (POLLIN, POLLOUT); >0 ready with `revents` set, 0 time-out, <0 error.
int Wait(Handle s, short events, int ms, short* revents);
// The pending error of a socket whose connect has finished.
int PendingError(Handle s);
// Sends or receives what can go without waiting; -1 with LastError() as in send/recv.
long Send(Handle s, const uint8_t* data, size_t n);
long Receive(Handle s, uint8_t* data, size_t n);
// Requests are a few bytes each, and a gateway that vanishes without closing must be noticed.
void TuneForRequests(Handle s);
// Asks for our acknowledgement at once where the system can (Linux); elsewhere nothing.
void AcknowledgeAtOnce(Handle s);

}  // namespace tamsu::sockets
