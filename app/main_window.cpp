#include "app/main_window.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QHBoxLayout>
#include <algorithm>
#include <vector>

#include "app/categories.h"
#include "app/commissioning_record.h"
#include "app/line_traffic_window.h"
#include "app/network_port_dialog.h"
#include "app/survey_window.h"
#include "app/trend_window.h"
#include "view/category_host.h"
#include "view/dialog_units.h"
#include "serial/network_ports.h"
#include "serial/port_list.h"

// The resources live in a static library; nothing else would pull them into the program.
static void InitAppResources() { Q_INIT_RESOURCE(app); }

namespace tamsu {

namespace {

constexpr char kVersionLine[] = "Version " TAMSU_VERSION;
// A tick of timer 1 that was already due while an Inquire blocked the window comes this soon
// after it; it must not clear the latch before the presses queued meanwhile are ignored.
constexpr auto kLatchGrace = std::chrono::milliseconds(50);

// Its id as object name and, since object names do not reach the accessibility bus, also as
// accessible description; the accessible name says what the control is for.
void Tag(QWidget* widget, int id, const QString& name) {
  widget->setObjectName(QString::number(id));
  widget->setAccessibleDescription(QStringLiteral("id:%1").arg(id));
  widget->setAccessibleName(name);
}

QGroupBox* Group(QWidget* parent, const DialogUnits& du, const char* name, const QString& caption, int x,
                 int y, int w, int h) {
  auto* box = new QGroupBox(caption, parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setGeometry(du.Rect(x, y, w, h));
  return box;
}

QPushButton* Button(QWidget* parent, const DialogUnits& du, int id, const QString& text, const QString& name,
                    int x, int y, int w, int h) {
  auto* button = new QPushButton(text, parent);
  Tag(button, id, name);
  button->setGeometry(du.Rect(x, y, w, h));
  return button;
}

QLineEdit* Edit(QWidget* parent, const DialogUnits& du, int id, const QString& name, int x, int y, int w,
                int h) {
  auto* edit = new QLineEdit(parent);
  Tag(edit, id, name);
  edit->setGeometry(du.Rect(x, y, w, h));
  return edit;
}

// Marks the list's last entry, which asks for a network port instead of naming one.
constexpr int kAskNetworkRole = Qt::UserRole + 1;
constexpr char kAskNetworkText[] = "Network port\u2026";

}  // namespace

QIcon AppIcon() {
  InitAppResources();
  return QIcon(QStringLiteral(":/app-icon.svg"));
}

void PortListBox::showPopup() {
  if (beforePopup) beforePopup();
  QComboBox::showPopup();
}

MainWindow::MainWindow(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      context_(context),
      link_(context.link) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QString::fromLatin1(kAppTitle));
  setWindowIcon(AppIcon());
  setFont(DialogFont());
  const DialogUnits du(font());

  BuildBand();
  BuildCategories();

  auto* about = new QAction(QString::fromLatin1(kAboutMenuText), this);
  about->setObjectName(QStringLiteral("aboutAction"));
  about->setShortcut(QKeySequence(Qt::Key_F1));
  about->setShortcutContext(Qt::WindowShortcut);
  connect(about, &QAction::triggered, this, &MainWindow::ShowAbout);
  addAction(about);
  AddLineTrafficAction();
  link_.SetObserver(&traffic_);
  AddTrendAndRecordActions();
  AddSurveyAction();
  setFixedSize(du.Size(473, 397) + QSize(0, BuildStatusLine()));

  // A line already open when the window starts (nothing runs on it yet) is the one in use.
  if (link_.Port.IsOpen()) heldPort_ = link_.Port.Settings().devicePath;
  RefreshPortList();
  if (portList_->count() > 0) portList_->setCurrentIndex(0);
  config_ = DeviceConfig{};
  EnableDeviceButtons(false);

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("timer1"));
  connect(timer1_, &QTimer::timeout, this, &MainWindow::ClearInquireLatch);
  timer1_->start(300);
  timer5_ = new QTimer(this);
  timer5_->setObjectName(QStringLiteral("timer5"));
  connect(timer5_, &QTimer::timeout, this, [this] { categories_->RealTimeDispatch(categoryTabs_->currentIndex()); });
  timer5_->start(1000);
}

