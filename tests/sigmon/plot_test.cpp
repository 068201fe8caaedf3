// The plot's time range (live, paused, zoomed) and its CSV export.

#include <gtest/gtest.h>

#include <cstdlib>

#include "sigmon/plot_csv.h"
#include "sigmon/plot_range.h"
#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

TEST(PlotTimeRange, FollowsTheNewestValueUntilPausedOrZoomedIntoAStretch) {
  PlotTimeRange r;
  r.follow(10);
  EXPECT_EQ(std::pair(r.t0(), r.t1()), std::pair(0.0, 60.0));  // the first minute fills up
  r.follow(100);
  EXPECT_EQ(std::pair(r.t0(), r.t1()), std::pair(40.0, 100.0));
  r.zoom(0.5, 70);  // live: still ends at the newest value
  EXPECT_EQ(std::pair(r.t0(), r.t1()), std::pair(70.0, 100.0));
  r.pause();
  r.follow(130);
  EXPECT_EQ(r.t1(), 100.0);
  r.zoom(2, 85);  // paused: 85 s stays in the middle, where it was
  EXPECT_EQ(std::pair(r.t0(), r.t1()), std::pair(55.0, 115.0));
  r.resume();
  r.follow(140);
  EXPECT_EQ(std::pair(r.t0(), r.t1()), std::pair(80.0, 140.0));
  r.setRange(90, 92);
  EXPECT_FALSE(r.live());
  r.pan(-1);
  EXPECT_EQ(std::pair(r.t0(), r.t1()), std::pair(89.0, 91.0));
  r.reset();
  EXPECT_EQ(std::pair(r.t0(), r.t1()), std::pair(80.0, 140.0));

  const std::vector<std::vector<PlotPoint>> drawn = {{{0, 2}, {1, 4}}, {{0, -6}}};
  EXPECT_EQ(valueRange(drawn), std::pair(-6.5, 4.5));
  EXPECT_EQ(valueRange(std::vector<std::vector<PlotPoint>>{{{0, 20}}}), std::pair(19.0, 21.0));
}

TEST(PlotCsv, OneRowPerInstantWithEveryStoredValueOfTheRange) {
  setenv("TZ", "UTC", 1);
  tzset();
  SignalSeries speed;
  for (int i = 0; i < 5; ++i) speed.append(i * 0.5, 100 + i);  // 0, 0.5 ... 2
  const std::vector<PlotColumn> columns = {
      {"Engine.Speed", "rpm", pointsBetween(speed, 0.4, 1.5)},
      {"Body.Note", "a,\"b\"", {{1.0, 0.1}, {1.25, -2e-7}}},
  };
  // 1 700 000 000 s is 2023-11-14 22:13:20 UTC.
  EXPECT_EQ(plotCsvText(columns, 1'700'000'000'000'000),
            "time_s,local_time,Engine.Speed [rpm],\"Body.Note [a,\"\"b\"\"]\"\n"
            "0.500000,2023-11-14 22:13:20.500000,101,\n"
            "1.000000,2023-11-14 22:13:21.000000,102,0.1\n"
            "1.250000,2023-11-14 22:13:21.250000,,-2e-07\n"
            "1.500000,2023-11-14 22:13:21.500000,103,\n");

  testing::TempDir dir;
  const PlotCsvResult written = writePlotCsv((dir / "plot.csv").string(), columns, 0);
  EXPECT_TRUE(written.ok);
  EXPECT_EQ(written.rows, 4u);
  const PlotCsvResult failed = writePlotCsv(dir.path().string(), columns, 0);
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.error, dir.path().string() + ": Is a directory");
}

}  // namespace
}  // namespace velqor
