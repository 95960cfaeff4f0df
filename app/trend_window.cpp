#include "app/trend_window.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>
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

// Per span: the labels of the time axis and the step it moves on in.
struct TimeLayout {
  int minutes, ticks;
  int64_t stepMs;
};
constexpr TimeLayout kLayouts[] = {{1, 7, 10'000}, {10, 11, 30'000}, {60, 7, 300'000}};
const TimeLayout& LayoutOf(int minutes) {
  for (const TimeLayout& layout : kLayouts)
    if (layout.minutes == minutes) return layout;
  return kLayouts[1];
}

QColor Colour(size_t index) { return QColor(kPalette[index % kColours]); }

// "Tem" and "℃" name the curve "Tem (℃)"; a unit already in brackets stands as it is.
std::string SeriesName(const FieldReading& field) {
  const QString unit = QString::fromStdString(field.unit).trimmed();
  QString name = QString::fromStdString(field.caption);
  if (name.isEmpty()) name = unit;
  else if (!unit.isEmpty()) name += unit.startsWith(u'(') ? u' ' + unit : QStringLiteral(" (%1)").arg(unit);
  return name.toStdString();
}

}  // namespace

// The curves, drawn over the chart's plot area from the recorded samples of the span shown. A
// sample without a value ends a line; a lone sample between two gaps is drawn as a dot. Only
// the part asked for is drawn: after a poll that is the strip the new samples fall in.
class TrendCurves : public QGraphicsItem {
 public:
  TrendCurves(TrendWindow& window, QChart* chart) : QGraphicsItem(chart), window_(window), chart_(chart) {
    setZValue(10);
    setFlag(ItemUsesExtendedStyleOption);
  }
  void Relayout() {
    prepareGeometryChange();
    update();
  }
  QRectF boundingRect() const override { return chart_->plotArea(); }

  // Where (ms, value) falls in the chart's coordinates, for the ranges the axes show now.
  struct Mapping {
    double x0 = 0, xScale = 0, y0 = 0, yScale = 0;
    int64_t from = 0;
    QPointF operator()(int64_t ms, double value) const {
      return {x0 + static_cast<double>(ms - from) * xScale, y0 - value * yScale};
    }
    int64_t TimeAt(double x) const { return from + static_cast<int64_t>(xScale > 0 ? (x - x0) / xScale : 0); }
  };
  Mapping Current() const {
    const QRectF plot = chart_->plotArea();
    const double span = static_cast<double>(std::max<int64_t>(1, window_.to_ - window_.from_));
    const double low = window_.valueAxis_->min(), high = window_.valueAxis_->max();
    const double yScale = high > low ? plot.height() / (high - low) : 0;
    return {plot.left(), plot.width() / span, plot.bottom() + low * yScale, yScale, window_.from_};
  }
  QPointF Map(int64_t ms, double value) const { return Current()(ms, value); }

  // The strip of the plot between two times, a little wider for the pen and the dots.
  QRectF Strip(int64_t from, int64_t to) const {
    const Mapping map = Current();
    const QRectF plot = chart_->plotArea();
    const double left = map(from, 0).x() - 6, right = map(to, 0).x() + 6;
    return QRectF(QPointF(left, plot.top()), QPointF(right, plot.bottom()));
  }

  void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*) override {
    const QRectF area = option->exposedRect.intersected(chart_->plotArea());
    if (area.isEmpty()) return;
    painter->setClipRect(area);
    painter->setRenderHint(QPainter::Antialiasing);
    const Mapping map = Current();
    // The samples that can touch the area: one more on each side, so lines cross its edges.
    const int64_t from = map.TimeAt(area.left() - 6), to = map.TimeAt(area.right() + 6);
    const auto& all = window_.model_.All();
    for (size_t k = 0; k < all.size(); ++k) {
      if (!window_.SeriesShown(k)) continue;
      const TrendSeries& s = all[k];
      QPen pen(Colour(k), 1.5);
      if (k >= kColours) pen.setStyle(Qt::DashLine);
      painter->setPen(pen);
      painter->setBrush(Colour(k));
      auto flush = [&] {
        if (line_.size() == 1) painter->drawEllipse(line_.front(), 2, 2);
        else if (line_.size() > 1) painter->drawPolyline(line_.data(), static_cast<int>(line_.size()));
        line_.clear();
      };
      const size_t first = s.LowerBound(from);
      for (size_t i = first > 0 ? first - 1 : 0; i < s.Size(); ++i) {
        const TrendSample& sample = s.At(i);
        if (sample.value) line_.push_back(map(sample.ms, *sample.value));
        else flush();
        if (sample.ms > to) break;
      }
      flush();
    }
    if (const auto& hovered = window_.hovered_; hovered && hovered->first < all.size()) {
      const TrendSeries& s = all[hovered->first];
      const size_t i = s.LowerBound(hovered->second);
      if (i < s.Size() && s.At(i).ms == hovered->second && s.At(i).value) {
        painter->setPen(QPen(Colour(hovered->first), 2));
        painter->setBrush(Qt::white);
        painter->drawEllipse(map(s.At(i).ms, *s.At(i).value), 4, 4);
      }
    }
  }

 private:
  TrendWindow& window_;
  QChart* chart_;
  std::vector<QPointF> line_;  // the run being drawn, kept to spare an allocation per paint
};

