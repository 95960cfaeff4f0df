// The line on Windows: a COM port opened exclusively with overlapped I/O. The receive thread
// keeps one read in flight that completes at the first byte and waits on its event; on a
// network line that read is a receive of no bytes.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "serial/network_line.h"
#include "serial/network_ports.h"
#include "serial/serial_port.h"
#include "serial/wide_text.h"

namespace tamsu {
namespace {

constexpr uint32_t kLineRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr DWORD kQueueSize = 10000;
constexpr DWORD kWriteTimeoutMs = 1000;

// "COM3" and "\\.\COM3" both name the device; the first only works below COM10.
std::wstring DevicePath(const std::string& path) {
  if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0) return Widen(path);
  return L"\\\\.\\" + Widen(path);
}

void ClearErrors(HANDLE h, DWORD* queued = nullptr) {
  DWORD errors = 0;
  COMSTAT stat{};
  if (::ClearCommError(h, &errors, &stat) && queued) *queued = stat.cbInQue;
}

}  // namespace

unsigned LineSpeedOf(uint32_t baud) {
  return std::find(std::begin(kLineRates), std::end(kLineRates), baud) != std::end(kLineRates) ? baud : 0;
}

uint32_t BaudOfLineSpeed(unsigned speed) { return LineSpeedOf(speed); }

struct SerialPort::Device {
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE readEvent = nullptr;   // manual-reset, for the read in flight
  HANDLE writeEvent = nullptr;  // manual-reset, for every write
  OVERLAPPED read{};
  bool reading = false;  // a read (device) or receive (socket) is in flight: the receive thread's,
                         // stopped by Close with that thread held off
  bool gone = false;     // the device failed a read: unplugged, or taken away by the system
  uint8_t chunk[256];
  DWORD got = 0;     // bytes the last read brought
  DWORD taken = 0;   // of those, handed out

  Device() {
    readEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    writeEvent = readEvent ? ::CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
    if (!writeEvent && readEvent) {
      ::CloseHandle(readEvent);
      readEvent = nullptr;
    }
  }
  ~Device() {
    for (HANDLE h : {readEvent, writeEvent})
      if (h) ::CloseHandle(h);
  }
  // Stops a read in flight; its buffer is ours again once this returns.
  void StopReading() {
    if (!reading) return;
    ::CancelIoEx(handle, &read);
    DWORD n = 0;
    ::GetOverlappedResult(handle, &read, &n, TRUE);
    reading = false;
  }
};

SerialPort::SerialPort() : win_(std::make_unique<Device>()) {}

SerialPort::~SerialPort() {
  if (IsOpen() || win_->handle != INVALID_HANDLE_VALUE || net_) Close();
}

void SerialPort::AdoptNetworkLine() { win_->reading = false; }

