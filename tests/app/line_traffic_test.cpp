// The line traffic window on the real main window, polling a simulated transmitter: it shows
// every exchange and its outcome in order, pauses, clears, and saves exactly what it shows.
#include "app/line_traffic_window.h"

#include <signal.h>
#include <sys/resource.h>

#include <QCheckBox>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/categories.h"
#include "app/main_window.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

// The lines from the first one containing `from`, each reduced to what follows its time.
QStringList Tail(const QStringList& lines, int from = 0) {
  QStringList out;
  for (int i = from; i < lines.size(); ++i) out << lines[i].mid(14);
  return out;
}

TEST(LineTraffic, APollWithTheWindowOpenShowsEachExchangeAndItsOutcome) {
  test::SimulatedLine line("TemHumPage");
  MainWindow window(line.Context());
  ASSERT_TRUE(line.Sim().SetRegister(0x0001, 231) && line.Sim().SetRegister(0x0000, 552));
  LineTrafficWindow* traffic = window.ShowLineTraffic();
  ASSERT_TRUE(traffic->isVisible());
  traffic->Clear();

  CategorySet& categories = window.Categories();
  DevicePage* page = categories.VisiblePage(0);
  QTabWidget* tabs = window.findChild<QTabWidget*>("1008");
  tabs->setCurrentIndex(0);
  qobject_cast<QTabWidget*>(categories.Page(0)->findChild<QTabWidget*>())->setCurrentIndex(1);
  page = categories.VisiblePage(0);
  ASSERT_EQ(page->Name(), "TemHumPage");
  page->RealTimeCheckBox()->click();
  categories.RealTimeDispatch(0);
  line.WaitIdle();
  traffic->Refresh();
  const QStringList lines = Tail(traffic->Lines());
  ASSERT_EQ(lines.size(), 6) << lines.join(u'\n').toStdString();
  EXPECT_EQ(lines[0], "sent       9600  01 03 00 01 00 01 D5 CA  03 read 0x0001 \u00D71 at 1");
  EXPECT_TRUE(lines[1].startsWith("received   9600  01 03 02 00 E7 F8 0E  values 0x00E7 (231)  (complete "))
      << lines[1].toStdString();
  EXPECT_TRUE(lines[1].endsWith(" ms after the request)")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].startsWith("result 0 (success), round trip ")) << lines[2].toStdString();
  EXPECT_TRUE(lines[3].startsWith("sent       9600  01 03 00 00 00 01 84 0A  03 read 0x0000")) << lines[3].toStdString();
  EXPECT_TRUE(lines[4].contains("values 0x0228 (552)  (complete ")) << lines[4].toStdString();
  EXPECT_TRUE(lines[5].startsWith("result 0 (success)"));

  // A silent device: the time-out is a line of its own, then the outcome.
  line.Sim().AddFault({.kind = sim::FaultKind::Silence, .count = 1});
  traffic->Clear();
  page->RealTimePoll();
  line.WaitIdle();
  traffic->Refresh();
  QStringList silent = Tail(traffic->Lines());
  ASSERT_GE(silent.size(), 3);
  EXPECT_TRUE(silent[1].startsWith("time-out: no reply in ")) << silent[1].toStdString();
  EXPECT_EQ(silent[2].left(31), "result 2 (no reply or bad forma");

  // Paused, nothing new shows; resumed, it catches up.
  traffic->SetPaused(true);
  const int shown = traffic->Lines().size();
  page->RealTimePoll();
  line.WaitIdle();
  traffic->Refresh();
  EXPECT_EQ(traffic->Lines().size(), shown);
  traffic->SetPaused(false);
  EXPECT_GT(traffic->Lines().size(), shown);

  // Saved: exactly the lines shown, nothing else.
  QTemporaryDir dir;
  const QString path = dir.filePath("traffic.txt");
  ASSERT_TRUE(traffic->SaveTo(path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(file.readAll()), traffic->Lines().join(u'\n') + u'\n');
  traffic->Clear();
  EXPECT_TRUE(traffic->Lines().isEmpty());
  EXPECT_FALSE(traffic->SaveTo(dir.filePath("no/such/dir/traffic.txt")));
}

// A save that cannot be finished (here the file size limit, as a full disk would) says why and
// leaves the file that was there as it was.
TEST(LineTraffic, SavedWholeOrNotAtAll) {
  test::EnsureApplication();
  LineRecord record;
  for (int i = 0; i < 50; ++i) record.TimedOut(std::chrono::milliseconds(i));
  LineTrafficWindow traffic(record);
  traffic.Refresh();
  ASSERT_EQ(traffic.Lines().size(), 50);
  QTemporaryDir dir;
  const QString path = dir.filePath("traffic.txt");
  {
    QFile earlier(path);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier traffic\n");
  }
  rlimit unlimited{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
  rlimit small = unlimited;
  small.rlim_cur = 256;
  const auto previous = signal(SIGXFSZ, SIG_IGN);  // a refused write, not a killed process
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  QString error;
  const bool saved = traffic.SaveTo(path, &error);
  setrlimit(RLIMIT_FSIZE, &unlimited);
  signal(SIGXFSZ, previous);
  EXPECT_FALSE(saved);
  EXPECT_EQ(error, "File too large");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), "earlier traffic\n");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"traffic.txt"});
}

// A long reply is shown whole: the list scrolls sideways instead of cutting the line.
TEST(LineTraffic, ALongLineIsNeverCut) {
  test::SimulatedLine line("TemHumPage");
  MainWindow window(line.Context());
  LineTrafficWindow* traffic = window.ShowLineTraffic();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(traffic));
  traffic->Clear();
  std::vector<uint8_t> reply(3 + 2 * 120, 0x5A);
  reply[0] = 1, reply[1] = 3, reply[2] = 240;
  window.Traffic().Received(reply.data(), reply.size(), 9600, std::chrono::microseconds(1500));
  window.Traffic().Received(reply.data(), 8, 9600, std::chrono::microseconds(1500));  // a short one after it
  traffic->Refresh();
  QApplication::processEvents();

  auto* view = traffic->findChild<QListView*>("lineTrafficList");
  ASSERT_TRUE(view);
  const QStringList lines = traffic->Lines();
  ASSERT_EQ(lines.size(), 2);
  const QFontMetrics metrics(view->font());
  ASSERT_GT(metrics.horizontalAdvance(lines[0]), view->viewport()->width());
  for (int row = 0; row < 2; ++row) {
    const QModelIndex index = view->model()->index(row, 0);
    EXPECT_GE(view->visualRect(index).width(), metrics.horizontalAdvance(lines[0])) << row;
  }
  EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(view->textElideMode(), Qt::ElideNone);
}

}  // namespace
}  // namespace tamsu