MainWindow::~MainWindow() {
  // The line's record and the pages go with the window: nothing on the line may still use them.
  context_.line.Settle();
  link_.SetObserver(nullptr);
}

void MainWindow::AddLineTrafficAction() {
  auto* traffic = new QAction(QStringLiteral("Line traffic"), this);
  traffic->setObjectName(QStringLiteral("lineTrafficAction"));
  traffic->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  traffic->setShortcutContext(Qt::WindowShortcut);
  connect(traffic, &QAction::triggered, this, [this] { ShowLineTraffic(); });
  addAction(traffic);
}

LineTrafficWindow* MainWindow::ShowLineTraffic() {
  if (!trafficWindow_) {
    trafficWindow_ = new LineTrafficWindow(traffic_, this);
    trafficWindow_->setWindowIcon(windowIcon());
  }
  trafficWindow_->show();
  trafficWindow_->raise();
  trafficWindow_->activateWindow();
  return trafficWindow_;
}

void MainWindow::AddSurveyAction() {
  auto* survey = new QAction(QString::fromUtf8(kSurveyMenuText), this);
  survey->setObjectName(QStringLiteral("surveyAction"));
  survey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
  survey->setShortcutContext(Qt::WindowShortcut);
  connect(survey, &QAction::triggered, this, [this] { ShowSurvey(); });
  addAction(survey);
}

SurveyWindow* MainWindow::ShowSurvey() {
  if (!surveyWindow_) {
    surveyWindow_ = new SurveyWindow(
        context_, [this] { return SelectedPortPath(); },
        [this](const std::string& path, int address, uint32_t baud) { UseTransmitter(path, address, baud); }, this);
    surveyWindow_->setWindowIcon(windowIcon());
  }
  surveyWindow_->show();
  surveyWindow_->raise();
  surveyWindow_->activateWindow();
  return surveyWindow_;
}

void MainWindow::UseTransmitter(const std::string& path, int address, uint32_t baud) {
  if (const int entry = portList_->findData(QString::fromStdString(path)); entry >= 0) portList_->setCurrentIndex(entry);
  addressBox_->setText(QString::number(address));
  baudBox_->setText(QString::number(baud));
  auto opened = std::make_shared<bool>(false);
  PostBand(
      QStringLiteral("Opening the port at %1 baud\u2026").arg(baud),
      [path, address, baud, opened](const LineWorker::Token&, DeviceConfig& config, ModbusMaster& master,
                                    MessageSink& messages) {
        Link& link = master.GetLink();
        if (link.ReopenPort(path, baud) == 0) {
          messages.ShowMessage(OpenFailedText(link), kWarningCaption, MessageIcon::Question);
          return;
        }
        link.CurrentAddress = static_cast<uint8_t>(address);
        config.DetectedBaud = static_cast<int32_t>(baud);
        *opened = true;
      },
      [this, opened] {
        if (*opened) EnableDeviceButtons(true);
      });
}

