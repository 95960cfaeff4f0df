// The port list without a toolkit, over a made-up /sys/class/tty: adapters with a device
// behind them are listed with what tells them apart; consoles and the kernel's placeholder
// UARTs are not.
#include "cli/ports.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "cli/options.h"

namespace tamsu::cli {
namespace {

void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text << '\n'; }

TEST(CliPorts, AdaptersListedPlaceholdersAndConsolesNot) {
  char pattern[] = "/tmp/tamsu-sysfs-XXXXXX";
  const std::string root = mkdtemp(pattern);
  const std::string usb = root + "/devices/usb1/1-1", iface = usb + "/1-1:1.0", tty = root + "/class/tty";
  for (const std::string& dir : {root + "/devices", root + "/devices/usb1", usb, iface, root + "/devices/serial8250",
                                 root + "/class", tty, tty + "/ttyUSB0", tty + "/ttyS0", tty + "/ttyS4", tty + "/tty0"})
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0) << dir;
  Write(usb + "/idVendor", "1a86");
  Write(usb + "/idProduct", "7523");
  Write(usb + "/manufacturer", "QinHeng");
  Write(usb + "/product", "USB Serial");
  Write(usb + "/serial", "A1B2");
  ASSERT_EQ(symlink(iface.c_str(), (tty + "/ttyUSB0/device").c_str()), 0);
  ASSERT_EQ(symlink((root + "/devices/serial8250").c_str(), (tty + "/ttyS0/device").c_str()), 0);
  ASSERT_EQ(symlink((root + "/devices/serial8250").c_str(), (tty + "/ttyS4/device").c_str()), 0);
  Write(tty + "/ttyS0/type", "4");
  Write(tty + "/ttyS4/type", "0");

  std::vector<PortEntry> ports = ListSystemPorts(tty, "/dev");
  std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) { return a.name < b.name; });
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].name, "ttyS0");
  EXPECT_EQ(ports[0].about, "/dev/ttyS0");
  EXPECT_EQ(ports[1].name, "ttyUSB0");
  EXPECT_EQ(ports[1].path, "/dev/ttyUSB0");
  EXPECT_EQ(ports[1].about, "QinHeng, USB Serial, USB 1a86:7523, serial A1B2, /dev/ttyUSB0");
}

TEST(CliPorts, NetworkAddressesPassAsTheyAreAndMissingDevicesAreRefused) {
  EXPECT_EQ(ResolvePort("tcp://192.0.2.7:4001"), "tcp://192.0.2.7:4001");
  EXPECT_EQ(ResolvePort("rfc2217://gateway.example:2217"), "rfc2217://gateway.example:2217");
  EXPECT_THROW(ResolvePort("/dev/tamsu-none"), UsageError);
  EXPECT_THROW(ResolvePort("/etc/hostname"), UsageError);  // not a character device
}

}  // namespace
}  // namespace tamsu::cli