class TrendChartView : public QChartView {
 public:
  TrendChartView(QChart* chart, TrendWindow& window, QWidget* parent) : QChartView(chart, parent), window_(window) {
    setMouseTracking(true);
    setRenderHint(QPainter::Antialiasing);
  }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override {
    const QString text = window_.HoverAt(event->position());
    if (text.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(event->globalPosition().toPoint(), text, this);
    QChartView::mouseMoveEvent(event);
  }
  void leaveEvent(QEvent* event) override {
    window_.HoverAt(QPointF(-1, -1));
    QChartView::leaveEvent(event);
  }

 private:
  TrendWindow& window_;
};

TrendWindow::TrendWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("TrendWindow"));
  setWindowTitle(QString::fromLatin1(kTrendMenuText));
  resize(900, 520);
  startWallMs_ = QDateTime::currentMSecsSinceEpoch();
  sinceStart_.start();

  chart_ = new QChart;
  chart_->legend()->hide();
  chart_->setMargins(QMargins(4, 4, 4, 4));
  timeAxis_ = new QDateTimeAxis;
  timeAxis_->setTickCount(7);
  valueAxis_ = new QValueAxis;
  valueAxis_->setLabelFormat(QStringLiteral("%.6g"));
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  chart_->addAxis(valueAxis_, Qt::AlignLeft);
  curves_ = new TrendCurves(*this, chart_);
  connect(chart_, &QChart::plotAreaChanged, this, [this] { curves_->Relayout(); });

  view_ = new TrendChartView(chart_, *this, this);
  view_->setObjectName(QStringLiteral("trendChart"));
  view_->setAccessibleName(QStringLiteral("Trend chart"));

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

  seriesList_ = new QListWidget(this);
  seriesList_->setObjectName(QStringLiteral("trendSeries"));
  seriesList_->setAccessibleName(QStringLiteral("Series"));
  seriesList_->setFixedWidth(180);
  connect(seriesList_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    SetSeriesShown(static_cast<size_t>(seriesList_->row(item)), item->checkState() == Qt::Checked);
  });

  hoverLabel_ = new QLabel(this);
  hoverLabel_->setObjectName(QStringLiteral("trendHover"));

  auto* top = new QHBoxLayout;
  top->addWidget(pageLabel_, 1);
  top->addWidget(spanLabel);
  top->addWidget(spanBox_);
  auto* middle = new QHBoxLayout;
  middle->addWidget(view_, 1);
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
  hovered_.reset();
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
      AddListEntry(shown_.size() - 1);
    }
  }
  hoverLabel_->clear();
  Refresh();
}