void MainWindow::BuildBand() {
  const DialogUnits du(font());
  auto* band = Group(this, du, "connectionBand", QString(), 7, 7, 459, 64);
  band->setAccessibleName(QStringLiteral("Connection"));
  Group(this, du, "serialNumberGroup", QStringLiteral("Serial Number"), 15, 22, 135, 40);
  Group(this, du, "deviceGroup", QStringLiteral("Device"), 159, 22, 150, 40);
  Group(this, du, "setBaudRateGroup", QStringLiteral("Set Baud Rate"), 314, 22, 148, 40);

  portList_ = new PortListBox(this);
  Tag(portList_, 1000, QStringLiteral("Serial port"));
  // The list's closed height is that of the edit boxes beside it; the rest of its 134 units
  // is room for the dropped list.
  portList_->setGeometry(du.Rect(23, 36, 44, 12));
  portList_->setMaxVisibleItems(std::max(1, (du.Y(134) - du.Y(12)) / std::max(1, du.Y(10))));
  portList_->beforePopup = [this] { RefreshPortList(); };
  connect(portList_, &QComboBox::currentIndexChanged, this, &MainWindow::ShowPortToolTip);
  connect(portList_, &QComboBox::activated, this, &MainWindow::PortActivated);

  testButton_ = Button(this, du, 1001, QStringLiteral("Test Baud Rate"), QStringLiteral("Test Baud Rate"), 76, 31,
                       65, 22);
  addressBox_ = Edit(this, du, 1002, QStringLiteral("Device address"), 165, 36, 44, 12);
  inquireAddress_ = Button(this, du, 1004, QStringLiteral("Inquire"), QStringLiteral("Inquire Device"), 213, 35,
                           42, 14);
  setAddress_ = Button(this, du, 1005, QStringLiteral("Set up"), QStringLiteral("Set up Device"), 261, 35, 42, 14);
  baudBox_ = Edit(this, du, 1003, QStringLiteral("Baud rate"), 320, 36, 44, 12);
  inquireBaud_ = Button(this, du, 1006, QStringLiteral("Inquire"), QStringLiteral("Inquire Set Baud Rate"), 367,
                        35, 42, 14);
  setBaud_ = Button(this, du, 1007, QStringLiteral("Set up"), QStringLiteral("Set up Set Baud Rate"), 414, 35, 42,
                    14);

  connect(testButton_, &QPushButton::clicked, this, [this] { TestBaudRate(); });
  connect(inquireAddress_, &QPushButton::clicked, this, &MainWindow::InquireDevice);
  connect(inquireBaud_, &QPushButton::clicked, this, &MainWindow::InquireDevice);
  connect(setAddress_, &QPushButton::clicked, this, &MainWindow::SetDeviceAddress);
  connect(setBaud_, &QPushButton::clicked, this, &MainWindow::SetDeviceBaud);
}

void MainWindow::BuildCategories() {
  const DialogUnits du(font());
  categoryTabs_ = new QTabWidget(this);
  Tag(categoryTabs_, 1008, QStringLiteral("Categories"));
  categoryTabs_->setGeometry(du.Rect(7, 85, 459, 305));
  categoryTabs_->setUsesScrollButtons(true);
  categoryTabs_->setElideMode(Qt::ElideNone);
  categories_ = std::make_unique<CategorySet>(context_, categoryTabs_);
  for (int i = 0; i < categories_->Count(); ++i)
    categoryTabs_->addTab(categories_->Page(i), TabText(categories_->Caption(i)));
  categoryTabs_->setCurrentIndex(0);
}

std::string MainWindow::SelectedPortPath() const {
  if (portList_->currentIndex() < 0) return {};
  return portList_->currentData().toString().toStdString();
}

void MainWindow::RefreshPortList() {
  const std::string selected = SelectedPortPath();
  // A port another program holds is left out; the one our line holds is the one in use.
  PortListContext context;
  context.held = heldPort_;
  context.typed = typedNetworkPort_;
  const std::vector<PortListEntry> entries = ListPorts(context);

  const QSignalBlocker blocker(portList_);
  portList_->clear();
  int keep = -1;
  for (const auto& e : entries) {
    portList_->addItem(QString::fromStdString(e.name), QString::fromStdString(e.path));
    const int index = portList_->count() - 1;
    if (!e.about.empty()) portList_->setItemData(index, QString::fromStdString(e.about), Qt::ToolTipRole);
    if (!selected.empty() && e.path == selected) keep = index;
  }
  portList_->addItem(QString::fromUtf8(kAskNetworkText), QString());
  portList_->setItemData(portList_->count() - 1, true, kAskNetworkRole);
  portList_->setItemData(portList_->count() - 1, QStringLiteral("Reach a transmitter through a serial gateway on the network"),
                         Qt::ToolTipRole);
  portList_->setEnabled(true);  // "Network port…" is always there to choose
  portList_->setCurrentIndex(keep >= 0 ? keep : 0);
  ShowPortToolTip(portList_->currentIndex());
  // Device names here are longer than the box is wide; the dropped list shows them whole.
  int widest = 0;
  for (int i = 0; i < portList_->count(); ++i)
    widest = std::max(widest, portList_->fontMetrics().horizontalAdvance(portList_->itemText(i)));
  portList_->view()->setMinimumWidth(widest + 2 * portList_->fontMetrics().averageCharWidth() + 8);
}

