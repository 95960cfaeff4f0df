#include "app/framework/device_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <tuple>

#include "app/framework/dialog_units.h"
#include "modbus/number_text.h"

namespace tamsu {

namespace {

// Control sizes in dialog units, as the connection band draws them.
constexpr int kEditHeight = 12;
constexpr int kButtonWidth = 40;
constexpr int kButtonHeight = 14;
constexpr int kMargin = 7;

enum GridColumn { kCaptionColumn, kEditColumn, kUnitColumn, kInquireColumn, kSetupColumn };

// "Register 0：" names the field "Register 0".
QString Plain(QString caption) {
  while (!caption.isEmpty() && (caption.back() == u':' || caption.back() == QChar(0xFF1A) ||
                                caption.back().isSpace()))
    caption.chop(1);
  return caption.trimmed();
}

ReadOp Shown(uint16_t reg, Representation shown, const ReadMessages& messages, bool keep = false) {
  return {reg, std::move(shown), &messages, keep};
}

Representation Fixed(Representation::Kind kind, double scale, int decimals) {
  return {.kind = kind, .scale = scale, .decimals = decimals >= 0 && decimals <= 3 ? decimals : 0};
}

template <typename T>
bool Contains(const std::vector<T>& list, const T& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

ReadOp Unsigned(uint16_t reg) { return Shown(reg, {}, kShowRegisterMessages); }
ReadOp UnsignedNoClear(uint16_t reg) { return Shown(reg, {}, kShowNoClearMessages, true); }
ReadOp Unsigned32(uint16_t reg) {
  return Shown(reg, {.kind = Representation::Kind::Unsigned32}, kShowRegister32Messages);
}
ReadOp Float32(uint16_t reg, int decimals) {
  return Shown(reg, {.kind = Representation::Kind::Float, .decimals = decimals}, kShowFloatMessages);
}
ReadOp Signed(uint16_t reg, double scale, int decimals) {
  return Shown(reg, Fixed(Representation::Kind::Signed, scale, decimals), kShowRegisterMessages);
}
ReadOp UnsignedScaled(uint16_t reg, double scale, int decimals) {
  return Shown(reg, Fixed(Representation::Kind::Unsigned, scale, decimals), kShowScaledMessages);
}
ReadOp Status(uint16_t reg, uint16_t normalCode, uint16_t warningCode) {
  return Shown(reg, {.kind = Representation::Kind::Codes, .codes = {{normalCode, "Normal"}, {warningCode, "Warning"}}},
               kShowNoClearMessages);
}
ReadOp Codes(uint16_t reg, std::vector<std::pair<uint16_t, std::string>> codes) {
  return Shown(reg, {.kind = Representation::Kind::Codes, .codes = std::move(codes)}, kShowRegisterMessages);
}
ReadOp Version(uint16_t reg) { return Shown(reg, {.kind = Representation::Kind::Bytes}, kShowRegisterMessages); }

struct DevicePage::RowWidgets {
  QLabel* caption = nullptr;
  QLineEdit* edit = nullptr;
  QComboBox* list = nullptr;
  std::unique_ptr<LineEditField> field;
  QLabel* unit = nullptr;
  QPushButton* inquire = nullptr;
  QPushButton* setup = nullptr;
};

DevicePage::DevicePage(AppContext& context, PageDeclaration declaration, QWidget* parent)
    : QWidget(parent), context_(context), declaration_(std::move(declaration)), master_(context.link) {
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

// An edit is named by its caption, and by its unit too where the caption repeats on the page;
// a row without a caption takes that of the row whose button reads it.
QString DevicePage::RowCaption(size_t index) const {
  const Row& row = declaration_.rows[index];
  QString own = Plain(row.caption);
  for (size_t j = 0; own.isEmpty() && row.inquire != 0 && j < declaration_.rows.size(); ++j)
    if (j != index && declaration_.rows[j].inquire == row.inquire) own = Plain(declaration_.rows[j].caption);
  return own;
}

QString DevicePage::RowName(size_t index) const {
  const Row& row = declaration_.rows[index];
  if (!row.name.isEmpty()) return row.name;
  // The caption a row is known by (its own, or that of the rows its button reads with); a row
  // named outright is told apart by that name and never clashes.
  auto caption = [this](size_t i) { return declaration_.rows[i].name.isEmpty() ? RowCaption(i) : QString(); };
  const QString name = RowCaption(index);
  const QString unit = Plain(row.unit);
  if (name.isEmpty()) return unit;
  int same = 0;
  for (size_t i = 0; i < declaration_.rows.size(); ++i) same += declaration_.rows[i].edit != 0 && caption(i) == name;
  if (same > 1 && !unit.isEmpty())
    return unit.startsWith(u'(') ? QStringLiteral("%1 %2").arg(name, unit) : QStringLiteral("%1 (%2)").arg(name, unit);
  return name;
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
  auto claim = [&ids, this](int id) {
    Q_ASSERT_X(!ids.contains(id), "DevicePage", qPrintable(declaration_.name + " repeats an id"));
    ids.insert(id);
  };

  for (const Heading& heading : declaration_.headings) {
    QGridLayout* grid = ColumnGrid(heading.column);
    grid->addWidget(new QLabel(heading.text, this), grid->rowCount(), kEditColumn);
  }

  for (const Selector& selector : declaration_.selectors) {
    claim(selector.id);
    QGridLayout* grid = ColumnGrid(selector.column);
    const int line = grid->rowCount();
    auto* label = new QLabel(selector.caption, this);
    auto* combo = new QComboBox(this);
    combo->setEditable(selector.editable);
    // Typed text is no entry: it changes nothing until an entry is chosen.
    combo->setInsertPolicy(QComboBox::NoInsert);
    QStringList items = selector.items;
    if (selector.sorted) items.sort(Qt::CaseInsensitive);
    combo->addItems(items);
    combo->setCurrentIndex(selector.selected);
    combo->setMinimumWidth(du.X(declaration_.metrics.editWidth + kButtonWidth));
    label->setBuddy(combo);
    Identify(combo, selector.id, Plain(selector.caption));
    if (combo->lineEdit()) combo->lineEdit()->setAccessibleName(Plain(selector.caption));
    grid->addWidget(label, line, kCaptionColumn);
    grid->addWidget(combo, line, kEditColumn, 1, 3);
    const int id = selector.id;
    connect(combo, &QComboBox::currentIndexChanged, this, [this, id] { SelectorChanged(id); });
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
      realTimeBox_ = new QCheckBox(declaration_.realTime.caption, this);
      QGridLayout* grid = ColumnGrid(row.column);
      grid->addWidget(realTimeBox_, grid->rowCount(), kCaptionColumn, 1, 3);
    }
  }

  if (declaration_.realTime.id != 0) {
    if (!realTimeBox_) {
      claim(declaration_.realTime.id);
      realTimeBox_ = new QCheckBox(declaration_.realTime.caption, this);
      QGridLayout* grid = ColumnGrid(declaration_.realTime.column);
      grid->addWidget(realTimeBox_, grid->rowCount(), kCaptionColumn, 1, 3);
    }
    Identify(realTimeBox_, declaration_.realTime.id, Plain(declaration_.realTime.caption));
    connect(realTimeBox_, &QCheckBox::clicked, this, [this] { RealTimeClicked(); });
  }

  for (const Notice& notice : declaration_.notices) {
    auto* frame = new QGroupBox(notice.heading, this);
    auto* text = new QLabel(notice.text, frame);
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
  auto claim = [&ids, this](int id) {
    Q_ASSERT_X(!ids.contains(id), "DevicePage", qPrintable(declaration_.name + " repeats an id"));
    ids.insert(id);
  };
  auto widgets = std::make_unique<RowWidgets>();
  QGridLayout* grid = ColumnGrid(row.column);
  const int line = row.line >= 0 ? firstRowLines_[row.column] + row.line : grid->rowCount();
  const QString name = RowName(index);

  QWidget* field = nullptr;
  if (row.edit != 0 && !row.choices.empty()) {
    claim(row.edit);
    widgets->list = new QComboBox(this);
    for (const Choice& choice : row.choices) widgets->list->addItem(choice.text);
    widgets->list->setCurrentIndex(-1);
    widgets->list->setMinimumWidth(du.X(declaration_.metrics.editWidth));
    Identify(widgets->list, row.edit, name);
    grid->addWidget(widgets->list, line, kEditColumn);
    field = widgets->list;
  } else if (row.edit != 0) {
    claim(row.edit);
    widgets->edit = new QLineEdit(this);
    widgets->edit->setReadOnly(row.readOnly);
    widgets->edit->setFixedSize(du.X(declaration_.metrics.editWidth), du.Y(kEditHeight));
    Identify(widgets->edit, row.edit, name);
    widgets->field = std::make_unique<LineEditField>(widgets->edit);
    grid->addWidget(widgets->edit, line, kEditColumn);
    field = widgets->edit;
  }
  if (!row.caption.isEmpty()) {
    widgets->caption = new QLabel(row.caption, this);
    if (field) widgets->caption->setBuddy(field);
    grid->addWidget(widgets->caption, line, kCaptionColumn);
  }
  if (!row.unit.isEmpty()) {
    widgets->unit = new QLabel(row.unit, this);
    grid->addWidget(widgets->unit, line, kUnitColumn);
  }

  // Of the rows that share an "Inquire", one carries the button: a line of its own, else the
  // row marked for it, else the first.
  bool carries = false;
  if (row.inquire != 0) {
    const size_t none = declaration_.rows.size();
    size_t first = none, marked = none, line = none;
    for (size_t j = 0; j < declaration_.rows.size(); ++j) {
      const Row& other = declaration_.rows[j];
      if (other.inquire != row.inquire) continue;
      if (first == none) first = j;
      if (other.edit == 0 && line == none) line = j;
      if (other.buttonHere && marked == none) marked = j;
    }
    carries = index == (line != none ? line : marked != none ? marked : first);
  }
  const QString what = name.isEmpty() ? Plain(row.caption) : name;
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
    buttons_.push_back(b);
    return b;
  };
  if (carries) {
    widgets->inquire = button(row.inquire, row.inquireText);
    grid->addWidget(widgets->inquire, line, kInquireColumn);
    const int id = row.inquire;
    const bool showErrors = row.showErrors;
    connect(widgets->inquire, &QPushButton::clicked, this, [this, id, showErrors] { Inquire(id, showErrors); });
  }
  if (row.setup != 0) {
    widgets->setup = button(row.setup, row.setupText);
    grid->addWidget(widgets->setup, line, row.edit == 0 && row.inquire == 0 ? kEditColumn : kSetupColumn);
    const int id = row.setup;
    connect(widgets->setup, &QPushButton::clicked, this, [this, id] { SetUp(id); });
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
  for (QPushButton* button : buttons_)
    if (button->objectName() == QString::number(id)) return button;
  return nullptr;
}

QComboBox* DevicePage::SelectorBox(int id) const { return findChild<QComboBox*>(QString::number(id)); }

QString DevicePage::CurrentEntry(int selector) const {
  const QComboBox* box = SelectorBox(selector);
  return box && box->currentIndex() >= 0 ? box->itemText(box->currentIndex()) : QString();
}

std::vector<FieldReading> DevicePage::Readings() const {
  std::vector<FieldReading> out;
  for (const Selector& selector : declaration_.selectors)
    out.push_back({.id = selector.id, .caption = Plain(selector.caption), .text = CurrentEntry(selector.id)});

  // How the poll fills a field now, if it does: as its block field, as its row's read, or as a
  // derived field of a polled row.
  auto polledAs = [this](int edit) -> std::optional<Representation> {
    const BlockPoll& block = declaration_.block;
    if (block.count > 0) {
      for (const BlockField& f : block.fields)
        if (f.edit == edit && f.offset + f.shown.Words() <= block.count) return f.shown;
      return std::nullopt;
    }
    for (int polled : declaration_.poll) {
      const Row* row = Skipped(polled) ? nullptr : RowOfEdit(polled);
      if (!row) continue;
      if (polled == edit && ReadFor(*row)) return ReadFor(*row).shown;
      for (const auto& [also, shown] : row->alsoShows)
        if (also == edit) return shown;
    }
    return std::nullopt;
  };
  // Otherwise how a press fills it: its own read, or a read it is derived from.
  auto readAs = [this](const Row& row) -> std::optional<Representation> {
    if (const ReadOp op = ReadFor(row)) return op.shown;
    for (const Row& other : declaration_.rows)
      for (const auto& [also, shown] : other.alsoShows)
        if (also == row.edit) return shown;
    return std::nullopt;
  };

  for (size_t i = 0; i < declaration_.rows.size(); ++i) {
    const Row& row = declaration_.rows[i];
    const RowWidgets& w = *rowWidgets_[i];
    if (row.hidden || (!w.edit && !w.list)) continue;
    FieldReading reading{.id = row.edit, .caption = RowCaption(i), .unit = row.unit};
    if (reading.caption.isEmpty()) reading.caption = row.name;
    std::optional<Representation> shown = polledAs(row.edit);
    reading.polled = shown.has_value();
    if (w.list) {
      const int k = w.list->currentIndex();
      reading.text = k >= 0 ? w.list->itemText(k) : QString();
    } else {
      reading.text = w.edit->text();
      if (!shown) shown = readAs(row);
      reading.numeric = shown && shown->Numeric();
    }
    out.push_back(std::move(reading));
  }
  return out;
}

bool DevicePage::EntryChosen(int selector, const QStringList& entries) const {
  const QString entry = CurrentEntry(selector);
  return !entry.isNull() && entries.contains(entry, Qt::CaseSensitive);
}

const Row* DevicePage::RowOfEdit(int editId) const {
  for (const Row& row : declaration_.rows)
    if (row.edit == editId) return &row;
  return nullptr;
}

ReadOp DevicePage::ReadFor(const Row& row) const {
  for (const Variant& v : row.variants)
    if (v.read && EntryChosen(v.selector, v.entries)) return v.read;
  return row.read;
}

WriteOp DevicePage::WriteFor(const Row& row) const {
  for (const Variant& v : row.variants)
    if (v.write && EntryChosen(v.selector, v.entries)) return v.write;
  return row.write;
}

uint8_t DevicePage::ReadRow(size_t index, bool showErrors) {
  const Row& row = declaration_.rows[index];
  RowWidgets& w = *rowWidgets_[index];
  const ReadOp op = ReadFor(row);
  if (!op) return kSuccess;
  if (row.testsPort && GetLink().PortOpen.load() == 0) {
    const RealTimeBox& box = declaration_.realTime;
    Messages().ShowMessage(box.message, box.messageCaption, box.icon);
    return kPortNotOpen;
  }
  if (w.list) {
    // A list shows the entry that stands for the value; on failure it keeps its selection.
    uint16_t value = 0;
    const uint8_t result = Master().ReadRegister(op.reg, value);
    if (result != kSuccess) {
      if (showErrors) ReportFailure(Messages(), *op.messages, result);
      return result;
    }
    int found = -1;
    for (size_t k = 0; k < row.choices.size() && found < 0; ++k)
      if (row.choices[k].value == value) found = static_cast<int>(k);
    if (found >= 0 || row.unknownClears) w.list->setCurrentIndex(found);
    return result;
  }
  if (!w.field) return kSuccess;
  uint32_t value = 0;
  const uint8_t result = Master().Show(Messages(), *w.field, op.reg, op.shown, *op.messages, op.keep, showErrors, &value);
  if (result == kSuccess) {
    for (const auto& [edit, shown] : row.alsoShows)
      if (QLineEdit* other = Edit(edit)) other->setText(QString::fromStdString(Present(shown, value)));
  }
  return result;
}

uint8_t DevicePage::WriteRow(size_t index) {
  const Row& row = declaration_.rows[index];
  RowWidgets& w = *rowWidgets_[index];
  const WriteOp op = WriteFor(row);
  const WriteMessages& words = *op.messages;
  MessageSink& sink = Messages();
  const std::string text = w.field ? w.field->GetText() : std::string();
  const double number = TextToDouble(text);
  const uint16_t scaled = Low16(number * op.multiplier);
  const bool refused = (op.refuse == WriteOp::Refuse::Zero && number == 0) ||
                       (op.refuse == WriteOp::Refuse::ZeroLow16 && scaled == 0);
  if (refused) {
    sink.ShowMessage(kEmptyInputText, "Warning", MessageIcon::Exclamation);
    return kSuccess;
  }
  // Field writes need a field; a row without one has nothing to write from.
  const bool fieldWrite = op.kind == WriteOp::Int || op.kind == WriteOp::Scaled || op.kind == WriteOp::Scaled32 ||
                          op.kind == WriteOp::Float;
  if (fieldWrite && !w.field) return kSuccess;
  uint8_t result = kSuccess;
  switch (op.kind) {
    case WriteOp::Int:
      return Master().WriteFieldInt(sink, *w.field, op.reg, words);
    case WriteOp::Scaled:
      return Master().WriteFieldScaled(sink, *w.field, op.reg, op.multiplier, words);
    case WriteOp::Scaled32:
      return Master().WriteFieldScaled32(sink, *w.field, op.reg, op.multiplier, words);
    case WriteOp::Float:
      return Master().WriteFieldFloat(sink, *w.field, op.reg, words);
    case WriteOp::Fixed:
      result = Master().WriteRegister(op.reg, op.value);
      break;
    case WriteOp::Choice: {
      // Nothing chosen, nothing written: a value the user never picked is never sent.
      const int k = w.list ? w.list->currentIndex() : -1;
      if (k < 0 || k >= static_cast<int>(row.choices.size())) return kSuccess;
      const Choice& choice = row.choices[k];
      result = Master().WriteRegister(choice.reg >= 0 ? static_cast<uint16_t>(choice.reg) : op.reg, choice.value);
      break;
    }
    case WriteOp::Pair:
      result = Master().WriteRegisterPair(op.reg, op.value, scaled);
      break;
    case WriteOp::None:
      return kSuccess;
  }
  ReportWrite(sink, words, result);
  return result;
}

uint8_t DevicePage::ReadInto(int editId, bool showErrors) {
  for (size_t i = 0; i < declaration_.rows.size(); ++i)
    if (declaration_.rows[i].edit == editId) return ReadRow(i, showErrors);
  return kSuccess;
}

void DevicePage::Inquire(int button, bool showErrors) {
  for (size_t i = 0; i < declaration_.rows.size(); ++i)
    if (declaration_.rows[i].inquire == button) ReadRow(i, showErrors && declaration_.rows[i].showErrors);
}

void DevicePage::SetUp(int button) {
  for (size_t i = 0; i < declaration_.rows.size(); ++i)
    if (declaration_.rows[i].setup == button) WriteRow(i);
}

bool DevicePage::Skipped(int editId) const {
  for (const SelectorEffect& effect : declaration_.effects)
    if (Contains(effect.skipPoll, editId) && EntryChosen(effect.selector, effect.entries)) return true;
  return false;
}

void DevicePage::BlockRead() {
  const BlockPoll& block = declaration_.block;
  std::vector<uint16_t> words(block.count);
  const uint8_t result = Master().ReadRegisters(block.start, block.count, words.data(), block.replyWait);
  for (const BlockField& f : block.fields) {
    QLineEdit* edit = Edit(f.edit);
    if (!edit) continue;
    edit->clear();
    if (result != kSuccess || f.offset + f.shown.Words() > block.count) continue;
    uint32_t value = words[f.offset];
    if (f.shown.Words() == 2) value = value << 16 | words[f.offset + 1];
    edit->setText(QString::fromStdString(Present(f.shown, value)));
  }
}

void DevicePage::Poll(bool showErrors) {
  if (declaration_.block.count > 0) {
    BlockRead();
    return;
  }
  for (int edit : declaration_.poll)
    if (!Skipped(edit)) ReadInto(edit, showErrors);
}

void DevicePage::RealTimePoll() {
  ++pollDepth_;
  Poll(declaration_.pollShowsErrors);
  --pollDepth_;
  emit Polled();
}

void DevicePage::RealTimeClicked() {
  const RealTimeBox& box = declaration_.realTime;
  if (box.testsPort && GetLink().PortOpen.load() == 0) {
    realTimeBox_->setChecked(false);
    Messages().ShowMessage(box.message, box.messageCaption, box.icon);
  }
  Refresh();
}

void DevicePage::SelectorChanged(int id) {
  for (const SelectorEffect& effect : declaration_.effects) {
    if (effect.selector != id || !EntryChosen(id, effect.entries)) continue;
    for (int edit : effect.blank)
      if (QLineEdit* e = Edit(edit)) e->setText(QStringLiteral(" "));
  }
  Refresh();
}

void DevicePage::Refresh() {
  const RealTimeBox& box = declaration_.realTime;
  const bool ticked = RealTimeTicked();
  auto lockedByBox = [&](QWidget* w, int id) {
    if (!ticked) return false;
    switch (box.disables.empty() ? box.locks : RealTimeBox::Locks::Listed) {
      case RealTimeBox::Locks::Buttons: return Contains(buttons_, qobject_cast<QPushButton*>(w));
      case RealTimeBox::Locks::Listed: return Contains(box.disables, id);
      case RealTimeBox::Locks::Nothing: break;
    }
    return false;
  };
  auto disabledByEntry = [&](int id) {
    for (const SelectorEffect& effect : declaration_.effects)
      if (Contains(effect.disable, id) && EntryChosen(effect.selector, effect.entries)) return true;
    return false;
  };
  auto apply = [&](QWidget* w, int id) {
    if (w) w->setEnabled(!lockedByBox(w, id) && !disabledByEntry(id));
  };
  for (size_t i = 0; i < declaration_.rows.size(); ++i) {
    const Row& row = declaration_.rows[i];
    if (row.hidden) continue;
    const RowWidgets& w = *rowWidgets_[i];
    apply(w.edit, row.edit);
    apply(w.list, row.edit);
    apply(w.inquire, row.inquire);
    apply(w.setup, row.setup);
  }
  for (const Selector& selector : declaration_.selectors) apply(SelectorBox(selector.id), selector.id);
}

}  // namespace tamsu