void TrendWindow::AddListEntry(size_t index) {
  const QSignalBlocker blocker(seriesList_);
  QPixmap swatch(12, 12);
  swatch.fill(Colour(index));
  auto* item = new QListWidgetItem(QIcon(swatch), QString::fromStdString(model_.All()[index].Name()), seriesList_);
  item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
  item->setCheckState(shown_[index] ? Qt::Checked : Qt::Unchecked);
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
// strip they fall in is drawn again; the axes (whose labels are costly to lay out) move on when
// the newest sample passes the end of the time axis or leaves the value axis.
void TrendWindow::AfterSample() {
  if (!isVisible()) return;
  const std::optional<int64_t> newest = model_.Newest();
  bool fits = newest && *newest <= to_;
  for (size_t k = 0; fits && k < model_.All().size(); ++k) {
    const TrendSample* last = model_.All()[k].Last();
    if (SeriesShown(k) && last && last->value)
      fits = *last->value >= valueAxisNow_.low && *last->value <= valueAxisNow_.high;
  }
  if (!fits) {
    ScheduleRefresh();
    return;
  }
  curves_->update(curves_->Strip(std::min(drawnUpTo_, *newest), *newest));
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
  if (QListWidgetItem* item = seriesList_->item(static_cast<int>(index))) {
    const QSignalBlocker blocker(seriesList_);
    item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
  }
  if (!shown && hovered_ && hovered_->first == index) {
    hovered_.reset();
    hoverLabel_->clear();
  }
  Refresh();
}

std::pair<double, double> TrendWindow::ValueRange() const { return {valueAxis_->min(), valueAxis_->max()}; }

// The time axis ends at the newest sample rounded up to a step of its span (10 s, 30 s, 5 min),
// so it moves on in steps rather than at every poll.
void TrendWindow::Refresh() {
  refreshPending_ = false;
  const TimeLayout& layout = LayoutOf(SpanMinutes());
  const int64_t newest = model_.Newest().value_or(Now());
  drawnUpTo_ = newest;
  to_ = (newest / layout.stepMs + (newest % layout.stepMs > 0)) * layout.stepMs;
  from_ = to_ - int64_t{layout.minutes} * 60 * 1000;
  timeAxis_->setFormat(layout.minutes >= 60 ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss"));
  timeAxis_->setTickCount(layout.ticks);
  timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(from_), QDateTime::fromMSecsSinceEpoch(to_));
  // The value axis fits the visible curves within the span, in round steps.
  NiceAxis axis;
  if (const std::optional<ValueSpan> span = model_.Span(from_, to_, shown_)) axis = NiceAxisFor(*span);
  if (axis != valueAxisNow_) {
    valueAxisNow_ = axis;
    valueAxis_->setRange(axis.low, axis.high);
    valueAxis_->setTickCount(axis.Ticks());
  }
  curves_->update();
}

std::optional<QPointF> TrendWindow::ViewPosition(size_t series, size_t sample) const {
  const auto& all = model_.All();
  if (series >= all.size() || sample >= all[series].Size() || !all[series].At(sample).value) return std::nullopt;
  const TrendSample& s = all[series].At(sample);
  if (s.ms < from_ || s.ms > to_) return std::nullopt;
  const QPointF inChart = curves_->Map(s.ms, *s.value);
  return QPointF(view_->mapFromScene(chart_->mapToScene(inChart)));
}

QString TrendWindow::HoverAt(QPointF viewPoint) {
  const QPointF at = chart_->mapFromScene(view_->mapToScene(viewPoint.toPoint()));
  const QRectF plot = chart_->plotArea();
  std::optional<std::pair<size_t, int64_t>> best;
  double bestDistance = kHoverReach;
  if (plot.adjusted(-kHoverReach, -kHoverReach, kHoverReach, kHoverReach).contains(at) && plot.width() > 0) {
    const int64_t ms = from_ + static_cast<int64_t>((at.x() - plot.left()) / plot.width() * double(to_ - from_));
    const auto& all = model_.All();
    for (size_t k = 0; k < all.size(); ++k) {
      if (!SeriesShown(k)) continue;
      const std::optional<size_t> i = all[k].NearestValue(ms, from_, to_);
      if (!i) continue;
      const TrendSample& s = all[k].At(*i);
      const QPointF p = curves_->Map(s.ms, *s.value);
      const double distance = std::hypot(p.x() - at.x(), p.y() - at.y());
      if (distance <= bestDistance) {
        bestDistance = distance;
        best = {k, s.ms};
      }
    }
  }
  if (best != hovered_) {
    hovered_ = best;
    curves_->update();
  }
  hoverLabel_->setText(HoverText());
  return hoverLabel_->text();
}

QString TrendWindow::HoverText() const {
  if (!hovered_ || hovered_->first >= model_.All().size()) return {};
  const TrendSeries& s = model_.All()[hovered_->first];
  const size_t i = s.LowerBound(hovered_->second);
  if (i >= s.Size() || s.At(i).ms != hovered_->second || !s.At(i).value) return {};
  const TrendSample& sample = s.At(i);
  return QStringLiteral("%1: %2 at %3")
      .arg(QString::fromStdString(s.Name()), QString::number(*sample.value, 'f', sample.decimals),
           QDateTime::fromMSecsSinceEpoch(sample.ms).toString(QStringLiteral("HH:mm:ss")));
}

}  // namespace tamsu
