// The ports the window lists, without a toolkit: serial adapters the kernel knows, the
// virtual ports of the port directory and the remembered network ports, each with its state.
#pragma once

#include <string>
#include <vector>

namespace tamsu::cli {

struct PortEntry {
  std::string name;   // as the window's port list shows it
  std::string path;   // what is opened
  std::string kind;   // "serial", "virtual", "network"
  std::string state;  // "available", "busy", "no permission", "remembered"
  std::string about;  // the adapter (maker, product, USB ids, serial number) or the fix for a permission
};

// Serial adapters under `ttyClass` (/sys/class/tty): ttys with a device behind them, less the
// legacy 8250 ports that have no hardware.
std::vector<PortEntry> ListSystemPorts(const std::string& ttyClass = "/sys/class/tty", const std::string& dev = "/dev");
// Every port, in the window's order; missing ones left out, busy ones kept with their state.
std::vector<PortEntry> ListPorts();

bool IsNetworkPort(const std::string& port);

// What --port names: a network address as given; the name of a listed port its path; else
// the path as given. A device path that does not exist, is busy or may not be opened is a
// UsageError (nothing is sent).
std::string ResolvePort(const std::string& given);

}  // namespace tamsu::cli
