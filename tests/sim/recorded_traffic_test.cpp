// A recorded log as the simulated bus's traffic, on the model's own time.

#include "sim/recorded_traffic.h"

#include <gtest/gtest.h>

#include "sim/sim_adapter.h"
#include "sim_test_util.h"
#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

using namespace test;

TEST(RecordedTraffic, FramesTakeTheBusAtTheirRecordedTimesAndTheLogStartsAgain) {
  testing::TempDir dir;
  testing::writeFile(dir / "r.log",
                     "(10.000) can0 100#01\n"
                     "(10.010) can0 101#02\n"
                     "(10.025) can0 300#03\n"
                     "(10.025) can0 200#04\n"  // same time: after 300, as the log has them
                     "(10.040) can0 7FF#R\n"   // passed over: the bus carries data frames
                     "(10.100) can0 18FEF100#0102\n");
  SimOptions options;
  options.recorded = RecordedTraffic::Open(dir / "r.log");
  SimAdapter sim(options);
  Collector collector;
  TMsgInterpret interpreter(&collector);
  std::vector<std::pair<std::uint32_t, std::chrono::nanoseconds>> seen;
  while (sim.Now() < 250ms) {
    sim.AdvanceTo(sim.Now() + 100us);
    InputReport r;
    while (sim.TakeInputReport(r)) interpreter.Feed(r.data(), static_cast<std::uint32_t>(r.size()));
    for (const Seen& s : collector.seen) seen.emplace_back(s.frame.id, sim.Now());
    collector.seen.clear();
  }
  // Six frames over 100 ms: the next pass follows after the mean interval, 20 ms.
  const std::pair<std::uint32_t, int> expected[] = {
      {0x100, 0},   {0x101, 10},  {0x300, 25},  {0x200, 25},  {0x18FEF100, 100},
      {0x100, 120}, {0x101, 130}, {0x300, 145}, {0x200, 145}, {0x18FEF100, 220}};
  ASSERT_GE(seen.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(seen[i].first, expected[i].first) << i;
    // Received when the frame has crossed the bus (one or two frame times), in 100 us steps.
    const auto late = seen[i].second - std::chrono::milliseconds(expected[i].second);
    EXPECT_GE(late, 0ms) << i;
    EXPECT_LE(late, 1ms) << i;
  }
  EXPECT_EQ(options.recorded->Passes(), 2u);
  EXPECT_GE(sim.Stats().recordedFrames, 10u);
}

TEST(RecordedTraffic, ALogThatCannotServeIsRefusedAtOnce) {
  testing::TempDir dir;
  testing::writeFile(dir / "bad.log", "(1.0) can0 100#01\nnot a frame\n");
  testing::writeFile(dir / "remote.log", "(1.0) can0 100#R\n");
  const struct {
    const char* file;
    const char* says;
  } cases[] = {{"bad.log", "bad.log:2: expected '('"},
               {"remote.log", "no data frame"},
               {"none.asc", "cannot open"},
               {"r.trc", "cannot tell the log format"}};
  for (const auto& c : cases) {
    try {
      RecordedTraffic::Open(dir / c.file);
      ADD_FAILURE() << c.file;
    } catch (const LogError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace velqor
