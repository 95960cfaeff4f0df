#include "serial/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/pty_pair.h"

namespace tamsu {
namespace {

using test::PtyPair;

void OpenAt(SerialPort& port, const std::string& path, uint32_t baud = 9600) {
  port.Configure(path, 8, 0, 0, baud);
  ASSERT_NE(port.Open(), 0) << path;
}

// Waits until the port's input queue holds `count` bytes.
void WaitQueued(const SerialPort& port, int count) {
  for (int i = 0; i < 200; ++i) {
    int queued = 0;
    ioctl(port.Descriptor(), FIONREAD, &queued);
    if (queued >= count) return;
    pollfd p{port.Descriptor(), POLLIN, 0};
    poll(&p, 1, 10);
  }
  FAIL() << "bytes did not arrive";
}

TEST(SerialPort, FailsCleanlyForMissingDevicesUnsupportedSettingsAndWhenClosed) {
  SerialPort port;
  EXPECT_EQ(port.Open(), 0);  // never configured
  port.Configure("/dev/does-not-exist-tamsu", 8, 0, 0, 9600);
  EXPECT_EQ(port.Open(), 0);
  EXPECT_FALSE(port.IsOpen());

  PtyPair pty;
  port.Configure(pty.slavePath(), 8, 0, 0, 12345);  // no such line rate: refused, device closed
  EXPECT_EQ(port.Open(), 0);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_LT(port.Descriptor(), 0);
  uint8_t buf[8] = {};
  EXPECT_EQ(port.Read(buf, sizeof buf), 0u);  // a closed port reads and writes nothing
  EXPECT_EQ(port.Write(buf, sizeof buf), 0);
  port.Close();  // closing a port that is not open is harmless
  EXPECT_FALSE(port.IsOpen());
  SerialPort again;
  OpenAt(again, pty.slavePath());  // nothing was left holding the device
}

TEST(SerialPort, LineIsRawBinaryInBothDirections) {
  PtyPair pty;
  SerialPort port;
  OpenAt(port, pty.slavePath(), 4800);

  termios t{};
  ASSERT_EQ(tcgetattr(port.Descriptor(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B4800);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
  EXPECT_TRUE(t.c_cflag & CLOCAL);
  EXPECT_FALSE(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN));
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR));
  EXPECT_FALSE(t.c_oflag & OPOST);

  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);  // CR, LF, XON, XOFF, ^C, DEL...
  pty.Send(all);
  WaitQueued(port, 256);
  std::vector<uint8_t> got(256);
  ASSERT_EQ(port.Read(got.data(), got.size()), 256u);
  EXPECT_EQ(got, all);

  ASSERT_EQ(port.Write(all.data(), all.size()), 1);
  EXPECT_EQ(pty.Receive(), all);  // no echo, no CR/LF translation
}

TEST(SerialPort, ReadTakesOnlyWhatIsQueuedUpToTheMaximum) {
  PtyPair pty;
  SerialPort port;
  OpenAt(port, pty.slavePath());
  uint8_t buf[512];
  EXPECT_EQ(port.Read(buf, sizeof buf), 0u);  // nothing queued: returns at once

  pty.Send(std::vector<uint8_t>(300, 0x5A));
  WaitQueued(port, 300);
  EXPECT_EQ(port.Read(buf, 256), 256u);
  EXPECT_EQ(port.Read(buf, 256), 44u);
  EXPECT_EQ(port.Read(buf, 256), 0u);
}

TEST(SerialPort, HeldPortCannotBeOpenedAgainEvenByRoot) {
  PtyPair pty;
  SerialPort holder;
  OpenAt(holder, pty.slavePath());

  SerialPort second;
  second.Configure(pty.slavePath(), 8, 0, 0, 9600);
  EXPECT_EQ(second.Open(), 0);
  EXPECT_FALSE(second.IsOpen());

  // Another program (a child process, root when the suite runs as root) is refused too.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SerialPort other;
    other.Configure(pty.slavePath(), 8, 0, 0, 9600);
    _exit(other.Open() == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "second program opened a held port";

  holder.Close();
  EXPECT_NE(second.Open(), 0) << "released port must open again";
}

TEST(SerialPort, ReopensWhileAnotherDescriptorKeepsTheDeviceAlive) {
  PtyPair pty;
  // A simulator keeps its own descriptor on the device side; the exclusive flag must not
  // survive our close and lock us out of the next open.
  int keeper = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(keeper, 0);
  SerialPort port;
  OpenAt(port, pty.slavePath());
  int exclusive = 0;
  ASSERT_EQ(ioctl(keeper, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1) << "open port is not exclusive";
  port.Close();
  ASSERT_EQ(ioctl(keeper, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0) << "exclusive flag left set after close";
  OpenAt(port, pty.slavePath());
  ::close(keeper);
}

}  // namespace
}  // namespace tamsu
