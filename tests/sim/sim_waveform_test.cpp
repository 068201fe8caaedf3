// Waveform capture: blocks carry the real, stuffed bit stream of the frame on the bus.

#include <gtest/gtest.h>

#include <cmath>

#include "sim/sim_adapter.h"
#include "sim_test_util.h"

namespace velqor {
namespace {

using namespace test;

const Bytes kArmed = Hex({0xFC, 3, 3, 2, 1});
const Bytes kStopped = Hex({0xFC, 3, 3, 2, 0});

bool IsBlock(const Bytes& f) { return f.size() == 210 && f[2] == 3 && f[3] == 3; }

WaveformBlock Block(const Bytes& f) {
  return WaveformBlock::Decode(std::span<const std::uint8_t>(f).subspan(4).first<206>());
}

// Captures the frame `tx` sent by the adapter on a quiet bus; checks the state messages.
WaveformBlock CaptureSent(std::uint8_t rate, std::uint8_t port, std::uint8_t level,
                          const TxRecord& tx) {
  SimAdapter sim(Quiet());
  sim.Write(SetBitTiming(rate, 0));
  sim.Write(SetTrigger(port, level));
  EXPECT_EQ(Ask(sim, SetCaptureMode(kCaptureSingle)).back(), kArmed);
  std::vector<Bytes> blocks, states;
  for (const Bytes& f : Ask(sim, SendCanFrame(tx))) {
    if (IsBlock(f)) blocks.push_back(f);
    if (f[2] == 3 && f[3] == 2) states.push_back(f);
  }
  EXPECT_EQ(states, std::vector<Bytes>{kStopped});
  EXPECT_EQ(sim.CaptureState(), kCaptureStop);
  if (blocks.size() != 1) {
    ADD_FAILURE() << blocks.size() << " blocks";
    return {};
  }
  return Block(blocks[0]);
}

// The sample nearest to time `ns` after the start of frame, or -1 beyond the block.
int SampleAt(const WaveformBlock& b, double ns) {
  const double index = b.head[0] + b.tail[0] / 256.0 + ns / b.interval;
  const int i = static_cast<int>(std::lround(index));
  return i < static_cast<int>(WaveformBlock::kSamples) ? i : -1;
}

// Reads the bits back at their centres by thresholding the samples.
std::vector<std::uint8_t> Recover(const WaveformBlock& b, double bitNs, double thresholdVolts,
                                  bool dominantHigh) {
  std::vector<std::uint8_t> bits;
  for (int k = 0;; ++k) {
    const int i = SampleAt(b, (k + 0.5) * bitNs);
    if (i < 0) break;
    const bool high = b.samples[i] * WaveformBlock::kVoltsPerCount > thresholdVolts;
    bits.push_back(high == dominantHigh ? kDominant : kRecessive);
  }
  return bits;
}

// CRC-15 residue of SOF..CRC after removing the stuff bits: zero for a correct CRC.
int Residue(std::span<const std::uint8_t> stuffed) {
  std::vector<std::uint8_t> plain;
  int run = 0, last = -1;
  for (std::size_t i = 0; i < stuffed.size(); ++i) {
    plain.push_back(stuffed[i]);
    run = stuffed[i] == last ? run + 1 : 1;
    last = stuffed[i];
    if (run == 5) {
      ++i;
      last = i < stuffed.size() ? stuffed[i] : last;
      run = 1;
    }
  }
  unsigned crc = 0;
  for (auto bit : plain) {
    const unsigned top = ((crc >> 14) & 1u) ^ bit;
    crc = (crc << 1) & 0x7FFF;
    if (top) crc ^= 0x4599;
  }
  return static_cast<int>(crc);
}

TEST(SimWaveform, SamplesCarryTheStuffedBitStreamOfTheFrame) {
  struct Case {
    std::uint8_t rate;
    TxRecord tx;
  };
  const Case cases[] = {
      {2, {0, 0x123, 2, {0xFC, 0x00}}},  // 1 Mbit/s: the whole frame fits
      {2, {0, 0x000, 1, {0x00}}},        // long runs: many stuff bits
      {1, {1, 0x18DA10F1, 1, {0xA5}}},   // 500 kbit/s: SOF, arbitration and more
      {0, {0, 0x7FF, 0, {}}},            // 250 kbit/s
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "rate " << int{c.rate} << " id " << std::hex << c.tx.id);
    const WaveformBlock b = CaptureSent(c.rate, kPortDifferential, 30, c.tx);
    const double bitNs = 1e9 / kBitRatesPerSecond[c.rate];
    EXPECT_EQ(b.interval, 486);  // the converter's own clock, whatever the bit rate
    EXPECT_EQ(b.head[0], kPreTriggerSamples);
    for (int i = 0; i < b.head[0]; ++i) {
      EXPECT_NEAR(b.samples[i], 128, 4) << "pre-trigger sample " << i;  // idle reads 2.5 V
    }

    BusFrame f{c.tx.id, c.tx.ide == 1, c.tx.dlc, c.tx.data};
    const CanBitStream expected = BuildCanBitStream(f);
    const auto got = Recover(b, bitNs, 3.5, true);
    ASSERT_GE(got.size(), 20u);
    const std::size_t n = std::min<std::size_t>(got.size(), expected.size);
    EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.begin() + n),
              std::vector<std::uint8_t>(expected.bits.begin(), expected.bits.begin() + n));
    if (got.size() >= expected.size) {  // the whole frame: its CRC checks out, then idle
      EXPECT_EQ(Residue(std::span(got).first(expected.stuffedEnd)), 0);
      for (std::size_t k = expected.size; k < got.size(); ++k) EXPECT_EQ(got[k], kRecessive);
    }
  }
}

