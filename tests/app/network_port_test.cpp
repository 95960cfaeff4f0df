// "Network port…" in the main window's port list: the address dialog, the scan through the
// simulator's own TCP listener, and the address remembered once it connected.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/main_window.h"
#include "app/network_port_dialog.h"
#include "serial/network_ports.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

const std::string kColon = "\xEF\xBC\x9A";

class NetworkPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/tamsu-config-test-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    config_ = dir;
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    sim::SimulatorOptions o = test::SimulatedLine::Options("generic");
    o.device.protocol = sim::Protocol::Legacy;
    o.device.address = 9;
    o.listenAnyPort = true;
    line_ = std::make_unique<test::SimulatedLine>(o, false);
    address_ = "tcp://127.0.0.1:" + std::to_string(line_->Sim().ListenPort());
    window_ = std::make_unique<MainWindow>(line_->Context());
    list_ = window_->findChild<QComboBox*>(QStringLiteral("1000"));
  }
  void TearDown() override {
    window_.reset();
    line_.reset();
    std::filesystem::remove_all(config_);
  }

  // Picks "Network port…" and, inside its dialog, types each text and presses OK in turn.
  void ChooseNetworkPort(const std::vector<QString>& typed, bool cancel = false) {
    const int last = list_->count() - 1;
    ASSERT_EQ(list_->itemText(last), QString::fromUtf8("Network port\u2026"));
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<NetworkPortDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("networkAddress"));
      auto* problem = dialog->findChild<QLabel*>(QStringLiteral("networkAddressProblem"));
      for (const QString& text : typed) {
        edit->setText(text);
        dialog->TryAccept();
        if (dialog->isVisible()) problems_.push_back(problem->isVisibleTo(dialog) ? problem->text() : QString());
      }
      if (cancel) dialog->reject();
    });
    list_->setCurrentIndex(last);
    window_->PortActivated(last);
  }

  std::string config_, address_;
  std::unique_ptr<test::SimulatedLine> line_;
  std::unique_ptr<MainWindow> window_;
  QComboBox* list_ = nullptr;
  std::vector<QString> problems_;
};

TEST_F(NetworkPortTest, AMalformedAddressIsRefusedInTheDialogAndAGoodOneBecomesTheSelectedPort) {
  const std::string before = window_->SelectedPortPath();
  ChooseNetworkPort({QStringLiteral("127.0.0.1"), QStringLiteral("tcp://127.0.0.1:70000")}, true);
  ASSERT_EQ(problems_.size(), 2u);
  EXPECT_TRUE(problems_[0].contains(QStringLiteral("port number is missing")));
  EXPECT_TRUE(problems_[1].contains(QStringLiteral("1 to 65535")));
  // Cancelled: back where it was.
  EXPECT_EQ(window_->SelectedPortPath(), before);

  problems_.clear();
  ChooseNetworkPort({QString::fromStdString(address_.substr(6))});  // bare HOST:PORT
  EXPECT_TRUE(problems_.empty());
  EXPECT_EQ(window_->SelectedPortPath(), address_);
  EXPECT_TRUE(list_->toolTip().contains(QStringLiteral("gateway's own rate")));
  // Not remembered until it has connected.
  EXPECT_TRUE(RememberedNetworkPorts().empty());

  window_->TestBaudRate();

  line_->WaitIdle();
  EXPECT_EQ(line_->Sink().Take().text, "Device address" + kColon + "9  BaudRate" + kColon + "9600");
  EXPECT_EQ(RememberedNetworkPorts(), std::vector<std::string>{address_});
  // The next window lists it by its address.
  window_ = std::make_unique<MainWindow>(line_->Context());
  list_ = window_->findChild<QComboBox*>(QStringLiteral("1000"));
  EXPECT_GE(list_->findData(QString::fromStdString(address_)), 0);
}

TEST_F(NetworkPortTest, AnOpenThatFailsSaysWhy) {
  const uint16_t closed = line_->Sim().ListenPort();
  line_->Sim().Stop();
  ChooseNetworkPort({QStringLiteral("tcp://127.0.0.1:%1").arg(closed)});
  window_->TestBaudRate();
  line_->WaitIdle();
  const test::Box box = line_->Sink().Take();
  EXPECT_EQ(box.caption, "Warning");
  EXPECT_EQ(box.text.rfind("Serial port open failed!\n\ntcp 127.0.0.1:", 0), 0u) << box.text;
  EXPECT_NE(box.text.find("refused"), std::string::npos) << box.text;
  EXPECT_TRUE(RememberedNetworkPorts().empty());
}

}  // namespace
}  // namespace tamsu
