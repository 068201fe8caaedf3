#include "wave/bit_decoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace velqor {

const char* CapturePortName(CapturePort port) {
  switch (port) {
    case CapturePort::CanL:
      return "CAN_L";
    case CapturePort::CanH:
      return "CAN_H";
    case CapturePort::Differential:
      break;
  }
  return "Differential";
}

CaptureTrace TraceFromCounts(std::span<const float> counts, std::uint16_t intervalNs,
                             CapturePort port) {
  CaptureTrace t;
  t.intervalNs = intervalNs;
  t.port = port;
  t.volts.reserve(counts.size());
  for (const float c : counts) t.volts.push_back(static_cast<double>(c) * (5.0 / 256.0));
  return t;
}

std::uint16_t CanCrc15Of(std::span<const std::uint8_t> bits) {
  unsigned crc = 0;
  for (const std::uint8_t bit : bits) {
    const unsigned top = ((crc >> 14) & 1u) ^ (bit & 1u);
    crc = (crc << 1) & 0x7FFFu;
    if (top != 0) crc ^= 0x4599u;
  }
  return static_cast<std::uint16_t>(crc);
}

std::string BitDecoding::BitText() const {
  std::string text;
  text.reserve(bits.size());
  for (const DecodedBit& b : bits) text.push_back(b.value == kBitDominant ? '0' : '1');
  return text;
}

namespace {

constexpr double kHuge = 1e300;

// Idle before a start of frame: end of frame (7) and intermission (3).
constexpr double kIdleBits = 10;
// Below this swing the trace holds no bus activity worth decoding.
constexpr double kMinSwingVolts = 0.25;
// An edge further than this (in bits) from its place on the fitted grid does not fit.
constexpr double kOffGridBits = 0.25;
constexpr double kMaxResidualBits = 0.3;
// A sender's clock is off by a few tenths of a percent at most (ISO 11898-1 allows 1.58 %).
constexpr double kMaxBitTimeDrift = 0.02;
// Sum of squared bit-number spreads (per direction) before the edges may change T.
constexpr double kMinBitSpread = 60;

// Two clusters (k-means, two centres) from the extremes inward; each level is then the median
// of its cluster, which the few samples caught inside edges do not pull toward the middle.
void Cluster(const std::vector<double>& v, double& low, double& high) {
  std::vector<double> sorted = v;
  std::sort(sorted.begin(), sorted.end());
  low = sorted[sorted.size() / 50];
  high = sorted[sorted.size() - 1 - sorted.size() / 50];
  for (int round = 0; round < 16; ++round) {
    const double mid = (low + high) / 2;
    double sumLow = 0, sumHigh = 0;
    int nLow = 0, nHigh = 0;
    for (const double x : v) {
      if (x < mid) {
        sumLow += x;
        ++nLow;
      } else {
        sumHigh += x;
        ++nHigh;
      }
    }
    if (nLow == 0 || nHigh == 0) return;
    low = sumLow / nLow;
    high = sumHigh / nHigh;
  }
  const auto split = std::lower_bound(sorted.begin(), sorted.end(), (low + high) / 2);
  const std::size_t nLow = static_cast<std::size_t>(split - sorted.begin());
  low = sorted[nLow / 2];
  high = sorted[nLow + (sorted.size() - nLow) / 2];
}

std::vector<TraceEdge> FindEdges(const CaptureTrace& trace, double mid, double band) {
  std::vector<TraceEdge> edges;
  const std::vector<double>& v = trace.volts;
  bool high = v.front() >= mid;
  const bool dominantHigh = DominantIsHigh(trace.port);
  for (std::size_t i = 1; i < v.size(); ++i) {
    const bool crossed = high ? v[i] < mid - band : v[i] > mid + band;
    if (!crossed) continue;
    high = !high;
    // The last midpoint crossing before this sample.
    std::size_t j = i;
    while (j > 0 && (high ? v[j - 1] > mid : v[j - 1] < mid)) --j;
    double t = 0;
    if (j > 0) {
      const double a = v[j - 1], b = v[j];
      const double f = b != a ? (mid - a) / (b - a) : 0.5;
      t = trace.TimeOf(j - 1) + std::clamp(f, 0.0, 1.0) * trace.intervalNs;
    }
    TraceEdge e;
    e.timeNs = t;
    e.toDominant = high == dominantHigh;
    e.sample = j;
    edges.push_back(e);
  }
  return edges;
}

std::optional<std::size_t> FindStartOfFrame(const std::vector<TraceEdge>& edges, double idleNs) {
  for (std::size_t k = 0; k < edges.size(); ++k) {
    if (!edges[k].toDominant) continue;
    // The first edge after a window that starts recessive, or an edge after long idle.
    if (k == 0 || edges[k].timeNs - edges[k - 1].timeNs >= idleNs) return k;
  }
  return std::nullopt;
}

struct GridFit {
  bool fits = false;
  double bitNs = 0;
  double dominantNs = 0;   // a for edges to dominant
  double recessiveNs = 0;  // a for edges to recessive
  double rmsNs = 0;
  double maxAbsNs = 0;
  double lowNs = 0;  // the bit times that keep every edge inside its interval
  double highNs = 0;
  std::vector<long> bit;  // per edge from the start of frame on
};

// Least squares of e = a(group) + n x T over the edges [sof, sof + count). T keeps its value
// until the edges span enough bits to say better: a few edges close together, each off by up to
// half a sample interval, would pull it far.
void Refit(const std::vector<TraceEdge>& edges, std::size_t sof, std::size_t count, GridFit& fit,
           bool adaptBitTime) {
  double sum[2] = {0, 0}, sumN[2] = {0, 0};
  int n[2] = {0, 0};
  for (std::size_t k = 0; k < count; ++k) {
    const int g = edges[sof + k].toDominant ? 0 : 1;
    sum[g] += edges[sof + k].timeNs;
    sumN[g] += static_cast<double>(fit.bit[k]);
    ++n[g];
  }
  double meanE[2], meanN[2];
  for (int g = 0; g < 2; ++g) {
    meanE[g] = n[g] > 0 ? sum[g] / n[g] : 0;
    meanN[g] = n[g] > 0 ? sumN[g] / n[g] : 0;
  }
  double sxy = 0, sxx = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const int g = edges[sof + k].toDominant ? 0 : 1;
    const double dn = static_cast<double>(fit.bit[k]) - meanN[g];
    sxy += dn * (edges[sof + k].timeNs - meanE[g]);
    sxx += dn * dn;
  }
  if (adaptBitTime && sxx >= kMinBitSpread) fit.bitNs = sxy / sxx;
  fit.dominantNs = meanE[0] - meanN[0] * fit.bitNs;
  // Without edges to recessive yet, they are taken to cross where edges to dominant do.
  fit.recessiveNs = n[1] > 0 ? meanE[1] - meanN[1] * fit.bitNs : fit.dominantNs;
}

