#include "view/device_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

#include "view/dialog_units.h"

namespace tamsu {

namespace {

// Control sizes in dialog units, as the connection band draws them.
constexpr int kEditHeight = 12;
constexpr int kButtonWidth = 40;
constexpr int kButtonHeight = 14;
constexpr int kMargin = 7;

enum GridColumn { kCaptionColumn, kEditColumn, kUnitColumn, kInquireColumn, kSetupColumn };

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

struct DevicePage::RowWidgets {
  QLabel* caption = nullptr;
  QLineEdit* edit = nullptr;
  QComboBox* list = nullptr;
  QLabel* unit = nullptr;
  QPushButton* inquire = nullptr;
  QPushButton* setup = nullptr;
};

// The page's runner on the line's thread: each report goes to the window, in order, and is
// applied there to a page that still exists; boxes go through the line's job sink.
class DevicePage::LineSide : public PageOutput {
 public:
  LineSide(DevicePage* page, AppContext& context, const PageDeclaration& declaration)
      : page_(page), line_(context.line), runner_(context.link, declaration, context.line.JobMessages(), *this) {}

  PageRunner& Runner() { return runner_; }
  // Line thread: the page's state the job running now was made for.
  void MadeAt(uint64_t made) { made_ = made; }
  // On the window thread: `f` applied to the page, if it is still there.
  void ToPage(std::function<void(DevicePage&)> f) {
    line_.ToWindow([page = page_, f = std::move(f)] {
      if (page) f(*page);
    });
  }
  // A report for field `id`: applied only if the page has not moved on for it since.
  void ToField(int id, std::function<void(DevicePage&)> f) {
    ToPage([id, made = made_, f = std::move(f)](DevicePage& p) {
      if (p.Current(id, made)) f(p);
    });
  }

  void FieldEmptied(int id) override {
    ToField(id, [id](DevicePage& p) { p.FieldEmptied(id); });
  }
  void FieldFilled(int id, const std::string& text) override {
    ToField(id, [id, text](DevicePage& p) { p.FieldFilled(id, text); });
  }
  void EntryChosen(int list, int index) override {
    ToField(list, [list, index](DevicePage& p) { p.EntryChosen(list, index); });
  }
  void ControlEnabled(int id, bool enabled) override {
    ToPage([id, enabled](DevicePage& p) { p.ControlEnabled(id, enabled); });
  }
  void BoxTicked(bool ticked) override {
    ToPage([ticked](DevicePage& p) { p.BoxTicked(ticked); });
  }
  void FieldOutcome(int id, const FieldState& state) override {
    ToField(id, [id, state](DevicePage& p) { p.FieldOutcome(id, state); });
  }

