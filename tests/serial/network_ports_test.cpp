#include "serial/network_ports.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tamsu {
namespace {

TEST(NetworkAddress, TheThreeFormsAndTheirCanonicalSpelling) {
  struct Case {
    const char* text;
    NetworkKind kind;
    const char* host;
    uint16_t port;
    const char* canonical;
  };
  for (const Case& c : {Case{"tcp://10.0.0.5:4001", NetworkKind::RawTcp, "10.0.0.5", 4001, "tcp://10.0.0.5:4001"},
                        Case{"RFC2217://gw-3.site:2217", NetworkKind::Rfc2217, "gw-3.site", 2217, "rfc2217://gw-3.site:2217"},
                        Case{"  localhost:502 ", NetworkKind::RawTcp, "localhost", 502, "tcp://localhost:502"},
                        Case{"rfc2217://[::1]:65535", NetworkKind::Rfc2217, "::1", 65535, "rfc2217://[::1]:65535"}}) {
    const NetworkAddress a = ParseNetworkAddress(c.text);
    ASSERT_TRUE(a) << c.text << ": " << a.error;
    EXPECT_EQ(a.kind, c.kind) << c.text;
    EXPECT_EQ(a.host, c.host) << c.text;
    EXPECT_EQ(a.port, c.port) << c.text;
    EXPECT_EQ(a.Canonical(), c.canonical) << c.text;
  }
  EXPECT_EQ(ParseNetworkAddress("rfc2217://10.0.0.5:2217").Describe(), "rfc2217 10.0.0.5:2217");
}

TEST(NetworkAddress, MalformedAddressesAreRefusedWithAReason) {
  for (const char* text : {"", "tcp://", "10.0.0.5", "10.0.0.5:", ":4001", "tcp://10.0.0.5:0", "tcp://10.0.0.5:65536",
                           "tcp://10.0.0.5:99999999999", "tcp://10.0.0.5:+1", "tcp://10.0.0.5:40 01",
                           "udp://10.0.0.5:4001", "::1:4001", "[::1]4001", "[::1", "tcp://host name:1",
                           "tcp://a/b:1", "http://x:80"}) {
    const NetworkAddress a = ParseNetworkAddress(text);
    EXPECT_FALSE(a) << text;
    EXPECT_FALSE(a.error.empty()) << text;
  }
  EXPECT_NE(ParseNetworkAddress("udp://x:1").error.find("udp"), std::string::npos);
}

TEST(NetworkAddress, DevicePathsAreNoNetworkPaths) {
  EXPECT_FALSE(IsNetworkPath("/dev/ttyUSB0"));
  EXPECT_FALSE(IsNetworkPath("/tmp/x:1"));
  EXPECT_FALSE(IsNetworkPath(""));
  EXPECT_TRUE(IsNetworkPath("gw:4001"));
  EXPECT_TRUE(IsNetworkPath("rfc2217://gw:2217"));
  EXPECT_TRUE(IsNetworkPath("tcp://bad"));  // a network path, refused when opened
}

class RememberedPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/tamsu-config-test-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    dir_ = dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old) old_ = old;
    hadOld_ = old != nullptr;
    ::setenv("XDG_CONFIG_HOME", dir, 1);
  }
  void TearDown() override {
    if (hadOld_) {
      ::setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    std::filesystem::remove_all(dir_);
  }
  std::string dir_, old_;
  bool hadOld_ = false;
};

TEST_F(RememberedPorts, NewestFirstOnceEachAtMostEight) {
  EXPECT_EQ(NetworkPortsFile(), dir_ + "/tamsu-tools/network-ports");
  EXPECT_TRUE(RememberedNetworkPorts().empty());
  for (int i = 1; i <= 10; ++i) ASSERT_TRUE(RememberNetworkPort("10.0.0." + std::to_string(i) + ":4001"));
  ASSERT_TRUE(RememberNetworkPort("rfc2217://10.0.0.5:4001"));
  ASSERT_TRUE(RememberNetworkPort("tcp://10.0.0.9:4001"));  // already there: moves to the front
  const auto ports = RememberedNetworkPorts();
  ASSERT_EQ(ports.size(), 8u);
  EXPECT_EQ(ports[0], "tcp://10.0.0.9:4001");
  EXPECT_EQ(ports[1], "rfc2217://10.0.0.5:4001");
  EXPECT_EQ(ports[2], "tcp://10.0.0.10:4001");
  EXPECT_EQ(ports[7], "tcp://10.0.0.4:4001");
  EXPECT_FALSE(RememberNetworkPort("not an address"));
  // Written whole by a rename: no temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ + "/tamsu-tools"), {}), 1);
}

TEST_F(RememberedPorts, WhateverElseIsInTheFileIsSkipped) {
  std::filesystem::create_directories(dir_ + "/tamsu-tools");
  {
    std::ofstream f(dir_ + "/tamsu-tools/network-ports", std::ios::binary);
    f << "rfc2217://gw:2217\n\x01\xFF garbage\n\n" << std::string(100000, 'x') << "\ntcp://gw:2217\nRFC2217://GW:2217\n";
  }
  const auto ports = RememberedNetworkPorts();
  ASSERT_FALSE(ports.empty());
  EXPECT_EQ(ports[0], "rfc2217://gw:2217");
  for (const auto& p : ports) EXPECT_TRUE(ParseNetworkAddress(p)) << p;
  // A directory where the file should be is no file to read.
  std::filesystem::remove(dir_ + "/tamsu-tools/network-ports");
  std::filesystem::create_directory(dir_ + "/tamsu-tools/network-ports");
  EXPECT_TRUE(RememberedNetworkPorts().empty());
  EXPECT_FALSE(RememberNetworkPort("gw:1"));
}

}  // namespace
}  // namespace tamsu
