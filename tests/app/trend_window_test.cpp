// The Trend window: what it records (the shown page's numeric polled fields, gaps for failed
// reads, at most an hour per series) and what it shows (span, stacked or shared value axes fitted
// to the ticked curves, the series list's values, whole time labels, the values under the pointer).
#include "app/trend_window.h"

#include <QCheckBox>
#include <QDateTime>
#include <QComboBox>
#include <QTreeWidget>
#include <QTabWidget>
#include <QTest>
#include <cmath>
#include <limits>

#include "app/categories.h"
#include "view/category_host.h"
#include "app/main_window.h"
#include "pages/gas/gas_pages.h"
#include "tests/view/page_test_support.h"

namespace tamsu {
namespace {

using test::PageOnSim;

constexpr int kTem = 1487, kLight = 1479;

int64_t Noon() { return QDateTime(QDate(2024, 5, 1), QTime(12, 0, 0)).toMSecsSinceEpoch(); }

TEST(TrendModel, OnlyTheCoreNumberTextsAreNumbers) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"21.5", 21.5}, {"-10.0", -10.0}, {"100000", 100000.0}, {"1.500000", 1.5}, {" 7 ", 7.0}, {"+3", 3.0},
      // What a failed read, a blanked field, a code or a mistyped text shows: no number.
      {"", std::nullopt}, {" ", std::nullopt}, {"err", std::nullopt}, {"Normal", std::nullopt},
      {"1,5", std::nullopt}, {"12kPa", std::nullopt}, {"1.2.3", std::nullopt}, {"-", std::nullopt},
      {"inf", std::nullopt}, {"nan", std::nullopt}, {"1e5", std::nullopt}, {"0x10", std::nullopt}};
  for (const auto& [text, value] : cases) EXPECT_EQ(ShownNumber(text), value) << '"' << text << '"';
  EXPECT_EQ(ShownDecimals("21.50"), 2);
  EXPECT_EQ(ShownDecimals("-3"), 0);
  EXPECT_EQ(ShownDecimals("1.500000"), 6);
}

