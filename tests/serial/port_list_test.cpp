// The one port list: what each kind of port becomes, in what order, and the machine's own
// ports read through udev as the kernel lists them.
#include "serial/port_list.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>
#include <set>

namespace tamsu {
namespace {

TEST(PortList, EveryKindOfPortInTheWindowsOrderWithItsState) {
  const std::map<std::string, PortStatus> machine = {
      {"/dev/ttyUSB10", PortStatus::Available}, {"/dev/ttyUSB2", PortStatus::Available},
      {"/dev/ttyS0", PortStatus::Busy},         {"/dev/ttyACM0", PortStatus::NoPermission},
      {"/dev/ttyUSB3", PortStatus::Missing},    {"/run/p/sim-ttyV0", PortStatus::Busy},
      {"/run/p/bridge", PortStatus::Available}};
  PortListSources sources;
  sources.system = [] {
    SystemPort usb{"/dev/ttyUSB10", "ttyUSB10", "FTDI", "FT232R USB UART", "A1B2", 0x0403, 0x6001};
    SystemPort same{"/dev/ttyUSB2", "ttyUSB2", "QinHeng", "QinHeng", "", 0x1a86, 0x7523};
    return std::vector<SystemPort>{usb,
                                   same,
                                   {"/dev/ttyS0", "ttyS0", "", "", "", {}, {}},
                                   {"/dev/ttyACM0", "ttyACM0", "", "", "", {}, {}},
                                   {"/dev/ttyUSB3", "ttyUSB3", "", "", "", {}, {}},
                                   same};
  };
  sources.virtuals = [] { return std::vector<VirtualPort>{{"sim-ttyV0", "/run/p/sim-ttyV0"}, {"bridge", "/run/p/bridge"}}; };
  sources.remembered = [] { return std::vector<std::string>{"tcp://192.0.2.1:4001", "rfc2217://gw:2217"}; };
  std::vector<std::string> probed;
  sources.probe = [&](const std::string& path) {
    probed.push_back(path);
    PortProbe probe{machine.at(path), {}};
    if (probe.status == PortStatus::NoPermission) probe.hint = "join dialout";
    return probe;
  };

  using enum PortKind;
  using enum PortState;
  const std::string raw = DescribeNetworkPort("tcp://x:1"), rfc = DescribeNetworkPort("rfc2217://x:1");
  // The window's: our own line holds the simulator's port, a network address was typed.
  const std::vector<PortListEntry> window = ListPorts({"/run/p/sim-ttyV0", "tcp://192.0.2.9:502", false}, sources);
  const std::vector<PortListEntry> expected = {
      {"bridge", "/run/p/bridge", Virtual, Available, "/run/p/bridge"},
      {"sim-ttyV0", "/run/p/sim-ttyV0", Virtual, InUse, "/run/p/sim-ttyV0"},
      {"ttyACM0", "/dev/ttyACM0", Serial, NoPermission, "join dialout"},
      {"ttyUSB2", "/dev/ttyUSB2", Serial, Available, "QinHeng, USB 1a86:7523, /dev/ttyUSB2"},
      {"ttyUSB10", "/dev/ttyUSB10", Serial, Available, "FTDI, FT232R USB UART, USB 0403:6001, serial A1B2, /dev/ttyUSB10"},
      {"tcp://192.0.2.9:502", "tcp://192.0.2.9:502", Network, Remembered, raw},
      {"tcp://192.0.2.1:4001", "tcp://192.0.2.1:4001", Network, Remembered, raw},
      {"rfc2217://gw:2217", "rfc2217://gw:2217", Network, Remembered, rfc}};
  EXPECT_EQ(window, expected);
  // Our own port is never probed (that would take it for busy); a port listed twice, once.
  EXPECT_EQ(std::count(probed.begin(), probed.end(), "/run/p/sim-ttyV0"), 0);
  EXPECT_EQ(std::count(probed.begin(), probed.end(), "/dev/ttyUSB2"), 1);

  // The shell holds nothing: the same ports, and those another program holds marked busy; a
  // network port in use stays in use, and one typed and remembered is listed once.
  std::vector<PortListEntry> shell = ListPorts({"tcp://192.0.2.1:4001", "rfc2217://gw:2217", true}, sources);
  ASSERT_EQ(shell.size(), 8u);
  EXPECT_EQ(shell[1].name, "sim-ttyV0");
  EXPECT_EQ(shell[1].state, Busy);
  EXPECT_EQ(shell[3].name, "ttyS0");
  EXPECT_EQ(shell[3].state, Busy);
  EXPECT_EQ(std::string(PortStateName(shell[6].state)) + " " + shell[6].name, "in use tcp://192.0.2.1:4001");
  EXPECT_EQ(std::string(PortStateName(shell[7].state)) + " " + shell[7].name, "remembered rfc2217://gw:2217");
}

std::string FirstLine(const std::string& path) {
  std::string line;
  std::getline(std::ifstream(path), line);
  return line;
}

// What udev lists is what the kernel has: every tty with a device behind it, less the UART slots
// with no UART; and a machine without udev's database (most containers) lists them quietly.
TEST(PortList, SystemPortsAreTheKernelsTtysWithHardwareListedQuietly) {
  std::set<std::string> kernel;
  if (DIR* d = ::opendir("/sys/class/tty")) {
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name, base = "/sys/class/tty/" + name;
      struct stat st {};
      if (name[0] == '.' || ::stat((base + "/device").c_str(), &st) != 0) continue;
      if (FirstLine(base + "/type") != "0") kernel.insert(name);
    }
    ::closedir(d);
  }
  testing::internal::CaptureStderr();
  const std::vector<SystemPort> ports = EnumerateSystemPorts();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  std::set<std::string> listed;
  for (const SystemPort& port : ports) {
    listed.insert(port.name);
    EXPECT_EQ(port.path, "/dev/" + port.name);
    EXPECT_TRUE(DescribeSystemPort(port).ends_with(port.path)) << DescribeSystemPort(port);
  }
  EXPECT_EQ(listed, kernel);
}

}  // namespace
}  // namespace tamsu