void MainWindow::PortActivated(int index) {
  if (index < 0 || !portList_->itemData(index, kAskNetworkRole).toBool()) return;
  NetworkPortDialog dialog(this, QString::fromStdString(IsNetworkPath(lastPortPath_) ? lastPortPath_ : std::string()));
  std::string chosen = lastPortPath_;
  if (dialog.exec() == QDialog::Accepted) {
    // Listed from now on; remembered once a connection to it has worked.
    typedNetworkPort_ = chosen = dialog.Address();
    RefreshPortList();
  }
  const int back = chosen.empty() ? -1 : portList_->findData(QString::fromStdString(chosen));
  portList_->setCurrentIndex(std::max(0, back));
}

void MainWindow::ShowPortToolTip(int index) {
  if (index < 0) {
    portList_->setToolTip(QString());
    return;
  }
  if (!portList_->itemData(index, kAskNetworkRole).toBool()) lastPortPath_ = portList_->itemData(index).toString().toStdString();
  // A permission problem names its fix; otherwise what the adapter is and its device path.
  const QString hint = portList_->itemData(index, Qt::ToolTipRole).toString();
  portList_->setToolTip(hint.isEmpty() ? portList_->itemData(index).toString() : hint);
}

void MainWindow::EnableDeviceButtons(bool on) {
  for (QPushButton* b : {inquireAddress_, setAddress_, inquireBaud_, setBaud_}) b->setEnabled(on);
}

void MainWindow::PostBand(const QString& what, BandExchange exchange, std::function<void()> after) {
  LineThread& line = context_.line;
  Link* link = &link_;
  std::shared_ptr<DeviceConfig> config = lineConfig_;
  QPointer<MainWindow> self(this);
  line.Post(what, LineWorker::Kind::User,
            [&line, link, config, self, exchange = std::move(exchange), after = std::move(after)](const LineWorker::Token& token) {
              ModbusMaster master(*link);
              exchange(token, *config, master, line.JobMessages());
              // The window shows what the line learned; it never reads the line's own state.
              const DeviceConfig learned = *config;
              const std::string held = link->Port.IsOpen() ? link->Port.Settings().devicePath : std::string();
              line.ToWindow([self, learned, held, after] {
                if (!self) return;
                self->config_ = learned;
                self->heldPort_ = held;
                if (after) after();
              });
            });
}

void MainWindow::TestBaudRate() {
  // Off at once, not when the scan opens the port: a quick second click would queue another
  // scan. Every way the scan ends gives the button back.
  testButton_->setEnabled(false);
  LineThread& line = context_.line;
  QPointer<MainWindow> self(this);
  ScanControls controls;
  controls.enableScanControls = [&line, self](bool on) {
    line.ToWindow([self, on] {
      if (!self) return;
      self->testButton_->setEnabled(on);
      // An empty list stays disabled.
      self->portList_->setEnabled(on && self->portList_->count() > 0);
    });
  };
  controls.showDevice = [&line, self](int address, int baud) {
    line.ToWindow([self, address, baud] {
      if (!self) return;
      self->addressBox_->setText(QString::number(address));
      self->baudBox_->setText(QString::number(baud));
    });
  };
  controls.enableDeviceButtons = [&line, self] {
    line.ToWindow([self] {
      if (self) self->EnableDeviceButtons(true);
    });
  };
  const std::string path = SelectedPortPath();
  auto outcome = std::make_shared<ScanOutcome>(ScanOutcome::Stopped);
  PostBand(
      QStringLiteral("Testing %1 baud\u2026").arg(BaudScan::kLegacyRates[0]),
      [controls, path, outcome](const LineWorker::Token& token, DeviceConfig& config, ModbusMaster& master,
                                MessageSink& messages) {
        ScanControls mine = controls;
        mine.stopRequested = [&token] { return token.StopRequested(); };
        mine.progress = [&token](const std::string& what) { token.Say(what); };
        BaudScan scan(master.GetLink(), master, messages, config, std::move(mine));
        *outcome = scan.TestBaudRate(path);
      },
      [this, path, outcome] {
        lastScan_ = *outcome;
        if (*outcome != ScanOutcome::OpenFailed && *outcome != ScanOutcome::Stopped && IsNetworkPath(path))
          RememberNetworkPort(path);
      });
}