TEST(TrendModel, BoundedOrderedAndGapsAreNoValues) {
  TrendSeries series(1, "Tem (℃)");
  for (int i = 0; i < 4000; ++i) series.Append(i * 1000, i % 10 == 3 ? std::nullopt : std::optional<double>(i));
  ASSERT_EQ(series.Size(), TrendSeries::kCapacity);
  EXPECT_EQ(series.At(0).ms, 400 * 1000);  // the oldest dropped off
  EXPECT_EQ(series.Last()->value, 3999.0);
  // The nearest sample with a value, within the span asked about: gaps are stepped over.
  EXPECT_EQ(series.At(*series.NearestValue(1003 * 1000 - 400, 0, 1'000'000'000)).ms, 1002 * 1000);
  EXPECT_EQ(series.At(*series.NearestValue(1003 * 1000 + 600, 0, 1'000'000'000)).ms, 1004 * 1000);
  EXPECT_FALSE(series.NearestValue(5'000'000, 4'100'000, 4'200'000));
  // A clock that steps back does not break the order.
  series.Append(10, 1.0);
  EXPECT_EQ(series.Last()->ms, 3999 * 1000);

  TrendModel model;
  model.Series(1, "a").Append(0, 5.0);
  model.Series(2, "b").Append(0, -100.0);
  model.Series(1, "a").Append(1000, std::nullopt);
  model.Series(1, "a").Append(2000, 7.0);
  EXPECT_EQ(model.All().size(), 2u);
  const auto span = model.Span(0, 2000, {true, false});  // the hidden one does not count
  ASSERT_TRUE(span);
  EXPECT_EQ(span->low, 5.0);
  EXPECT_EQ(span->high, 7.0);
  EXPECT_FALSE(model.Span(3000, 4000, {true, true}));
  // A pause is one gap, however long it lasts.
  model.Break(3000);
  model.Break(4000);
  EXPECT_EQ(model.Find(1)->Size(), 4u);
  EXPECT_FALSE(model.Find(1)->Last()->value);
  EXPECT_EQ(model.Newest(), 3000);
}

TEST(TrendModel, TheValueAxisTakesTheFinestRoundStepsThatHoldTheData) {
  EXPECT_EQ(NiceAxisFor({20.0, 25.0}), (NiceAxis{19.0, 26.0, 1.0}));
  EXPECT_EQ(NiceAxisFor({0.0, 100000.0}), (NiceAxis{-20000.0, 120000.0, 20000.0}));
  for (const ValueSpan data : {ValueSpan{-10.0, -10.0}, ValueSpan{0.05, 0.07}, ValueSpan{0, 0}, ValueSpan{-3e6, 1e-3}}) {
    const NiceAxis axis = NiceAxisFor(data);
    EXPECT_LT(axis.low, data.low) << data.low;  // clear of both ends, a flat line too
    EXPECT_GT(axis.high, data.high) << data.high;
    EXPECT_LE(axis.Ticks(), 9) << data.low;
    EXPECT_GE(axis.Ticks(), 3) << data.low;
  }
}

TEST(TrendModel, StackedWhenMagnitudesDifferTenfoldAndTimeLabelsStandApart) {
  EXPECT_FALSE(MagnitudesDiffer({}));
  EXPECT_FALSE(MagnitudesDiffer({{0.05, 0.07}}));  // one curve has its axis anyway
  EXPECT_FALSE(MagnitudesDiffer({{20, 25}, {-60, 80}, {100, 200}}));
  EXPECT_TRUE(MagnitudesDiffer({{20, 25}, {99000, 100000}}));
  EXPECT_TRUE(MagnitudesDiffer({{-300, -250}, {1, 2}}));  // below zero counts by its size
  EXPECT_TRUE(MagnitudesDiffer({{0, 0}, {0.5, 0.6}}));    // a curve at zero would lie flat

  EXPECT_EQ(StepDecimals(20000), 0);
  EXPECT_EQ(StepDecimals(1), 0);
  EXPECT_EQ(StepDecimals(0.5), 1);
  EXPECT_EQ(StepDecimals(0.2), 1);
  EXPECT_EQ(StepDecimals(0.01), 2);
  EXPECT_EQ(StepDecimals(0.0005), 4);
  EXPECT_EQ(StepDecimals(std::numeric_limits<double>::quiet_NaN()), 0);

  // 56 px labels ("HH:mm:ss"), 36 px from a minute on ("HH:mm"): the finest step with half a
  // label between neighbours.
  EXPECT_EQ(TimeLabelStep(60'000, 600, 56, 36), 10'000);   // 100 px apart
  EXPECT_EQ(TimeLabelStep(600'000, 600, 56, 36), 60'000);  // 30 s would be 30 px: minutes instead
  EXPECT_EQ(TimeLabelStep(3'600'000, 600, 56, 36), 600'000);
  EXPECT_EQ(TimeLabelStep(3'600'000, 100, 56, 36), 3'600'000);  // never finer than fits
  EXPECT_EQ(TimeLabelStep(0, 600, 56, 36), 3'600'000);
  EXPECT_EQ(TimeLabelStep(60'000, std::numeric_limits<double>::quiet_NaN(), 56, 36), 3'600'000);

  TrendSeries s(1, "a");
  s.Append(0, 3.0);
  s.Append(1000, std::nullopt);
  s.Append(2000, -1.0);
  s.Append(3000, 9.0);
  EXPECT_EQ(s.Span(0, 2000)->low, -1.0);
  EXPECT_EQ(s.Span(0, 2000)->high, 3.0);
  EXPECT_FALSE(s.Span(1000, 1500));
}

// A page on the simulator and a trend that follows it.
struct TrendOnSim : PageOnSim {
  TrendOnSim() : PageOnSim("Mg11Page", test::Make("Mg11Page")) { trend.Follow(page.get(), "Gas / MG11"); }
  const TrendSeries& Of(int edit) { return *trend.Model().Find(edit); }
  size_t IndexOf(int edit) { return static_cast<size_t>(&Of(edit) - trend.Model().All().data()); }
  TrendWindow trend;
};

TEST(TrendWindow, APollAddsOneSampleAFailedOneAGapAndEachSeriesKeepsAnHour) {
  TrendOnSim t;
  const auto& all = t.trend.Model().All();
  ASSERT_EQ(all.size(), 18u);
  EXPECT_EQ(all[0].Name(), "PM2.5 (ug/m3)");
  EXPECT_EQ(t.Of(kTem).Name(), "Tem (℃)");
  EXPECT_EQ(t.Of(kLight).Name(), "Light (Lux)");

  t.line.Sim().SetRegister(0x0003, 0xFF9C);
  t.Poll();
  t.line.Sim().AddFault({.kind = sim::FaultKind::Silence});
  t.Poll();
  t.Poll();
  for (const TrendSeries& s : all) {
    ASSERT_EQ(s.Size(), 3u) << s.Name();
    EXPECT_TRUE(s.At(0).value && s.At(2).value) << s.Name();
    EXPECT_FALSE(s.At(1).value) << s.Name();  // a gap, never a zero
  }
  EXPECT_EQ(t.Of(kTem).At(0).value, -10.0);
  EXPECT_EQ(t.Of(kLight).At(2).value, 100000.0);

  // Unticking "Real Time" pauses: the next poll is not joined to the last.
  t.page->RealTimeCheckBox()->click();
  t.page->RealTimeCheckBox()->click();
  EXPECT_EQ(t.Of(kTem).Size(), 4u);
  EXPECT_FALSE(t.Of(kTem).Last()->value);

  const int64_t start = t.Of(kTem).Last()->ms + 1000;
  for (int i = 0; i < 3700; ++i) t.trend.Sample(start + i * 1000);
  for (const TrendSeries& s : all) {
    EXPECT_EQ(s.Size(), TrendSeries::kCapacity) << s.Name();
    EXPECT_EQ(s.At(0).ms, start + 100 * 1000) << s.Name();
  }
}

TEST(TrendWindow, OpenItFitsTheVisibleCurvesInItsSpanAndShowsTheValueUnderThePointer) {
  TrendOnSim t;
  // Ten minutes of temperature rising from 20.0 by 0.1 a second, the light at 100000.
  for (int i = 0; i <= 600; ++i) {
    t.Set(kTem, QString::number(20.0 + i * 0.1, 'f', 1));
    t.Set(kLight, QStringLiteral("100000"));
    t.trend.Sample(Noon() + i * 1000);
  }
  t.trend.SetStacked(false);
  t.trend.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&t.trend));
  t.trend.Refresh();
  QApplication::processEvents();
  EXPECT_EQ(t.trend.SpanMinutes(), 10);
  EXPECT_EQ(t.trend.TimeRange(), std::pair(Noon(), Noon() + 600 * 1000));
  EXPECT_GE(t.trend.ValueRange(t.IndexOf(kTem))->second, 100000.0);

  // Only the temperature shown, over the last minute: the axis fits 74.0 to 80.0.
  for (size_t k = 0; k < t.trend.Model().All().size(); ++k) t.trend.SetSeriesShown(k, k == t.IndexOf(kTem));
  auto* list = t.trend.findChild<QTreeWidget*>("trendSeries");
  EXPECT_EQ(list->topLevelItem(static_cast<int>(t.IndexOf(kLight)))->checkState(0), Qt::Unchecked);
  EXPECT_FALSE(t.trend.ValueRange(t.IndexOf(kLight)));
  t.trend.SetSpanMinutes(1);
  const auto [low, high] = *t.trend.ValueRange(t.IndexOf(kTem));
  EXPECT_LE(low, 74.0);
  EXPECT_GE(high, 80.0);
  EXPECT_GT(low, 60.0);
  EXPECT_LT(high, 95.0);

  // The time axis moves on in steps of ten seconds once a sample passes its end; a value off
  // the value axis refits it at the next turn of the event loop.
  t.Set(kTem, QStringLiteral("80.0"));
  t.trend.Sample(Noon() + 601 * 1000);
  QApplication::processEvents();
  EXPECT_EQ(t.trend.TimeRange(), std::pair(Noon() + 550 * 1000, Noon() + 610 * 1000));
  t.Set(kTem, QStringLiteral("500.0"));
  t.trend.Sample(Noon() + 602 * 1000);
  QApplication::processEvents();
  EXPECT_EQ(t.trend.TimeRange().second, Noon() + 610 * 1000);
  EXPECT_GE(t.trend.ValueRange(t.IndexOf(kTem))->second, 500.0);

  // The exact value and time under the pointer; away from the curves, the time alone; off the
  // plot, nothing. The list shows the value at the pointer in place of the latest.
  const auto at = t.trend.ViewPosition(t.IndexOf(kTem), 575);
  ASSERT_TRUE(at);
  EXPECT_EQ(t.trend.HoverAt(*at), "Tem (℃): 77.5 at 12:09:35");
  EXPECT_EQ(t.trend.ListRow(t.IndexOf(kTem)).value(0), "77.5 ℃");
  EXPECT_EQ(list->headerItem()->text(1), "At 12:09:35");
  EXPECT_EQ(t.trend.HoverAt(*at + QPointF(0, 40)), "12:09:35");
  EXPECT_EQ(t.trend.HoverAt(QPointF(-1, -1)), "");
  EXPECT_EQ(list->headerItem()->text(1), "Latest");
  EXPECT_EQ(t.trend.ListRow(t.IndexOf(kTem)), (QStringList{"500.0 ℃", "75.0", "500.0"}));
  EXPECT_FALSE(t.trend.ViewPosition(t.IndexOf(kTem), 100));  // outside the minute shown
  // Clicking an entry of the list shows its curve again.
  list->topLevelItem(static_cast<int>(t.IndexOf(kLight)))->setCheckState(0, Qt::Checked);
  EXPECT_TRUE(t.trend.SeriesShown(t.IndexOf(kLight)));
  EXPECT_GE(t.trend.ValueRange(t.IndexOf(kTem))->second, 100000.0);
}

// A set of multi-gas readings as a site gives them: each series moves by a few per cent around
// a value of its own size, from 0.05 to 700, the light at 100,000.
void FeedMultiGas(TrendOnSim& t, int from, int to) {
  const auto& all = t.trend.Model().All();
  for (int i = from; i < to; ++i) {
    for (size_t k = 0; k < all.size(); ++k) {
      constexpr double kSizes[] = {0.05, 0.5, 5, 50, 700};
      const double base = k == t.IndexOf(kLight) ? 100000 : kSizes[k % 5];
      const double value = base * (1 + 0.05 * std::sin(i / 20.0 + static_cast<double>(k)));
      t.Set(all[k].Id(), QString::number(value, 'f', base < 1 ? 3 : 1));
    }
    if (i % 97 == 5) t.Set(kTem, QString());  // a failed read now and then
    t.trend.Sample(Noon() + i * 1000);
  }
}

TEST(TrendWindow, OnTheMultiGasPageItOpensStackedAndEveryCurveMovesOnItsOwnAxis) {
  TrendOnSim t;
  FeedMultiGas(t, 0, 600);
  t.trend.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&t.trend));
  QApplication::processEvents();
  ASSERT_TRUE(t.trend.Stacked());
  EXPECT_EQ(t.trend.findChild<QComboBox*>("trendView")->currentText(), "Stacked");

  // Each curve spans a good part of its strip: a change of a few per cent is plainly seen.
  const auto& all = t.trend.Model().All();
  std::vector<std::pair<double, double>> axes;
  for (size_t k = 0; k < all.size(); ++k) {
    double top = 1e9, bottom = -1e9;
    for (size_t i = 0; i < all[k].Size(); ++i)
      if (const auto p = t.trend.ViewPosition(k, i)) top = std::min(top, p->y()), bottom = std::max(bottom, p->y());
    EXPECT_GE(bottom - top, 8.0) << all[k].Name();
    axes.push_back(*t.trend.ValueRange(k));
  }
  EXPECT_NE(axes[t.IndexOf(kTem)], axes[t.IndexOf(kLight)]);

  // The list: the latest value with its unit, the span's least and greatest.
  const QStringList light = t.trend.ListRow(t.IndexOf(kLight));
  EXPECT_TRUE(light.value(0).endsWith(" Lux")) << light.value(0).toStdString();
  EXPECT_LT(light.value(1).toDouble(), light.value(2).toDouble());
  // A failed read is no value, not the one before it.
  t.Set(kTem, QString());
  t.trend.Sample(Noon() + 600 * 1000);
  EXPECT_EQ(t.trend.ListRow(t.IndexOf(kTem)).value(0), "—");

  // The shared view fits the ticked curves only: without the light the rest fill the plot.
  t.trend.SetStacked(false);
  EXPECT_EQ(t.trend.ValueRange(t.IndexOf(kTem)), t.trend.ValueRange(t.IndexOf(kLight)));
  t.trend.SetSeriesShown(t.IndexOf(kLight), false);
  EXPECT_LT(t.trend.ValueRange(t.IndexOf(kTem))->second, 2000.0);

  // The user's view holds when the window is opened again.
  t.trend.hide();
  t.trend.show();
  QApplication::processEvents();
  EXPECT_FALSE(t.trend.Stacked());

  // Time labels at the default size and smaller: whole, apart, inside the plot, every span.
  auto* plot = t.trend.findChild<QWidget*>("trendChart");
  for (const QSize size : {QSize(1060, 640), QSize(700, 480)}) {
    t.trend.resize(size);
    QApplication::processEvents();
    for (int minutes : TrendWindow::kSpans) {
      t.trend.SetSpanMinutes(minutes);
      const auto& labels = t.trend.TimeLabels();
      ASSERT_GE(labels.size(), size.width() >= 1000 ? 4u : 2u) << minutes;
      const QFontMetricsF metrics(plot->font());
      for (size_t i = 0; i < labels.size(); ++i) {
        const QString& text = labels[i].text;
        EXPECT_TRUE(text.size() == 5 || text.size() == 8) << text.toStdString();
        EXPECT_GE(labels[i].rect.width(), metrics.horizontalAdvance(text)) << text.toStdString();
        EXPECT_GE(labels[i].rect.left(), 0) << text.toStdString();
        EXPECT_LE(labels[i].rect.right(), plot->width()) << text.toStdString();
        if (i > 0) {
          EXPECT_GT(labels[i].rect.left(), labels[i - 1].rect.right() + 4) << text.toStdString();
        }
      }
    }
  }
}

// TAMSU_TREND_SHOT=<file>: the stacked trend of the multi-gas page, the pointer on it.
TEST(TrendWindow, Screenshot) {
  const char* shot = std::getenv("TAMSU_TREND_SHOT");
  if (!shot) GTEST_SKIP() << "TAMSU_TREND_SHOT not set";
  TrendOnSim t;
  FeedMultiGas(t, 0, 600);
  t.trend.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&t.trend));
  QApplication::processEvents();
  t.trend.HoverAt(*t.trend.ViewPosition(t.IndexOf(kTem), 450));
  QApplication::processEvents();
  ASSERT_TRUE(t.trend.grab().save(QString::fromLocal8Bit(shot)));
}

// The window as the application wires it: it follows the category and device tabs.
TEST(TrendWindow, FollowsTheShownPageAndOnlyItsNumericPolledFields) {
  test::SimulatedLine line("Mg11Page");
  MainWindow window(line.Context());
  TrendWindow* trend = window.Trend();
  auto* categories = window.findChild<QTabWidget*>("1008", Qt::FindDirectChildrenOnly);
  ASSERT_TRUE(trend && categories);
  EXPECT_EQ(trend->Followed(), window.Categories().VisiblePage(0));

  categories->setCurrentIndex(3);
  auto* gas = qobject_cast<CategoryHost*>(window.Categories().Page(3));
  for (int i = 0; i < gas->Count(); ++i)
    if (gas->Tabs()->tabText(i) == "MG11") gas->SetCurrentIndex(i);
  DevicePage* mg11 = window.Categories().VisiblePage(3);
  ASSERT_EQ(mg11->Name(), "Mg11Page");
  EXPECT_EQ(trend->Followed(), mg11);
  EXPECT_EQ(window.ShownPageCaption(), "Gas / MG11");
  EXPECT_EQ(trend->Model().All().size(), 18u);
  mg11->RealTimeCheckBox()->click();
  window.Categories().RealTimeDispatch(3);
  line.WaitIdle();
  EXPECT_EQ(trend->Model().All()[0].Size(), 1u);

  // A page whose poll fills only a status: no curve. A poll of the page left behind adds nothing.
  categories->setCurrentIndex(1);
  EXPECT_EQ(trend->Followed()->Name(), "WaterLeakPage");
  EXPECT_TRUE(trend->Model().All().empty());
  mg11->RealTimePoll();
  line.WaitIdle();
  EXPECT_TRUE(trend->Model().All().empty());
  // Back on the multi-gas page: a new set of series.
  categories->setCurrentIndex(3);
  ASSERT_EQ(trend->Model().All().size(), 18u);
  EXPECT_EQ(trend->Model().All()[0].Size(), 0u);

  // Ctrl+T opens it, non-modal.
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier);
  EXPECT_TRUE(trend->isVisible());
  EXPECT_FALSE(trend->isModal());
  EXPECT_EQ(trend->windowTitle(), "Trend - Gas / MG11");
}

}  // namespace
}  // namespace tamsu
