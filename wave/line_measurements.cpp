#include "wave/line_measurements.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>

namespace velqor {

const char* VerdictResultName(Verdict::Result result) {
  switch (result) {
    case Verdict::Result::Pass:
      return "pass";
    case Verdict::Result::Warn:
      return "warn";
    case Verdict::Result::Fail:
      return "fail";
    case Verdict::Result::Unknown:
      break;
  }
  return "unknown";
}

namespace {

const double kLn9 = std::log(9.0);
constexpr int kMinEdgePoints = 3;
// Above this noise (rms, as a fraction of the swing) the edges are not measured.
constexpr double kMaxEdgeNoise = 0.08;

// Which samples an edge fit takes, by their progress from the old level (0) to the new (1),
// given the noise (rms, as a fraction of the swing): those well inside the edge are fitted;
// those clearly outside it bound the time constant.
struct ProgressBands {
  explicit ProgressBands(double noise)
      : inside(std::max(0.05, 4 * noise)),
        outside(std::max(0.015, 2 * noise)),
        outsideBound(outside + 3 * noise) {}
  double inside;        // fitted: inside ... 1 - inside
  double outside;       // below it: not started; above 1 - outside: settled
  double outsideBound;  // how far the true progress of those may lie from 0 or 1
};
constexpr double kSettleTimeConstants = 5;
constexpr double kSlowEdgeBits = 0.2;
constexpr double kReleaseRatioLimit = 2.0;
constexpr double kBitTimeTolerancePercent = 1.0;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

struct EdgePoint {
  double t;         // sample time
  long bit;         // the bit number of its edge
  int direction;    // 0: edge to dominant, 1: edge to recessive
  double progress;  // 0 at the old level, 1 at the new one
};

// The grid the edges were placed on: bit time and one offset per direction.
struct Placement {
  double bitNs = 0;
  double offset[2] = {0, 0};
  double At(const TraceEdge& e) const {
    return offset[e.toDominant ? 0 : 1] + static_cast<double>(e.bit) * bitNs;
  }
};

struct ShapeFit {
  int points = 0;
  double slope = 0;  // -1 / time constant
  double sse = std::numeric_limits<double>::infinity();
  double offset = 0;
};

// The exponential through the midpoint crossing at offset + bit x T, fitted to the samples
// inside the edges: ln(2 (1 - progress)) = -(time since the crossing) / time constant,
// weighted by (1 - progress)^2 (the inverse variance of the logarithm). Samples clearly
// outside the edges bound the time constant: one still at the old level lies before the
// crossing by some time constants, one settled after it by some; an offset that contradicts
// them does not fit.
//
// For one bit time the sums over the samples are taken once (u = t - bit x T is the sample's
// time less the offset); each offset then costs nothing.
struct DirectionSums {
  int points = 0;
  double w = 0, u = 0, uu = 0, z = 0, uz = 0, zz = 0;
  double lastNotStarted = -std::numeric_limits<double>::infinity();  // largest u
  double firstSettled = std::numeric_limits<double>::infinity();     // smallest u
};

DirectionSums SumDirection(const std::vector<EdgePoint>& points, const ProgressBands& bands,
                           int direction, double bitNs) {
  DirectionSums s;
  for (const EdgePoint& p : points) {
    if (p.direction != direction) continue;
    const double u = p.t - static_cast<double>(p.bit) * bitNs;
    if (p.progress < bands.outside) {
      s.lastNotStarted = std::max(s.lastNotStarted, u);
    } else if (p.progress > 1 - bands.outside) {
      s.firstSettled = std::min(s.firstSettled, u);
    } else if (p.progress >= bands.inside && p.progress <= 1 - bands.inside) {
      const double z = std::log(2 * (1 - p.progress));
      const double w = (1 - p.progress) * (1 - p.progress);
      s.w += w;
      s.u += w * u;
      s.uu += w * u * u;
      s.z += w * z;
      s.uz += w * u * z;
      s.zz += w * z * z;
      ++s.points;
    }
  }
  return s;
}

ShapeFit FitThrough(const DirectionSums& s, const ProgressBands& bands, double offset) {
  ShapeFit f;
  f.offset = offset;
  f.points = s.points;
  // x = u - offset: samples not started lie before the crossing, settled ones after it.
  if (s.lastNotStarted - offset >= 0 || s.firstSettled - offset <= 0) return f;
  const double limit =
      std::min((offset - s.lastNotStarted) / std::log(2 * (1 - bands.outsideBound)),
               (s.firstSettled - offset) / std::log(0.5 / bands.outsideBound));
  const double sxx = s.uu - 2 * offset * s.u + offset * offset * s.w;
  const double sxz = s.uz - offset * s.z;
  if (f.points < kMinEdgePoints || !(sxx > 0)) return f;
  const double slope = sxz / sxx;
  if (!(slope < 0) || -1.0 / slope > limit) return f;
  f.slope = slope;
  f.sse = std::max(0.0, s.zz - sxz * sxz / sxx);
  return f;
}

// The best fit over the offsets the edges' midpoint crossings allow.
ShapeFit FitDirection(const std::vector<EdgePoint>& points, const ProgressBands& bands,
                      int direction, double bitNs, const GridOffsets& offsets) {
  ShapeFit best;
  if (!offsets.Bounded(direction)) return best;
  const DirectionSums sums = SumDirection(points, bands, direction, bitNs);
  best.points = sums.points;
  if (sums.points < kMinEdgePoints) return best;
  constexpr int kSteps = 100;
  for (int s = 0; s <= kSteps; ++s) {
    const double offset =
        offsets.low[direction] + (offsets.high[direction] - offsets.low[direction]) * s / kSteps;
    const ShapeFit f = FitThrough(sums, bands, offset);
    if (f.sse < best.sse) best = f;
  }
  return best;
}

void TakeShape(const ShapeFit& fit, EdgeShape& shape) {
  shape.points = fit.points;
  if (!std::isfinite(fit.sse)) return;
  shape.timeConstantNs = -1.0 / fit.slope;
  shape.tenToNinetyNs = *shape.timeConstantNs * kLn9;
}

struct Range {
  double low, high;
};

void LevelVerdict(LineMeasurements& m, const char* check, const char* name, const LevelStats& s,
                  double offset, Range limits) {
  Verdict v;
  v.check = check;
  if (s.samples == 0) {
    v.text = Format("%s level: no flat stretch in the window", name);
    m.verdicts.push_back(v);
    return;
  }
  double value = s.mean - offset;
  if (std::abs(value) < 0.005) value = 0;  // not "-0.00"
  const bool inside = value >= limits.low && value <= limits.high;
  if (s.clipped && s.mean > kConverterTopVolts / 2) {
    // The converter's top hides anything above it.
    v.result = value > limits.high ? Verdict::Result::Fail : Verdict::Result::Unknown;
    v.text = Format("%s level at least %.2f V (clipped by the converter), limits %.2f ... %.2f V",
                    name, value, limits.low, limits.high);
  } else {
    v.result = inside ? Verdict::Result::Pass : Verdict::Result::Fail;
    v.text = Format("%s level %.2f V %s %.2f ... %.2f V", name, value,
                    inside ? "within" : "outside", limits.low, limits.high);
  }
  m.verdicts.push_back(v);
}

void Verdicts(const CaptureTrace& trace, const BitDecoding& d, LineMeasurements& m) {
  // Levels, against ISO 11898-2.
  switch (trace.port) {
    case CapturePort::Differential:
      LevelVerdict(m, "dominant_level", "dominant differential", m.dominant,
                   kDifferentialMidScaleVolts, {1.5, 3.0});
      LevelVerdict(m, "recessive_level", "recessive differential", m.recessive,
                   kDifferentialMidScaleVolts, {-0.5, 0.05});
      break;
    case CapturePort::CanH:
      LevelVerdict(m, "dominant_level", "dominant CAN_H", m.dominant, 0, {2.75, 4.5});
      LevelVerdict(m, "recessive_level", "recessive CAN_H", m.recessive, 0, {2.0, 3.0});
      break;
    case CapturePort::CanL:
      LevelVerdict(m, "dominant_level", "dominant CAN_L", m.dominant, 0, {0.5, 2.25});
      LevelVerdict(m, "recessive_level", "recessive CAN_L", m.recessive, 0, {2.0, 3.0});
      break;
  }

  // Edges against the bit time.
  {
    Verdict v;
    v.check = "edges";
    const double limit = kSlowEdgeBits * d.nominalBitNs;
    const std::optional<double> rise = m.toDominant.tenToNinetyNs;
    const std::optional<double> fall = m.toRecessive.tenToNinetyNs;
    if (!rise && !fall) {
      v.text = "edges: too few samples inside the edges to measure them";
    } else {
      const double slowest = std::max(rise.value_or(0), fall.value_or(0));
      const bool slow = slowest > limit;
      v.result = slow ? Verdict::Result::Warn : Verdict::Result::Pass;
      v.text = Format("edges%s 10-90 %% in %.0f ns, %s a fifth of the %.0f ns bit",
                      slow ? " slow:" : ":", slowest, slow ? "over" : "within", d.nominalBitNs);
    }
    m.verdicts.push_back(v);
  }

  // Termination, from the release time constant against the driven edge's.
  {
    Verdict v;
    v.check = "termination";
    const std::optional<double> drive = m.toDominant.timeConstantNs;
    const std::optional<double> release = m.toRecessive.timeConstantNs;
    if (!drive || !release) {
      v.text = "termination: too few samples inside the edges to compare them";
    } else {
      const double ratio = *release / *drive;
      const bool slow = ratio > kReleaseRatioLimit;
      v.result = slow ? Verdict::Result::Warn : Verdict::Result::Pass;
      v.text = slow ? Format(
                          "termination missing? the release (%.0f ns) is %.1f x slower than the "
                          "drive (%.0f ns)",
                          *release, ratio, *drive)
                    : Format(
                          "termination plausible: the release (%.0f ns) is %.1f x the drive "
                          "(%.0f ns)",
                          *release, ratio, *drive);
    }
    m.verdicts.push_back(v);
  }

  // Bit time.
  {
    Verdict v;
    v.check = "bit_time";
    if (m.bitTimeNs > 0) {
      const bool off = std::abs(m.deviationPercent) > kBitTimeTolerancePercent;
      v.result = off ? Verdict::Result::Fail : Verdict::Result::Pass;
      v.text = Format(
          "bit time %.1f ns, %+.2f %% from the selected %.0f kbit/s%s", m.bitTimeNs,
          m.deviationPercent, 1e6 / d.nominalBitNs,
          off ? Format(" (the bus runs at about %.0f kbit/s)", 1e6 / m.bitTimeNs).c_str() : "");
    } else {
      v.text = "bit time: too few edges to measure it";
    }
    m.verdicts.push_back(v);
  }
  if (d.edgesOffGrid > 0) {
    m.verdicts.push_back(
        {"bit_grid", Verdict::Result::Warn,
         Format("%d edge(s) off the bit grid: ringing, noise or a glitch", d.edgesOffGrid)});
  }

  // The frame.
  if (!d.stuffErrors.empty()) {
    m.verdicts.push_back(
        {"stuffing", Verdict::Result::Fail,
         Format("stuff error at bit %zu (six equal bits in a row)", d.stuffErrors.front())});
  }
  if (!d.formError.empty()) {
    m.verdicts.push_back(
        {"form", Verdict::Result::Fail, "form error: a dominant bit in the " + d.formError});
  }
  if (d.crcOk) {
    m.verdicts.push_back({"crc", *d.crcOk ? Verdict::Result::Pass : Verdict::Result::Fail,
                          *d.crcOk ? std::string("CRC matches")
                                   : Format("CRC %04X received does not match the frame",
                                            static_cast<unsigned>(*d.crc))});
  }
  if (d.acknowledged) {
    m.verdicts.push_back({"ack", *d.acknowledged ? Verdict::Result::Pass : Verdict::Result::Fail,
                          *d.acknowledged ? "acknowledged"
                                          : "not acknowledged (ACK slot "
                                            "recessive)"});
  }
}

// The edges' times on the grid they were placed on (before the start of frame: as found).
std::vector<double> PlacedEdges(const BitDecoding& d, const std::optional<Placement>& placement) {
  std::vector<double> placed(d.edges.size());
  for (std::size_t k = 0; k < d.edges.size(); ++k) {
    const bool onGrid = placement && d.startOfFrame && k >= *d.startOfFrame;
    placed[k] = onGrid ? placement->At(d.edges[k]) : d.edges[k].timeNs;
  }
  return placed;
}

// Levels and noise from the flat stretches: samples `settle(direction of the last edge)` after
// an edge and a guard before the next one.
template <typename Settle>
void MeasureLevels(const CaptureTrace& trace, const BitDecoding& d,
                   const std::vector<double>& placed, double bitNs, Settle settle,
                   LineMeasurements& m) {
  const double guard = 0.15 * bitNs;
  bool dominant = !d.edges.empty() ? !d.edges.front().toDominant : false;
  std::size_t next = 0;
  double sinceNs = -std::numeric_limits<double>::infinity();
  double settleNs = 0;
  std::vector<std::pair<double, bool>> flat;
  for (std::size_t i = 0; i < trace.volts.size(); ++i) {
    const double t = trace.TimeOf(i);
    while (next < placed.size() && placed[next] <= t) {
      dominant = d.edges[next].toDominant;
      sinceNs = placed[next];
      settleNs = settle(dominant);
      ++next;
    }
    if (t - sinceNs < settleNs) continue;
    if (next < placed.size() && placed[next] - t < guard) continue;
    flat.emplace_back(trace.volts[i], dominant);
  }
  auto stats = [&](bool ofDominant, LevelStats& s) {
    s = LevelStats{};
    double sum = 0;
    for (const auto& [x, dom] : flat) {
      if (dom != ofDominant) continue;
      s.min = s.samples == 0 ? x : std::min(s.min, x);
      s.max = s.samples == 0 ? x : std::max(s.max, x);
      if (x >= kConverterTopVolts - 1e-9 || x <= 1e-9) s.clipped = true;
      sum += x;
      ++s.samples;
    }
    if (s.samples > 0) s.mean = sum / s.samples;
  };
  stats(false, m.recessive);
  stats(true, m.dominant);
  m.amplitudeVolts = m.recessive.samples > 0 && m.dominant.samples > 0
                         ? std::abs(m.dominant.mean - m.recessive.mean)
                         : 0;
  double sumSq = 0;
  for (const auto& [x, dom] : flat) {
    const double e = x - (dom ? m.dominant.mean : m.recessive.mean);
    sumSq += e * e;
  }
  m.noiseRmsVolts = flat.empty() ? 0 : std::sqrt(sumSq / static_cast<double>(flat.size()));
}

// The samples around each edge after the start of frame, with their progress from the old
// level to the new one.
std::vector<EdgePoint> EdgePoints(const CaptureTrace& trace, const BitDecoding& d) {
  std::vector<EdgePoint> points;
  const double swing = d.dominantVolts - d.recessiveVolts;
  for (std::size_t k = *d.startOfFrame; k < d.edges.size(); ++k) {
    const TraceEdge& e = d.edges[k];
    // From a little before the edge (its time is its midpoint crossing) to before the next
    // edge begins.
    const double at = e.fittedNs;
    const double from = at - 0.3 * d.bitTimeNs;
    const double to =
        k + 1 < d.edges.size() ? d.edges[k + 1].fittedNs - 0.2 * d.bitTimeNs : at + d.bitTimeNs;
    const double oldLevel = e.toDominant ? d.recessiveVolts : d.dominantVolts;
    const double sign = e.toDominant ? 1.0 : -1.0;
    for (std::size_t i = 0; i < trace.volts.size(); ++i) {
      const double t = trace.TimeOf(i);
      if (t < from || t >= to) continue;
      points.push_back(
          {t, e.bit, e.toDominant ? 0 : 1, sign * (trace.volts[i] - oldLevel) / swing});
    }
  }
  return points;
}

// The edge shapes, and the bit time that lines the edges up best: among the bit times that
// keep every edge between its samples, the one whose samples inside the edges fit best, where
// they outnumber what is fitted (the bit time and, per direction, offset and time constant);
// else the grid as decoded.
Placement MeasureEdges(const CaptureTrace& trace, const BitDecoding& d, double noise,
                       LineMeasurements& m) {
  Placement placement;
  placement.bitNs = d.bitTimeNs;
  placement.offset[0] = d.dominantEdgeNs;
  placement.offset[1] = d.dominantEdgeNs + d.recessiveEdgeOffsetNs;
  const std::vector<EdgePoint> points = EdgePoints(trace, d);
  const ProgressBands bands(noise);
  auto fitsAt = [&](double bitNs, ShapeFit(&fits)[2]) {
    const GridOffsets offsets = FeasibleOffsets(trace, d, bitNs);
    fits[0] = FitDirection(points, bands, 0, bitNs, offsets);
    fits[1] = FitDirection(points, bands, 1, bitNs, offsets);
  };
  ShapeFit best[2];
  fitsAt(d.bitTimeNs, best);
  int counted = 0, unknowns = 1;
  for (const ShapeFit& f : best) {
    if (f.points >= kMinEdgePoints + 1) {
      counted += f.points;
      unknowns += 2;
    }
  }
  if (d.bitTimeHighNs > d.bitTimeLowNs && unknowns > 1 && counted >= unknowns + 2) {
    constexpr int kSteps = 100;
    double bestCost = std::numeric_limits<double>::infinity();
    for (int s = 0; s <= kSteps; ++s) {
      const double bitNs = d.bitTimeLowNs + (d.bitTimeHighNs - d.bitTimeLowNs) * s / kSteps;
      ShapeFit fits[2];
      fitsAt(bitNs, fits);
      double cost = 0;
      for (int g = 0; g < 2; ++g) {
        if (best[g].points >= kMinEdgePoints + 1) cost += fits[g].sse;
      }
      if (cost < bestCost) {
        bestCost = cost;
        placement.bitNs = bitNs;
      }
    }
    fitsAt(placement.bitNs, best);
  }
  for (int g = 0; g < 2; ++g) {
    if (std::isfinite(best[g].sse)) placement.offset[g] = best[g].offset;
  }
  TakeShape(best[0], m.toDominant);
  TakeShape(best[1], m.toRecessive);
  return placement;
}

}  // namespace

LineMeasurements MeasureLine(const CaptureTrace& trace, const BitDecoding& d) {
  LineMeasurements m;
  m.bitTimeNs = d.bitTimeNs;
  const bool framed = d.startOfFrame.has_value() && d.bitTimeNs > 0;
  const double bitNs = framed ? d.bitTimeNs : d.nominalBitNs;

  // A first look at the levels and the noise, a third of a bit after each edge.
  std::optional<Placement> placement;
  if (framed) {
    placement =
        Placement{d.bitTimeNs, {d.dominantEdgeNs, d.dominantEdgeNs + d.recessiveEdgeOffsetNs}};
  }
  MeasureLevels(
      trace, d, PlacedEdges(d, placement), bitNs, [&](bool) { return bitNs / 3; }, m);

  const double swing = std::abs(d.dominantVolts - d.recessiveVolts);
  const double noise = swing > 0 ? m.noiseRmsVolts / swing : 1;
  if (framed && noise <= kMaxEdgeNoise) {
    placement = MeasureEdges(trace, d, noise, m);
    m.bitTimeNs = placement->bitNs;
  }
  if (m.bitTimeNs > 0 && d.nominalBitNs > 0) {
    m.deviationPercent = (m.bitTimeNs / d.nominalBitNs - 1) * 100;
  }

  // Levels and noise again, where the edges have settled.
  const double finalBitNs = m.bitTimeNs > 0 ? m.bitTimeNs : d.nominalBitNs;
  MeasureLevels(
      trace, d, PlacedEdges(d, placement), finalBitNs,
      [&](bool toDominant) {
        const std::optional<double> tau =
            toDominant ? m.toDominant.timeConstantNs : m.toRecessive.timeConstantNs;
        return tau ? std::max(kSettleTimeConstants * *tau, 0.1 * finalBitNs) : finalBitNs / 3;
      },
      m);

  Verdicts(trace, d, m);
  return m;
}

CaptureAnalysis AnalyseCapture(const CaptureTrace& trace, const BitTimingChoice& timing) {
  CaptureAnalysis a;
  a.decoding = DecodeBits(trace, timing);
  a.line = MeasureLine(trace, a.decoding);
  return a;
}

}  // namespace velqor