void MainWindow::InquireDevice() {
  if (inquireLatch_) return;
  inquireLatch_ = true;
  inquireRunning_ = true;
  addressBox_->setText(QStringLiteral(" "));
  baudBox_->setText(QStringLiteral(" "));
  LineThread& line = context_.line;
  QPointer<MainWindow> self(this);
  PostBand(
      QStringLiteral("Reading the address and baud rate\u2026"),
      [&line, self](const LineWorker::Token&, DeviceConfig& config, ModbusMaster& master, MessageSink& messages) {
        DeviceSettings(master.GetLink(), master, messages, config).Inquire([&line, self](int address, int baud) {
          line.ToWindow([self, address, baud] {
            if (!self) return;
            self->addressBox_->setText(QString::number(address));
            self->baudBox_->setText(QString::number(baud));
          });
        });
      },
      [this] {
        inquireRunning_ = false;
        inquireEnded_ = std::chrono::steady_clock::now();
      });
}

void MainWindow::ClearInquireLatch() {
  if (inquireRunning_) return;
  if (std::chrono::steady_clock::now() - inquireEnded_ < kLatchGrace) return;
  inquireLatch_ = false;
}

void MainWindow::SetDeviceAddress() {
  PostBand(QStringLiteral("Setting the address\u2026"),
           [text = addressBox_->text().toStdString()](const LineWorker::Token&, DeviceConfig& config,
                                                      ModbusMaster& master, MessageSink& messages) {
             DeviceSettings(master.GetLink(), master, messages, config).SetAddress(text);
           });
}

void MainWindow::SetDeviceBaud() {
  PostBand(QStringLiteral("Setting the baud rate\u2026"),
           [address = addressBox_->text().toStdString(), baud = baudBox_->text().toStdString(),
            path = SelectedPortPath()](const LineWorker::Token&, DeviceConfig& config, ModbusMaster& master,
                                       MessageSink& messages) {
             DeviceSettings(master.GetLink(), master, messages, config).SetBaud(address, baud, path);
           });
}

void MainWindow::StopLine() { context_.line.Worker().StopCurrent(); }

void MainWindow::ShowActivity(const QString& what, bool poll) {
  // While the line is idle the status keeps what the scan learned of the adapter.
  statusText_->setText(what.isEmpty() && config_.echoes ? QString::fromUtf8(kEchoesText) : what);
  const bool userWaits = !what.isEmpty() && !poll;
  stopButton_->setEnabled(userWaits);
  // The busy cursor says the user waits for the line; a poll in the background is no wait.
  if (userWaits) {
    if (!busyTimer_->isActive() && !categoryTabs_->testAttribute(Qt::WA_SetCursor)) busyTimer_->start();
  } else {
    busyTimer_->stop();
    categoryTabs_->unsetCursor();
  }
}

void MainWindow::ShowAbout() {
  AboutBox box(this);
  box.exec();
}

