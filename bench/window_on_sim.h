// The application as it runs, for the window benchmarks: the main window on an in-process
// simulated transmitter at address 1, 9600 baud, its port open. The window's own timer 5 is
// stopped: the benchmark ticks.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <stdlib.h>
#include <memory>
#include <string>

#include "app/categories.h"
#include "app/main_window.h"
#include "sim/simulator.h"
#include "view/category_host.h"
#include "view/device_page.h"

namespace tamsu::bench {

struct SilentSink : MessageSink {
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

class WindowOnSim {
 public:
  // `listed`: the simulator publishes its port and the port list shows it selected, as a scan
  // or a band "Set up" needs.
  explicit WindowOnSim(const std::string& profile, bool listed = false) : context_{link_, sink_, line_} {
    sim::SimulatorOptions options;
    options.profile = profile;
    options.device = {.address = 1, .baud = 9600, .protocol = sim::Protocol::Modbus};
    options.publish = listed;
    simulator_ = std::make_unique<sim::TransmitterSimulator>(options);
    std::string error;
    if (!simulator_->Start(&error)) {
      std::fprintf(stderr, "simulator: %s\n", error.c_str());
      std::exit(1);
    }
    link_.ReopenPort(simulator_->PortPath(), 9600);
    link_.CurrentAddress = 1;
    window_ = std::make_unique<MainWindow>(context_);
    window_->findChild<QTimer*>(QStringLiteral("timer5"))->stop();
    if (listed) {
      auto* list = window_->findChild<QComboBox*>(QStringLiteral("1000"), Qt::FindDirectChildrenOnly);
      list->setCurrentIndex(list->findData(QString::fromStdString(simulator_->PortPath())));
    }
  }

  // Shows the device tab `tab` of category `category` with its "Real Time" ticked.
  DevicePage* Show(int category, const QString& tab) {
    Tabs()->setCurrentIndex(category);
    if (auto* host = qobject_cast<CategoryHost*>(window_->Categories().Page(category)))
      for (int i = 0; i < host->Count(); ++i)
        if (host->Tabs()->tabText(i) == tab) host->SetCurrentIndex(i);
    DevicePage* page = window_->Categories().VisiblePage(category);
    if (!page->RealTimeTicked()) page->RealTimeCheckBox()->click();
    return page;
  }
  // What timer 5 does: the shown category's real-time poll.
  void Tick() { window_->Categories().RealTimeDispatch(Tabs()->currentIndex()); }

  MainWindow& Window() { return *window_; }
  sim::TransmitterSimulator& Sim() { return *simulator_; }
  LineThread& Line() { return line_; }

 private:
  QTabWidget* Tabs() { return window_->findChild<QTabWidget*>(QStringLiteral("1008"), Qt::FindDirectChildrenOnly); }

  Link link_;
  SilentSink sink_;
  LineThread line_{sink_};
  AppContext context_;
  std::unique_ptr<sim::TransmitterSimulator> simulator_;
  std::unique_ptr<MainWindow> window_;
};

// The window benchmarks' main: the simulators publish their ports in a runtime directory of
// their own, then the benchmarks run under a QApplication.
inline int RunWindowBenchmarks(int argc, char** argv) {
  static char dir[] = "/tmp/tamsu-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  setenv("XDG_RUNTIME_DIR", dir, 1);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace tamsu::bench
