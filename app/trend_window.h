// The "Trend" window: every numeric field that the shown page's real-time poll fills, plotted
// against time, one curve per field. Non-modal; it follows the page the main window shows.
//
// Recording is cheap and happens on every poll of the followed page, open or not, so the window
// shows the last minutes as soon as it is opened. Drawing happens only while it is open, after
// the poll has returned to the event loop (a coalesced, deferred refresh), never inside it.
#pragma once

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "view/device_page.h"
#include "app/trend_model.h"

class QChart;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QValueAxis;

namespace tamsu {

class TrendCurves;
class TrendChartView;

inline constexpr char kTrendMenuText[] = "Trend";

class TrendWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TrendWindow(QWidget* parent = nullptr);
  ~TrendWindow() override;

  // The page shown now and how the window names it ("Gas / MG11"). Another page starts a new
  // set of series; the same page changes nothing.
  void Follow(DevicePage* page, const QString& caption);
  DevicePage* Followed() const { return page_; }

  // Reads the followed page's fields as one sample at `ms` (the poll's slot does this at now).
  void Sample(int64_t ms);

  const TrendModel& Model() const { return model_; }
  // The time span shown: 1, 10 or 60 minutes.
  static constexpr int kSpans[3] = {1, 10, 60};
  int SpanMinutes() const;
  void SetSpanMinutes(int minutes);
  bool SeriesShown(size_t index) const { return index < shown_.size() && shown_[index]; }
  void SetSeriesShown(size_t index, bool shown);

  // The ranges the axes show now, milliseconds since the epoch and values.
  std::pair<int64_t, int64_t> TimeRange() const { return {from_, to_}; }
  std::pair<double, double> ValueRange() const;
  // Where a sample is drawn, in the chart view's coordinates (nullopt: not on the chart).
  std::optional<QPointF> ViewPosition(size_t series, size_t sample) const;
  // What hovering at this point of the chart view shows ("" when no sample is near).
  QString HoverAt(QPointF viewPoint);
  QString HoverText() const;

  // Lays out the axes and curves for what is recorded now (done by itself when a poll's
  // samples no longer fit them).
  void Refresh();
  // The clock the polls' samples are taken by (milliseconds since the epoch); by default the
  // wall clock as it was at start, moved on by a clock that never steps back.
  void SetClock(std::function<int64_t()> now) { clock_ = std::move(now); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  friend class TrendCurves;
  void Polled();
  void AfterSample();
  void ScheduleRefresh();
  void AddListEntry(size_t index);
  int64_t Now() const;

  QPointer<DevicePage> page_;
  QMetaObject::Connection polledConnection_;
  QMetaObject::Connection pauseConnection_;
  TrendModel model_;
  std::vector<bool> shown_;
  int64_t from_ = 0, to_ = 0;
  NiceAxis valueAxisNow_{0, 0, 0};
  int64_t drawnUpTo_ = 0;  // the newest sample drawn
  bool refreshPending_ = false;
  std::optional<std::pair<size_t, int64_t>> hovered_;  // series and sample time

  // A clock that never steps back, read as wall time.
  int64_t startWallMs_ = 0;
  QElapsedTimer sinceStart_;
  std::function<int64_t()> clock_;

  QLabel* pageLabel_ = nullptr;
  QComboBox* spanBox_ = nullptr;
  QListWidget* seriesList_ = nullptr;
  QLabel* hoverLabel_ = nullptr;
  QChart* chart_ = nullptr;
  QDateTimeAxis* timeAxis_ = nullptr;
  QValueAxis* valueAxis_ = nullptr;
  TrendCurves* curves_ = nullptr;
  TrendChartView* view_ = nullptr;
};

}  // namespace tamsu
