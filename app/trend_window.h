// The "Trend" window: every numeric field that the shown page's real-time poll fills, plotted
// against time, one curve per field. Non-modal; it follows the page the main window shows.
//
// Recording is cheap and happens on every poll of the followed page, open or not, so the window
// shows the last minutes as soon as it is opened. Drawing happens only while it is open, after
// the poll has returned to the event loop (a coalesced, deferred refresh), never inside it.
//
// Two views share the time axis: "Stacked", one strip per ticked series with a value axis of its
// own (small multiples), and "Shared", every ticked curve on one value axis. The window opens
// stacked when the ticked series differ in magnitude by more than ten times, since on one axis
// the small ones would lie flat; a view the user picks holds from then on.
#pragma once

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "view/device_page.h"
#include "app/trend_model.h"

class QComboBox;
class QLabel;
class QTreeWidget;

namespace tamsu {

class TrendPlot;

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
  bool Stacked() const { return stacked_; }
  // The user's choice of view; it holds until the user picks again.
  void SetStacked(bool stacked);

  // The ranges the axes show now: milliseconds since the epoch, and the value axis a series is
  // drawn on (nullopt: not shown).
  std::pair<int64_t, int64_t> TimeRange() const { return {from_, to_}; }
  std::optional<std::pair<double, double>> ValueRange(size_t series) const;
  // Where a sample is drawn, in the plot's coordinates (nullopt: not on the plot).
  std::optional<QPointF> ViewPosition(size_t series, size_t sample) const;
  // The pointer at this point of the plot: the line below names the time there and the curve
  // nearest the pointer ("" off the plot); the series list shows every series' value there.
  QString HoverAt(QPointF viewPoint);
  QString HoverText() const;
  // What the series list shows for a series: its latest value with its unit (at the pointer's
  // time while the pointer is over the plot), its minimum and its maximum over the span.
  QStringList ListRow(size_t series) const;
  // The time axis's labels and where they are drawn, in the plot's coordinates.
  struct TimeLabel {
    QString text;
    QRectF rect;
  };
  const std::vector<TimeLabel>& TimeLabels() const { return timeLabels_; }

  // Lays out the axes and curves for what is recorded now (done by itself when a poll's
  // samples no longer fit them).
  void Refresh();
  // The clock the polls' samples are taken by (milliseconds since the epoch); by default the
  // wall clock as it was at start, moved on by a clock that never steps back.
  void SetClock(std::function<int64_t()> now) { clock_ = std::move(now); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  friend class TrendPlot;
  // One value axis and the curves drawn on it: the one of the shared view, or a strip.
  struct Panel {
    std::vector<size_t> series;
    QRectF rect;
    NiceAxis axis;
    std::vector<double> labels;  // the values labelled, on lines of the grid
    int labelDecimals = 0;
  };

  void Polled();
  void AfterSample();
  void ScheduleRefresh();
  void AddListEntry(size_t index);
  void LayOut();
  void ChooseView();
  // The list's values; `fit`: its columns are measured again (otherwise only a cell outgrowing
  // its column is).
  void UpdateList(bool fit = false);
  int64_t Now() const;
  double X(int64_t ms) const;
  std::optional<QPointF> Position(size_t series, int64_t ms, double value) const;
  QString ValueText(size_t series, double value, int decimals, bool withUnit) const;
  int LatestDecimals(size_t series) const;
  // The sample of a shown series at the pointer's time, if it has one there.
  std::optional<size_t> ValueAtPointer(size_t series) const;

  QPointer<DevicePage> page_;
  QMetaObject::Connection polledConnection_;
  QMetaObject::Connection pauseConnection_;
  TrendModel model_;
  std::vector<bool> shown_;
  std::vector<QString> units_;                 // per series, for the list's values
  std::vector<std::optional<ValueSpan>> spans_;  // per series, over the time span shown
  int64_t from_ = 0, to_ = 0;
  int64_t drawnUpTo_ = 0;  // the newest sample drawn
  bool refreshPending_ = false;
  bool listFitted_ = false;  // the list's columns measured for the entries it has

  bool stacked_ = false;
  bool viewChosen_ = false;   // the user picked the view
  bool viewDecided_ = false;  // chosen by magnitude since the window opened

  std::vector<Panel> panels_;
  std::vector<int> panelOf_;  // per series; -1 while it is hidden
  QRectF plotRect_;           // all panels
  int64_t timeStep_ = 60'000;  // between time labels and grid lines
  std::vector<TimeLabel> timeLabels_;

  std::optional<int64_t> hoverMs_;       // the pointer's time, on a sample
  std::optional<size_t> hoverSeries_;    // the curve nearest the pointer

  // A clock that never steps back, read as wall time.
  int64_t startWallMs_ = 0;
  QElapsedTimer sinceStart_;
  std::function<int64_t()> clock_;

  QLabel* pageLabel_ = nullptr;
  QComboBox* spanBox_ = nullptr;
  QComboBox* viewBox_ = nullptr;
  QTreeWidget* seriesList_ = nullptr;
  QLabel* hoverLabel_ = nullptr;
  TrendPlot* plot_ = nullptr;
};

}  // namespace tamsu
