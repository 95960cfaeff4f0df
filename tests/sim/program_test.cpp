// The tamsu-sim program: prints its port, publishes it, serves it, removes it on a signal.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/sim/line.h"

namespace {

using namespace std::chrono_literals;

struct Program {
  pid_t pid = -1;
  FILE* out = nullptr;
};

// With `withErrors` the program's standard error comes through the same pipe.
Program Launch(const std::vector<std::string>& args, bool withErrors = false) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], 1);
    if (withErrors) dup2(pipefd[1], 2);
    close(pipefd[0]);
    close(pipefd[1]);
    std::vector<char*> argv{const_cast<char*>(TAMSU_SIM_PROGRAM)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipefd[1]);
  return {pid, fdopen(pipefd[0], "r")};
}

int Finish(Program& p, int sig) {
  kill(p.pid, sig);
  int status = 0;
  waitpid(p.pid, &status, 0);
  fclose(p.out);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Program, PublishesServesAndRemovesItsPortOnEachSignal) {
  char tmpl[] = "/tmp/tamsu-sim-prog-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  for (int sig : {SIGTERM, SIGINT}) {
    Program p = Launch({"--profile", "Illum20WPage", "--address", "3", "--baud", "4800", "--protocol", "any0",
                        "--no-drift", "--port-dir", dir});
    ASSERT_GT(p.pid, 0);
    char line[256] = {};
    ASSERT_NE(fgets(line, sizeof line, p.out), nullptr);  // the port, once it is served
    std::string port(line);
    port.pop_back();
    EXPECT_EQ(port, dir + "/sim-ttyV0");
    ASSERT_TRUE(std::filesystem::is_symlink(port));
    {
      tamsu::test::Line l(port, 4800);
      EXPECT_EQ(l.Exchange(tamsu::test::ReadReq(0, 0x0002, 2)), tamsu::test::WithCrc({0, 3, 4, 0x00, 0x02, 0x49, 0xF0}));
      EXPECT_EQ(l.Exchange(tamsu::test::ReadReq(3, 0x0006, 1)), tamsu::test::WithCrc({3, 3, 2, 0x05, 0xDC}));
    }
    EXPECT_EQ(Finish(p, sig), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(port)) << "signal " << sig;
  }
  std::filesystem::remove_all(dir);
}

// Verbose: each exchange in the words of the tool's line traffic view, from the device's side.
TEST(Program, VerboseModePrintsEachExchangeDecoded) {
  char tmpl[] = "/tmp/tamsu-sim-prog-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  Program p = Launch({"--profile", "TemHumPage", "--no-drift", "--protocol", "modbus", "--port-dir", tmpl, "-v"}, true);
  ASSERT_GT(p.pid, 0);
  char line[512] = {};
  std::string port;
  while (port.empty() && fgets(line, sizeof line, p.out))
    if (line[0] == '/') port.assign(line, strlen(line) - 1);
  ASSERT_FALSE(port.empty());
  {
    tamsu::test::Line l(port, 9600);
    EXPECT_EQ(l.Exchange(tamsu::test::ReadReq(1, 0x0001, 1)), tamsu::test::WithCrc({1, 3, 2, 0x00, 0xE6}));
  }
  std::string heard, answered;
  while ((heard.empty() || answered.empty()) && fgets(line, sizeof line, p.out)) {
    const std::string text = line;
    if (text.find("received") != std::string::npos) heard = text;
    if (text.find("  sent ") != std::string::npos) answered = text;
  }
  EXPECT_NE(heard.find("received   9600  01 03 00 01 00 01 D5 CA  03 read 0x0001 \u00D71 at 1"), std::string::npos)
      << heard;
  EXPECT_NE(answered.find("sent       9600  01 03 02 00 E6 39 CE  values 0x00E6 (230)"), std::string::npos)
      << answered;
  EXPECT_EQ(Finish(p, SIGTERM), 0);
  std::filesystem::remove_all(tmpl);
}

// Past the port line, the program's TCP address: connected to it.
void ConnectToListening(Program& p, int& fd) {
  char line[256] = {};
  ASSERT_NE(fgets(line, sizeof line, p.out), nullptr);  // the port
  ASSERT_NE(fgets(line, sizeof line, p.out), nullptr);  // the TCP address
  unsigned port = 0;
  ASSERT_EQ(std::sscanf(line, "tcp://127.0.0.1:%u", &port), 1) << line;
  fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
}

