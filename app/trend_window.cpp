#include "app/trend_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <map>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "view/device_page.h"

namespace tamsu {
namespace {

// Twenty colours that stay apart on white; past them the curves repeat them dashed.
constexpr QRgb kPalette[] = {0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd, 0x8c564b, 0xe377c2,
                             0x7f7f7f, 0xbcbd22, 0x17becf, 0x393b79, 0x637939, 0x8c6d31, 0x843c39,
                             0x7b4173, 0x3182bd, 0xe6550d, 0x31a354, 0x756bb1, 0x636363};
constexpr size_t kColours = sizeof(kPalette) / sizeof(kPalette[0]);
constexpr double kHoverReach = 12;  // pixels from a sample that still show it
constexpr double kStripGap = 3;     // between the strips of the stacked view
constexpr char kNoReading[] = "\u2014";

// Per span: the step the time axis's end moves on in, so it is not laid out at every poll.
struct TimeLayout {
  int minutes;
  int64_t stepMs;
};
constexpr TimeLayout kLayouts[] = {{1, 10'000}, {10, 30'000}, {60, 300'000}};
const TimeLayout& LayoutOf(int minutes) {
  for (const TimeLayout& layout : kLayouts)
    if (layout.minutes == minutes) return layout;
  return kLayouts[1];
}

enum Column { kName, kLatest, kMin, kMax };

QColor Colour(size_t index) { return QColor(kPalette[index % kColours]); }

// "Tem" and "℃" name the curve "Tem (℃)"; a unit already in brackets stands as it is.
std::string SeriesName(const FieldReading& field) {
  const QString unit = QString::fromStdString(field.unit).trimmed();
  QString name = QString::fromStdString(field.caption);
  if (name.isEmpty()) name = unit;
  else if (!unit.isEmpty()) name += unit.startsWith(u'(') ? u' ' + unit : QStringLiteral(" (%1)").arg(unit);
  return name.toStdString();
}

// The unit as it follows a value: "℃", "ug/m3" (without the brackets some units come in).
QString ValueUnit(const FieldReading& field) {
  QString unit = QString::fromStdString(field.unit).trimmed();
  if (unit.startsWith(u'(') && unit.endsWith(u')')) unit = unit.mid(1, unit.size() - 2).trimmed();
  return unit;
}

QString TimeText(int64_t ms, const QString& format) {
  return QDateTime::fromMSecsSinceEpoch(ms).toString(format);
}

}  // namespace

// The list's numbers, right-aligned, drawn from laid-out text kept per cell: a poll changes the
// latest value of every row, and the style's general item drawing would lay each cell out anew.
class NumberDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QString text = index.data(Qt::DisplayRole).toString();
    QStaticText& cell = cells_[{index.row(), index.column()}];
    if (cell.text() != text) {
      cell.setText(text);
      cell.setTextFormat(Qt::PlainText);
      cell.prepare(QTransform(), option.font);
    }
    const double margin = option.fontMetrics.averageCharWidth() / 2.0 + 2;
    const QSizeF size = cell.size();
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawStaticText(QPointF(option.rect.right() - margin - size.width(),
                                    option.rect.top() + (option.rect.height() - size.height()) / 2),
                            cell);
  }

 private:
  mutable std::map<std::pair<int, int>, QStaticText> cells_;
};

// The plot: the panels' value axes at the left, the shared time axis at the foot, the curves.
// A sample without a value ends a line; a lone sample between two gaps is drawn as a dot. Only
// the part asked for is painted: after a poll that is the strip the new samples fall in.
class TrendPlot : public QWidget {
 public:
  TrendPlot(TrendWindow& window, QWidget* parent) : QWidget(parent), window_(window) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(240, 160);
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (isVisible()) window_.Refresh();
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    window_.HoverAt(event->position());
    QWidget::mouseMoveEvent(event);
  }
  void leaveEvent(QEvent* event) override {
    window_.HoverAt(QPointF(-1, -1));
    QWidget::leaveEvent(event);
  }