void MainWindow::AddTrendAndRecordActions() {
  trend_ = new TrendWindow(this);
  auto add = [this](const QString& text, const char* name, const QKeySequence& key, void (MainWindow::*slot)()) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, slot);
    addAction(action);
  };
  add(QString::fromLatin1(kTrendMenuText), "trendAction", QKeySequence(Qt::CTRL | Qt::Key_T), &MainWindow::ShowTrend);
  add(QString::fromUtf8(kSaveRecordMenuText), "saveRecordAction", QKeySequence(Qt::CTRL | Qt::Key_S),
      &MainWindow::SaveRecord);

  // The trend follows the page the user sees: the category tab and, in a host, its device tab.
  connect(categoryTabs_, &QTabWidget::currentChanged, this, &MainWindow::FollowShownPage);
  for (int i = 0; i < categories_->Count(); ++i)
    if (auto* host = qobject_cast<CategoryHost*>(categories_->Page(i)))
      connect(host->Tabs(), &QTabWidget::currentChanged, this, &MainWindow::FollowShownPage);
  FollowShownPage();
}

// The foot of the window: a status text (what the line is doing), "Stop", and the tool's own
// windows, so they are found without the right-click menu. Returns the height it adds to the
// window.
int MainWindow::BuildStatusLine() {
  const DialogUnits du(font());
  auto* line = new QWidget(this);
  line->setObjectName(QStringLiteral("statusLine"));
  auto* row = new QHBoxLayout(line);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(du.X(4));
  statusText_ = new QLabel(line);
  statusText_->setObjectName(QStringLiteral("statusText"));
  statusText_->setAccessibleName(QStringLiteral("Status"));
  row->addWidget(statusText_, 1);
  // "Stop" ends the user's running job (an "Inquire" sequence, the scan) as Esc does.
  stopButton_ = new QPushButton(QStringLiteral("Stop"), line);
  stopButton_->setObjectName(QStringLiteral("stopButton"));
  stopButton_->setAccessibleName(QStringLiteral("Stop"));
  stopButton_->setToolTip(QStringLiteral("Stop after the exchange in flight (Esc)"));
  stopButton_->setEnabled(false);
  connect(stopButton_, &QPushButton::clicked, this, &MainWindow::StopLine);
  row->addWidget(stopButton_);
  busyTimer_ = new QTimer(this);
  busyTimer_->setSingleShot(true);
  busyTimer_->setInterval(500);
  connect(busyTimer_, &QTimer::timeout, this, [this] { categoryTabs_->setCursor(Qt::BusyCursor); });
  connect(&context_.line, &LineThread::Activity, this, &MainWindow::ShowActivity);
  for (const char* name : {"lineTrafficAction", "trendAction", "saveRecordAction", "surveyAction"}) {
    QAction* action = findChild<QAction*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
    if (!action) continue;
    action->setToolTip(QStringLiteral("%1 (%2)").arg(action->text(), action->shortcut().toString(QKeySequence::NativeText)));
    auto* button = new QToolButton(line);
    button->setDefaultAction(action);  // its text, tooltip and click are the menu entry's
    button->setAutoRaise(true);
    button->setObjectName(QString::fromLatin1(name).replace(QStringLiteral("Action"), QStringLiteral("Button")));
    button->setAccessibleName(action->text());
    row->addWidget(button);
  }
  const int height = line->sizeHint().height();
  line->setGeometry(du.X(7), du.Y(392), du.X(459), height);
  return height;
}

void MainWindow::FollowShownPage() {
  trend_->Follow(categories_->VisiblePage(categoryTabs_->currentIndex()), ShownPageCaption());
}

QString MainWindow::ShownPageCaption() const {
  const int category = categoryTabs_->currentIndex();
  QString caption = categories_->Caption(category);
  if (auto* host = qobject_cast<CategoryHost*>(categories_->Page(category)); host && host->CurrentIndex() >= 0)
    caption += QStringLiteral(" / ") + host->Tabs()->tabText(host->CurrentIndex()).replace(QStringLiteral("&&"),
                                                                                           QStringLiteral("&"));
  return caption;
}

void MainWindow::ShowTrend() {
  FollowShownPage();
  trend_->show();
  trend_->raise();
  trend_->activateWindow();
}