// `adaptBitTime`: T follows the edges while they are numbered (for a sender whose clock is off);
// else it stays at the seed until all are numbered (for edges too noisy to steer it).
GridFit FitGrid(const std::vector<TraceEdge>& edges, std::size_t sof, double seedBitNs,
                bool adaptBitTime) {
  GridFit fit;
  fit.bitNs = seedBitNs;
  fit.dominantNs = edges[sof].timeNs;
  fit.recessiveNs = fit.dominantNs;
  const std::size_t count = edges.size() - sof;
  fit.bit.assign(count, 0);
  // Each edge takes its bit number from the edge before it: the distance between neighbours
  // is at most a few bits, so an error in T barely adds up.
  for (std::size_t k = 1; k < count; ++k) {
    const TraceEdge& e = edges[sof + k];
    const TraceEdge& before = edges[sof + k - 1];
    const double offsetE = e.toDominant ? fit.dominantNs : fit.recessiveNs;
    const double offsetB = before.toDominant ? fit.dominantNs : fit.recessiveNs;
    const double bits = (e.timeNs - offsetE - (before.timeNs - offsetB)) / fit.bitNs;
    fit.bit[k] = fit.bit[k - 1] + std::max(1L, std::lround(bits));
    Refit(edges, sof, k + 1, fit, adaptBitTime);
  }
  Refit(edges, sof, count, fit, true);
  if (!(fit.bitNs > 0)) return fit;
  double sumSq = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const TraceEdge& e = edges[sof + k];
    const double r = e.timeNs - (e.toDominant ? fit.dominantNs : fit.recessiveNs) -
                     static_cast<double>(fit.bit[k]) * fit.bitNs;
    sumSq += r * r;
    fit.maxAbsNs = std::max(fit.maxAbsNs, std::abs(r));
  }
  fit.rmsNs = std::sqrt(sumSq / static_cast<double>(count));
  fit.fits = fit.maxAbsNs < kMaxResidualBits * fit.bitNs &&
             std::abs(fit.bitNs / seedBitNs - 1) < kMaxBitTimeDrift;
  return fit;
}

