// The machine's own serial ports as its operating system knows them (Linux: udev; Windows:
// SetupAPI), each with what the system says about the adapter behind it. One declaration, one
// implementation per platform; the port list (what the window and tamsu-cli show) is built on it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tamsu {

struct SystemPort {
  std::string path;          // what is opened: /dev/ttyUSB0, \\.\COM3
  std::string name;          // as a list shows it: ttyUSB0, COM3
  std::string manufacturer;  // the adapter's maker, where the system knows it
  std::string description;   // its product or friendly name
  std::string serialNumber;
  std::optional<std::uint16_t> vendorId;  // USB ids, for a USB adapter
  std::optional<std::uint16_t> productId;
};

// Ports with hardware behind them; on-board ports that the system lists without a device are
// left out. Where the system's database cannot be read, the ports are still listed by their
// paths, without descriptions.
std::vector<SystemPort> EnumerateSystemPorts();

}  // namespace tamsu