TEST(SimWaveform, EachPortShowsItsLineLevels) {
  struct Case {
    std::uint8_t port;
    std::uint8_t level;
    double recessive, dominant;  // volts
  };
  const Case cases[] = {
      {kPortCanH, 30, 2.5, 3.5}, {kPortCanL, 20, 2.5, 1.5}, {kPortDifferential, 30, 2.5, 4.5}};
  const TxRecord tx{0, 0x2AA, 1, {0x0F}};
  const CanBitStream stream = BuildCanBitStream({0x2AA, false, 1, {0x0F}});
  for (const Case& c : cases) {
    SCOPED_TRACE(int{c.port});
    const WaveformBlock b = CaptureSent(2, c.port, c.level, tx);
    EXPECT_EQ(b.head[1], c.port);
    for (int k = 0; k < stream.size; ++k) {
      const int i = SampleAt(b, (k + 0.5) * 1000);
      const double volts = stream.bits[k] == kDominant ? c.dominant : c.recessive;
      ASSERT_NEAR(b.samples[i] * WaveformBlock::kVoltsPerCount, volts, 0.12) << "bit " << k;
    }
  }
}

TEST(SimWaveform, DefaultLevelTriggersOnEveryPortAndALevelNeverCrossedStaysArmed) {
  struct Case {
    std::uint8_t port, level;
    bool fires;
  };
  const Case cases[] = {
      {kPortDifferential, 25, true},   // the page's defaults: 2.5 V is the recessive level
      {kPortCanH, 25, true},           // 2.5 ... 3.5 V
      {kPortCanL, 25, true},           // 2.5 ... 1.5 V
      {kPortDifferential, 45, false},  // the dominant level itself is never passed
      {kPortDifferential, 24, false},  // below the recessive level
      {kPortCanL, 15, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "port " << int{c.port} << " level " << int{c.level});
    SimAdapter sim;  // traffic on the bus
    sim.Write(SetTrigger(c.port, c.level));
    sim.Write(SetCaptureMode(kCaptureSingle));
    int blocks = 0;
    for (const Bytes& f : RunFor(sim, 500ms)) blocks += IsBlock(f);
    EXPECT_EQ(blocks, c.fires ? 1 : 0);
    EXPECT_EQ(sim.CaptureState(), c.fires ? kCaptureStop : kCaptureSingle);
  }
}

TEST(SimWaveform, ContinuousCaptureSendsAtMostTenBlocksASecondUntilStopped) {
  SimAdapter sim;
  sim.Write(SetTrigger(kPortCanH, 28));
  auto frames = Ask(sim, SetCaptureMode(kCaptureContinuous));
  EXPECT_EQ(frames.front(), Hex({0xFC, 3, 3, 2, 2}));
  int blocks = 0;
  for (const Bytes& f : RunFor(sim, std::chrono::seconds(2))) blocks += IsBlock(f);
  EXPECT_GE(blocks, 18);
  EXPECT_LE(blocks, 21);
  frames = Ask(sim, SetCaptureMode(kCaptureStop));
  EXPECT_NE(std::find(frames.begin(), frames.end(), kStopped), frames.end());
  for (const Bytes& f : RunFor(sim, 500ms)) EXPECT_FALSE(IsBlock(f));
}

}  // namespace
}  // namespace velqor
