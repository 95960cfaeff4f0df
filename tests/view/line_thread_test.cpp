#include "view/line_thread.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/recording_sink.h"

namespace tamsu {
namespace {

using test::Box;
using test::RecordingSink;

int argc = 1;
char arg0[] = "line_thread_test";
char* argv[] = {arg0, nullptr};

class LineThreadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
};

// A job's boxes and what it hands to the window arrive in the order it made them, and the job
// goes on only after its box was closed.
TEST_F(LineThreadTest, WhatAJobShowsArrivesInOrderAndItsBoxesHoldItUp) {
  RecordingSink sink;
  std::vector<std::string> seen;
  sink.whileOpen = [&] { seen.push_back("box open"); };
  LineThread line(sink);
  line.Post("Reading", LineWorker::Kind::User, [&](const LineWorker::Token&) {
    line.ToWindow([&] { seen.push_back("emptied"); });
    line.JobMessages().ShowMessage("Read format error!", "Warning", MessageIcon::Exclamation);
    // Only once the box is closed does the job go on.
    line.ToWindow([&] { seen.push_back("after box"); });
  });
  ASSERT_TRUE(line.WaitIdle());
  EXPECT_EQ(seen, (std::vector<std::string>{"emptied", "box open", "after box"}));
  EXPECT_EQ(sink.boxes, (std::vector<Box>{{"Read format error!", "Warning", MessageIcon::Exclamation}}));
  EXPECT_TRUE(line.Doing().isEmpty());
}

// While a job waits for the line, the window's own events keep coming on time.
TEST_F(LineThreadTest, TheWindowAnswersWhileAJobWaitsForTheLine) {
  RecordingSink sink;
  LineThread line(sink);
  QStringList activity;
  QObject::connect(&line, &LineThread::Activity, [&](const QString& what, bool) { activity << what; });
  line.Post("Reading Temperature…", LineWorker::Kind::User, [](const LineWorker::Token&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // a silent transmitter's wait
  });
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0, worst = 0;
  QTimer tick;
  tick.setInterval(10);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    worst = std::max(worst, clock.elapsed() - last);
    last = clock.elapsed();
  });
  tick.start();
  ASSERT_TRUE(line.WaitIdle());
  EXPECT_GE(clock.elapsed(), 390);
  // Far below the 400 ms the job waits: a window that waited with it would fail, while the
  // scheduler of a loaded machine may still hold the thread for tens of milliseconds.
  EXPECT_LT(worst, 200);
  EXPECT_EQ(activity, (QStringList{"Reading Temperature…", ""}));
}

// A window closing while a job waits for its box neither hangs nor shows the box later.
TEST_F(LineThreadTest, ClosingWhileAJobWaitsForItsBoxEndsTheJob) {
  RecordingSink sink;
  bool ended = false;
  {
    LineThread line(sink);
    line.Post("Set up", LineWorker::Kind::User, [&](const LineWorker::Token&) {
      line.JobMessages().ShowMessage("Write Successfully", "", MessageIcon::Exclamation);
      ended = true;
    });
    // The box is queued for the window, but the window never comes back to its loop.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(ended);
  QCoreApplication::processEvents();
  EXPECT_TRUE(sink.boxes.empty());
}

}  // namespace
}  // namespace tamsu