 private:
  QPointer<DevicePage> page_;
  uint64_t made_ = 0;
  LineThread& line_;
  PageRunner runner_;
};

DevicePage::DevicePage(AppContext& context, PageDeclaration declaration, QWidget* parent)
    : QWidget(parent),
      context_(context),
      declaration_(std::move(declaration)),
      runner_(std::make_unique<PageRunner>(context.link, declaration_, context.messages, static_cast<PageOutput&>(*this))),
      lineSide_(std::make_shared<LineSide>(this, context, declaration_)) {
  Build();
}

DevicePage::~DevicePage() = default;

QString DevicePage::WebAddress() { return QStringLiteral("www.tamsu-tools.example"); }

void DevicePage::Identify(QWidget* widget, int id, const QString& accessibleName) {
  widget->setObjectName(QString::number(id));
  widget->setAccessibleDescription(QStringLiteral("id:%1").arg(id));
  widget->setAccessibleName(accessibleName);
}

QVBoxLayout* DevicePage::Column(int column) {
  while (static_cast<int>(columns_.size()) <= column) {
    auto* box = new QVBoxLayout;
    box->setSpacing(DialogUnits().Y(6));
    auto* grid = new QGridLayout;
    const DialogUnits du;
    grid->setHorizontalSpacing(du.X(4));
    grid->setVerticalSpacing(du.Y(5));
    box->addLayout(grid);
    box->addStretch(1);
    BandOf(static_cast<int>(columns_.size()))->addLayout(box);
    columns_.push_back(box);
  }
  return columns_[column];
}

size_t DevicePage::BandIndex(int column) const {
  size_t band = 0;
  for (int first = 0; band + 1 < declaration_.bands.size(); ++band) {
    first += declaration_.bands[band];
    if (column < first) break;
  }
  return band;
}

QHBoxLayout* DevicePage::BandOf(int column) {
  const size_t band = BandIndex(column);
  while (bands_.size() <= band) {
    auto* row = new QHBoxLayout;
    row->setSpacing(DialogUnits(font()).X(declaration_.metrics.columnGap));
    bandsBox_->addLayout(row);
    bands_.push_back(row);
  }
  return bands_[band];
}

QGridLayout* DevicePage::ColumnGrid(int column) {
  return static_cast<QGridLayout*>(Column(column)->itemAt(0)->layout());
}

void DevicePage::Build() {
  setObjectName(declaration_.name);
  setFont(DialogFont());
  const DialogUnits du(font());

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(du.X(kMargin), du.Y(kMargin), du.X(kMargin), du.Y(4));
  root->setSpacing(du.Y(6));
  header_ = new QVBoxLayout;
  root->addLayout(header_);
  bandsBox_ = new QVBoxLayout;
  bandsBox_->setSpacing(du.Y(6));
  root->addLayout(bandsBox_);

  QSet<int> ids;
  auto claim = [&](int id) {  // [&]: `this` is used only where asserts are compiled in
    Q_ASSERT_X(!ids.contains(id), "DevicePage", qPrintable(Q(declaration_.name + " repeats an id")));
    ids.insert(id);
  };

  for (const Heading& heading : declaration_.headings) {
    QGridLayout* grid = ColumnGrid(heading.column);
    grid->addWidget(new QLabel(Q(heading.text), this), grid->rowCount(), kEditColumn);
  }

  for (const Selector& selector : declaration_.selectors) {
    claim(selector.id);
    QGridLayout* grid = ColumnGrid(selector.column);
    const int line = grid->rowCount();
    auto* label = new QLabel(Q(selector.caption), this);
    auto* combo = new QComboBox(this);
    combo->setEditable(selector.editable);
    // Typed text is no entry: it changes nothing until an entry is chosen.
    combo->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& item : model_.Entries(selector)) combo->addItem(Q(item));
    combo->setCurrentIndex(selector.selected);
    combo->setMinimumWidth(du.X(declaration_.metrics.editWidth + kButtonWidth));
    label->setBuddy(combo);
    Identify(combo, selector.id, Q(PageModel::Plain(selector.caption)));
    if (combo->lineEdit()) combo->lineEdit()->setAccessibleName(Q(PageModel::Plain(selector.caption)));
    grid->addWidget(label, line, kCaptionColumn);
    grid->addWidget(combo, line, kEditColumn, 1, 3);
    const int id = selector.id;
    controls_[id] = combo;
    connect(combo, &QComboBox::currentIndexChanged, this, [this, id] {
      // What a job still on its way read with the entry before is no longer this page's.
      Touch();
      runner_->SelectorChanged(id, Inputs());
    });
  }

  for (const Row& row : declaration_.rows) {
    if (static_cast<int>(firstRowLines_.size()) <= row.column) firstRowLines_.resize(row.column + 1, -1);
    if (firstRowLines_[row.column] < 0) firstRowLines_[row.column] = ColumnGrid(row.column)->rowCount();
  }
  for (size_t i = 0; i < declaration_.rows.size(); ++i) {
    BuildRow(i, ids);
    const Row& row = declaration_.rows[i];
    if (declaration_.realTime.id != 0 && declaration_.realTime.after != 0 && row.edit == declaration_.realTime.after) {
      claim(declaration_.realTime.id);
      realTimeBox_ = new QCheckBox(Q(declaration_.realTime.caption), this);
      QGridLayout* grid = ColumnGrid(row.column);
      grid->addWidget(realTimeBox_, grid->rowCount(), kCaptionColumn, 1, 3);
    }
  }

  if (declaration_.realTime.id != 0) {
    if (!realTimeBox_) {
      claim(declaration_.realTime.id);
      realTimeBox_ = new QCheckBox(Q(declaration_.realTime.caption), this);
      QGridLayout* grid = ColumnGrid(declaration_.realTime.column);
      grid->addWidget(realTimeBox_, grid->rowCount(), kCaptionColumn, 1, 3);
    }
    Identify(realTimeBox_, declaration_.realTime.id, Q(PageModel::Plain(declaration_.realTime.caption)));
    connect(realTimeBox_, &QCheckBox::clicked, this, [this] {
      runner_->RealTimeClicked(Inputs());
      // Unticked: the poll on the line stops after the exchange in flight, and what it still
      // reports is not applied (the fields are the user's again).
      if (!RealTimeTicked()) Touch();
      if (!RealTimeTicked() && pollsInFlight_ > 0) context_.line.Worker().StopPolls();
    });
  }

