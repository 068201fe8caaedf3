// The bit-level decoder on the simulated adapter's captures of known frames.

#include "wave/bit_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sim/adapter_params.h"
#include "sim_capture.h"
#include "wave/line_measurements.h"

namespace velqor {
namespace {

using test::Capture;
using test::CaptureOptions;

std::string BitsOf(const CanBitStream& s, std::size_t n) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) text.push_back(s.bits[i] == kDominant ? '0' : '1');
  return text;
}

TEST(DecodeBits, ReadsKnownFramesAtEveryBitRateAndSamplePoint) {
  const BusFrame frames[] = {
      {0x123, false, 2, {0xFC, 0x00}},
      {0x000, false, 1, {0x00}},  // long runs: a stuff bit every five bits
      {0x18DA10F1, true, 3, {0xA5, 0x5A, 0xFF}},
      {0x7FF, false, 0, {}},
  };
  const double noises[] = {kLineNoiseVolts, 0.1};
  const std::uint8_t phases[] = {0, 77, 160, 243};
  for (std::uint8_t rate = 0; rate < 3; ++rate) {
    std::vector<std::uint8_t> points(SampleTimingList(rate).begin(), SampleTimingList(rate).end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    const std::uint32_t bitRate = static_cast<std::uint32_t>(kBitRatesPerSecond[rate]);
    const double bitNs = 1e9 / bitRate;
    for (const std::uint8_t point : points) {
      for (const BusFrame& f : frames) {
        const CanBitStream stream = BuildCanBitStream(f);
        for (const double noise : noises) {
          for (const std::uint8_t phase : phases) {
            SCOPED_TRACE(testing::Message() << bitRate << " bit/s, sample point " << int{point}
                                            << " %, id " << std::hex << f.id << std::dec
                                            << ", noise " << noise << ", phase " << int{phase});
            const test::SimCapture c = Capture(
                f, {.bitRate = bitRate, .phase = phase, .noiseVolts = noise, .seed = phase + 1u});
            const BitDecoding d = DecodeBits(c.trace, {bitRate, double(point)});
            ASSERT_TRUE(d.startOfFrame.has_value());

            // Every bit whose sample point the window holds, as sent.
            const double held = (c.trace.EndNs() - c.startOfFrameNs) / bitNs - point / 100.0;
            EXPECT_NEAR(static_cast<double>(d.bits.size()), std::floor(held) + 1, 1.0);
            const std::size_t n = std::min<std::size_t>(d.bits.size(), stream.size);
            EXPECT_EQ(d.BitText().substr(0, n), BitsOf(stream, n));
            EXPECT_TRUE(d.stuffErrors.empty());
            EXPECT_EQ(d.formError, "");

            // The fields: in place on the bit grid, their values those sent.
            ASSERT_FALSE(d.fields.empty());
            EXPECT_EQ(d.fields.front().name, "SOF");
            for (const FrameField& field : d.fields) {
              EXPECT_NEAR(field.startNs, c.startOfFrameNs + field.firstBit * bitNs, 0.15 * bitNs)
                  << field.name;
            }
            if (!f.extended || bitRate > 250000) {
              ASSERT_TRUE(d.id.has_value());
              EXPECT_EQ(*d.id, f.id);
              EXPECT_EQ(d.extended, f.extended);
            }
            EXPECT_TRUE(std::equal(d.data.begin(), d.data.end(), f.data.begin()));
            if (d.dlc) {
              EXPECT_EQ(*d.dlc, f.dlc);
            }
            // At 1 Mbit/s the window holds a short standard frame to its end.
            if (bitRate == 1000000 && !f.extended) {
              ASSERT_TRUE(d.crcOk.has_value());
              EXPECT_EQ(d.crc, stream.crc);
              EXPECT_EQ(d.acknowledged, true);
              EXPECT_EQ(d.fields.back().name, "EOF");
            }
            if (d.crcOk) {
              EXPECT_TRUE(*d.crcOk);
            }
          }
        }
      }
    }
  }
}

TEST(DecodeBits, StuffErrorStopsTheFrameAtTheSixthEqualBit) {
  struct Case {
    BusFrame frame;
    std::size_t stuffBit;  // hand-counted: where the first stuff bit belongs
    const char* fieldsHeld;
  } const cases[] = {
      {{0x000, false, 1, {0x00}}, 5, "SOF"},                 // SOF and the first four ID bits
      {{0x1FFFFFFF, true, 1, {0x00}}, 6, "SOF"},             // five recessive ID bits after SOF
      {{0x555, false, 1, {0x12}}, 17, "SOF ID RTR IDE r0"},  // RTR, IDE, r0 and DLC's 00
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.frame.id);
    const CanBitStream stream = BuildCanBitStream(c.frame);
    // A sixth bit equal to the five before it where the stuff bit belongs; receivers answer
    // with an error flag (six dominant bits) and its delimiter.
    std::vector<std::uint8_t> bits(stream.bits.begin(), stream.bits.begin() + c.stuffBit);
    bits.push_back(bits.back());
    for (int i = 0; i < 6; ++i) bits.push_back(kDominant);
    for (int i = 0; i < 8; ++i) bits.push_back(kRecessive);
    const test::SimCapture capture = Capture(bits, {.bitRate = 1000000, .phase = 99});
    const BitDecoding d = DecodeBits(capture.trace, {1000000, 72});
    EXPECT_EQ(d.stuffErrors, std::vector<std::size_t>{c.stuffBit});
    std::string names;
    for (const FrameField& f : d.fields) names += (names.empty() ? "" : " ") + f.name;
    EXPECT_EQ(names, c.fieldsHeld);
    EXPECT_FALSE(d.crcOk.has_value());
  }
}