// --listen: the transmitter also answers raw RTU over TCP on loopback, as behind a gateway.
TEST(Program, ListensOnTcpAndPrintsTheAddress) {
  char tmpl[] = "/tmp/tamsu-sim-prog-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  Program p = Launch({"--profile", "TemHumPage", "--no-drift", "--protocol", "modbus", "--port-dir", tmpl, "--listen", "tcp:0"});
  ASSERT_GT(p.pid, 0);
  int fd = -1;
  ASSERT_NO_FATAL_FAILURE(ConnectToListening(p, fd));
  tamsu::test::SendAll(fd, tamsu::test::ReadReq(1, 0x0001, 1));
  EXPECT_EQ(tamsu::test::ReceiveUntilQuiet(fd, 40ms, 1000ms), tamsu::test::WithCrc({1, 3, 2, 0x00, 0xE6}));
  close(fd);
  EXPECT_EQ(Finish(p, SIGTERM), 0);
  std::filesystem::remove_all(tmpl);
}

// --device, repeated: a bus; each answers its own address, two at one address collide.
TEST(Program, ABusOfDevicesAnswersEachAtItsAddressAndCollidesAtADoubledOne) {
  char tmpl[] = "/tmp/tamsu-sim-prog-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  Program p = Launch({"--device", "TemHumPage@1", "--device", "WindSpeedPage@1", "--device", "WindSpeedPage@2:9600",
                      "--device", "TemHumPage@3:4800", "--no-drift", "--port-dir", tmpl, "--listen", "tcp:0"});
  ASSERT_GT(p.pid, 0);
  int fd = -1;
  ASSERT_NO_FATAL_FAILURE(ConnectToListening(p, fd));
  tamsu::test::SendAll(fd, tamsu::test::ReadReq(2, 0x0000, 1));
  EXPECT_EQ(tamsu::test::ReceiveUntilQuiet(fd, 40ms, 1000ms), tamsu::test::WithCrc({2, 3, 2, 0x00, 0x20}));
  // Over TCP the line runs at the first device's rate: the 4800-baud one keeps quiet.
  tamsu::test::SendAll(fd, tamsu::test::ReadReq(3, 0x0000, 1));
  EXPECT_TRUE(tamsu::test::ReceiveUntilQuiet(fd, 40ms, 300ms).empty());
  tamsu::test::SendAll(fd, tamsu::test::ReadReq(1, 0x0000, 1));
  const auto collided = tamsu::test::ReceiveUntilQuiet(fd, 40ms, 1000ms);
  EXPECT_EQ(collided.size(), 8u);  // the second answer a byte behind the first, overlapping it
  close(fd);
  EXPECT_EQ(Finish(p, SIGTERM), 0);
  std::filesystem::remove_all(tmpl);
}

TEST(Program, ListsProfilesAndRefusesBadArguments) {
  Program p = Launch({"--list-profiles"});
  std::string all;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p.out)) all.append(buf, n);
  EXPECT_EQ(Finish(p, 0), 0);
  for (const char* name : {"generic", "TemHumKanbanPage", "WindDirectionPage", "Illum20WTemHumPage"})
    EXPECT_NE(all.find(name), std::string::npos) << name;
  for (auto args : std::vector<std::vector<std::string>>{{"--profile", "Nope"},
                                                         {"--profile", "generic", "--baud", "1234"},
                                                         {"--profile", "generic", "--address", "0"},
                                                         {"--profile", "generic", "--protocol", "rtu"},
                                                         {"--profile", "generic", "--fault", "loud"},
                                                         {"--profile", "generic", "--listen", "udp:4001"},
                                                         {"--profile", "generic", "--listen", "tcp:70000"},
                                                         {"--device", "generic@0"},
                                                         {"--profile", "generic", "--device", "generic@2"},
                                                         {"--device", "generic@1", "--device", "generic@2", "--fault", "silence"},
                                                         {}}) {
    Program bad = Launch(args);
    EXPECT_EQ(Finish(bad, 0), 2);
  }
}

}  // namespace
