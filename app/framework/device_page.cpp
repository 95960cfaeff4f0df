#include "app/framework/device_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>
#include <algorithm>

#include "app/framework/dialog_units.h"

namespace tamsu {

namespace {

// Control sizes in dialog units, as the connection band draws them.
constexpr int kEditWidth = 56;
constexpr int kEditHeight = 12;
constexpr int kButtonWidth = 40;
constexpr int kButtonHeight = 14;
constexpr int kMargin = 7;
constexpr int kColumnGap = 14;

enum GridColumn { kCaptionColumn, kEditColumn, kUnitColumn, kInquireColumn, kSetupColumn };

// "Register 0：" names the field "Register 0".
QString Plain(QString caption) {
  while (!caption.isEmpty() && (caption.back() == u':' || caption.back() == QChar(0xFF1A) ||
                                caption.back().isSpace()))
    caption.chop(1);
  return caption.trimmed();
}

}  // namespace

struct DevicePage::RowWidgets {
  QLabel* caption = nullptr;
  QLineEdit* edit = nullptr;
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
    columnsRow_->addLayout(box);
    columns_.push_back(box);
  }
  return columns_[column];
}

QGridLayout* DevicePage::ColumnGrid(int column) {
  return static_cast<QGridLayout*>(Column(column)->itemAt(0)->layout());
}

