#include "serial/port_directory.h"

#include <pwd.h>
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
  EXPECT_EQ(RuntimePortBase(), "/run/user/4242");
  env.Set(nullptr);
  EXPECT_EQ(RuntimePortDirectory(), "/tmp/tamsu-tools-" + std::to_string(getuid()) + "/ports");
  EXPECT_EQ(RuntimePortBase(), "/tmp");  // the fallback passes the same checks below it
}

// A runtime directory of its own with a published port in it, spoiled by each test.
class UntrustedPortDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tamsu-trust-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    env_.emplace(root_.c_str());
    const int fd = OpenPortDirectory(RuntimePortBase(), RuntimePortDirectory(), true, &problem_);
    ASSERT_GE(fd, 0) << problem_;
    close(fd);
    dir_ = RuntimePortDirectory();
    fs::create_symlink(pty_.slavePath(), dir_ / "sim-ttyV0");
    ASSERT_EQ(ListVirtualPorts().size(), 1u);
    if (const passwd* nobody = getpwnam("nobody")) nobody_ = nobody->pw_uid;
  }
  void TearDown() override {
    fs::remove_all(root_);
    fs::remove_all(elsewhere_);
  }

  // What the port list offers and what it says about it on standard error.
  std::vector<VirtualPort> List(std::string* said) {
    testing::internal::CaptureStderr();
    auto ports = ListVirtualPorts();
    *said = testing::internal::GetCapturedStderr();
    return ports;
  }
  // The port list and the simulator both refuse the directory, naming `level`.
  void ExpectRefused(const fs::path& level, const std::string& why) {
    std::string said;
    EXPECT_TRUE(List(&said).empty());
    EXPECT_NE(said.find(level.string() + " " + why), std::string::npos) << said;
    EXPECT_TRUE(List(&said).empty());
    EXPECT_EQ(said, "");  // once is enough
    std::string problem;
    const int fd = OpenPortDirectory(RuntimePortBase(), RuntimePortDirectory(), true, &problem);
    EXPECT_LT(fd, 0);
    if (fd >= 0) close(fd);
    EXPECT_NE(problem.find("refusing the port directory " + dir_.string()), std::string::npos) << problem;
    EXPECT_NE(problem.find(level.string() + " " + why), std::string::npos) << problem;
  }

  fs::path root_, dir_, elsewhere_;
  std::optional<ScopedRuntimeDir> env_;
  std::string problem_;
  test::PtyPair pty_;
  std::optional<uid_t> nobody_;
};

TEST_F(UntrustedPortDirectory, AnotherUsersLevelIsRefused) {
  if (!nobody_) GTEST_SKIP() << "no user nobody";
  if (chown(dir_.parent_path().c_str(), *nobody_, static_cast<gid_t>(-1)) != 0) GTEST_SKIP() << "needs root";
  ExpectRefused(dir_.parent_path(), "belongs to another user");
}

TEST_F(UntrustedPortDirectory, ALevelOthersCanWriteIsRefused) {
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  ExpectRefused(dir_, "can be written by other users (mode 0777)");
  ASSERT_EQ(chmod(dir_.c_str(), 0720), 0);  // the group alone is one writer too many
  ExpectRefused(dir_, "can be written by other users (mode 0720)");
}

TEST_F(UntrustedPortDirectory, ALevelThatIsALinkIsRefused) {
  // Someone's directory, linked in where ours belongs: its ports must not pass for ours.
  elsewhere_ = root_.string() + "-elsewhere";
  const fs::path level = dir_.parent_path();
  fs::rename(level, elsewhere_);
  fs::create_directory_symlink(elsewhere_, level);
  ExpectRefused(level, "is a symbolic link");
}

TEST_F(UntrustedPortDirectory, OnlyTheUsersOwnLinksAreListed) {
  if (!nobody_) GTEST_SKIP() << "no user nobody";
  test::PtyPair planted;
  const fs::path link = dir_ / "ttyUSB0";
  fs::create_symlink(planted.slavePath(), link);
  if (lchown(link.c_str(), *nobody_, static_cast<gid_t>(-1)) != 0) GTEST_SKIP() << "needs root";
  std::string said;
  const auto ports = List(&said);
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].name, "sim-ttyV0");
  EXPECT_EQ(said, "");
}

TEST(PortDirectory, MadePrivateWhenMissing) {
  char tmpl[] = "/tmp/tamsu-trust-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string base = tmpl, dir = base + "/a/b";
  std::string problem = "x";
  EXPECT_LT(OpenPortDirectory(base, dir, false, &problem), 0);  // missing: nothing to list, nothing to say
  EXPECT_EQ(problem, "");
  const mode_t mask = umask(0);  // made 0700 whatever the umask would allow
  const int fd = OpenPortDirectory(base, dir, true, &problem);
  umask(mask);
  ASSERT_GE(fd, 0) << problem;
  close(fd);
  for (const std::string& level : {base + "/a", dir}) {
    struct stat st {};
    ASSERT_EQ(lstat(level.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u) << level;
  }
  EXPECT_LT(OpenPortDirectory(base, "/elsewhere/ports", true, &problem), 0);
  EXPECT_NE(problem.find("not below"), std::string::npos);
  fs::remove_all(base);
}

TEST(PortDirectory, ListsLinksToCharacterDevicesInNaturalOrder) {
  fs::path root = fs::temp_directory_path() / ("tamsu-ports-" + std::to_string(getpid()));
  fs::remove_all(root);
  ScopedRuntimeDir env(root.c_str());
  fs::create_directories(RuntimePortDirectory());
  fs::permissions(root / "tamsu-tools", fs::perms::owner_all);
  fs::permissions(RuntimePortDirectory(), fs::perms::owner_all);
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