  for (const Notice& notice : declaration_.notices) {
    auto* frame = new QGroupBox(Q(notice.heading), this);
    auto* text = new QLabel(Q(notice.text), frame);
    text->setWordWrap(true);
    auto* inner = new QVBoxLayout(frame);
    inner->addWidget(text);
    QVBoxLayout* column = Column(notice.column);
    column->insertWidget(column->count() - 1, frame);
  }

  for (QHBoxLayout* band : bands_) band->addStretch(1);
  root->addStretch(1);
  auto* web = new QLabel(WebAddress(), this);
  web->setObjectName(QStringLiteral("webAddress"));
  web->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  root->addWidget(web);
  OrderTabs();
  Refresh();
}

// Tab goes row by row, left to right, top to bottom: a band's lines across its columns, then
// the next band, whatever order the rows were declared in.
void DevicePage::OrderTabs() {
  struct Stop {
    size_t band;
    int line, column, cell;
    QWidget* widget;
  };
  std::vector<Stop> stops;
  for (int c = 0; c < static_cast<int>(columns_.size()); ++c) {
    QGridLayout* grid = ColumnGrid(c);
    for (int i = 0; i < grid->count(); ++i) {
      QWidget* w = grid->itemAt(i)->widget();
      if (!w || !(w->focusPolicy() & Qt::TabFocus)) continue;
      int line = 0, cell = 0, rows = 0, cells = 0;
      grid->getItemPosition(i, &line, &cell, &rows, &cells);
      stops.push_back({BandIndex(c), line, c, cell, w});
    }
  }
  std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) {
    return std::tie(a.band, a.line, a.column, a.cell) < std::tie(b.band, b.line, b.column, b.cell);
  });
  for (size_t k = 1; k < stops.size(); ++k) setTabOrder(stops[k - 1].widget, stops[k].widget);
}