// Narrows the grid down: each edge's midpoint crossing lies between the two samples around
// it, anywhere alike. Over the grids that keep every edge inside its interval (bit time T and
// one offset per direction), the mean is taken: for each T the offsets may lie in a range of
// some width per direction, and T is weighted by the product of those widths.
template <typename BitOf>
GridOffsets OffsetsFor(const CaptureTrace& trace, const std::vector<TraceEdge>& edges,
                       std::size_t sof, BitOf bitOf, double bitNs) {
  GridOffsets b;
  for (std::size_t k = sof; k < edges.size(); ++k) {
    const TraceEdge& e = edges[k];
    const int g = e.toDominant ? 0 : 1;
    const double nT = static_cast<double>(bitOf(k)) * bitNs;
    const double before = e.sample > 0 ? trace.TimeOf(e.sample - 1) : -kHuge;
    b.low[g] = std::max(b.low[g], before - nT);
    b.high[g] = std::min(b.high[g], trace.TimeOf(e.sample) - nT);
  }
  return b;
}

void NarrowGrid(const CaptureTrace& trace, const std::vector<TraceEdge>& edges, std::size_t sof,
                GridFit& fit) {
  if (edges.size() - sof < 3) return;
  auto bitOf = [&](std::size_t k) { return fit.bit[k - sof]; };
  constexpr int kSteps = 2000;
  const double span = 0.01 * fit.bitNs;
  double sumW = 0, sumWT = 0;
  for (int s = 0; s <= kSteps; ++s) {
    const double bitNs = fit.bitNs - span + 2 * span * s / kSteps;
    const GridOffsets b = OffsetsFor(trace, edges, sof, bitOf, bitNs);
    const double w = b.Width(0) * b.Width(1);
    if (w > 0) {
      if (sumW == 0) fit.lowNs = bitNs;
      fit.highNs = bitNs;
    }
    sumW += w;
    sumWT += w * bitNs;
  }
  // Where no grid keeps every edge inside (a stray sample), the least squares stand.
  if (!(sumW > 0)) return;
  fit.bitNs = sumWT / sumW;
  const GridOffsets b = OffsetsFor(trace, edges, sof, bitOf, fit.bitNs);
  if (b.Bounded(0)) fit.dominantNs = b.Middle(0);
  if (b.Bounded(1)) fit.recessiveNs = b.Middle(1);
}

// Reads the bits at the sample point from the edges placed on the grid.
std::vector<DecodedBit> SampleBits(const CaptureTrace& trace, const std::vector<TraceEdge>& edges,
                                   std::size_t sof, const GridFit& fit, double samplePoint) {
  std::vector<DecodedBit> bits;
  const double end = trace.EndNs();
  std::size_t next = sof;  // the first edge not yet passed
  std::uint8_t level = kBitDominant;
  for (long k = 0;; ++k) {
    DecodedBit b;
    b.startNs = fit.dominantNs + static_cast<double>(k) * fit.bitNs;
    b.sampleNs = b.startNs + samplePoint * fit.bitNs;
    if (b.sampleNs > end) break;
    while (next < edges.size()) {
      const TraceEdge& e = edges[next];
      const double placed = (e.toDominant ? fit.dominantNs : fit.recessiveNs) +
                            static_cast<double>(fit.bit[next - sof]) * fit.bitNs;
      if (placed > b.sampleNs) break;
      level = e.toDominant ? kBitDominant : kBitRecessive;
      ++next;
    }
    b.value = level;
    bits.push_back(b);
  }
  return bits;
}

std::uint32_t ValueOf(const std::vector<std::uint8_t>& u, std::size_t from, int width) {
  std::uint32_t v = 0;
  for (int i = 0; i < width; ++i) v = (v << 1) | u[from + static_cast<std::size_t>(i)];
  return v;
}

