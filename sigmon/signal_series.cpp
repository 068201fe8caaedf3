#include "sigmon/signal_series.h"

#include <algorithm>
#include <cmath>

namespace velqor {

SignalSeries::SignalSeries(std::size_t capacity)
    : m_capacity(std::max<std::size_t>(1, (capacity + kChunk - 1) / kChunk) * kChunk) {}

SignalSeries::~SignalSeries() = default;

void SignalSeries::fold(const Chunk& c, Summary& s, std::uint32_t at) {
  const double v = c.v[at];
  if (std::isnan(v)) return;
  if (!s.any) {
    s = {at, at, true};
    return;
  }
  if (v < c.v[s.min]) s.min = at;
  if (v > c.v[s.max]) s.max = at;
}

void SignalSeries::append(double t, double v) {
  if (m_size > 0 && !(t >= m_lastT)) t = m_lastT;
  if (m_chunks.empty() || m_chunks.back()->count == kChunk) {
    if (!m_chunks.empty() && (m_chunks.size() + 1) * kChunk > m_capacity) {
      m_spare.push_back(std::move(m_chunks.front()));
      m_chunks.pop_front();
      m_size -= kChunk;
      m_dropped += kChunk;
    }
    std::unique_ptr<Chunk> c;
    if (!m_spare.empty()) {
      c = std::move(m_spare.back());
      m_spare.pop_back();
    } else {
      c.reset(new Chunk);  // the points are written before they are read
    }
    c->count = 0;
    c->whole = {};
    c->blocks.fill({});
    m_chunks.push_back(std::move(c));
  }
  Chunk& c = *m_chunks.back();
  const auto at = static_cast<std::uint32_t>(c.count);
  c.t[at] = t;
  c.v[at] = v;
  fold(c, c.blocks[at / kBlock], at);
  fold(c, c.whole, at);
  ++c.count;
  ++m_size;
  m_lastT = t;
}

void SignalSeries::clear() {
  while (!m_chunks.empty()) {
    if (m_spare.empty()) m_spare.push_back(std::move(m_chunks.back()));
    m_chunks.pop_back();
  }
  m_size = 0;
  m_dropped = 0;
  m_lastT = 0;
}

std::optional<PlotPoint> SignalSeries::first() const {
  if (m_size == 0) return std::nullopt;
  return point(0);
}

std::optional<PlotPoint> SignalSeries::last() const {
  if (m_size == 0) return std::nullopt;
  return point(m_size - 1);
}

std::size_t SignalSeries::lowerBound(double t) const {
  // The first chunk whose last point is not before t, then the point inside it.
  const auto c = std::partition_point(m_chunks.begin(), m_chunks.end(),
                                      [t](const auto& ch) { return ch->t[ch->count - 1] < t; });
  if (c == m_chunks.end()) return m_size;
  const Chunk& ch = **c;
  const auto at = std::lower_bound(ch.t.begin(), ch.t.begin() + ch.count, t) - ch.t.begin();
  return static_cast<std::size_t>(c - m_chunks.begin()) * kChunk + static_cast<std::size_t>(at);
}

std::size_t SignalSeries::upperBound(double t) const {
  const auto c = std::partition_point(m_chunks.begin(), m_chunks.end(),
                                      [t](const auto& ch) { return ch->t[ch->count - 1] <= t; });
  if (c == m_chunks.end()) return m_size;
  const Chunk& ch = **c;
  const auto at = std::upper_bound(ch.t.begin(), ch.t.begin() + ch.count, t) - ch.t.begin();
  return static_cast<std::size_t>(c - m_chunks.begin()) * kChunk + static_cast<std::size_t>(at);
}

std::optional<std::size_t> SignalSeries::atOrBefore(double t) const {
  const std::size_t after = upperBound(t);
  if (after == 0) return std::nullopt;
  return after - 1;
}

void SignalSeries::mergePoint(std::optional<Extremes>& e, std::size_t i) const {
  const double v = value(i);
  if (std::isnan(v)) return;
  if (!e) {
    e = Extremes{i, i};
    return;
  }
  if (v < value(e->min)) e->min = i;
  if (v > value(e->max)) e->max = i;
}

void SignalSeries::merge(std::optional<Extremes>& e, std::size_t chunkBase, const Chunk& c,
                         const Summary& s) const {
  if (!s.any) return;
  // The summary's lowest comes first among equals in its range, which lies after everything
  // merged so far: merging it in index order keeps the first occurrence.
  const std::size_t lo = chunkBase + s.min;
  const std::size_t hi = chunkBase + s.max;
  if (!e) {
    e = Extremes{lo, hi};
    return;
  }
  if (c.v[s.min] < value(e->min)) e->min = lo;
  if (c.v[s.max] > value(e->max)) e->max = hi;
}

std::optional<SignalSeries::Extremes> SignalSeries::extremes(std::size_t i, std::size_t j) const {
  std::optional<Extremes> e;
  j = std::min(j, m_size);
  while (i < j) {
    const std::size_t base = i - i % kChunk;
    const Chunk& c = chunk(i);
    const std::size_t offset = i - base;
    if (offset == 0 && j >= base + c.count) {
      merge(e, base, c, c.whole);
      i = base + c.count;
    } else if (offset % kBlock == 0 && offset + kBlock <= c.count && j >= i + kBlock) {
      merge(e, base, c, c.blocks[offset / kBlock]);
      i += kBlock;
    } else {
      mergePoint(e, i);
      ++i;
    }
  }
  return e;
}

void SignalSeries::decimate(double t0, double t1, int columns, std::vector<PlotPoint>& out) const {
  out.clear();
  if (m_size == 0 || columns <= 0 || !(t1 > t0)) return;
  auto put = [&](std::size_t k) {
    const PlotPoint p = point(k);
    if (!std::isnan(p.v)) out.push_back(p);
  };
  std::size_t i = lowerBound(t0);
  const std::size_t end = upperBound(t1);
  if (i > 0) put(i - 1);
  const double dt = (t1 - t0) / columns;
  // The first point of [lo, hi) at or after t.
  auto lowerBoundIn = [this](std::size_t lo, std::size_t hi, double t) {
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (time(mid) < t) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  };
  while (i < end) {
    const double column = std::floor((time(i) - t0) / dt);
    std::size_t next = end;
    if (column < columns - 1) {
      next = lowerBoundIn(i + 1, end, t0 + (column + 1) * dt);
    }
    if (next - i <= 4) {
      for (std::size_t k = i; k < next; ++k) put(k);
    } else {
      std::size_t picks[4] = {i, i, next - 1, next - 1};
      if (const std::optional<Extremes> e = extremes(i, next)) {
        picks[1] = std::min(e->min, e->max);
        picks[2] = std::max(e->min, e->max);
      }
      for (int k = 0; k < 4; ++k) {
        if (k == 0 || picks[k] != picks[k - 1]) put(picks[k]);
      }
    }
    i = next;
  }
  if (end < m_size) put(end);
}

}  // namespace velqor