  void paintEvent(QPaintEvent* event) override {
    const QRect area = event->rect();
    QPainter painter(this);
    painter.fillRect(area, palette().base());
    const TrendWindow& w = window_;
    const QFontMetricsF metrics(font());
    const QColor grid(0xe4, 0xe4, 0xe4), frame(0xa0, 0xa0, 0xa0), text = palette().text().color();
    const bool labelsTouched = area.left() < w.plotRect_.left();
    const auto& all = w.model_.All();
    for (const TrendWindow::Panel& panel : w.panels_) {
      const QRectF r = panel.rect;
      if (r.bottom() + metrics.height() < area.top() || r.top() - metrics.height() > area.bottom()) continue;
      painter.setRenderHint(QPainter::Antialiasing, false);
      // Grid: the value axis's labelled lines and the time labels' lines.
      const NiceAxis& axis = panel.axis;
      const double yScale = axis.high > axis.low ? r.height() / (axis.high - axis.low) : 0;
      for (double v : panel.labels) {
        const double y = r.bottom() - (v - axis.low) * yScale;
        painter.setPen(grid);
        painter.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
        if (labelsTouched) {
          painter.setPen(text);
          const QStaticText& label = Text(QString::number(v, 'f', panel.labelDecimals));
          painter.drawStaticText(QPointF(r.left() - 5 - label.size().width(), y - label.size().height() / 2), label);
        }
      }
      painter.setPen(grid);
      for (int64_t t = (w.from_ / w.timeStep_ + 1) * w.timeStep_; t < w.to_; t += w.timeStep_)
        painter.drawLine(QPointF(w.X(t), r.top()), QPointF(w.X(t), r.bottom()));
      painter.setPen(frame);
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(r);

      // The curves, clipped to the panel and the area asked for; the samples that can touch
      // it and one more on each side, so lines cross its edges.
      painter.save();
      painter.setClipRect(r.intersected(QRectF(area)));
      painter.setRenderHint(QPainter::Antialiasing);
      const double span = static_cast<double>(std::max<int64_t>(1, w.to_ - w.from_));
      const auto timeAt = [&](double x) {
        return w.from_ + static_cast<int64_t>((x - w.plotRect_.left()) / std::max(1.0, w.plotRect_.width()) * span);
      };
      const int64_t from = timeAt(area.left() - 6), to = timeAt(area.right() + 6);
      for (size_t k : panel.series) {
        const TrendSeries& s = all[k];
        QPen pen(Colour(k), 1.0);
        if (k >= kColours) pen.setStyle(Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(Colour(k));
        const auto flush = [&] {
          if (line_.size() == 1) painter.drawEllipse(line_.front(), 2, 2);
          else if (line_.size() > 1) painter.drawPolyline(line_.data(), static_cast<int>(line_.size()));
          line_.clear();
        };
        // Samples that fall in one pixel column are drawn as one stroke from their least to
        // their greatest: the same picture with at most four points a column, not dozens.
        double column = 0, columnX = 0, firstY = 0, lowY = 0, highY = 0, lastY = 0;
        int inColumn = 0;
        const auto closeColumn = [&] {
          if (inColumn == 0) return;
          line_.push_back({columnX, firstY});
          if (inColumn > 2) line_.push_back({columnX, lowY}), line_.push_back({columnX, highY});
          if (inColumn > 1) line_.push_back({columnX, lastY});
          inColumn = 0;
        };
        const size_t first = s.LowerBound(from);
        for (size_t i = first > 0 ? first - 1 : 0; i < s.Size(); ++i) {
          const TrendSample& sample = s.At(i);
          if (sample.value) {
            const double x = w.X(sample.ms), y = r.bottom() - (*sample.value - axis.low) * yScale;
            if (inColumn > 0 && std::floor(x) == column) {
              lowY = std::min(lowY, y), highY = std::max(highY, y), lastY = y;
              ++inColumn;
            } else {
              closeColumn();
              column = std::floor(x), columnX = x, firstY = lowY = highY = lastY = y;
              inColumn = 1;
            }
          } else {
            closeColumn();
            flush();
          }
          if (sample.ms > to) break;
        }
        closeColumn();
        flush();
      }
      painter.restore();

      // A strip names its series in its corner, over the curve.
      if (w.stacked_ && panel.series.size() == 1 && labelsTouched) {
        const QStaticText& name = Text(QString::fromStdString(all[panel.series.front()].Name()));
        const QRectF box(r.left() + 2, r.top() + 1, name.size().width() + 6, name.size().height());
        painter.fillRect(box, QColor(255, 255, 255, 200));
        painter.setPen(Colour(panel.series.front()).darker(130));
        painter.drawStaticText(box.topLeft() + QPointF(3, 0), name);
      }
    }

    if (area.bottom() > w.plotRect_.bottom()) {
      painter.setPen(text);
      for (const TrendWindow::TimeLabel& label : w.timeLabels_) {
        const QStaticText& t = Text(label.text);
        painter.drawStaticText(label.rect.center() - QPointF(t.size().width(), t.size().height()) / 2, t);
      }
    }

    // The pointer: a line at its time and a ring on every curve there.
    if (w.hoverMs_ && *w.hoverMs_ >= w.from_ && *w.hoverMs_ <= w.to_) {
      painter.setRenderHint(QPainter::Antialiasing);
      const double x = w.X(*w.hoverMs_);
      painter.setPen(QPen(QColor(0x60, 0x60, 0x60), 1, Qt::DotLine));
      painter.drawLine(QPointF(x, w.plotRect_.top()), QPointF(x, w.plotRect_.bottom()));
      for (size_t k = 0; k < all.size(); ++k) {
        const std::optional<size_t> i = w.ValueAtPointer(k);
        if (!i) continue;
        const TrendSample& sample = all[k].At(*i);
        if (const std::optional<QPointF> p = w.Position(k, sample.ms, *sample.value)) {
          painter.setPen(QPen(Colour(k), w.hoverSeries_ == k ? 2.5 : 1.5));
          painter.setBrush(Qt::white);
          const double radius = w.hoverSeries_ == k ? 4.5 : 3;
          painter.drawEllipse(*p, radius, radius);
        }
      }
    }
  }

 private:
  // The axes' and strips' texts, laid out once: a redraw of the stacked view draws dozens.
  const QStaticText& Text(const QString& text) {
    if (texts_.size() > 1000) texts_.clear();
    auto it = texts_.find(text);
    if (it == texts_.end()) {
      QStaticText laidOut(text);
      laidOut.setTextFormat(Qt::PlainText);
      laidOut.prepare(QTransform(), font());
      it = texts_.emplace(text, std::move(laidOut)).first;
    }
    return it->second;
  }

  TrendWindow& window_;
  std::map<QString, QStaticText> texts_;
  std::vector<QPointF> line_;  // the run being drawn, kept to spare an allocation per paint
};

TrendWindow::TrendWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("TrendWindow"));
  setWindowTitle(QString::fromLatin1(kTrendMenuText));
  resize(1060, 640);
  startWallMs_ = QDateTime::currentMSecsSinceEpoch();
  sinceStart_.start();

  plot_ = new TrendPlot(*this, this);
  plot_->setObjectName(QStringLiteral("trendChart"));
  plot_->setAccessibleName(QStringLiteral("Trend chart"));

  pageLabel_ = new QLabel(this);
  pageLabel_->setObjectName(QStringLiteral("trendPage"));
  auto* spanLabel = new QLabel(QStringLiteral("Time span"), this);
  spanBox_ = new QComboBox(this);
  spanBox_->setObjectName(QStringLiteral("trendSpan"));
  spanBox_->setAccessibleName(QStringLiteral("Time span"));
  for (int minutes : kSpans) spanBox_->addItem(QStringLiteral("%1 min").arg(minutes), minutes);
  spanBox_->setCurrentIndex(1);
  spanLabel->setBuddy(spanBox_);
  connect(spanBox_, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });

  auto* viewLabel = new QLabel(QStringLiteral("View"), this);
  viewBox_ = new QComboBox(this);
  viewBox_->setObjectName(QStringLiteral("trendView"));
  viewBox_->setAccessibleName(QStringLiteral("View"));
  viewBox_->addItem(QStringLiteral("Stacked"), true);
  viewBox_->addItem(QStringLiteral("Shared"), false);
  viewBox_->setCurrentIndex(1);
  viewBox_->setToolTip(QStringLiteral("Stacked: a strip and a value axis for each series. Shared: one value axis."));
  viewLabel->setBuddy(viewBox_);
  connect(viewBox_, &QComboBox::activated, this, [this] { SetStacked(viewBox_->currentData().toBool()); });

  seriesList_ = new QTreeWidget(this);
  seriesList_->setObjectName(QStringLiteral("trendSeries"));
  seriesList_->setAccessibleName(QStringLiteral("Series"));
  seriesList_->setRootIsDecorated(false);
  seriesList_->setUniformRowHeights(true);
  seriesList_->setHeaderLabels({QStringLiteral("Series"), QStringLiteral("Latest"), QStringLiteral("Min"),
                                QStringLiteral("Max")});
  seriesList_->header()->setStretchLastSection(false);
  for (int c : {kLatest, kMin, kMax}) seriesList_->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
  seriesList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  seriesList_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  auto* numbers = new NumberDelegate(seriesList_);
  for (int c : {kLatest, kMin, kMax}) seriesList_->setItemDelegateForColumn(c, numbers);
  connect(seriesList_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (column == kName)
      SetSeriesShown(static_cast<size_t>(seriesList_->indexOfTopLevelItem(item)), item->checkState(kName) == Qt::Checked);
  });

  hoverLabel_ = new QLabel(this);
  hoverLabel_->setObjectName(QStringLiteral("trendHover"));
  hoverLabel_->setAccessibleName(QStringLiteral("At the pointer"));

  auto* top = new QHBoxLayout;
  top->addWidget(pageLabel_, 1);
  top->addWidget(viewLabel);
  top->addWidget(viewBox_);
  top->addSpacing(12);
  top->addWidget(spanLabel);
  top->addWidget(spanBox_);
  auto* middle = new QHBoxLayout;
  middle->addWidget(plot_, 1);
  middle->addWidget(seriesList_);
  auto* root = new QVBoxLayout(this);
  root->addLayout(top);
  root->addLayout(middle, 1);
  root->addWidget(hoverLabel_);
  Refresh();
}

