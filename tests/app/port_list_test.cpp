// The window's port list and `tamsu-cli ports` on one machine: a virtual port the window's line
// holds, another free one, and a remembered network port give the same entries in both.
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "app/main_window.h"
#include "cli/ports.h"
#include "serial/network_ports.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

TEST(PortList, WindowAndShellListTheSameEntries) {
  char config[] = "/tmp/tamsu-config-test-XXXXXX";
  ASSERT_NE(::mkdtemp(config), nullptr);
  ::setenv("XDG_CONFIG_HOME", config, 1);
  ASSERT_TRUE(RememberNetworkPort("tcp://192.0.2.1:4001"));

  sim::SimulatorOptions options;
  options.device = {.address = 8, .baud = 9600, .protocol = sim::Protocol::Legacy};
  options.publish = true;
  options.linkName = "held-ttyV0";
  test::SimulatedLine line(options, false);
  options.linkName = "free-ttyV1";
  sim::TransmitterSimulator other(options);
  ASSERT_TRUE(other.Start());

  MainWindow window(line.Context());
  auto* list = window.findChild<QComboBox*>(QStringLiteral("1000"));
  window.RefreshPortList();
  list->setCurrentIndex(list->findData(QString::fromStdString(line.Sim().PortPath())));
  QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("1001")), Qt::LeftButton);  // "Test Baud Rate"
  line.WaitIdle();
  ASSERT_EQ(line.GetLink().PortOpen, 1);
  window.RefreshPortList();

  std::vector<std::vector<std::string>> shown, printed;
  for (int i = 0; i + 1 < list->count(); ++i)  // less "Network port…"
    shown.push_back({list->itemText(i).toStdString(), list->itemData(i).toString().toStdString(),
                     list->itemData(i, Qt::ToolTipRole).toString().toStdString()});
  std::string states;
  for (const cli::PortEntry& entry : cli::ListPorts()) {
    printed.push_back({entry.name, entry.path, entry.about});
    if (entry.kind != "serial") states += entry.name + ": " + entry.state + "; ";
  }
  EXPECT_EQ(shown, printed);
  // The window's own port is busy to the shell, as to any other program.
  EXPECT_EQ(states, "free-ttyV1: available; held-ttyV0: busy; tcp://192.0.2.1:4001: remembered; ");
  std::filesystem::remove_all(config);
}

}  // namespace
}  // namespace tamsu