// An edit is named by its caption, and by its unit too where the caption repeats on the page;
// a row without a caption takes that of the row whose button reads it.
QString DevicePage::RowName(size_t index) const {
  auto caption = [this](size_t i) {
    const Row& row = declaration_.rows[i];
    QString own = Plain(row.caption);
    for (size_t j = 0; own.isEmpty() && row.inquire != 0 && j < i; ++j)
      if (declaration_.rows[j].inquire == row.inquire) own = Plain(declaration_.rows[j].caption);
    return own;
  };
  const Row& row = declaration_.rows[index];
  const QString name = caption(index);
  if (name.isEmpty()) return Plain(row.unit);
  int same = 0;
  for (size_t i = 0; i < declaration_.rows.size(); ++i) same += caption(i) == name;
  if (same > 1 && !row.unit.isEmpty()) return QStringLiteral("%1 (%2)").arg(name, Plain(row.unit));
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
  columnsRow_ = new QHBoxLayout;
  columnsRow_->setSpacing(du.X(kColumnGap));
  root->addLayout(columnsRow_);

  QSet<int> ids;
  auto claim = [&ids, this](int id) {
    Q_ASSERT_X(!ids.contains(id), "DevicePage", qPrintable(declaration_.name + " repeats an id"));
    ids.insert(id);
  };

  for (const Selector& selector : declaration_.selectors) {
    claim(selector.id);
    QGridLayout* grid = ColumnGrid(selector.column);
    const int line = grid->rowCount();
    auto* label = new QLabel(selector.caption, this);
    auto* combo = new QComboBox(this);
    combo->setEditable(selector.editable);
    QStringList items = selector.items;
    if (selector.sorted) items.sort(Qt::CaseInsensitive);
    combo->addItems(items);
    combo->setCurrentIndex(selector.selected);
    combo->setMinimumWidth(du.X(kEditWidth + kButtonWidth));
    label->setBuddy(combo);
    Identify(combo, selector.id, Plain(selector.caption));
    grid->addWidget(label, line, kCaptionColumn);
    grid->addWidget(combo, line, kEditColumn, 1, 3);
    const int id = selector.id;
    connect(combo, &QComboBox::currentIndexChanged, this, [this, id] { SelectorChanged(id); });
  }

  for (size_t i = 0; i < declaration_.rows.size(); ++i) {
    const Row& row = declaration_.rows[i];
    auto widgets = std::make_unique<RowWidgets>();
    QGridLayout* grid = ColumnGrid(row.column);
    const int line = grid->rowCount();
    const QString name = RowName(i);

    claim(row.edit);
    widgets->edit = new QLineEdit(this);
    widgets->edit->setReadOnly(row.readOnly);
    widgets->edit->setFixedSize(du.X(kEditWidth), du.Y(kEditHeight));
    Identify(widgets->edit, row.edit, name);
    widgets->field = std::make_unique<LineEditField>(widgets->edit);
    grid->addWidget(widgets->edit, line, kEditColumn);
    if (!row.caption.isEmpty()) {
      widgets->caption = new QLabel(row.caption, this);
      widgets->caption->setBuddy(widgets->edit);
      grid->addWidget(widgets->caption, line, kCaptionColumn);
    }
    if (!row.unit.isEmpty()) {
      widgets->unit = new QLabel(row.unit, this);
      grid->addWidget(widgets->unit, line, kUnitColumn);
    }

    const bool sharesButton =
        row.inquire != 0 && std::any_of(declaration_.rows.begin(), declaration_.rows.begin() + i,
                                        [&row](const Row& earlier) { return earlier.inquire == row.inquire; });
    if (row.inquire != 0 && !sharesButton) {
      claim(row.inquire);
      widgets->inquire = new QPushButton(QStringLiteral("Inquire"), this);
      widgets->inquire->setMinimumSize(du.X(kButtonWidth), du.Y(kButtonHeight));
      Identify(widgets->inquire, row.inquire, QStringLiteral("Inquire ") + name);
      grid->addWidget(widgets->inquire, line, kInquireColumn);
      const int button = row.inquire;
      const bool showErrors = row.showErrors;
      connect(widgets->inquire, &QPushButton::clicked, this,
              [this, button, showErrors] { Inquire(button, showErrors); });
      buttons_.push_back(widgets->inquire);
    }
    if (row.setup != 0) {
      claim(row.setup);
      widgets->setup = new QPushButton(QStringLiteral("Set up"), this);
      widgets->setup->setMinimumSize(du.X(kButtonWidth), du.Y(kButtonHeight));
      Identify(widgets->setup, row.setup, QStringLiteral("Set up ") + name);
      grid->addWidget(widgets->setup, line, kSetupColumn);
      const int button = row.setup;
      connect(widgets->setup, &QPushButton::clicked, this, [this, button] { SetUp(button); });
      buttons_.push_back(widgets->setup);
    }
    if (row.hidden) {
      for (QWidget* w : std::initializer_list<QWidget*>{widgets->caption, widgets->edit, widgets->unit,
                                                        widgets->inquire, widgets->setup})
        if (w) {
          w->setVisible(false);
          w->setEnabled(false);
        }
    }
    rowWidgets_.push_back(std::move(widgets));
  }

  if (declaration_.realTime.id != 0) {
    claim(declaration_.realTime.id);
    realTimeBox_ = new QCheckBox(declaration_.realTime.caption, this);
    Identify(realTimeBox_, declaration_.realTime.id, Plain(declaration_.realTime.caption));
    QGridLayout* grid = ColumnGrid(declaration_.realTime.column);
    grid->addWidget(realTimeBox_, grid->rowCount(), kCaptionColumn, 1, 3);
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

  columnsRow_->addStretch(1);
  root->addStretch(1);
  auto* web = new QLabel(WebAddress(), this);
  web->setObjectName(QStringLiteral("webAddress"));
  web->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  root->addWidget(web);
}

bool DevicePage::RealTimeTicked() const { return realTimeBox_ && realTimeBox_->isChecked(); }

QLineEdit* DevicePage::Edit(int id) const {
  for (size_t i = 0; i < declaration_.rows.size(); ++i)
    if (declaration_.rows[i].edit == id) return rowWidgets_[i]->edit;
  return nullptr;
}

QPushButton* DevicePage::Button(int id) const {
  for (QPushButton* button : buttons_)
    if (button->objectName() == QString::number(id)) return button;
  return nullptr;
}

QComboBox* DevicePage::SelectorBox(int id) const { return findChild<QComboBox*>(QString::number(id)); }

const Row* DevicePage::RowOfEdit(int editId) const {
  for (const Row& row : declaration_.rows)
    if (row.edit == editId) return &row;
  return nullptr;
}

uint8_t DevicePage::RunRead(const ReadOp& op, EditField& field, bool showErrors) {
  MessageSink& sink = Messages();
  switch (op.kind) {
    case ReadOp::Register:
      return master_.ShowRegister(sink, field, op.reg, showErrors);
    case ReadOp::RegisterNoClear:
      return master_.ShowRegisterNoClear(sink, field, op.reg, showErrors);
    case ReadOp::Status:
      return master_.ShowStatusRegister(sink, field, op.reg, op.normalCode, op.warningCode, showErrors);
    case ReadOp::Scaled:
      return master_.ShowScaled(sink, field, op.reg, op.scale, op.decimals, showErrors);
    case ReadOp::ScaledSigned:
      return master_.ShowScaledSigned(sink, field, op.reg, op.scale, op.decimals, showErrors);
    case ReadOp::Register32:
      return master_.ShowRegister32(sink, field, op.reg, showErrors);
    case ReadOp::Float:
      return master_.ShowFloatRegister(sink, field, op.reg, showErrors);
    case ReadOp::None:
      break;
  }
  return kSuccess;
}

uint8_t DevicePage::RunWrite(const WriteOp& op, EditField& field) {
  MessageSink& sink = Messages();
  switch (op.kind) {
    case WriteOp::Int:
      return master_.WriteFieldInt(sink, field, op.reg);
    case WriteOp::Scaled:
      return master_.WriteFieldScaled(sink, field, op.reg, op.multiplier);
    case WriteOp::Scaled32:
      return master_.WriteFieldScaled32(sink, field, op.reg, op.multiplier);
    case WriteOp::Float:
      return master_.WriteFieldFloat(sink, field, op.reg);
    case WriteOp::None:
      break;
  }
  return kSuccess;
}

uint8_t DevicePage::ReadInto(int editId, bool showErrors) {
  for (size_t i = 0; i < declaration_.rows.size(); ++i)
    if (declaration_.rows[i].edit == editId) return RunRead(ReadFor(declaration_.rows[i]), *rowWidgets_[i]->field, showErrors);
  return kSuccess;
}

void DevicePage::Inquire(int button, bool showErrors) {
  for (size_t i = 0; i < declaration_.rows.size(); ++i)
    if (declaration_.rows[i].inquire == button) RunRead(ReadFor(declaration_.rows[i]), *rowWidgets_[i]->field, showErrors);
}

void DevicePage::SetUp(int button) {
  for (size_t i = 0; i < declaration_.rows.size(); ++i)
    if (declaration_.rows[i].setup == button) RunWrite(WriteFor(declaration_.rows[i]), *rowWidgets_[i]->field);
}

void DevicePage::Poll(bool showErrors) {
  for (int edit : declaration_.poll) ReadInto(edit, showErrors);
}

void DevicePage::RealTimePoll() {
  ++pollDepth_;
  Poll(declaration_.pollShowsErrors);
  --pollDepth_;
}

void DevicePage::RealTimeClicked() {
  const RealTimeBox& box = declaration_.realTime;
  if (box.testsPort && GetLink().PortOpen.load() == 0) {
    realTimeBox_->setChecked(false);
    Messages().ShowMessage(box.message, box.messageCaption, box.icon);
  }
  LockForRealTime(realTimeBox_->isChecked());
}

void DevicePage::LockForRealTime(bool ticked) {
  if (declaration_.realTime.disables.empty()) {
    for (QPushButton* button : buttons_) button->setEnabled(!ticked);
    return;
  }
  for (int id : declaration_.realTime.disables)
    if (QWidget* widget = findChild<QWidget*>(QString::number(id))) widget->setEnabled(!ticked);
}

}  // namespace tamsu