// Cuts the bits into the frame's fields (see the header).
void ParseFrame(BitDecoding& out) {
  std::vector<DecodedBit>& bits = out.bits;
  std::vector<std::uint8_t> u;   // de-stuffed SOF..CRC
  std::vector<std::size_t> raw;  // the bit index of each
  constexpr std::size_t kUnknown = std::numeric_limits<std::size_t>::max();
  std::size_t crcEnd = kUnknown;
  std::size_t headerEnd = kUnknown;  // de-stuffed bits up to the end of DLC
  int run = 0;
  int last = -1;
  std::size_t i = 0;
  bool stopped = false;
  for (; i < bits.size(); ++i) {
    const std::uint8_t b = bits[i].value;
    if ((crcEnd == kUnknown || u.size() <= crcEnd) && run == 5) {
      if (b == last) {
        bits[i].stuffError = true;
        out.stuffErrors.push_back(i);
        stopped = true;
        break;
      }
      bits[i].stuff = true;
      out.stuffBits.push_back(i);
      last = b;
      run = 1;
      continue;
    }
    if (u.size() == crcEnd) break;
    u.push_back(b);
    raw.push_back(i);
    run = b == last ? run + 1 : 1;
    last = b;
    if (u.size() == 14) headerEnd = u[13] == kBitRecessive ? 39 : 19;
    if (u.size() == headerEnd) {
      const bool extended = headerEnd == 39;
      const bool remote = u[extended ? 32 : 12] == kBitRecessive;
      const std::uint32_t dlc = ValueOf(u, headerEnd - 4, 4);
      const std::size_t bytes = remote ? 0 : std::min<std::uint32_t>(dlc, 8);
      crcEnd = headerEnd + 8 * bytes + 15;
    }
  }

  // The fields the window holds.
  const double bitNs = out.bitTimeNs;
  auto addField = [&](const char* name, std::size_t from, int width) {
    const std::size_t to = from + static_cast<std::size_t>(width) - 1;
    if (to >= u.size()) return false;
    FrameField f;
    f.name = name;
    f.firstBit = raw[from];
    f.lastBit = raw[to];
    f.startNs = bits[f.firstBit].startNs;
    f.endNs = bits[f.lastBit].startNs + bitNs;
    f.value = ValueOf(u, from, width);
    f.width = width;
    out.fields.push_back(f);
    return true;
  };
  if (!addField("SOF", 0, 1)) return;
  addField("ID", 1, 11);
  if (u.size() < 14) return;
  const bool extended = u[13] == kBitRecessive;
  out.extended = extended;
  std::size_t at;
  if (extended) {
    addField("SRR", 12, 1);
    addField("IDE", 13, 1);
    if (addField("EID", 14, 18)) out.id = (ValueOf(u, 1, 11) << 18) | ValueOf(u, 14, 18);
    if (addField("RTR", 32, 1)) out.remote = u[32] == kBitRecessive;
    addField("r1", 33, 1);
    addField("r0", 34, 1);
    at = 35;
  } else {
    out.id = ValueOf(u, 1, 11);
    if (addField("RTR", 12, 1)) out.remote = u[12] == kBitRecessive;
    addField("IDE", 13, 1);
    addField("r0", 14, 1);
    at = 15;
  }
  if (!addField("DLC", at, 4)) return;
  out.dlc = static_cast<std::uint8_t>(ValueOf(u, at, 4));
  at += 4;
  const std::size_t dataEnd = crcEnd - 15;
  static constexpr std::array<const char*, 8> kDataNames = {"D0", "D1", "D2", "D3",
                                                            "D4", "D5", "D6", "D7"};
  for (std::size_t k = 0; at < dataEnd; ++k, at += 8) {
    if (!addField(kDataNames[k], at, 8)) return;
    out.data.push_back(static_cast<std::uint8_t>(ValueOf(u, at, 8)));
  }
  if (!addField("CRC", at, 15)) return;
  out.crc = static_cast<std::uint16_t>(ValueOf(u, at, 15));
  out.crcOk = CanCrc15Of(std::span(u).first(dataEnd)) == *out.crc;
  if (stopped) return;

  // After the CRC: fixed-form bits, no stuffing.
  struct Tail {
    const char* name;
    int width;
    bool mustBeRecessive;
  };
  static constexpr Tail kTail[] = {
      {"CRC delimiter", 1, true}, {"ACK", 1, false}, {"ACK delimiter", 1, true}, {"EOF", 7, true}};
  for (const Tail& t : kTail) {
    if (i + static_cast<std::size_t>(t.width) > bits.size()) return;
    std::uint32_t value = 0;
    for (int k = 0; k < t.width; ++k) {
      const std::uint8_t b = bits[i + static_cast<std::size_t>(k)].value;
      if (t.mustBeRecessive && b != kBitRecessive) {
        out.formError = t.name;
        return;
      }
      value = (value << 1) | b;
    }
    FrameField f;
    f.name = t.name;
    f.firstBit = i;
    f.lastBit = i + static_cast<std::size_t>(t.width) - 1;
    f.startNs = bits[f.firstBit].startNs;
    f.endNs = bits[f.lastBit].startNs + bitNs;
    f.value = value;
    f.width = t.width;
    out.fields.push_back(f);
    if (f.name == "ACK") out.acknowledged = value == kBitDominant;
    i += static_cast<std::size_t>(t.width);
  }
}

