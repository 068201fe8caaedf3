// Physical-layer measurements on the simulated adapter's captures, against the levels, edge
// time constants and noise its model is built with (sim/waveform.h).

#include "wave/line_measurements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "sim_capture.h"

namespace velqor {
namespace {

using test::Capture;
using R = Verdict::Result;

// A frame with many edges in the first fifty bits.
const BusFrame kBusyFrame{0x2AA, false, 8, {0x55, 0x33, 0x55, 0x33, 0x55, 0x33, 0x55, 0x33}};

std::optional<R> ResultOf(const LineMeasurements& m, std::string_view check) {
  for (const Verdict& v : m.verdicts) {
    if (v.check == check) return v.result;
  }
  return std::nullopt;
}

TEST(MeasureLine, LevelsOfEachPortAgainstTheBusLimits) {
  struct Case {
    CapturePort port;
    bool terminatorOn;
    double recessive, dominant;  // volts as the converter reads them
  } const cases[] = {
      {CapturePort::Differential, true, 2.5, 4.5},   // 2.5 V + (CAN_H - CAN_L)
      {CapturePort::Differential, false, 2.5, 4.8},  // only the far end's 120 ohm
      {CapturePort::CanH, true, 2.5, 3.5},          {CapturePort::CanL, true, 2.5, 1.5},
      {CapturePort::CanL, false, 2.5, 1.35},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << CapturePortName(c.port) << " terminator " << c.terminatorOn);
    const test::SimCapture capture =
        Capture(kBusyFrame,
                {.bitRate = 500000, .phase = 33, .terminatorOn = c.terminatorOn, .port = c.port});
    const LineMeasurements m = MeasureLine(capture.trace, DecodeBits(capture.trace, {500000, 72}));
    EXPECT_NEAR(m.recessive.mean, c.recessive, 0.02);
    EXPECT_NEAR(m.dominant.mean, c.dominant, 0.02);
    EXPECT_NEAR(m.amplitudeVolts, std::abs(c.dominant - c.recessive), 0.03);
    EXPECT_LE(m.dominant.min, m.dominant.mean);
    EXPECT_GE(m.dominant.max, m.dominant.mean);
    EXPECT_FALSE(m.dominant.clipped);
    EXPECT_EQ(ResultOf(m, "dominant_level"), R::Pass);
    EXPECT_EQ(ResultOf(m, "recessive_level"), R::Pass);
  }
}

TEST(MeasureLine, DifferentialLevelsOutsideTheLimitsFailAndClippingIsSaid) {
  struct Case {
    double recessiveVolts, dominantVolts;  // as read, the differential channel
    R dominant, recessive;
  } const cases[] = {
      {2.5, 3.8, R::Fail, R::Pass},      // 1.3 V differential: too weak
      {2.5, 4.98, R::Unknown, R::Pass},  // clipped at the converter's top
      {1.9, 4.2, R::Pass, R::Fail},      // -0.6 V recessive
  };
  for (const Case& c : cases) {
    // Idle, then dominant and recessive runs of four bits at 500 kbit/s, sampled every 500 ns.
    std::vector<float> counts;
    for (int i = 0; i < 200; ++i) {
      const bool dominant = i >= 20 && (i - 20) / 16 % 2 == 0;
      counts.push_back(static_cast<float>(
          std::round((dominant ? c.dominantVolts : c.recessiveVolts) * 256 / 5)));
      counts.back() = std::min(counts.back(), 255.0f);
    }
    const CaptureTrace trace = TraceFromCounts(counts, 500, CapturePort::Differential);
    const LineMeasurements m = MeasureLine(trace, DecodeBits(trace, {500000, 72}));
    EXPECT_EQ(ResultOf(m, "dominant_level"), c.dominant) << c.dominantVolts;
    EXPECT_EQ(ResultOf(m, "recessive_level"), c.recessive) << c.recessiveVolts;
  }
}

// Over many captures (trigger phases and noise), the verdicts where the edges could be
// measured, and the median measured time constants.
struct EdgeSurvey {
  int pass = 0, warn = 0, unknown = 0;
  std::vector<double> drive, release;
  int slowEdges = 0, fastEdges = 0;

