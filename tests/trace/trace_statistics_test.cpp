#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "sim/bus_traffic.h"
#include "sim/can_bitstream.h"
#include "tests/common/temp_dir.h"
#include "tests/trace/trace_test_util.h"
#include "trace/bus_load.h"
#include "trace/id_statistics.h"
#include "trace/trace_settings.h"

namespace velqor {
namespace {

using test::TraceFrame;

TEST(IdStatistics, CyclesFromTheArrivalTimesCountsAndClear) {
  IdStatistics stats;
  // 0x100 every 10 ms, the twelfth frame 4 ms late; 0x200 once; 0x100 also sent twice.
  for (int k = 0; k < 12; ++k) stats.add(TraceFrame(k * 10'000 + (k == 11 ? 4'000 : 0), 0x100));
  stats.add(TraceFrame(50'000, 0x200));
  stats.add(TraceFrame(60'000, 0x100, {}, CanFrame::kTx));
  stats.add(TraceFrame(70'000, 0x300, {}, CanFrame::kTx));  // only sent

  const IdStatistics::Entry* e = stats.find(0x100);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->count, 12u);
  EXPECT_EQ(e->txCount, 1u);
  EXPECT_EQ(e->lastIntervalUs(), 14'000);
  // The last ten intervals: frames 1..11, from 10 000 to 114 000 us.
  EXPECT_DOUBLE_EQ(e->meanIntervalUs(), 10'400.0);
  const IdStatistics::Entry* once = stats.find(0x200);
  ASSERT_NE(once, nullptr);
  EXPECT_EQ(once->count, 1u);
  EXPECT_LT(once->lastIntervalUs(), 0);  // no interval yet
  EXPECT_LT(once->meanIntervalUs(), 0);
  ASSERT_NE(stats.find(0x300), nullptr);
  EXPECT_EQ(stats.find(0x300)->count, 0u);

  IdStatistics three;  // fewer than ten intervals: the mean of those there are
  for (std::int64_t t : {0, 20'000, 50'000}) three.add(TraceFrame(t, 7));
  EXPECT_DOUBLE_EQ(three.find(7)->meanIntervalUs(), 25'000.0);

  stats.clear();
  EXPECT_EQ(stats.find(0x100), nullptr);
  stats.add(TraceFrame(200'000, 0x100));
  EXPECT_EQ(stats.find(0x100)->count, 1u);
}

TEST(BusLoad, FrameBitsByLengthAndIdentifier) {
  const struct {
    bool extended;
    int dlc;
    bool remote;
    int bits;  // fixed bits + data + intermission + one in ten of SOF..CRC
  } cases[] = {
      {false, 0, false, 44 + 3 + 3},        // 34 stuffable bits: 3
      {false, 8, false, 44 + 64 + 3 + 9},   // 98: 9
      {true, 0, false, 64 + 3 + 5},         // 54: 5
      {true, 8, false, 64 + 64 + 3 + 11},   // 118: 11
      {false, 8, true, 44 + 3 + 3},         // a remote frame carries no data
      {false, 15, false, 44 + 64 + 3 + 9},  // a DLC above 8 carries 8 bytes
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EstimatedFrameBits(c.extended, static_cast<std::uint8_t>(c.dlc), c.remote), c.bits)
        << c.extended << " " << c.dlc << " " << c.remote;
  }
}

TEST(BusLoad, EstimateWithinFivePercentOfTheSimulatedVehiclesBits) {
  // The exact bits (stuff bits counted on the real bit stream) of a minute of the simulated
  // vehicle's traffic, against the estimate from DLC and IDE alone.
  SimRandom random(7);
  double exact = 0;
  double estimated = 0;
  for (const PeriodicMessage& m : DefaultVehicleProfile()) {
    const auto count = std::chrono::seconds(60) / m.cycle;
    for (std::int64_t k = 0; k < count; ++k) {
      BusFrame f;
      ComposeFrame(m, static_cast<std::uint64_t>(k), m.phase + k * m.cycle, random, f);
      exact += FrameSlotBits(BuildCanBitStream(f));
      estimated += EstimatedFrameBits(f.extended, f.dlc, false);
    }
  }
  EXPECT_NEAR(estimated / exact, 1.0, 0.05);
}

TEST(BusLoad, MeterReadsTheLastWholeSecond) {
  BusLoadMeter meter;
  // 500 standard 8-byte frames a second (2 ms apart) from t = 10 s to 12.5 s.
  for (int i = 0; i < 1250; ++i) {
    CanFrame f = TraceFrame(10'000'000 + i * 2'000, 0x100, {1, 2, 3, 4, 5, 6, 7, 8});
    meter.add(std::span(&f, 1));
  }
  const BusLoadMeter::Reading r = meter.reading(12'500'000);  // the second 11.5 .. 12.5 s
  EXPECT_DOUBLE_EQ(r.framesPerSecond, 500);
  EXPECT_DOUBLE_EQ(r.bitsPerSecond, 500.0 * 120);
  EXPECT_DOUBLE_EQ(r.loadPercent(500'000), 12.0);
  EXPECT_LT(r.loadPercent(0), 0);
  EXPECT_DOUBLE_EQ(meter.reading(20'000'000).framesPerSecond, 0);  // a quiet bus since
}

TEST(TraceSettings, NewSectionsWithDefaultsForOldFiles) {
  velqor::testing::TempDir dir;
  const std::filesystem::path path = dir.path() / "Velqor.INI";
  std::ofstream(path) << "[UART]\r\nCOMM=3\r\n";  // a file from before the trace
  IniFile ini(path);
  const TraceSettings old = loadTraceSettings(ini);
  EXPECT_EQ(old.capacity, 2'000'000u);
  EXPECT_FALSE(old.wallClock);
  EXPECT_EQ(loadReceiveColumnSettings(ini), ReceiveColumnSettings{});
  saveTraceSettings(ini, old);  // the defaults: the file keeps its sections
  saveReceiveColumnSettings(ini, {});
  EXPECT_FALSE(ini.readValue("TRACE", "CAPACITY") || ini.readValue("TRACE", "WALLCLOCK") ||
               ini.readValue("RXCOLUMNS", "COUNT"));

  saveTraceSettings(ini, {5000, true});
  saveReceiveColumnSettings(ini, {true, false, true, false});
  const TraceSettings back = loadTraceSettings(ini);
  EXPECT_EQ(back.capacity, 5000u);
  EXPECT_TRUE(back.wallClock);
  EXPECT_EQ(loadReceiveColumnSettings(ini), (ReceiveColumnSettings{true, false, true, false}));
  EXPECT_EQ(ini.readInteger("UART", "COMM", 0), 3);
  saveTraceSettings(ini, old);  // back to the defaults: the keys there say so
  EXPECT_EQ(loadTraceSettings(ini).capacity, 2'000'000u);
  EXPECT_FALSE(loadTraceSettings(ini).wallClock);

  ini.writeInteger("TRACE", "CAPACITY", -5);
  EXPECT_EQ(loadTraceSettings(ini).capacity, 0u);
  ini.writeInteger("TRACE", "CAPACITY", 2'000'000'000);
  EXPECT_EQ(loadTraceSettings(ini).capacity, 50'000'000u);
}

}  // namespace
}  // namespace velqor
