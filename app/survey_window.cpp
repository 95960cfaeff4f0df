#include "app/survey_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "modbus/modbus_master.h"

namespace tamsu {

namespace {

enum Column { kAddress, kRate, kRegister, kConfiguration, kColumns };

// The rates a survey may sweep, in the order it sweeps them; the first three are the defaults.
constexpr uint32_t kRates[] = {9600, 4800, 2400, 19200, 38400, 1200};

void Name(QWidget* w, const char* objectName, const QString& accessibleName) {
  w->setObjectName(QString::fromLatin1(objectName));
  w->setAccessibleName(accessibleName);
}

}  // namespace

SurveyWindow::SurveyWindow(AppContext& context, std::function<std::string()> portPath, Use use, QWidget* parent)
    : QWidget(parent, Qt::Window), context_(context), portPath_(std::move(portPath)), use_(std::move(use)) {
  setObjectName(QStringLiteral("SurveyWindow"));
  setWindowTitle(QStringLiteral("Survey line"));
  resize(620, 460);

  auto* rateLabel = new QLabel(QStringLiteral("Baud rates:"), this);
  auto* rateRow = new QHBoxLayout;
  for (uint32_t rate : kRates) {
    auto* box = new QCheckBox(QString::number(rate), this);
    box->setObjectName(QStringLiteral("surveyRate%1").arg(rate));
    box->setAccessibleName(QStringLiteral("%1 baud").arg(rate));
    box->setChecked(rate == 9600 || rate == 4800 || rate == 2400);
    connect(box, &QCheckBox::toggled, this, &SurveyWindow::UpdateControls);
    rateRow->addWidget(box);
    rates_.emplace_back(rate, box);
  }
  rateRow->addStretch(1);

  auto spin = [this](const char* name, const QString& label, int min, int max, int value) {
    auto* box = new QSpinBox(this);
    Name(box, name, label);
    box->setRange(min, max);
    box->setValue(value);
    return box;
  };
  from_ = spin("surveyFrom", QStringLiteral("From address"), kSurveyLowest, kSurveyHighest, kSurveyLowest);
  to_ = spin("surveyTo", QStringLiteral("To address"), kSurveyLowest, kSurveyHighest, kSurveyHighest);
  wait_ = spin("surveyWait", QStringLiteral("Wait for each address, ms"), static_cast<int>(kSurveyShortestWait.count()),
               static_cast<int>(kSurveyLongestWait.count()), 100);
  wait_->setSuffix(QStringLiteral(" ms"));
  // The range cannot run backwards: each end holds the other back.
  connect(from_, &QSpinBox::valueChanged, to_, [this](int v) { to_->setMinimum(v); });
  connect(to_, &QSpinBox::valueChanged, from_, [this](int v) { from_->setMaximum(v); });
  auto* fromLabel = new QLabel(QStringLiteral("&From address:"), this);
  fromLabel->setBuddy(from_);
  auto* toLabel = new QLabel(QStringLiteral("&to:"), this);
  toLabel->setBuddy(to_);
  auto* waitLabel = new QLabel(QStringLiteral("&Wait:"), this);
  waitLabel->setBuddy(wait_);

  start_ = new QPushButton(QStringLiteral("Start"), this);
  Name(start_, "surveyStart", QStringLiteral("Start"));
  stop_ = new QPushButton(QStringLiteral("Stop"), this);
  Name(stop_, "surveyStop", QStringLiteral("Stop"));
  connect(start_, &QPushButton::clicked, this, &SurveyWindow::Start);
  connect(stop_, &QPushButton::clicked, this, &SurveyWindow::Stop);

  progress_ = new QProgressBar(this);
  Name(progress_, "surveyProgress", QStringLiteral("Progress"));
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->setFormat(QString());
  progress_->setTextVisible(true);

  table_ = new QTableWidget(0, kColumns, this);
  Name(table_, "surveyTable", QStringLiteral("Transmitters found"));
  table_->setHorizontalHeaderLabels({QStringLiteral("Address"), QStringLiteral("Baud rate"),
                                     QStringLiteral("Register 0"), QStringLiteral("Configuration")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->setVisible(false);
  table_->horizontalHeader()->setStretchLastSection(true);
  auto* tableLabel = new QLabel(QStringLiteral("Trans&mitters found:"), this);
  tableLabel->setBuddy(table_);
  connect(table_, &QTableWidget::itemSelectionChanged, this, &SurveyWindow::UpdateControls);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { UseSelected(); });

  useButton_ = new QPushButton(QStringLiteral("Use"), this);
  Name(useButton_, "surveyUse", QStringLiteral("Use"));
  useButton_->setToolTip(QStringLiteral("Put the row's address and baud rate into the connection band and open the port there"));
  connect(useButton_, &QPushButton::clicked, this, &SurveyWindow::UseSelected);
  summary_ = new QLabel(this);
  Name(summary_, "surveySummary", QStringLiteral("Outcome"));
  summary_->setWordWrap(true);

  auto* grid = new QGridLayout;
  grid->addWidget(rateLabel, 0, 0);
  grid->addLayout(rateRow, 0, 1, 1, 6);
  grid->addWidget(fromLabel, 1, 0);
  grid->addWidget(from_, 1, 1);
  grid->addWidget(toLabel, 1, 2);
  grid->addWidget(to_, 1, 3);
  grid->addWidget(waitLabel, 1, 4);
  grid->addWidget(wait_, 1, 5);
  grid->setColumnStretch(6, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start_);
  buttons->addWidget(stop_);
  buttons->addWidget(progress_, 1);
  auto* foot = new QHBoxLayout;
  foot->addWidget(summary_, 1);
  foot->addWidget(useButton_);
  auto* root = new QVBoxLayout(this);
  root->addLayout(grid);
  root->addLayout(buttons);
  root->addWidget(tableLabel);
  root->addWidget(table_, 1);
  root->addLayout(foot);
  UpdateControls();
}

SurveyWindow::~SurveyWindow() {
  // The survey's reports check the window still exists; the survey itself just stops.
  if (running_) running_->store(true);
}

SurveyPlan SurveyWindow::Plan() const {
  SurveyPlan plan;
  plan.rates.clear();
  for (const auto& [rate, box] : rates_)
    if (box->isChecked()) plan.rates.push_back(rate);
  plan.from = from_->value();
  plan.to = to_->value();
  plan.wait = std::chrono::milliseconds(wait_->value());
  return plan;
}

void SurveyWindow::UpdateControls() {
  const bool running = Running();
  const bool anyRate = std::any_of(rates_.begin(), rates_.end(), [](const auto& r) { return r.second->isChecked(); });
  start_->setEnabled(!running && anyRate);
  stop_->setEnabled(running);
  for (const auto& r : rates_) r.second->setEnabled(!running);
  for (QSpinBox* box : {from_, to_, wait_}) box->setEnabled(!running);
  const auto rows = table_->selectionModel()->selectedRows();
  bool usable = !rows.isEmpty() && !path_.empty();
  if (usable) usable = table_->item(rows.front().row(), kAddress)->data(Qt::UserRole).toBool();
  useButton_->setEnabled(usable);
}

void SurveyWindow::Start() {
  if (Running()) return;
  const SurveyPlan plan = Plan();
  if (!CheckSurveyPlan(plan).empty()) return;  // the controls allow none such
  path_ = portPath_ ? portPath_() : std::string();
  table_->setRowCount(0);
  rows_.clear();
  found_ = conflicts_ = 0;
  summary_->clear();
  progress_->setRange(0, static_cast<int>(plan.rates.size()) * (plan.to - plan.from + 1));
  progress_->setValue(0);
  progress_->setFormat(QStringLiteral("Starting\u2026"));
  auto stop = std::make_shared<std::atomic<bool>>(false);
  running_ = stop;
  UpdateControls();

  LineThread& line = context_.line;
  Link& link = context_.link;
  QPointer<SurveyWindow> self(this);
  const std::string path = path_;
  line.Post(QStringLiteral("Surveying the line\u2026"), LineWorker::Kind::User,
            [&line, &link, self, stop, plan, path](const LineWorker::Token& token) {
              auto toWindow = [&line, self](auto f) {
                line.ToWindow([self, f = std::move(f)]() mutable {
                  if (self) f(*self);
                });
              };
              SurveyObserver observer;
              observer.stopRequested = [&token, stop] { return token.StopRequested() || stop->load(); };
              uint32_t said = 0;
              observer.progress = [&](const SurveyProgress& p) {
                if (p.baud != said) token.Say("Surveying the line at " + std::to_string(said = p.baud) + " baud\u2026");
                toWindow([p](SurveyWindow& w) { w.Progress(p); });
              };
              observer.found = [&](const SurveyFinding& f) { toWindow([f](SurveyWindow& w) { w.Found(f); }); };
              observer.configured = [&](const SurveyFinding& f) { toWindow([f](SurveyWindow& w) { w.Configured(f); }); };
              // The band's line as it was: the pages go on talking to their transmitter afterwards.
              const bool wasOpen = link.Port.IsOpen();
              const PortSettings before = link.Port.Settings();
              ModbusMaster master(link);
              Survey survey(link, master, plan, std::move(observer));
              const SurveyOutcome outcome = survey.Run(path);
              if (wasOpen) link.ReopenPort(before.devicePath, before.baudRate);
              else link.ClosePort();
              toWindow([outcome, message = survey.Message()](SurveyWindow& w) { w.Ended(outcome, message); });
            });
}

void SurveyWindow::Stop() {
  if (running_) running_->store(true);
}

void SurveyWindow::closeEvent(QCloseEvent* event) {
  Stop();
  QWidget::closeEvent(event);
}

void SurveyWindow::Progress(const SurveyProgress& p) {
  progress_->setValue(static_cast<int>(p.done));
  if (p.done >= p.total) return;
  const long seconds = std::lround(std::chrono::duration<double>(p.left).count());
  progress_->setFormat(QStringLiteral("Address %1 at %2 baud, about %3 s left").arg(p.address).arg(p.baud).arg(seconds));
  progress_->setAccessibleDescription(progress_->format());
}

void SurveyWindow::Found(const SurveyFinding& f) {
  const int row = table_->rowCount();
  table_->insertRow(row);
  rows_[{f.address, f.baud}] = row;
  const bool conflict = f.kind == SurveyFinding::Kind::Conflict;
  const QString cells[kColumns] = {QString::number(f.address), QString::number(f.baud),
                                   QString::fromStdString(RegisterText(f)),
                                   conflict ? QString::fromStdString(ConflictText(f.address)) : QString()};
  for (int c = 0; c < kColumns; ++c) {
    auto* item = new QTableWidgetItem(cells[c]);
    if (conflict) item->setForeground(QColor(Qt::red));
    table_->setItem(row, c, item);
  }
  // A doubled address is no one transmitter to use.
  table_->item(row, kAddress)->setData(Qt::UserRole, !conflict);
  ++(conflict ? conflicts_ : found_);
  table_->resizeColumnToContents(kRegister);
}

void SurveyWindow::Configured(const SurveyFinding& f) {
  const auto at = rows_.find({f.address, f.baud});
  if (at == rows_.end()) return;
  table_->item(at->second, kConfiguration)->setText(QString::fromStdString(ConfigurationText(f)));
}

void SurveyWindow::Ended(SurveyOutcome outcome, const std::string& message) {
  running_.reset();
  progress_->setFormat(outcome == SurveyOutcome::Completed ? QStringLiteral("Done") : QStringLiteral("Ended"));
  if (outcome == SurveyOutcome::Completed) progress_->setValue(progress_->maximum());
  QString said = QStringLiteral("%1 %2 found").arg(found_).arg(found_ == 1 ? QStringLiteral("transmitter") : QStringLiteral("transmitters"));
  if (conflicts_ > 0)
    said += QStringLiteral(", %1 %2 with several").arg(conflicts_).arg(conflicts_ == 1 ? QStringLiteral("address") : QStringLiteral("addresses"));
  if (outcome == SurveyOutcome::Stopped) said = QStringLiteral("Stopped: ") + said;
  if (!message.empty()) said = QString::fromStdString(message) + QStringLiteral(" (") + said + QStringLiteral(")");
  summary_->setText(said);
  UpdateControls();
  emit Finished();
}

void SurveyWindow::UseSelected() {
  const auto rows = table_->selectionModel()->selectedRows();
  if (rows.isEmpty() || !useButton_->isEnabled() || !use_) return;
  const int row = rows.front().row();
  use_(path_, table_->item(row, kAddress)->text().toInt(), table_->item(row, kRate)->text().toUInt());
}

}  // namespace tamsu