std::optional<CommissioningRecord> MainWindow::CurrentRecord() const {
  const DevicePage* page = categories_->VisiblePage(categoryTabs_->currentIndex());
  if (!page) return std::nullopt;
  const QString port = QString::fromStdString(heldPort_);
  return RecordOf(*page, QDateTime::currentDateTime(), port, addressBox_->text(), baudBox_->text(),
                  ShownPageCaption());
}

void MainWindow::SaveRecord() {
  const std::optional<CommissioningRecord> record = CurrentRecord();
  if (!record) return;
  if (recordFolder_.isEmpty()) recordFolder_ = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  QFileDialog dialog(this, QStringLiteral("Save record"), recordFolder_,
                     QStringLiteral("CSV files (*.csv);;All files (*)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  dialog.selectFile(SuggestedRecordName(*record));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().constFirst();
  if (SaveRecordTo(path)) recordFolder_ = QFileInfo(path).absolutePath();
}

// What the page shows when the file is written, not when the dialog opened.
bool MainWindow::SaveRecordTo(const QString& path) {
  const std::optional<CommissioningRecord> record = CurrentRecord();
  if (!record) return false;
  QString error;
  if (SaveRecordFile(*record, path, &error)) return true;
  context_.messages.ShowMessage(QStringLiteral("The record could not be saved to %1: %2").arg(path, error).toStdString(),
                                "Warning", MessageIcon::Exclamation);
  return false;
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  // Pages below the band keep their own right click.
  if (categoryTabs_->geometry().contains(event->pos())) {
    event->ignore();
    return;
  }
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("windowMenu"));
  menu.addActions(actions());
  menu.exec(event->globalPos());
}

bool MainWindow::OwnControlHasFocus() const {
  for (const QWidget* w = focusWidget(); w && w != this; w = w->parentWidget()) {
    for (int i = 0; i < categories_->Count(); ++i)
      if (w == categories_->Page(i)) return false;
  }
  return true;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // The window behaves as the dialog it is: on its own controls Esc closes it, and Enter
  // presses the focused button or else closes it. Keys in the device pages stay there.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const bool escape = event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
  // While the user's own job runs on the line, Esc stops it instead of closing the window.
  if (escape && context_.line.Worker().UserPending()) {
    StopLine();
    return;
  }
  if ((enter || escape) && OwnControlHasFocus()) {
    if (enter) {
      if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
        if (button->isEnabled()) button->click();
        return;
      }
    }
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
  // With no port at start the list is disabled and cannot drop down; look again whenever the
  // user comes back to the window, so an adapter plugged in meanwhile appears.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && portList_ && portList_->count() == 0)
    RefreshPortList();
  QWidget::changeEvent(event);
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About Tamsu Tools Configuration Software"));
  setFont(DialogFont());
  const DialogUnits du(font());
  setFixedSize(du.Size(235, 55));

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("aboutIcon"));
  const QRect iconRect = du.Rect(11, 17, 20, 20);
  const int side = std::min(iconRect.width(), iconRect.height());
  icon->setGeometry(QRect(iconRect.topLeft(), QSize(side, side)));
  icon->setPixmap(AppIcon().pixmap(QSize(side, side), devicePixelRatioF()));
  icon->setAccessibleName(QStringLiteral("Icon"));

  auto* name = new QLabel(QString::fromLatin1(kAppTitle), this);
  name->setObjectName(QStringLiteral("aboutName"));
  name->setGeometry(du.Rect(40, 14, 135, 8));
  auto* version = new QLabel(QString::fromLatin1(kVersionLine), this);
  version->setObjectName(QStringLiteral("aboutVersion"));
  version->setGeometry(du.Rect(40, 26, 135, 8));

  auto* yes = new QPushButton(QStringLiteral("Yes"), this);
  yes->setObjectName(QStringLiteral("aboutYes"));
  yes->setAccessibleName(QStringLiteral("Yes"));
  yes->setGeometry(du.Rect(178, 7, 50, 14));
  yes->setDefault(true);
  connect(yes, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tamsu