TEST(DecodeBits, CorruptedDataBitFailsTheCrc) {
  // 0x123, DLC 2: the stuff bit after RTR, IDE, r0 and DLC's first two bits is bit 17, so the
  // first data byte 0x55 starts at bit 20; bit 22 is its bit 5, a 0 between two 1s.
  const BusFrame frame{0x123, false, 2, {0x55, 0x55}};
  CanBitStream stream = BuildCanBitStream(frame);
  ASSERT_EQ(BitsOf(stream, 28), "0001001000110000011001010101");
  stream.bits[22] ^= 1u;
  const test::SimCapture c = Capture(stream.Bits(), {.bitRate = 1000000, .phase = 10});
  const BitDecoding d = DecodeBits(c.trace, {1000000, 72});
  EXPECT_EQ(d.id, 0x123u);
  EXPECT_EQ(d.data, (std::vector<std::uint8_t>{0x75, 0x55}));
  EXPECT_EQ(d.crcOk, false);
  EXPECT_TRUE(d.stuffErrors.empty());
}

TEST(DecodeBits, BusAtAnotherBitRateIsDecodedAtItsOwn) {
  struct Case {
    std::uint32_t bus, selected;
  } const cases[] = {{250000, 500000}, {1000000, 500000}, {500000, 1000000}, {1000000, 250000}};
  const BusFrame frame{0x2A5, false, 1, {0x3C}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bus << " on the bus, " << c.selected << " selected");
    const test::SimCapture capture = Capture(frame, {.bitRate = c.bus, .phase = 40});
    const BitDecoding d = DecodeBits(capture.trace, {c.selected, 72});
    EXPECT_NEAR(d.bitTimeNs, 1e9 / c.bus, 1e9 / c.bus * 0.01);
    EXPECT_EQ(d.nominalBitNs, 1e9 / c.selected);
    EXPECT_EQ(d.id, 0x2A5u);
    EXPECT_TRUE(d.stuffErrors.empty());
  }
}

TEST(DecodeBits, TracesWithoutAFrameDecodeNothing) {
  struct Case {
    const char* what;
    std::vector<float> counts;
    std::uint16_t interval;
  } const cases[] = {
      {"idle bus", std::vector<float>(200, 128), 486},
      {"noise only", {128, 129, 127, 128, 130, 126, 128}, 486},
      {"no interval", std::vector<float>(200, 128), 0},
      {"dominant throughout", std::vector<float>(200, 230), 486},
      {"one sample", {230}, 486},
      {"empty", {}, 486},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CaptureTrace trace = TraceFromCounts(c.counts, c.interval, CapturePort::Differential);
    const CaptureAnalysis a = AnalyseCapture(trace, {});
    const BitDecoding& d = a.decoding;
    EXPECT_FALSE(d.startOfFrame.has_value());
    EXPECT_FALSE(a.line.toDominant.tenToNinetyNs.has_value());
    EXPECT_TRUE(d.bits.empty());
    EXPECT_TRUE(d.fields.empty());
  }
}

}  // namespace
}  // namespace velqor
