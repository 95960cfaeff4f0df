#include "app/line_traffic_window.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QFontMetrics>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <deque>

#include "app/save_file.h"

namespace tamsu {

// The lines shown, at most as many as the record keeps.
class LineListModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(lines_.size())) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return lines_[static_cast<size_t>(index.row())];
    return {};
  }

  void Append(const std::vector<LineRecord::Line>& lines) {
    if (lines.empty()) return;
    const int first = static_cast<int>(lines_.size());
    beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
    for (const LineRecord::Line& line : lines) {
      lines_.push_back(QString::fromStdString(line.text));
      widest_ = std::max(widest_, metrics_.horizontalAdvance(lines_.back()));
    }
    endInsertRows();
    if (lines_.size() > LineRecord::kCapacity) {
      const int drop = static_cast<int>(lines_.size() - LineRecord::kCapacity);
      beginRemoveRows({}, 0, drop - 1);
      lines_.erase(lines_.begin(), lines_.begin() + drop);
      endRemoveRows();
    }
  }
  void Clear() {
    beginResetModel();
    lines_.clear();
    widest_ = 0;
    endResetModel();
  }
  void SetFont(const QFont& font) { metrics_ = QFontMetrics(font); }
  // The widest line's text in pixels (of a line dropped off the top too, until cleared: the
  // width never shrinks under the reader).
  int Widest() const { return widest_; }
  QStringList All() const { return QStringList(lines_.begin(), lines_.end()); }
  const QString& At(int row) const { return lines_[static_cast<size_t>(row)]; }

 private:
  std::deque<QString> lines_;
  QFontMetrics metrics_{QFont()};
  int widest_ = 0;
};

// Every row as wide as the widest line, so the list scrolls sideways instead of cutting a long
// line; the view asks one row for the size of all (uniform rows keep 10,000 lines quick).
class WholeLineDelegate : public QStyledItemDelegate {
 public:
  WholeLineDelegate(const LineListModel& model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const int text = option.fontMetrics.horizontalAdvance(index.data().toString());
    size.setWidth(size.width() - text + std::max(text, model_.Widest()));
    return size;
  }

 private:
  const LineListModel& model_;
};

LineTrafficWindow::LineTrafficWindow(LineRecord& record, QWidget* parent)
    : QWidget(parent, Qt::Window), record_(record), model_(new LineListModel(this)) {
  setObjectName(QStringLiteral("LineTrafficWindow"));
  setWindowTitle(QStringLiteral("Line traffic"));
  resize(900, 420);

  view_ = new QListView(this);
  view_->setObjectName(QStringLiteral("lineTrafficList"));
  view_->setAccessibleName(QStringLiteral("Line traffic"));
  view_->setModel(model_);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setUniformItemSizes(true);  // ten thousand lines stay quick to lay out
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  model_->SetFont(view_->font());
  view_->setItemDelegate(new WholeLineDelegate(*model_, view_));
  view_->setTextElideMode(Qt::ElideNone);
  view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

  pause_ = new QPushButton(QStringLiteral("Pause"), this);
  pause_->setCheckable(true);
  auto* clear = new QPushButton(QStringLiteral("Clear"), this);
  auto* copy = new QPushButton(QStringLiteral("Copy"), this);
  auto* save = new QPushButton(QStringLiteral("Save as text..."), this);
  for (auto [button, name] : {std::pair{pause_, "Pause"}, {clear, "Clear"}, {copy, "Copy"}, {save, "Save as text"}}) {
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(QString::fromLatin1(name));
  }
  connect(pause_, &QPushButton::toggled, this, [this](bool on) { SetPaused(on); });
  connect(clear, &QPushButton::clicked, this, &LineTrafficWindow::Clear);
  connect(copy, &QPushButton::clicked, this, &LineTrafficWindow::Copy);
  connect(save, &QPushButton::clicked, this, &LineTrafficWindow::AskAndSave);

  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {pause_, clear, copy, save}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* root = new QVBoxLayout(this);
  root->addWidget(view_);
  root->addLayout(buttons);

  timer_ = new QTimer(this);
  timer_->setInterval(100);
  connect(timer_, &QTimer::timeout, this, &LineTrafficWindow::Refresh);
}

LineTrafficWindow::~LineTrafficWindow() = default;

void LineTrafficWindow::showEvent(QShowEvent* event) {
  Refresh();
  timer_->start();
  QWidget::showEvent(event);
}

void LineTrafficWindow::hideEvent(QHideEvent* event) {
  timer_->stop();
  QWidget::hideEvent(event);
}

void LineTrafficWindow::Refresh() {
  if (Paused()) return;
  const std::vector<LineRecord::Line> lines = record_.Since(shown_);
  if (lines.empty()) return;
  // Follow the newest line unless the user has scrolled up to read older ones.
  QScrollBar* bar = view_->verticalScrollBar();
  const bool atBottom = bar->value() >= bar->maximum();
  model_->Append(lines);
  shown_ = lines.back().seq;
  if (atBottom) view_->scrollToBottom();
}

void LineTrafficWindow::SetPaused(bool paused) {
  if (pause_->isChecked() != paused) pause_->setChecked(paused);
  if (!paused) Refresh();
}

bool LineTrafficWindow::Paused() const { return pause_->isChecked(); }

void LineTrafficWindow::Clear() {
  record_.Clear();
  model_->Clear();
  shown_ = record_.LastSeq();
}

QStringList LineTrafficWindow::Lines() const { return model_->All(); }

void LineTrafficWindow::Copy() {
  QModelIndexList selected = view_->selectionModel()->selectedRows();
  QStringList lines;
  if (selected.isEmpty()) {
    lines = Lines();
  } else {
    std::sort(selected.begin(), selected.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : selected) lines << model_->At(index.row());
  }
  QApplication::clipboard()->setText(lines.join(u'\n'));
}

bool LineTrafficWindow::SaveTo(const QString& path, QString* error) const {
  QByteArray text;
  for (const QString& line : Lines()) text += line.toUtf8() + '\n';
  return SaveWholeFile(path, text, error);
}

void LineTrafficWindow::AskAndSave() {
  const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save line traffic"),
                                                    QStringLiteral("line-traffic.txt"),
                                                    QStringLiteral("Text files (*.txt);;All files (*)"));
  if (path.isEmpty()) return;
  QString error;
  if (!SaveTo(path, &error))
    QMessageBox::warning(this, QStringLiteral("Line traffic"), QStringLiteral("Could not write %1: %2").arg(path, error));
}

}  // namespace tamsu