void DevicePage::BuildRow(size_t index, QSet<int>& ids) {
  const Row& row = declaration_.rows[index];
  const DialogUnits du(font());
  auto claim = [&](int id) {  // [&]: `this` is used only where asserts are compiled in
    Q_ASSERT_X(!ids.contains(id), "DevicePage", qPrintable(Q(declaration_.name + " repeats an id")));
    ids.insert(id);
  };
  auto widgets = std::make_unique<RowWidgets>();
  QGridLayout* grid = ColumnGrid(row.column);
  const int line = row.line >= 0 ? firstRowLines_[row.column] + row.line : grid->rowCount();
  const QString name = Q(model_.RowName(index));

  QWidget* field = nullptr;
  if (row.edit != 0 && !row.choices.empty()) {
    claim(row.edit);
    widgets->list = new QComboBox(this);
    for (const Choice& choice : row.choices) widgets->list->addItem(Q(choice.text));
    widgets->list->setCurrentIndex(-1);
    widgets->list->setMinimumWidth(du.X(declaration_.metrics.editWidth));
    Identify(widgets->list, row.edit, name);
    controls_[row.edit] = widgets->list;
    // An entry the user picks is not yet the device's.
    connect(widgets->list, &QComboBox::activated, this, [this, id = row.edit] { Typed(id); });
    grid->addWidget(widgets->list, line, kEditColumn);
    field = widgets->list;
  } else if (row.edit != 0) {
    claim(row.edit);
    widgets->edit = new QLineEdit(this);
    widgets->edit->setReadOnly(row.readOnly);
    widgets->edit->setFixedSize(du.X(declaration_.metrics.editWidth), du.Y(kEditHeight));
    Identify(widgets->edit, row.edit, name);
    controls_[row.edit] = widgets->edit;
    connect(widgets->edit, &QLineEdit::textEdited, this, [this, id = row.edit] { Typed(id); });
    grid->addWidget(widgets->edit, line, kEditColumn);
    field = widgets->edit;
  }
  if (!row.caption.empty()) {
    widgets->caption = new QLabel(Q(row.caption), this);
    if (field) widgets->caption->setBuddy(field);
    grid->addWidget(widgets->caption, line, kCaptionColumn);
  }
  if (!row.unit.empty()) {
    widgets->unit = new QLabel(Q(row.unit), this);
    grid->addWidget(widgets->unit, line, kUnitColumn);
  }

  // Of the rows that share an "Inquire", one carries the button: a line of its own, else the
  // row marked for it, else the first.
  const bool carries = row.inquire != 0 && model_.ButtonRow(row.inquire) == index;
  const QString what = name.isEmpty() ? Q(PageModel::Plain(row.caption)) : name;
  auto button = [&](int id, const QString& text) {
    claim(id);
    auto* b = new QPushButton(text, this);
    if (const int narrow = declaration_.metrics.buttonWidth; narrow > 0) {
      b->setFixedWidth(std::max(du.X(narrow), b->fontMetrics().horizontalAdvance(text) + du.X(6)));
      b->setMinimumHeight(du.Y(kButtonHeight));
    } else {
      b->setMinimumSize(std::max(du.X(kButtonWidth), b->sizeHint().width()), du.Y(kButtonHeight));
    }
    Identify(b, id, what.isEmpty() ? text : text + u' ' + what);
    controls_[id] = b;
    return b;
  };
  if (carries) {
    widgets->inquire = button(row.inquire, Q(row.inquireText));
    grid->addWidget(widgets->inquire, line, kInquireColumn);
    connect(widgets->inquire, &QPushButton::clicked, this, [this, id = row.inquire] {
      Post(
          Doing("Reading", id, true), LineWorker::Kind::User,
          [id](PageRunner& runner, const PageInputs& inputs) {
            runner.Inquire(id, inputs);
            return true;
          },
          true, FieldsOf(id, true));
    });
  }
  if (row.setup != 0) {
    widgets->setup = button(row.setup, Q(row.setupText));
    grid->addWidget(widgets->setup, line, row.edit == 0 && row.inquire == 0 ? kEditColumn : kSetupColumn);
    connect(widgets->setup, &QPushButton::clicked, this, [this, id = row.setup] {
      // A number the register cannot hold would land as its low bits: said here, nothing sent.
      if (const auto refused = model_.RefusedSetUp(id, Inputs()))
        return context_.messages.ShowMessage(refused->second, refused->first, MessageIcon::Exclamation);
      Post(
          Doing("Writing", id, false), LineWorker::Kind::User,
          [id](PageRunner& runner, const PageInputs& inputs) {
            runner.SetUp(id, inputs);
            return true;
          },
          false, FieldsOf(id, false));
    });
  }
  if (row.hidden) {
    for (QWidget* w : std::initializer_list<QWidget*>{widgets->caption, widgets->edit, widgets->list, widgets->unit,
                                                      widgets->inquire, widgets->setup})
      if (w) {
        w->setVisible(false);
        w->setEnabled(false);
      }
  }
  rowWidgets_.push_back(std::move(widgets));
}

bool DevicePage::RealTimeTicked() const { return realTimeBox_ && realTimeBox_->isChecked(); }

QLineEdit* DevicePage::Edit(int id) const {
  for (size_t i = 0; i < declaration_.rows.size(); ++i)
    if (declaration_.rows[i].edit == id) return rowWidgets_[i]->edit;
  return nullptr;
}

QComboBox* DevicePage::List(int id) const {
  for (size_t i = 0; i < declaration_.rows.size(); ++i)
    if (declaration_.rows[i].edit == id) return rowWidgets_[i]->list;
  return nullptr;
}

QPushButton* DevicePage::Button(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : qobject_cast<QPushButton*>(it->second);
}

QComboBox* DevicePage::SelectorBox(int id) const { return findChild<QComboBox*>(QString::number(id)); }

QString DevicePage::CurrentEntry(int selector) const {
  const QComboBox* box = SelectorBox(selector);
  return box && box->currentIndex() >= 0 ? box->itemText(box->currentIndex()) : QString();
}

PageInputs DevicePage::Inputs() const {
  PageInputs inputs;
  for (const auto& [id, widget] : controls_) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
      inputs.texts[id] = edit->text().toStdString();
    else if (const auto* list = qobject_cast<const QComboBox*>(widget))
      inputs.chosen[id] = list->currentIndex();
  }
  inputs.ticked = RealTimeTicked();
  return inputs;
}

std::vector<FieldReading> DevicePage::Readings() const { return model_.Readings(Inputs(), states_); }

void DevicePage::Typed(int id) {
  states_[id] = {FieldSource::Typed, std::chrono::system_clock::now()};
}

void DevicePage::FieldEmptied(int id) {
  if (QLineEdit* edit = Edit(id)) edit->clear();
}

void DevicePage::FieldFilled(int id, const std::string& text) {
  if (QLineEdit* edit = Edit(id)) edit->setText(Q(text));
}