TrendWindow::~TrendWindow() = default;

int64_t TrendWindow::Now() const { return clock_ ? clock_() : startWallMs_ + sinceStart_.elapsed(); }

void TrendWindow::Follow(DevicePage* page, const QString& caption) {
  if (page == page_ && caption == pageLabel_->text()) return;
  disconnect(polledConnection_);
  disconnect(pauseConnection_);
  model_.Clear();
  shown_.clear();
  units_.clear();
  spans_.clear();
  hoverMs_.reset();
  hoverSeries_.reset();
  viewDecided_ = false;
  {
    const QSignalBlocker blocker(seriesList_);
    seriesList_->clear();
  }
  page_ = page;
  pageLabel_->setText(caption);
  setWindowTitle(caption.isEmpty() ? QString::fromLatin1(kTrendMenuText)
                                   : QStringLiteral("%1 - %2").arg(QString::fromLatin1(kTrendMenuText), caption));
  if (page) {
    polledConnection_ = connect(page, &DevicePage::Polled, this, &TrendWindow::Polled);
    // Unticking "Real Time" pauses the curves: what comes after the pause is not joined to
    // what came before it.
    if (QCheckBox* box = page->RealTimeCheckBox())
      pauseConnection_ = connect(box, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) model_.Break(Now());
      });
    for (const FieldReading& field : page->Readings()) {
      if (!field.numeric || !field.polled) continue;
      model_.Series(field.id, SeriesName(field));
      shown_.push_back(true);
      units_.push_back(ValueUnit(field));
      spans_.emplace_back();
      AddListEntry(shown_.size() - 1);
    }
  }
  hoverLabel_->clear();
  Refresh();
}

