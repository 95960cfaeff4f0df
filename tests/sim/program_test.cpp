// The tamsu-sim program: prints its port, publishes it, serves it, removes it on a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/sim/line.h"

namespace {

using namespace std::chrono_literals;

struct Program {
  pid_t pid = -1;
  FILE* out = nullptr;
};

Program Launch(const std::vector<std::string>& args) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], 1);
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
                                                         {}}) {
    Program bad = Launch(args);
    EXPECT_EQ(Finish(bad, 0), 2);
  }
}

}  // namespace
