// The machine's serial ports through libudev. Enumeration and a device's attributes come from
// sysfs and work anywhere /sys is mounted; only udev's database (/run/udev, missing in most
// containers) adds the hardware database's names, so without it a port keeps what its device
// says about itself, or just its path.
#include <libudev.h>

#include <charconv>
#include <memory>
#include <string_view>

#include "serial/system_ports.h"

namespace tamsu {

namespace {

struct UdevFree {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevFree>;

std::string Text(const char* value) {
  std::string text = value ? value : "";
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::optional<std::uint16_t> HexId(const char* value) {
  const std::string text = Text(value);
  std::uint16_t id = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id, 16);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return id;
}

// The serial core makes a port for every on-board UART slot (ttyS0..ttyS31) whether or not a
// UART answered there; those without one say type 0 (unknown), and only fail when used.
bool NoUartBehind(udev_device* tty) { return Text(udev_device_get_sysattr_value(tty, "type")) == "0"; }

SystemPort Describe(udev_device* tty) {
  SystemPort port;
  port.name = Text(udev_device_get_sysname(tty));
  const char* node = udev_device_get_devnode(tty);
  port.path = node ? node : "/dev/" + port.name;
  if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device")) {
    port.manufacturer = Text(udev_device_get_sysattr_value(usb, "manufacturer"));
    port.description = Text(udev_device_get_sysattr_value(usb, "product"));
    port.serialNumber = Text(udev_device_get_sysattr_value(usb, "serial"));
    port.vendorId = HexId(udev_device_get_sysattr_value(usb, "idVendor"));
    port.productId = HexId(udev_device_get_sysattr_value(usb, "idProduct"));
  }
  // An adapter that names neither itself nor its maker is named by the hardware database,
  // where udev's database is there to say it.
  if (port.manufacturer.empty()) port.manufacturer = Text(udev_device_get_property_value(tty, "ID_VENDOR_FROM_DATABASE"));
  if (port.description.empty()) port.description = Text(udev_device_get_property_value(tty, "ID_MODEL_FROM_DATABASE"));
  return port;
}

}  // namespace

std::vector<SystemPort> EnumerateSystemPorts() {
  std::vector<SystemPort> ports;
  const UdevPtr<udev> context(udev_new());
  if (!context) return ports;
  const UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
  // The virtual terminals (tty, tty0..tty63), the console and ptmx are most of the ttys and
  // never a serial line; matched by name, udev does not read them at all, which is most of
  // the time a listing takes. Serial drivers name their ports tty<letters><n>, Bluetooth's
  // serial links rfcomm<n>.
  if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
      udev_enumerate_add_match_sysname(enumerate.get(), "tty[!0-9]*") < 0 ||
      udev_enumerate_add_match_sysname(enumerate.get(), "rfcomm*") < 0 || udev_enumerate_scan_devices(enumerate.get()) < 0)
    return ports;
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
    // Anything else without a device behind it (a pseudo-terminal of the old kind, the kernel's
    // printk tty) is told by its path, before udev reads it.
    const char* syspath = udev_list_entry_get_name(entry);
    if (std::string_view(syspath).starts_with("/sys/devices/virtual/")) continue;
    const UdevPtr<udev_device> tty(udev_device_new_from_syspath(context.get(), syspath));
    if (!tty || !udev_device_get_parent(tty.get()) || NoUartBehind(tty.get())) continue;
    ports.push_back(Describe(tty.get()));
  }
  return ports;
}

}  // namespace tamsu
