#include "device/line_worker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tamsu {
namespace {

// A gate a job waits at until the test opens it: the job is known to be running meanwhile.
class Gate {
 public:
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

// Jobs append what they did; the worker thread writes, the test reads after Drain().
struct Journal {
  std::mutex mutex;
  std::vector<std::string> entries;
  void Add(std::string s) {
    std::lock_guard lock(mutex);
    entries.push_back(std::move(s));
  }
};

// A poll of `reads` exchanges that stops between them when asked, as the page runner does.
LineWorker::Job PollJob(Journal& journal, int reads, Gate* firstRead = nullptr, Gate* release = nullptr) {
  return {"poll", LineWorker::Kind::Poll, [&journal, reads, firstRead, release](const LineWorker::Token& token) {
            for (int i = 0; i < reads && !token.StopRequested(); ++i) {
              journal.Add("poll read " + std::to_string(i));
              if (i == 0 && firstRead) firstRead->Open();
              if (i == 0 && release) release->Wait();
            }
          }};
}

LineWorker::Job UserJob(Journal& journal, std::string name) {
  return {name, LineWorker::Kind::User, [&journal, name](const LineWorker::Token&) { journal.Add(name); }};
}

TEST(LineWorker, UserJobsRunInTheOrderPressed) {
  Journal journal;
  Gate hold;
  LineWorker worker;
  worker.Post({"first", LineWorker::Kind::User, [&](const LineWorker::Token&) {
                 hold.Wait();
                 journal.Add("first");
               }});
  worker.Post(UserJob(journal, "second"));
  worker.Post(UserJob(journal, "third"));
  EXPECT_FALSE(worker.Idle());
  hold.Open();
  worker.Drain();
  EXPECT_EQ(journal.entries, (std::vector<std::string>{"first", "second", "third"}));
  EXPECT_TRUE(worker.Idle());
}

TEST(LineWorker, AUserActionStopsARunningPollAfterTheExchangeInFlight) {
  Journal journal;
  Gate inFirstRead, release;
  LineWorker worker;
  worker.Post(PollJob(journal, 10, &inFirstRead, &release));
  inFirstRead.Wait();
  EXPECT_TRUE(worker.PollPending());
  worker.Post(UserJob(journal, "Inquire"));
  release.Open();
  worker.Drain();
  // The read in flight finished; none after it; the user's job ran next.
  EXPECT_EQ(journal.entries, (std::vector<std::string>{"poll read 0", "Inquire"}));
}

TEST(LineWorker, PollsGiveWayToUserJobsWaitingOrRunning) {
  Journal journal;
  Gate hold;
  LineWorker worker;
  worker.Post({"hold", LineWorker::Kind::User, [&](const LineWorker::Token&) { hold.Wait(); }});
  worker.Post(PollJob(journal, 1));  // a user job runs: dropped
  worker.Post(UserJob(journal, "Set up"));
  worker.Post(PollJob(journal, 1));  // a user job waits: dropped
  EXPECT_FALSE(worker.PollPending());
  hold.Open();
  worker.Drain();
  EXPECT_EQ(journal.entries, (std::vector<std::string>{"Set up"}));

  // A queued poll is dropped when the user presses something.
  Gate hold2;
  worker.Post({"hold", LineWorker::Kind::User, [&](const LineWorker::Token&) { hold2.Wait(); }});
  hold2.Open();
  worker.Drain();
  worker.Post(PollJob(journal, 1));
  worker.Drain();
  EXPECT_EQ(journal.entries.back(), "poll read 0");
}

TEST(LineWorker, StopCurrentEndsASequenceButKeepsWhatWaits) {
  Journal journal;
  Gate inFirstRead, release;
  LineWorker worker;
  worker.Post({"Inquire", LineWorker::Kind::User, [&](const LineWorker::Token& token) {
                 for (int i = 0; i < 5 && !token.StopRequested(); ++i) {
                   journal.Add("read " + std::to_string(i));
                   if (i == 0) {
                     inFirstRead.Open();
                     release.Wait();
                   }
                 }
               }});
  inFirstRead.Wait();
  worker.Post(UserJob(journal, "next"));
  worker.StopCurrent();
  release.Open();
  worker.Drain();
  EXPECT_EQ(journal.entries, (std::vector<std::string>{"read 0", "next"}));
}

// Unticking a box stops the poll after its exchange in flight, but never the user's job, and
// Esc has only the user's job to stop.
TEST(LineWorker, StopPollsLeavesTheUsersJobsAlone) {
  Journal journal;
  Gate inFirstRead, release;
  LineWorker worker;
  worker.Post(PollJob(journal, 10, &inFirstRead, &release));
  inFirstRead.Wait();
  EXPECT_FALSE(worker.UserPending());
  worker.StopPolls();
  release.Open();
  worker.Drain();
  EXPECT_EQ(journal.entries, (std::vector<std::string>{"poll read 0"}));

  Gate hold;
  worker.Post({"Inquire", LineWorker::Kind::User, [&](const LineWorker::Token& token) {
                 hold.Wait();
                 journal.Add(token.StopRequested() ? "stopped" : "went on");
               }});
  EXPECT_TRUE(worker.UserPending());
  worker.StopPolls();
  hold.Open();
  worker.Drain();
  EXPECT_EQ(journal.entries.back(), "went on");
  EXPECT_FALSE(worker.UserPending());
}

TEST(LineWorker, TellsWhatTheLineDoesAndWhenItIsIdle) {
  std::mutex mutex;
  std::vector<std::string> said;
  {
    LineWorker worker([&](const std::string& what, LineWorker::Kind) {
      std::lock_guard lock(mutex);
      said.push_back(what);
    });
    worker.Post({"Test Baud Rate", LineWorker::Kind::User, [](const LineWorker::Token& token) {
                   token.Say("Testing 2400 baud…");
                   token.Say("Testing 4800 baud…");
                 }});
    worker.Drain();
  }
  std::lock_guard lock(mutex);
  EXPECT_EQ(said, (std::vector<std::string>{"Test Baud Rate", "Testing 2400 baud…", "Testing 4800 baud…", ""}));
}

TEST(LineWorker, DestructionStopsTheRunningJobAndDropsTheRest) {
  Journal journal;
  Gate started;
  {
    LineWorker worker;
    worker.Post({"long", LineWorker::Kind::User, [&](const LineWorker::Token& token) {
                   started.Open();
                   // Stands for a sequence of exchanges, asking between them.
                   while (!token.StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                   journal.Add("stopped");
                 }});
    worker.Post(UserJob(journal, "never"));
    started.Wait();
  }
  EXPECT_EQ(journal.entries, (std::vector<std::string>{"stopped"}));
}

}  // namespace
}  // namespace tamsu
