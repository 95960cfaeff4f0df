#include "serial/port_directory.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "serial/serial_port.h"
#include "tests/support/pty_pair.h"

namespace tamsu {
namespace {

namespace fs = std::filesystem;

// Sets XDG_RUNTIME_DIR (or unsets it for nullptr) for one test, restoring it afterwards.
class ScopedRuntimeDir {
 public:
  explicit ScopedRuntimeDir(const char* value) {
    if (const char* old = getenv("XDG_RUNTIME_DIR")) saved_ = old;
    Set(value);
  }
  ~ScopedRuntimeDir() { Set(saved_ ? saved_->c_str() : nullptr); }
  void Set(const char* value) { value ? setenv("XDG_RUNTIME_DIR", value, 1) : unsetenv("XDG_RUNTIME_DIR"); }

 private:
  std::optional<std::string> saved_;
};

TEST(PortDirectory, FollowsTheRuntimeDirectory) {
  ScopedRuntimeDir env("/run/user/4242");
  EXPECT_EQ(RuntimePortDirectory(), "/run/user/4242/tamsu-tools/ports");
  env.Set(nullptr);
  EXPECT_EQ(RuntimePortDirectory(), "/tmp/tamsu-tools-" + std::to_string(getuid()) + "/ports");
}

TEST(PortDirectory, ListsLinksToCharacterDevicesInNaturalOrder) {
  fs::path root = fs::temp_directory_path() / ("tamsu-ports-" + std::to_string(getpid()));
  fs::remove_all(root);
  ScopedRuntimeDir env(root.c_str());
  fs::create_directories(RuntimePortDirectory());
  fs::path dir = RuntimePortDirectory();

  test::PtyPair one, two;
  fs::create_symlink(one.slavePath(), dir / "sim-ttyV10");
  fs::create_symlink(two.slavePath(), dir / "sim-ttyV2");
  fs::create_symlink("/dev/pts/does-not-exist", dir / "stale");
  fs::create_symlink("/etc/hostname", dir / "not-a-device");
  std::ofstream(dir / "plain-file") << "x";

  auto ports = ListVirtualPorts();
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].name, "sim-ttyV2");
  EXPECT_EQ(ports[1].name, "sim-ttyV10");
  EXPECT_EQ(ports[1].devicePath, (dir / "sim-ttyV10").string());

  // A published port opens through its link.
  SerialPort port;
  port.Configure(ports[0].devicePath, 8, 0, 0, 9600);
  EXPECT_NE(port.Open(), 0);

  fs::remove_all(root);
}

TEST(PortDirectory, ProbeTellsMissingHeldAndAvailable) {
  EXPECT_EQ(ProbePort("/dev/does-not-exist-tamsu").status, PortStatus::Missing);
  EXPECT_EQ(ProbePort("/etc/hostname").status, PortStatus::Missing);  // not a device
  test::PtyPair pty;
  EXPECT_EQ(ProbePort(pty.slavePath()).status, PortStatus::Available);
  SerialPort holder;
  holder.Configure(pty.slavePath(), 8, 0, 0, 9600);
  ASSERT_NE(holder.Open(), 0);
  EXPECT_EQ(ProbePort(pty.slavePath()).status, PortStatus::Busy);
  holder.Close();
  EXPECT_EQ(ProbePort(pty.slavePath()).status, PortStatus::Available);
}

TEST(NaturalOrder, ComparesDigitRunsAsNumbers) {
  EXPECT_TRUE(NaturalLess("ttyUSB2", "ttyUSB10"));
  EXPECT_FALSE(NaturalLess("ttyUSB10", "ttyUSB2"));
  EXPECT_TRUE(NaturalLess("ttyACM0", "ttyUSB0"));
  EXPECT_TRUE(NaturalLess("ttyS1", "ttyS1a"));
  EXPECT_FALSE(NaturalLess("ttyS1", "ttyS1"));
  EXPECT_TRUE(NaturalLess("a99999999999999999999", "a100000000000000000000"));
}

}  // namespace
}  // namespace tamsu
