// The plotted series: what is stored (all of it, up to the capacity) and what is drawn (the
// first, lowest, highest and last point per pixel column).

#include "sigmon/signal_series.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>

namespace velqor {
namespace {

// The oracle: per column, by a walk over every point.
std::vector<PlotPoint> Decimated(const std::vector<PlotPoint>& all, double t0, double t1,
                                 int columns) {
  std::vector<PlotPoint> out;
  std::size_t i = 0;
  while (i < all.size() && all[i].t < t0) ++i;
  if (i > 0) out.push_back(all[i - 1]);
  const double dt = (t1 - t0) / columns;
  while (i < all.size() && all[i].t <= t1) {
    const int column = std::min(columns - 1, static_cast<int>(std::floor((all[i].t - t0) / dt)));
    std::size_t j = i + 1;
    while (j < all.size() && all[j].t <= t1 &&
           (column == columns - 1 || all[j].t < t0 + (column + 1) * dt))
      ++j;
    std::set<std::size_t> picks{i, j - 1};
    std::size_t lo = i, hi = i;
    for (std::size_t k = i; k < j; ++k) {
      if (all[k].v < all[lo].v) lo = k;
      if (all[k].v > all[hi].v) hi = k;
    }
    picks.insert({lo, hi});
    if (j - i <= 4) picks.clear();
    for (std::size_t k = i; k < j; ++k) {
      if (j - i <= 4 || picks.count(k)) out.push_back(all[k]);
    }
    i = j;
  }
  if (i < all.size()) out.push_back(all[i]);
  return out;
}

TEST(SignalSeries, DrawsPerColumnWhatEveryPointWouldShow) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> step(0, 0.002), noise(-1, 1);
  SignalSeries series;
  std::vector<PlotPoint> all;
  double t = 0;
  for (int i = 0; i < 200000; ++i) {
    t += step(random);
    // Runs of equal values make ties: the first of them counts.
    const double v = i % 5000 < 100 ? 3.0 : std::sin(t) * 100 + noise(random);
    series.append(t, v);
    all.push_back({t, v});
  }
  ASSERT_EQ(series.size(), all.size());
  const struct {
    double t0, t1;
    int columns;
  } views[] = {{0, t, 800},       {-5, t + 5, 1000}, {10.0001, 10.2, 300},
               {50, 50.01, 1200}, {t / 3, t / 2, 1}, {t + 1, t + 2, 100}};
  std::vector<PlotPoint> drawn;
  for (const auto& view : views) {
    SCOPED_TRACE(view.t0);
    series.decimate(view.t0, view.t1, view.columns, drawn);
    EXPECT_EQ(drawn, Decimated(all, view.t0, view.t1, view.columns));
    EXPECT_LE(drawn.size(), 4u * view.columns + 2);
  }
}

TEST(SignalSeries, KeepsItsCapacityDroppingTheOldestAndNeverGoesBackInTime) {
  SignalSeries series(2 * SignalSeries::kChunk);
  const std::size_t n = 5 * SignalSeries::kChunk + 10;
  for (std::size_t i = 0; i < n; ++i) series.append(static_cast<double>(i), static_cast<double>(i));
  EXPECT_EQ(series.size(), SignalSeries::kChunk + 10);
  EXPECT_EQ(series.dropped(), 4 * SignalSeries::kChunk);
  EXPECT_EQ(series.first()->v, 4.0 * SignalSeries::kChunk);
  EXPECT_EQ(series.last()->v, static_cast<double>(n - 1));

  // A point earlier than the last is stored at the last one's time.
  series.append(1.0, -1);
  EXPECT_EQ(series.last()->t, static_cast<double>(n - 1));
  EXPECT_EQ(series.lowerBound(static_cast<double>(n - 1)), series.size() - 2);
  EXPECT_EQ(series.atOrBefore(4.0 * SignalSeries::kChunk + 2.5), 2u);
  EXPECT_FALSE(series.atOrBefore(0).has_value());
}

TEST(SignalSeries, SkipsValuesThatAreNoNumbers) {
  SignalSeries series;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int i = 0; i < 300; ++i) series.append(i, i == 150 ? -5 : (i % 2 ? nan : 1));
  const auto e = series.extremes(0, 300);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->min, 150u);
  EXPECT_EQ(e->max, 0u);
  std::vector<PlotPoint> drawn;
  series.decimate(0, 299, 10, drawn);
  for (const PlotPoint& p : drawn) EXPECT_FALSE(std::isnan(p.v));
  EXPECT_FALSE(series.extremes(1, 2).has_value());
}

}  // namespace
}  // namespace velqor