void TrendWindow::AddListEntry(size_t index) {
  listFitted_ = false;
  const QSignalBlocker blocker(seriesList_);
  QPixmap swatch(12, 12);
  swatch.fill(Colour(index));
  auto* item = new QTreeWidgetItem(seriesList_);
  item->setIcon(kName, QIcon(swatch));
  item->setText(kName, QString::fromStdString(model_.All()[index].Name()));
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(kName, shown_[index] ? Qt::Checked : Qt::Unchecked);
  for (int c : {kLatest, kMin, kMax}) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
}

void TrendWindow::Polled() { Sample(Now()); }

void TrendWindow::Sample(int64_t ms) {
  if (!page_) return;
  std::vector<bool> filled(model_.All().size(), false);
  for (const FieldReading& field : page_->Readings()) {
    if (!field.numeric || !field.polled) continue;
    const size_t before = model_.All().size();
    TrendSeries& series = model_.Series(field.id, SeriesName(field));
    const size_t index = static_cast<size_t>(&series - model_.All().data());
    if (model_.All().size() > before) {  // a field the poll fills only with the entries chosen now
      shown_.push_back(true);
      units_.push_back(ValueUnit(field));
      spans_.emplace_back();
      filled.push_back(false);
      AddListEntry(index);
    }
    // A read that failed at this tick is a gap, whatever the field still shows; so is a number
    // typed into it and never sent.
    const FieldSource source = field.state.source;
    const std::string& text = field.text;
    if (source == FieldSource::ReadFailed || source == FieldSource::Typed)
      series.Append(ms, std::nullopt);
    else
      series.Append(ms, ShownNumber(text), ShownDecimals(text));
    filled[index] = true;
  }
  // A field the poll no longer fills has no value at this tick.
  for (size_t k = 0; k < filled.size(); ++k)
    if (!filled[k]) model_.All()[k].Append(ms, std::nullopt);
  AfterSample();
}