// A decoding that stopped at an error, or whose CRC failed.
bool Troubled(const BitDecoding& d) {
  return !d.stuffErrors.empty() || !d.formError.empty() || d.crcOk == false;
}

}  // namespace

GridOffsets FeasibleOffsets(const CaptureTrace& trace, const BitDecoding& decoding, double bitNs) {
  if (!decoding.startOfFrame) return {};
  return OffsetsFor(
      trace, decoding.edges, *decoding.startOfFrame,
      [&](std::size_t k) { return decoding.edges[k].bit; }, bitNs);
}

BitDecoding DecodeBits(const CaptureTrace& trace, const BitTimingChoice& timing) {
  BitDecoding out;
  out.nominalBitNs = timing.BitTimeNs();
  out.samplePoint = std::clamp(timing.samplePointPercent / 100.0, 0.0, 1.0);
  if (trace.volts.size() < 2 || !(trace.intervalNs > 0) || !(out.nominalBitNs > 0)) return out;

  double low = 0, high = 0;
  Cluster(trace.volts, low, high);
  const bool dominantHigh = DominantIsHigh(trace.port);
  out.recessiveVolts = dominantHigh ? low : high;
  out.dominantVolts = dominantHigh ? high : low;
  if (high - low < kMinSwingVolts) return out;
  out.hysteresisVolts = (high - low) / 6;
  out.edges = FindEdges(trace, (low + high) / 2, out.hysteresisVolts);
  out.startOfFrame = FindStartOfFrame(out.edges, kIdleBits * out.nominalBitNs);
  if (!out.startOfFrame) return out;
  const std::size_t sof = *out.startOfFrame;

  // The selected bit rate first; others only when its edges do not fit it or the frame does
  // not decode at it (a bus at another bit rate than the one selected).
  struct Attempt {
    double factor;
    bool adaptBitTime;
  };
  static constexpr Attempt kAttempts[] = {{1, true}, {1, false},   {2, true},  {0.5, true},
                                          {4, true}, {0.25, true}, {2, false}, {0.5, false}};
  std::optional<BitDecoding> fallback;
  for (const auto [factor, adaptBitTime] : kAttempts) {
    GridFit fit = FitGrid(out.edges, sof, out.nominalBitNs * factor, adaptBitTime);
    if (!fit.fits && !(factor == 1 && adaptBitTime)) continue;
    if (fit.fits) NarrowGrid(trace, out.edges, sof, fit);
    BitDecoding d = out;
    d.bitTimeNs = fit.bitNs;
    d.dominantEdgeNs = fit.dominantNs;
    d.recessiveEdgeOffsetNs = fit.recessiveNs - fit.dominantNs;
    d.gridResidualRmsNs = fit.rmsNs;
    d.bitTimeLowNs = fit.lowNs;
    d.bitTimeHighNs = fit.highNs;
    for (std::size_t k = sof; k < d.edges.size(); ++k) {
      TraceEdge& e = d.edges[k];
      e.bit = fit.bit[k - sof];
      e.fittedNs = (e.toDominant ? fit.dominantNs : fit.recessiveNs) +
                   static_cast<double>(e.bit) * fit.bitNs;
      if (std::abs(e.timeNs - e.fittedNs) > kOffGridBits * fit.bitNs) ++d.edgesOffGrid;
    }
    d.bits = SampleBits(trace, d.edges, sof, fit, d.samplePoint);
    ParseFrame(d);
    if (fit.fits && !Troubled(d)) return d;
    if (!fallback) fallback = std::move(d);
  }
  return std::move(*fallback);
}

}  // namespace velqor
