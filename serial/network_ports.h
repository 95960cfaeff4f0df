// Network ports: a serial line behind an Ethernet gateway, named by an address
// (tcp://HOST:PORT for the raw RTU bytes over TCP, rfc2217://HOST:PORT for Telnet COM port
// control; a bare HOST:PORT is raw TCP), and the few the user connected to, remembered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tamsu {

enum class NetworkKind { RawTcp, Rfc2217 };

struct NetworkAddress {
  NetworkKind kind = NetworkKind::RawTcp;
  std::string host;  // a name or a numeric address (IPv6 without its brackets)
  uint16_t port = 0;
  std::string error;  // empty when the text was a valid address; otherwise why not, for the user

  explicit operator bool() const { return error.empty(); }
  // "tcp://HOST:PORT" or "rfc2217://HOST:PORT": the one spelling stored and shown in the list.
  std::string Canonical() const;
  // "tcp HOST:PORT" or "rfc2217 HOST:PORT", as the line traffic names the transport.
  std::string Describe() const;
};

NetworkAddress ParseNetworkAddress(std::string_view text);

// True when `path` names a network port rather than a device: it has a scheme, or it is a
// valid bare HOST:PORT and no file path.
bool IsNetworkPath(std::string_view path);

// ${XDG_CONFIG_HOME:-$HOME/.config}/tamsu-tools/network-ports; empty when neither is usable.
std::string NetworkPortsFile();

constexpr size_t kRememberedNetworkPorts = 8;

// The remembered addresses, newest first, at most eight, in their canonical spelling. Lines
// that are no valid address (the file is the user's to edit) are skipped.
std::vector<std::string> RememberedNetworkPorts();
// Puts `address` first (once), keeps eight; the file is replaced whole or not at all. False
// when the address is invalid or the file could not be written.
bool RememberNetworkPort(std::string_view address);

}  // namespace tamsu