// A poll only adds samples at the right end. While they fit the axes as they stand, only the
// strip they fall in is painted again; the axes (whose labels are costly to lay out) move on
// when the newest sample passes the end of the time axis or leaves its value axis.
void TrendWindow::AfterSample() {
  if (!isVisible()) return;
  const std::optional<int64_t> newest = model_.Newest();
  bool fits = newest && *newest <= to_;
  const auto& all = model_.All();
  for (size_t k = 0; k < all.size(); ++k) {
    const TrendSample* last = all[k].Last();
    if (!last || !last->value || k >= spans_.size()) continue;
    std::optional<ValueSpan>& span = spans_[k];
    if (!span) span = ValueSpan{*last->value, *last->value};
    span->low = std::min(span->low, *last->value);
    span->high = std::max(span->high, *last->value);
    if (fits && k < panelOf_.size() && panelOf_[k] >= 0) {
      const NiceAxis& axis = panels_[static_cast<size_t>(panelOf_[k])].axis;
      fits = *last->value >= axis.low && *last->value <= axis.high;
    }
  }
  if (!fits) {
    ScheduleRefresh();
    return;
  }
  UpdateList();
  const double left = X(std::min(drawnUpTo_, *newest)) - 6, right = X(*newest) + 6;
  plot_->update(QRectF(QPointF(left, plotRect_.top() - 2), QPointF(right, plotRect_.bottom() + 2)).toAlignedRect());
  drawnUpTo_ = *newest;
}

void TrendWindow::ScheduleRefresh() {
  if (!isVisible() || refreshPending_) return;
  refreshPending_ = true;
  QTimer::singleShot(0, this, [this] {
    if (refreshPending_) Refresh();
  });
}

void TrendWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  viewDecided_ = false;  // opened again: the view fits what is ticked now
  hoverMs_.reset();
  hoverSeries_.reset();
  hoverLabel_->clear();
  Refresh();
}

int TrendWindow::SpanMinutes() const { return spanBox_->currentData().toInt(); }

void TrendWindow::SetSpanMinutes(int minutes) {
  const int index = spanBox_->findData(minutes);
  if (index >= 0) spanBox_->setCurrentIndex(index);
}

void TrendWindow::SetSeriesShown(size_t index, bool shown) {
  if (index >= shown_.size() || shown_[index] == shown) return;
  shown_[index] = shown;
  if (QTreeWidgetItem* item = seriesList_->topLevelItem(static_cast<int>(index))) {
    const QSignalBlocker blocker(seriesList_);
    item->setCheckState(kName, shown ? Qt::Checked : Qt::Unchecked);
  }
  if (!shown && hoverSeries_ == index) {
    hoverSeries_.reset();
    hoverLabel_->setText(HoverText());
  }
  Refresh();
}

void TrendWindow::SetStacked(bool stacked) {
  viewChosen_ = true;
  if (stacked == stacked_) return;
  stacked_ = stacked;
  viewBox_->setCurrentIndex(viewBox_->findData(stacked));
  Refresh();
}

// Until the user picks a view, the window opens in the one that lets every ticked curve be
// seen: stacked when their magnitudes differ more than tenfold. It is chosen once per opening,
// with the first samples it has, so it does not change under the user's eyes.
void TrendWindow::ChooseView() {
  if (viewChosen_ || viewDecided_ || !isVisible()) return;
  std::vector<ValueSpan> spans;
  for (size_t k = 0; k < spans_.size(); ++k)
    if (SeriesShown(k) && spans_[k]) spans.push_back(*spans_[k]);
  if (spans.empty()) return;
  viewDecided_ = true;
  stacked_ = MagnitudesDiffer(spans);
  viewBox_->setCurrentIndex(viewBox_->findData(stacked_));
}

std::optional<std::pair<double, double>> TrendWindow::ValueRange(size_t series) const {
  if (series >= panelOf_.size() || panelOf_[series] < 0) return std::nullopt;
  const NiceAxis& axis = panels_[static_cast<size_t>(panelOf_[series])].axis;
  return std::pair(axis.low, axis.high);
}

