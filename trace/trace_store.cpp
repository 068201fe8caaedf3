#include "trace/trace_store.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>
#include <type_traits>

#include "canlog/error_frames.h"

namespace velqor {

namespace {

constexpr std::uint8_t KindBits(TraceRowKind kind) {
  return static_cast<std::uint8_t>(static_cast<std::uint8_t>(kind) << TraceRecord::kKindShift);
}

}  // namespace

TraceStore::TraceStore(std::size_t capacity)
    : m_capacity(std::min(capacity, kMaxCapacity)),
      m_ring(static_cast<TraceRecord*>(
          std::calloc(std::max<std::size_t>(m_capacity, 1), sizeof(TraceRecord)))) {
  // TraceRecord is an aggregate of trivial members: zeroed storage holds valid records.
  static_assert(std::is_trivially_copyable_v<TraceRecord> &&
                std::is_trivially_destructible_v<TraceRecord>);
  if (!m_ring) throw std::bad_alloc();
}

void TraceStore::Free::operator()(TraceRecord* ring) const { std::free(ring); }

void TraceStore::letOldestGo(std::uint64_t count) {
  m_first += count;
  m_discarded += count;
  // The offsets and origins before the oldest row: only the last one still matters.
  std::size_t w = 0;
  while (w + 1 < m_wall.size() && m_wall[w + 1].firstSeq <= m_first) ++w;
  if (w > 0) m_wall.erase(m_wall.begin(), m_wall.begin() + static_cast<std::ptrdiff_t>(w));
  std::size_t o = 0;
  while (o + 1 < m_origins.size() && m_origins[o + 1].seq <= m_first) ++o;
  if (o > 0) m_origins.erase(m_origins.begin(), m_origins.begin() + static_cast<std::ptrdiff_t>(o));
}

TraceRecord& TraceStore::push(const CanTime& time) {
  if (m_end - m_first == m_capacity) letOldestGo(1);
  const std::uint64_t seq = m_end++;
  TraceRecord& r = m_ring[slot(seq)];
  r.steadyUs = time.steadyUs;
  const std::int64_t offset = time.wallUs - time.steadyUs;
  std::int64_t delta =
      m_wall.empty() ? std::numeric_limits<std::int64_t>::max() : offset - m_wall.back().offsetUs;
  if (delta < std::numeric_limits<std::int16_t>::min() ||
      delta > std::numeric_limits<std::int16_t>::max()) {
    m_wall.push_back({seq, offset});
    delta = 0;
  }
  r.wallDeltaUs = static_cast<std::int16_t>(delta);
  if (!m_baseSet) {
    m_baseSet = true;
    m_baseSteadyUs = time.steadyUs;
  }
  return r;
}

void TraceStore::append(std::span<const CanFrame> frames) {
  if (m_capacity == 0) return;
  for (const CanFrame& f : frames) {
    TraceRecord& r = push(f.time);
    r.id = f.id;
    r.dlc = f.dlc;
    r.flags = static_cast<std::uint8_t>(
        (f.flags & (TraceRecord::kRtr | TraceRecord::kTx | TraceRecord::kErrorFrame)) |
        (f.ide != 0 ? TraceRecord::kExtended : 0));
    r.data = f.data;
  }
}

void TraceStore::appendBusError(std::uint8_t errorIndex, std::uint8_t transmitErrors,
                                std::uint8_t receiveErrors, const CanTime& time) {
  if (m_capacity == 0) return;
  TraceRecord& r = push(time);
  r.id = 0;
  r.dlc = 0;
  r.flags = KindBits(TraceRowKind::BusError);
  r.data = {errorIndex, transmitErrors, receiveErrors, 0, 0, 0, 0, 0};
}

void TraceStore::appendSendFailure(std::uint8_t result, const CanTime& time) {
  if (m_capacity == 0) return;
  TraceRecord& r = push(time);
  r.id = 0;
  r.dlc = 0;
  r.flags = static_cast<std::uint8_t>(KindBits(TraceRowKind::SendFailed) | TraceRecord::kTx);
  r.data = {result, 0, 0, 0, 0, 0, 0, 0};
}

void TraceStore::addEvent(TraceRowKind kind, const CanTime& time, std::uint32_t value) {
  if (m_capacity == 0) return;
  TraceRecord& r = push(time);
  r.id = value;
  r.dlc = 0;
  r.flags = KindBits(kind);
  r.data = {};
  if (kind == TraceRowKind::Connected) m_origins.push_back({m_end - 1, time.steadyUs});
}

void TraceStore::clear() {
  m_first = m_end;
  m_discarded = 0;
  // The last offset and origin stay: they belong to the rows to come.
  if (m_wall.size() > 1) m_wall.erase(m_wall.begin(), m_wall.end() - 1);
  if (m_origins.size() > 1) m_origins.erase(m_origins.begin(), m_origins.end() - 1);
  m_baseSet = false;
}

std::int64_t TraceStore::wallOffset(std::uint64_t seq) const {
  // The last offset that starts at or before seq; nearly always the only one.
  auto it = std::upper_bound(m_wall.begin(), m_wall.end(), seq,
                             [](std::uint64_t s, const WallOffset& w) { return s < w.firstSeq; });
  return it == m_wall.begin() ? 0 : std::prev(it)->offsetUs;
}

std::int64_t TraceStore::wallUs(std::uint64_t seq) const {
  const TraceRecord& r = at(seq);
  return r.steadyUs + wallOffset(seq) + r.wallDeltaUs;
}

std::int64_t TraceStore::relativeUs(std::uint64_t seq) const {
  const TraceRecord& r = at(seq);
  auto it = std::upper_bound(m_origins.begin(), m_origins.end(), seq,
                             [](std::uint64_t s, const Origin& o) { return s < o.seq; });
  const std::int64_t origin = it == m_origins.begin() ? m_baseSteadyUs : std::prev(it)->steadyUs;
  return r.steadyUs - origin;
}

std::optional<CanFrame> TraceStore::asFrame(std::uint64_t seq) const {
  const TraceRecord& r = at(seq);
  const CanTime time{r.steadyUs, wallUs(seq)};
  if (r.kind() == TraceRowKind::BusError)
    return BusErrorFrame(r.data[0], r.data[1], r.data[2], time);
  if (!r.isFrame()) return std::nullopt;
  CanFrame f;
  f.id = r.id;
  f.ide = r.extended() ? 1 : 0;
  f.dlc = r.dlc;
  f.flags = r.flags & (TraceRecord::kRtr | TraceRecord::kTx | TraceRecord::kErrorFrame);
  f.data = r.data;
  f.time = time;
  return f;
}

}  // namespace velqor
