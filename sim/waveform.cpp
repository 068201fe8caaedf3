#include "sim/waveform.h"

#include <algorithm>
#include <cmath>

namespace velqor {

LineLevels BusLevels(bool terminatorOn) {
  LineLevels l;
  if (!terminatorOn) {
    l.dominantH = 3.65;
    l.dominantL = 1.35;
  }
  return l;
}

double PortVolts(std::uint8_t port, std::uint8_t bit, const LineLevels& l) {
  const bool dominant = bit == kDominant;
  const double h = dominant ? l.dominantH : l.recessive;
  const double lo = dominant ? l.dominantL : l.recessive;
  switch (port) {
    case kPortCanL:
      return lo;
    case kPortCanH:
      return h;
    default:
      return kDifferentialOffsetVolts + h - lo;
  }
}

bool TriggerCrossed(std::uint8_t port, std::uint8_t levelByte, const LineLevels& levels) {
  // Compare in tenths of a volt, as the level byte is given, without rounding surprises.
  const double level = levelByte / 10.0;
  const double recessive = PortVolts(port, kRecessive, levels);
  const double dominant = PortVolts(port, kDominant, levels);
  if (dominant > recessive) return level >= recessive - 1e-9 && level < dominant;
  return level <= recessive + 1e-9 && level > dominant;
}

BusSegment MakeSegment(std::span<const std::uint8_t> bits, std::chrono::nanoseconds start,
                       std::uint32_t bitTimeNs) {
  BusSegment s;
  s.start = start;
  s.bitTimeNs = bitTimeNs;
  const std::size_t n = std::min(bits.size(), kMaxSegmentBits);
  std::copy_n(bits.begin(), n, s.bits.begin());
  s.size = static_cast<std::uint16_t>(n);
  return s;
}

namespace {

// Edge time constants: the transmitter drives the dominant level hard; the return to
// recessive is passive, through the termination, and slower without the adapter's resistor.
constexpr double kDriveTauNs = 40;
constexpr double kReleaseTauNs = 60;
constexpr double kReleaseTauOpenNs = 120;

struct LineSample {
  double h;
  double l;
};

LineSample LinesAt(std::int64_t t, std::span<const BusSegment> segments, const LineLevels& levels,
                   double releaseTau) {
  std::uint8_t cur = kRecessive;
  std::uint8_t prev = kRecessive;
  double dt = 1e12;
  for (const BusSegment& s : segments) {
    const std::int64_t start = s.start.count();
    if (t < start || t >= s.End().count()) continue;
    const std::int64_t b = (t - start) / s.bitTimeNs;
    cur = s.bits[static_cast<std::size_t>(b)];
    prev = b > 0 ? s.bits[static_cast<std::size_t>(b - 1)] : kRecessive;
    dt = static_cast<double>(t - start - b * s.bitTimeNs);
    break;
  }
  const double tau = cur == kDominant ? kDriveTauNs : releaseTau;
  const double k = prev == cur ? 0.0 : std::exp(-dt / tau);
  const double h0 = PortVolts(kPortCanH, prev, levels), h1 = PortVolts(kPortCanH, cur, levels);
  const double l0 = PortVolts(kPortCanL, prev, levels), l1 = PortVolts(kPortCanL, cur, levels);
  return {h1 + (h0 - h1) * k, l1 + (l0 - l1) * k};
}

double Noise(SimRandom& random, double peak) {
  // Triangular between -peak and +peak.
  return (random.Uniform() + random.Uniform() - 1.0) * peak;
}

std::uint8_t ToCounts(double volts) {
  const double counts = std::round(volts / WaveformBlock::kVoltsPerCount);
  return static_cast<std::uint8_t>(std::clamp(counts, 0.0, 255.0));
}

}  // namespace

WaveformBlock RenderWaveform(const CaptureSetup& setup, std::span<const BusSegment> segments,
                             SimRandom& random) {
  const LineLevels levels = BusLevels(setup.terminatorOn);
  const double releaseTau = setup.terminatorOn ? kReleaseTauNs : kReleaseTauOpenNs;
  WaveformBlock block;
  block.head = {static_cast<std::uint8_t>(kPreTriggerSamples), setup.port};
  block.interval = setup.intervalNs;
  block.tail = {setup.triggerPhase, setup.sequence};
  const std::int64_t first = setup.triggerTime.count() -
                             std::int64_t{kPreTriggerSamples} * setup.intervalNs -
                             (std::int64_t{setup.triggerPhase} * setup.intervalNs) / 256;
  for (std::size_t i = 0; i < WaveformBlock::kSamples; ++i) {
    const std::int64_t t = first + static_cast<std::int64_t>(i) * setup.intervalNs;
    const LineSample s = LinesAt(t, segments, levels, releaseTau);
    const double h = s.h + Noise(random, setup.noiseVolts);
    const double l = s.l + Noise(random, setup.noiseVolts);
    double v;
    switch (setup.port) {
      case kPortCanL:
        v = l;
        break;
      case kPortCanH:
        v = h;
        break;
      default:
        v = kDifferentialOffsetVolts + h - l;
        break;
    }
    block.samples[i] = ToCounts(v);
  }
  return block;
}

}  // namespace velqor