double TrendWindow::X(int64_t ms) const {
  const double span = static_cast<double>(std::max<int64_t>(1, to_ - from_));
  return plotRect_.left() + static_cast<double>(ms - from_) * plotRect_.width() / span;
}

std::optional<QPointF> TrendWindow::Position(size_t series, int64_t ms, double value) const {
  if (series >= panelOf_.size() || panelOf_[series] < 0) return std::nullopt;
  const Panel& panel = panels_[static_cast<size_t>(panelOf_[series])];
  const double range = panel.axis.high - panel.axis.low;
  if (!(range > 0)) return std::nullopt;
  return QPointF(X(ms), panel.rect.bottom() - (value - panel.axis.low) * panel.rect.height() / range);
}

// The time axis ends at the newest sample rounded up to a step of its span (10 s, 30 s, 5 min),
// so it moves on in steps rather than at every poll.
void TrendWindow::Refresh() {
  refreshPending_ = false;
  const TimeLayout& layout = LayoutOf(SpanMinutes());
  const int64_t newest = model_.Newest().value_or(Now());
  drawnUpTo_ = newest;
  to_ = (newest / layout.stepMs + (newest % layout.stepMs > 0)) * layout.stepMs;
  from_ = to_ - int64_t{layout.minutes} * 60 * 1000;
  for (size_t k = 0; k < model_.All().size() && k < spans_.size(); ++k) spans_[k] = model_.All()[k].Span(from_, to_);
  ChooseView();
  LayOut();
  UpdateList(!listFitted_);
  plot_->update();
}

// Panels, value axes with the labels that fit their height, the margin those labels need, and
// the time labels: all whole, none over another.
void TrendWindow::LayOut() {
  const QFontMetricsF metrics(plot_->font());
  const double width = plot_->width(), height = plot_->height();
  const double lineHeight = metrics.height();
  const double secondsLabel = metrics.horizontalAdvance(QStringLiteral("00:00:00"));
  const double minutesLabel = metrics.horizontalAdvance(QStringLiteral("00:00"));

  panels_.clear();
  panelOf_.assign(model_.All().size(), -1);
  std::vector<size_t> shown;
  for (size_t k = 0; k < model_.All().size(); ++k)
    if (SeriesShown(k)) shown.push_back(k);
  if (stacked_ && !shown.empty()) {
    for (size_t k : shown) panels_.push_back({{k}, {}, {}, {}, 0});
  } else {
    panels_.push_back({shown, {}, {}, {}, 0});
  }
  const double top = 4, bottom = height - lineHeight - 6;
  const double count = static_cast<double>(panels_.size());
  const double each = std::max(4.0, (bottom - top - kStripGap * (count - 1)) / count);

  double labelWidth = 0;
  for (size_t p = 0; p < panels_.size(); ++p) {
    Panel& panel = panels_[p];
    std::optional<ValueSpan> span;
    for (size_t k : panel.series) {
      panelOf_[k] = static_cast<int>(p);
      if (!spans_[k]) continue;
      if (!span) span = spans_[k];
      span->low = std::min(span->low, spans_[k]->low);
      span->high = std::max(span->high, spans_[k]->high);
    }
    // Headroom on both sides, so a reading a little past the span so far does not lay the
    // panels out again at once (eighteen strips would do so nearly every poll).
    if (span) {
      const double headroom = (span->high - span->low) * 0.15;
      span->low -= headroom;
      span->high += headroom;
    }
    panel.axis = span ? NiceAxisFor(*span) : NiceAxis{};
    panel.rect = QRectF(0, top + static_cast<double>(p) * (each + kStripGap), 0, each);
    // Labels on every n-th line (n round), as many as stand a line apart in the panel's height;
    // a strip's stay inside it, clear of its neighbours'. At least one where one fits at all.
    const double range = panel.axis.high - panel.axis.low;
    const double inset = stacked_ && range > 0 ? (lineHeight / 2) * range / each : 0;
    const int room = std::max(1, static_cast<int>(each / (lineHeight + 2)) + (stacked_ ? 0 : 1));
    std::vector<double> candidates;
    for (int i = 0; i < panel.axis.Ticks(); ++i) {
      const double v = panel.axis.low + i * panel.axis.step;
      if (v >= panel.axis.low + inset - 1e-9 * range && v <= panel.axis.high - inset + 1e-9 * range) candidates.push_back(v);
    }
    panel.labels.clear();
    panel.labelDecimals = StepDecimals(panel.axis.step);
    for (int every : {1, 2, 5, 10, 20, 50, 100}) {
      std::vector<double> chosen;
      for (double v : candidates)
        if (std::llround(v / panel.axis.step) % every == 0) chosen.push_back(v);
      if (!chosen.empty() && chosen.size() <= static_cast<size_t>(room)) {
        panel.labels = std::move(chosen);
        panel.labelDecimals = StepDecimals(panel.axis.step * every);
        break;
      }
    }
    if (panel.labels.empty() && !candidates.empty() && each >= lineHeight)
      panel.labels.push_back(candidates[candidates.size() / 2]);
    for (double v : panel.labels)
      labelWidth = std::max(labelWidth, metrics.horizontalAdvance(QString::number(v, 'f', panel.labelDecimals)));
  }
  const double left = std::ceil(std::max(labelWidth + 8, secondsLabel / 2 + 4));
  const double right = std::floor(width - secondsLabel / 2 - 4);
  for (Panel& panel : panels_) {
    panel.rect.setLeft(left);
    panel.rect.setRight(std::max(left + 1, right));
  }
  plotRect_ = QRectF(QPointF(left, top), QPointF(std::max(left + 1, right), panels_.back().rect.bottom()));

  timeStep_ = TimeLabelStep(to_ - from_, plotRect_.width(), secondsLabel, minutesLabel);
  const QString format = timeStep_ < 60'000 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm");
  timeLabels_.clear();
  for (int64_t t = (from_ + timeStep_ - 1) / timeStep_ * timeStep_; t <= to_; t += timeStep_) {
    const QString text = TimeText(t, format);
    const double w = metrics.horizontalAdvance(text) + 2;
    const QRectF rect(X(t) - w / 2, plotRect_.bottom() + 3, w, lineHeight);
    if (rect.left() >= 0 && rect.right() <= width) timeLabels_.push_back({text, rect});
  }
}