void DevicePage::EntryChosen(int list, int index) {
  if (QComboBox* box = List(list)) box->setCurrentIndex(index);
}

void DevicePage::ControlEnabled(int id, bool enabled) {
  const auto it = controls_.find(id);
  if (it != controls_.end()) it->second->setEnabled(enabled);
}

void DevicePage::BoxTicked(bool ticked) {
  if (realTimeBox_) realTimeBox_->setChecked(ticked);
}

void DevicePage::FieldOutcome(int id, const FieldState& state) { states_[id] = state; }

void DevicePage::RealTimePoll() {
  Post(QStringLiteral("Reading live values\u2026"), LineWorker::Kind::Poll,
       [](PageRunner& runner, const PageInputs& inputs) { return runner.RealTimePoll(inputs); });
}

QString DevicePage::Doing(const char* verb, int button, bool inquire) const {
  for (size_t i = 0; i < declaration_.rows.size(); ++i) {
    const Row& row = declaration_.rows[i];
    if ((inquire ? row.inquire : row.setup) != button) continue;
    const std::string name = model_.RowName(i);
    if (!name.empty()) return Q(std::string(verb) + ' ' + name + "\u2026");
  }
  return Q(std::string(verb) + "\u2026");
}

namespace {

// Tells the page its job is over once the job is gone, whether it ran or was dropped (a user's
// press drops a waiting poll): after everything the job reported, in order.
struct JobEnd {
  std::function<void(bool ran, bool whole)> tell;
  bool ran = false;
  bool whole = false;
  ~JobEnd() { tell(ran, whole); }
};

}  // namespace

std::vector<int> DevicePage::FieldsOf(int button, bool inquire) const {
  std::vector<int> fields;
  for (const Row& row : declaration_.rows) {
    if ((inquire ? row.inquire : row.setup) != button || row.edit == 0) continue;
    fields.push_back(row.edit);
    if (inquire)
      for (const auto& [edit, shown] : row.alsoShows) fields.push_back(edit);
  }
  return fields;
}

void DevicePage::Touch(const std::vector<int>& fields) {
  ++epoch_;
  if (fields.empty()) {
    for (const Row& row : declaration_.rows)
      if (row.edit != 0) touched_[row.edit] = epoch_;
    for (const BlockField& f : declaration_.block.fields) touched_[f.edit] = epoch_;
  }
  for (int id : fields) touched_[id] = epoch_;
}

bool DevicePage::Current(int id, uint64_t made) const {
  const auto it = touched_.find(id);
  return it == touched_.end() || it->second <= made;
}

void DevicePage::Post(const QString& what, LineWorker::Kind kind,
                      std::function<bool(PageRunner&, const PageInputs&)> run, bool reads,
                      const std::vector<int>& touches) {
  const bool poll = kind == LineWorker::Kind::Poll;
  if (poll) ++pollsInFlight_;
  // A user's job is newer than every report still on its way: those for its fields are stale.
  if (!poll && !touches.empty()) Touch(touches);
  const uint64_t made = epoch_;
  std::shared_ptr<LineSide> side = lineSide_;
  auto end = std::make_shared<JobEnd>();
  end->tell = [side, poll, reads, made](bool ran, bool whole) {
    side->ToPage([poll, ran, reads, whole, made](DevicePage& p) { p.Finished(poll, ran && reads, whole, made); });
  };
  context_.line.Post(what, kind, [side, end, made, run = std::move(run), inputs = Inputs()](const LineWorker::Token& token) {
    PageRunner& runner = side->Runner();
    side->MadeAt(made);
    runner.SetLineHooks([&token] { return token.StopRequested(); }, [&token](const std::string& w) { token.Say(w); });
    end->whole = run(runner, inputs);
    runner.SetLineHooks({}, {});
    end->ran = true;
  });
}

void DevicePage::Finished(bool poll, bool read, bool whole, uint64_t made) {
  if (read) Updated();
  if (!poll) return;
  --pollsInFlight_;
  // A partial pass (stopped early, or the page moved on under it) is no tick of the trend:
  // the fields it did not read would be sampled with their old text.
  const bool movedOn = std::any_of(touched_.begin(), touched_.end(), [made](const auto& t) { return t.second > made; });
  if (read && whole && !movedOn) emit Polled();
}

void DevicePage::Refresh() {
  for (const auto& [id, enabled] : model_.EnabledStates(Inputs())) ControlEnabled(id, enabled);
}

}  // namespace tamsu
