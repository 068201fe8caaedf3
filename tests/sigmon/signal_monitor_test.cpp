// Every signal's last, lowest and highest value from the frames of the bus, and the series of
// the plotted ones.

#include "sigmon/signal_monitor.h"

#include <gtest/gtest.h>

#include "signals/dbc_parser.h"

namespace velqor {
namespace {

std::shared_ptr<const dbc::Database> Parse(const char* text, const char* name) {
  dbc::DbcResult r = dbc::parseDbc(text, name);
  EXPECT_TRUE(r.ok()) << r.error.text();
  return r.database;
}

const char kEngine[] =
    "BO_ 256 Engine: 4 E\n"
    " SG_ Speed : 0|16@1+ (0.25,0) [0|0] \"rpm\" X\n"
    " SG_ Temp : 16|8@1+ (1,-40) [0|0] \"degC\" X\n"
    "BO_ 2566844672 Cruise: 1 E\n"
    " SG_ Active : 0|1@1+ (1,0) [0|0] \"\" X\n";
const char kBody[] = "BO_ 512 Doors: 1 B\n SG_ Open : 0|1@1+ (1,0) [0|0] \"\" X\n";

CanFrame Frame(std::uint32_t id, bool ide, std::array<std::uint8_t, 8> data, std::int64_t us,
               std::uint8_t flags = 0) {
  CanFrame f;
  f.id = id;
  f.ide = ide ? 1 : 0;
  f.dlc = 8;
  f.flags = flags;
  f.data = data;
  f.time = {us, 1'700'000'000'000'000 + us};
  return f;
}

TEST(SignalMonitor, KeepsEachSignalsLastLowestAndHighestValueAndWhen) {
  SignalMonitor monitor;
  const auto engine = Parse(kEngine, "engine.dbc");
  monitor.setDecoder(std::make_shared<dbc::FrameDecoder>(
      std::vector<std::shared_ptr<const dbc::Database>>{engine}));
  const CanFrame frames[] = {
      Frame(256, false, {0x10, 0x27, 60}, 1000),                // 2500 rpm, 20 degC
      Frame(256, true, {0xFF, 0xFF, 0xFF}, 1500),               // extended 256: not Engine
      Frame(0x18FEF100, true, {1}, 2000),                       // Cruise
      Frame(256, false, {0, 0, 0}, 2500, CanFrame::kRtr),       // remote: no data
      Frame(256, false, {0x40, 0x1F, 140}, 3000),               // 2000 rpm, 100 degC
      Frame(256, false, {0x00, 0x00, 0}, 3500, CanFrame::kTx),  // sent: not the bus's
      Frame(256, false, {0xA0, 0x0F, 0}, 4000),                 // 1000 rpm, -40 degC
  };
  monitor.onFrames(frames);
  EXPECT_EQ(monitor.framesDecoded(), 4u);
  EXPECT_EQ(monitor.takeNewlySeen(), (std::vector<std::uint32_t>{0, 1, 2}));
  EXPECT_TRUE(monitor.takeNewlySeen().empty());
  const SignalState& speed = monitor.state(0);
  EXPECT_EQ(speed.value, 1000);
  EXPECT_EQ(speed.bits, 0x0FA0u);
  EXPECT_EQ(speed.minimum, 1000);
  EXPECT_EQ(speed.maximum, 2500);
  EXPECT_EQ(speed.count, 3u);
  EXPECT_EQ(speed.time.steadyUs, 4000);
  EXPECT_EQ(monitor.state(1).minimum, -40);
  EXPECT_EQ(monitor.state(1).maximum, 100);
  EXPECT_EQ(monitor.state(2).value, 1);
  EXPECT_EQ(monitor.qualifiedName(2), "Cruise.Active");

  monitor.resetExtremes();
  EXPECT_EQ(monitor.state(0).maximum, 1000);
  EXPECT_EQ(monitor.state(0).minimum, 1000);
}

TEST(SignalMonitor, FeedsThePlottedSeriesAndKeepsWhatStaysWhenFilesChange) {
  SignalMonitor monitor;
  const auto engine = Parse(kEngine, "engine.dbc");
  const auto body = Parse(kBody, "body.dbc");
  using Files = std::vector<std::shared_ptr<const dbc::Database>>;
  monitor.setDecoder(std::make_shared<dbc::FrameDecoder>(Files{engine}));
  monitor.startSeries(1);  // Temp
  const CanFrame first[] = {Frame(256, false, {0, 0, 50}, 10'000'000),
                            Frame(256, false, {0, 0, 51}, 10'250'000)};
  monitor.onFrames(first);
  ASSERT_NE(monitor.series(1), nullptr);
  EXPECT_EQ(monitor.series(0), nullptr);
  EXPECT_EQ(monitor.series(1)->size(), 2u);
  EXPECT_EQ(monitor.series(1)->point(1), (PlotPoint{0.25, 11}));  // from the first frame on

  // Body loaded in front: Engine's signals are renumbered, their state and series carried.
  monitor.setDecoder(std::make_shared<dbc::FrameDecoder>(Files{body, engine}));
  EXPECT_EQ(monitor.state(2).value, 11);  // Temp is now 2
  EXPECT_EQ(monitor.state(2).count, 2u);
  EXPECT_EQ(monitor.plottedSignals(), (std::vector<std::uint32_t>{2}));
  const CanFrame more[] = {Frame(256, false, {0, 0, 52}, 10'500'000),
                           Frame(512, false, {1}, 10'600'000)};
  monitor.onFrames(more);
  EXPECT_EQ(monitor.series(2)->size(), 3u);
  EXPECT_EQ(monitor.state(0).value, 1);
  EXPECT_EQ(monitor.takeNewlySeen(), (std::vector<std::uint32_t>{0}));

  // Engine unloaded: its series goes with it.
  monitor.setDecoder(std::make_shared<dbc::FrameDecoder>(Files{body}));
  EXPECT_TRUE(monitor.plottedSignals().empty());
  EXPECT_EQ(monitor.signalCount(), 1u);
}

}  // namespace
}  // namespace velqor