// A value as the field showed it: with the decimals its text had (for the span's ends, those of
// the latest reading).
QString TrendWindow::ValueText(size_t series, double value, int decimals, bool withUnit) const {
  QString text = QString::number(value, 'f', decimals);
  if (withUnit && series < units_.size() && !units_[series].isEmpty()) text += u' ' + units_[series];
  return text;
}

int TrendWindow::LatestDecimals(size_t series) const {
  const TrendSeries& s = model_.All()[series];
  for (size_t i = s.Size(); i-- > 0;)
    if (s.At(i).value) return s.At(i).decimals;
  return 0;
}

std::optional<size_t> TrendWindow::ValueAtPointer(size_t series) const {
  if (!hoverMs_ || !SeriesShown(series)) return std::nullopt;
  // As near as the pointer reaches: a sample further away is not "there".
  const double msPerPixel = static_cast<double>(to_ - from_) / std::max(1.0, plotRect_.width());
  const int64_t reach = std::max<int64_t>(1, static_cast<int64_t>(kHoverReach * msPerPixel));
  return model_.All()[series].NearestValue(*hoverMs_, std::max(from_, *hoverMs_ - reach), std::min(to_, *hoverMs_ + reach));
}

QStringList TrendWindow::ListRow(size_t series) const {
  if (series >= model_.All().size()) return {};
  const TrendSeries& s = model_.All()[series];
  QString first = QString::fromUtf8(kNoReading);
  if (hoverMs_) {
    if (const std::optional<size_t> i = ValueAtPointer(series))
      first = ValueText(series, *s.At(*i).value, s.At(*i).decimals, true);
    else if (!SeriesShown(series)) first.clear();
  } else if (const TrendSample* last = s.Last(); last && last->value) {
    first = ValueText(series, *last->value, last->decimals, true);
  }
  const std::optional<ValueSpan>& span = series < spans_.size() ? spans_[series] : std::nullopt;
  const int decimals = LatestDecimals(series);
  return {first, span ? ValueText(series, span->low, decimals, false) : QString(),
          span ? ValueText(series, span->high, decimals, false) : QString()};
}