int SerialPort::Open() {
  lastError_.clear();
  if (settings_.devicePath.empty()) return 0;
  if (IsNetworkPath(settings_.devicePath)) return OpenNetwork();
  Device& d = *win_;
  if (!d.readEvent) return 0;
  // No sharing: a port another program holds fails here, and none can open ours meanwhile.
  HANDLE h = ::CreateFileW(DevicePath(settings_.devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  ::SetCommMask(h, EV_RXCHAR);
  ::SetupComm(h, kQueueSize, kQueueSize);
  ::PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  // A read waits for its first byte without limit and returns at the first gap between bytes:
  // the receive thread's read is its wait. (The "return at the first byte" setting of MAXDWORD
  // multiplier and constant is documented too, but Wine's driver never finishes such a read.)
  // Writes give up after a second.
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 1;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
  ::SetCommTimeouts(h, &timeouts);

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  bool applied = settings_.dataBits == 8 && settings_.parity == 0 && settings_.stopBits == 0 &&
                 LineSpeedOf(settings_.baudRate) != 0 && ::GetCommState(h, &dcb);
  if (applied) {
    dcb.BaudRate = settings_.baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    // Raw 8N1 as on every platform: no flow control that could hold a request back, no
    // character that means anything, no read that stops at a line error.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    applied = ::SetCommState(h, &dcb) != 0;
  }
  if (!applied) {
    ::CloseHandle(h);
    open_.store(0, std::memory_order_release);
    return 0;
  }
  d.handle = h;
  d.reading = false;
  d.gone = false;
  d.got = d.taken = 0;
  open_.store(1, std::memory_order_release);
  return 1;
}

void SerialPort::Close() {
  open_.store(0, std::memory_order_release);
  Device& d = *win_;
  if (net_) {
    // Closing the socket ends the receive in flight (Wine does not cancel it otherwise); its
    // record is ours again once it has completed.
    const bool reading = d.reading;
    if (reading) ::CancelIoEx(reinterpret_cast<HANDLE>(net_->Descriptor()), &d.read);
    net_.reset();
    if (reading) ::WaitForSingleObject(d.readEvent, INFINITE);
    d.reading = false;
  }
  if (d.handle != INVALID_HANDLE_VALUE) {
    d.StopReading();
    ::CloseHandle(d.handle);
    d.handle = INVALID_HANDLE_VALUE;
  }
  d.got = d.taken = 0;
  d.gone = false;
}

void* SerialPort::ReadEvent(bool* now) {
  *now = false;
  if (!IsOpen()) return nullptr;
  Device& d = *win_;
  if (net_) {
    // A receive of no bytes completes when data (or the peer's close) is there and takes
    // nothing: the socket's read is then made as a tty's is. (Wine does not signal an event
    // selected on a socket again for data that comes right after a read.)
    if (!d.reading) {
      d.read = OVERLAPPED{};
      d.read.hEvent = d.readEvent;
      ::ResetEvent(d.readEvent);
      WSABUF none{0, nullptr};
      DWORD flags = 0, n = 0;
      if (::WSARecv(net_->Descriptor(), &none, 1, &n, &flags, &d.read, nullptr) == 0) {
        *now = true;
      } else if (::WSAGetLastError() == WSA_IO_PENDING) {
        d.reading = true;
      } else {
        *now = true;  // the read tells what is wrong
      }
    }
    return d.readEvent;
  }
  if (d.handle == INVALID_HANDLE_VALUE) return nullptr;
  if (!d.reading && !d.gone && d.taken >= d.got) {
    d.got = d.taken = 0;
    d.read = OVERLAPPED{};
    d.read.hEvent = d.readEvent;
    ::ResetEvent(d.readEvent);
    DWORD n = 0;
    if (::ReadFile(d.handle, d.chunk, sizeof d.chunk, &n, &d.read)) {
      d.got = n;
    } else if (::GetLastError() == ERROR_IO_PENDING) {
      d.reading = true;
    } else {
      ClearErrors(d.handle);
      d.gone = true;
    }
  }
  *now = d.gone || d.taken < d.got;
  return d.readEvent;
}

size_t SerialPort::Read(uint8_t* buffer, size_t max) {
  if (!IsOpen()) return 0;
  if (net_) return net_->Read(buffer, max, nullptr);
  Device& d = *win_;
  if (d.handle == INVALID_HANDLE_VALUE || max == 0) return 0;
  if (d.reading) {
    DWORD n = 0;
    if (::GetOverlappedResult(d.handle, &d.read, &n, FALSE)) {
      d.reading = false;
      d.got = n;
      d.taken = 0;
    } else if (::GetLastError() != ERROR_IO_INCOMPLETE) {
      d.reading = false;
      ClearErrors(d.handle);
      d.gone = true;
      return 0;
    } else {
      return 0;  // nothing has come yet
    }
  }
  if (d.taken < d.got) {
    const DWORD k = std::min<DWORD>(static_cast<DWORD>(std::min<size_t>(max, 256)), d.got - d.taken);
    std::memcpy(buffer, d.chunk + d.taken, k);
    d.taken += k;
    return k;
  }
  // Nothing in hand and no read in flight: only what is queued, never waiting for the line.
  DWORD queued = 0;
  ClearErrors(d.handle, &queued);
  const DWORD k = static_cast<DWORD>(std::min<size_t>(max, queued));
  if (k == 0) return 0;
  OVERLAPPED o{};
  o.hEvent = d.readEvent;
  ::ResetEvent(d.readEvent);
  DWORD n = 0;
  if (!::ReadFile(d.handle, buffer, k, &n, &o)) {
    if (::GetLastError() != ERROR_IO_PENDING || !::GetOverlappedResult(d.handle, &o, &n, TRUE)) {
      ClearErrors(d.handle);
      return 0;
    }
  }
  return n;
}

size_t SerialPort::ReadReady(uint8_t* buffer, size_t max, short, bool* hungUp) {
  if (!IsOpen()) return 0;
  if (net_) {
    Device& d = *win_;
    if (d.reading) {
      DWORD n = 0, flags = 0;
      if (!::WSAGetOverlappedResult(net_->Descriptor(), &d.read, &n, FALSE, &flags) &&
          ::WSAGetLastError() == WSA_IO_INCOMPLETE)
        return 0;
      d.reading = false;
    }
    return net_->Read(buffer, max, hungUp);
  }
  const size_t n = Read(buffer, max);
  if (win_->gone) *hungUp = true;
  return n;
}

int SerialPort::Write(const uint8_t* buffer, size_t count) {
  if (!IsOpen()) {
    errno = EBADF;
    return 0;
  }
  if (net_) return net_->Write(buffer, count, NetworkLine::Clock::now() + std::chrono::milliseconds(kWriteTimeoutMs)) ? 1 : 0;
  Device& d = *win_;
  if (d.handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return 0;
  }
  OVERLAPPED o{};
  o.hEvent = d.writeEvent;
  ::ResetEvent(d.writeEvent);
  DWORD n = 0;
  if (!::WriteFile(d.handle, buffer, static_cast<DWORD>(count), &n, &o)) {
    if (::GetLastError() != ERROR_IO_PENDING) {
      ClearErrors(d.handle);
      errno = EIO;
      return 0;
    }
    // The driver's write time-out ends the write; a driver that ignores it is cancelled here.
    if (::WaitForSingleObject(d.writeEvent, kWriteTimeoutMs + 100) != WAIT_OBJECT_0) ::CancelIoEx(d.handle, &o);
    if (!::GetOverlappedResult(d.handle, &o, &n, TRUE)) {
      const DWORD e = ::GetLastError();
      ClearErrors(d.handle);
      errno = e == ERROR_OPERATION_ABORTED ? ETIMEDOUT : EIO;
      return 0;
    }
  }
  if (n < count) {
    errno = ETIMEDOUT;
    return 0;
  }
  return 1;
}

}  // namespace tamsu
