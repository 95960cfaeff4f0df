// What SerialPort does the same on every platform: its settings, and the network line behind a
// network address.
#include <memory>

#include "serial/network_line.h"
#include "serial/network_ports.h"
#include "serial/serial_port.h"

namespace tamsu {

void SerialPort::Configure(const std::string& devicePath, uint8_t dataBits, uint8_t parity, uint8_t stopBits,
                           uint32_t baudRate) {
  settings_.devicePath = devicePath;
  settings_.dataBits = dataBits;
  settings_.parity = parity;
  settings_.stopBits = stopBits;
  settings_.baudRate = baudRate;
}

int SerialPort::OpenNetwork() {
  const NetworkAddress address = ParseNetworkAddress(settings_.devicePath);
  if (!address) {
    lastError_ = address.error;
    return 0;
  }
  auto line = std::make_unique<NetworkLine>();
  if (settings_.dataBits != 8 || settings_.parity != 0 || settings_.stopBits != 0 ||
      !line->Open(address, settings_.baudRate, NetworkLine::Clock::now() + NetworkLine::kOpenDeadline, &lastError_)) {
    open_.store(0, std::memory_order_release);
    return 0;
  }
  net_ = std::move(line);
  AdoptNetworkLine();
  open_.store(1, std::memory_order_release);
  return 1;
}

bool SerialPort::ChangeRate(const std::string& devicePath, uint32_t baudRate) {
  if (!net_ || !IsOpen()) return false;
  const NetworkAddress address = ParseNetworkAddress(devicePath);
  if (!address || address.Canonical() != net_->Address().Canonical()) return false;
  if (!net_->SetLine(baudRate, NetworkLine::Clock::now() + NetworkLine::kOpenDeadline, &lastError_)) return false;
  settings_.devicePath = devicePath;
  settings_.baudRate = baudRate;
  return true;
}

void SerialPort::PurgeRemote() {
  if (net_ && IsOpen()) net_->PurgeReceive();
}

bool SerialPort::SetsLineRate() const {
  if (net_) return net_->SetsRate();
  if (!IsNetworkPath(settings_.devicePath)) return true;
  const NetworkAddress address = ParseNetworkAddress(settings_.devicePath);
  return !address || address.kind == NetworkKind::Rfc2217;
}

std::string SerialPort::Transport() const { return net_ ? net_->Address().Describe() : std::string(); }

}  // namespace tamsu