  static double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
};

EdgeSurvey Survey(std::uint32_t bitRate, bool terminatorOn) {
  EdgeSurvey s;
  for (int phase = 0; phase < 256; phase += 8) {
    const test::SimCapture c = Capture(kBusyFrame, {.bitRate = bitRate,
                                                    .phase = static_cast<std::uint8_t>(phase),
                                                    .terminatorOn = terminatorOn,
                                                    .seed = static_cast<std::uint64_t>(phase) + 1});
    const LineMeasurements m = MeasureLine(c.trace, DecodeBits(c.trace, {bitRate, 72}));
    switch (ResultOf(m, "termination").value_or(R::Fail)) {
      case R::Pass:
        ++s.pass;
        break;
      case R::Warn:
        ++s.warn;
        break;
      default:
        ++s.unknown;
    }
    if (m.toDominant.timeConstantNs) s.drive.push_back(*m.toDominant.timeConstantNs);
    if (m.toRecessive.timeConstantNs) s.release.push_back(*m.toRecessive.timeConstantNs);
    const auto edges = ResultOf(m, "edges");
    s.slowEdges += edges == R::Warn;
    s.fastEdges += edges == R::Pass;
  }
  return s;
}

TEST(MeasureLine, TerminatorOffTurnsTheTerminationVerdictAndSlowsTheRelease) {
  for (const std::uint32_t bitRate : {500000u, 1000000u}) {
    SCOPED_TRACE(bitRate);
    const EdgeSurvey on = Survey(bitRate, true);
    const EdgeSurvey off = Survey(bitRate, false);
    // The model: driven edges settle with 40 ns, the release with 60 ns through both
    // terminators and 120 ns through the far one alone.
    EXPECT_NEAR(EdgeSurvey::Median(on.drive), 40, 6);
    EXPECT_NEAR(EdgeSurvey::Median(off.drive), 40, 6);
    EXPECT_NEAR(EdgeSurvey::Median(on.release), 60, 9);
    EXPECT_NEAR(EdgeSurvey::Median(off.release), 120, 12);
    // Most captures decide, and decide right.
    EXPECT_GE(on.pass, 12);
    EXPECT_LE(on.warn, 1);
    EXPECT_GE(off.warn, 12);
    EXPECT_EQ(off.pass, 0);
    // 10-90 % of the unterminated release (120 ns x ln 9 = 264 ns) is more than a fifth of a
    // 1 Mbit/s bit, and less than a fifth of a 500 kbit/s one.
    if (bitRate == 1000000) {
      EXPECT_GE(off.slowEdges, 12);
      EXPECT_EQ(off.fastEdges, 0);
    } else {
      EXPECT_EQ(off.slowEdges, 0);
    }
    EXPECT_EQ(on.slowEdges, 0);
  }
}

TEST(MeasureLine, NoiseBitTimeAndFrameVerdicts) {
  // Noise: triangular of peak a on CAN_H and CAN_L each (a^2/6 each), twice that on their
  // difference, plus the converter's rounding (step^2/12, step 5/256 V).
  const double step = 5.0 / 256;
  const auto rms = [&](double a) { return std::sqrt(2 * a * a / 6 + step * step / 12); };
  struct Case {
    const char* what;
    CanBitStream stream;
    std::uint32_t bus, selected;
    double noise;
    std::vector<std::pair<const char*, R>> verdicts;
  } const cases[] = {
      {"clean frame",
       BuildCanBitStream({0x123, false, 1, {0x42}}),
       1000000,
       1000000,
       kLineNoiseVolts,
       {{"crc", R::Pass}, {"ack", R::Pass}, {"bit_time", R::Pass}}},
      {"noisy, nobody acknowledged",
       BuildCanBitStream({0x123, false, 1, {0x42}}, false),
       1000000,
       1000000,
       0.1,
       {{"crc", R::Pass}, {"ack", R::Fail}}},
      {"bus at 250 kbit/s, 500 kbit/s selected",
       BuildCanBitStream({0x123, false, 1, {0x42}}),
       250000,
       500000,
       kLineNoiseVolts,
       {{"bit_time", R::Fail}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const test::SimCapture capture =
        Capture(c.stream.Bits(), {.bitRate = c.bus, .phase = 120, .noiseVolts = c.noise});
    const LineMeasurements m =
        MeasureLine(capture.trace, DecodeBits(capture.trace, {c.selected, 72}));
    EXPECT_NEAR(m.noiseRmsVolts, rms(c.noise), 0.25 * rms(c.noise));
    EXPECT_NEAR(m.bitTimeNs, 1e9 / c.bus, 0.005 * 1e9 / c.bus);
    EXPECT_NEAR(m.deviationPercent, (1.0 * c.selected / c.bus - 1) * 100, 0.5);
    for (const auto& [check, result] : c.verdicts) EXPECT_EQ(ResultOf(m, check), result) << check;
  }
}

}  // namespace
}  // namespace velqor