void TrendWindow::UpdateList(bool fit) {
  if (!isVisible()) return;
  const QString header = hoverMs_ ? QStringLiteral("At %1").arg(TimeText(*hoverMs_, QStringLiteral("HH:mm:ss")))
                                  : QStringLiteral("Latest");
  if (seriesList_->headerItem()->text(kLatest) != header) seriesList_->headerItem()->setText(kLatest, header);
  const QSignalBlocker blocker(seriesList_);
  const QFontMetrics metrics(seriesList_->font());
  const int margin = 2 * metrics.averageCharWidth();
  bool grown = false;
  for (size_t k = 0; k < model_.All().size(); ++k) {
    QTreeWidgetItem* item = seriesList_->topLevelItem(static_cast<int>(k));
    if (!item) break;
    const QStringList row = ListRow(k);
    // Only what changed, so a tick repaints no more of the list than it must.
    for (int c = 0; c < row.size(); ++c) {
      if (item->text(c + 1) == row[c]) continue;
      item->setText(c + 1, row[c]);
      const int need = metrics.horizontalAdvance(row[c]) + margin;
      if (need > seriesList_->columnWidth(c + 1)) {
        seriesList_->setColumnWidth(c + 1, need);
        grown = true;
      }
    }
  }
  if (fit) {
    for (int c = 0; c < seriesList_->columnCount(); ++c) {
      const int before = seriesList_->columnWidth(c);
      seriesList_->resizeColumnToContents(c);
      seriesList_->setColumnWidth(c, std::max(before, seriesList_->columnWidth(c) + (c == kName ? 0 : margin)));
    }
  }
  if (fit) listFitted_ = true;
  if (!fit && !grown) return;
  // Wide enough for what it holds, so no value is cut; it only grows while the window is open.
  int width = 2 * seriesList_->frameWidth() + 4;
  for (int c = 0; c < seriesList_->columnCount(); ++c) width += seriesList_->columnWidth(c);
  if (seriesList_->verticalScrollBar()->isVisible()) width += seriesList_->verticalScrollBar()->width();
  if (width > seriesList_->minimumWidth()) seriesList_->setFixedWidth(width);
}

std::optional<QPointF> TrendWindow::ViewPosition(size_t series, size_t sample) const {
  const auto& all = model_.All();
  if (series >= all.size() || sample >= all[series].Size() || !all[series].At(sample).value) return std::nullopt;
  const TrendSample& s = all[series].At(sample);
  if (s.ms < from_ || s.ms > to_) return std::nullopt;
  return Position(series, s.ms, *s.value);
}

QString TrendWindow::HoverAt(QPointF at) {
  std::optional<int64_t> ms;
  std::optional<size_t> nearest;
  const QRectF reach = plotRect_.adjusted(-kHoverReach, -kHoverReach, kHoverReach, kHoverReach);
  if (reach.contains(at) && plotRect_.width() > 0) {
    const double span = static_cast<double>(to_ - from_);
    const int64_t pointer = from_ + static_cast<int64_t>(std::clamp((at.x() - plotRect_.left()) / plotRect_.width(), 0.0, 1.0) * span);
    // On the nearest sample of any shown curve, so the values read out are exact ones; the
    // curve named is the one nearest the pointer.
    double bestTime = kHoverReach + 1, bestDistance = kHoverReach;
    const auto& all = model_.All();
    for (size_t k = 0; k < all.size(); ++k) {
      if (!SeriesShown(k)) continue;
      const std::optional<size_t> i = all[k].NearestValue(pointer, from_, to_);
      if (!i) continue;
      const TrendSample& s = all[k].At(*i);
      const std::optional<QPointF> p = Position(k, s.ms, *s.value);
      if (!p) continue;
      const double dx = std::abs(p->x() - at.x());
      if (dx < bestTime) bestTime = dx, ms = s.ms;
      const double distance = std::hypot(p->x() - at.x(), p->y() - at.y());
      if (distance <= bestDistance) bestDistance = distance, nearest = k, ms = s.ms;
    }
  }
  if (ms != hoverMs_ || nearest != hoverSeries_) {
    hoverMs_ = ms;
    hoverSeries_ = nearest;
    plot_->update();
    UpdateList();
  }
  hoverLabel_->setText(HoverText());
  return hoverLabel_->text();
}

QString TrendWindow::HoverText() const {
  if (!hoverMs_) return {};
  const QString time = TimeText(*hoverMs_, QStringLiteral("HH:mm:ss"));
  if (hoverSeries_ && *hoverSeries_ < model_.All().size())
    if (const std::optional<size_t> i = ValueAtPointer(*hoverSeries_)) {
      const TrendSeries& s = model_.All()[*hoverSeries_];
      if (s.At(*i).ms == *hoverMs_)
        return QStringLiteral("%1: %2 at %3")
            .arg(QString::fromStdString(s.Name()), ValueText(*hoverSeries_, *s.At(*i).value, s.At(*i).decimals, false),
                 time);
    }
  return time;
}

}  // namespace tamsu
