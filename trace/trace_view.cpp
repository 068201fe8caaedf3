#include "trace/trace_view.h"

#include <algorithm>

namespace velqor {

void TraceView::setFilter(const TraceFilter& filter) {
  m_filter = filter;
  m_index.clear();
  m_index.shrink_to_fit();
  m_head = 0;
  m_first = m_store.firstSeq();
  m_seen = m_first;
  m_caughtUp = !filtered();
}

void TraceView::look(std::uint64_t to) {
  for (std::uint64_t seq = m_seen; seq < to; ++seq) {
    if (m_filter.matches(m_store.at(seq))) m_index.push_back(m_store.slot(seq));
  }
  m_seen = to;
}

bool TraceView::scan(std::size_t budget) {
  if (m_caughtUp) return true;
  prune();
  const std::uint64_t end = m_store.endSeq();
  look(std::min<std::uint64_t>(end, m_seen + budget));
  m_caughtUp = m_seen == end;
  return m_caughtUp;
}

double TraceView::scanProgress() const {
  if (!scanning()) return 1.0;
  const std::uint64_t first = std::max(m_store.firstSeq(), m_first);
  const std::uint64_t total = m_store.endSeq() - first;
  const std::uint64_t seen = m_seen > first ? m_seen - first : 0;
  return total == 0 ? 1.0 : static_cast<double>(seen) / static_cast<double>(total);
}

std::size_t TraceView::prune() {
  const std::uint64_t first = m_store.firstSeq();
  if (first == m_first) return 0;
  const std::uint64_t lost = first - m_first;
  std::size_t gone = 0;
  if (!filtered()) {
    gone = static_cast<std::size_t>(lost);
  } else if (lost >= m_store.capacity() || m_seen <= first) {
    // Every row looked at is gone (cleared, or the ring turned over entirely).
    gone = m_index.size() - m_head;
    m_index.clear();
    m_head = 0;
  } else {
    // A slot tells its row only while the row is kept, so the rows gone are told by their
    // place: every slot in the index belongs to a row from m_first on, and the rows gone are
    // the `lost` slots from m_first's on, in ring order. They lie at the front of the index.
    const std::size_t capacity = m_store.capacity();
    const std::size_t from = static_cast<std::size_t>(m_first % capacity);
    while (m_head < m_index.size() && (m_index[m_head] + capacity - from) % capacity < lost) {
      ++m_head;
      ++gone;
    }
    if (m_head > 4096 && m_head * 2 > m_index.size()) {
      m_index.erase(m_index.begin(), m_index.begin() + static_cast<std::ptrdiff_t>(m_head));
      m_head = 0;
    }
  }
  m_first = first;
  if (m_seen < first) m_seen = first;
  return gone;
}

std::size_t TraceView::sync() {
  const std::size_t gone = prune();
  if (m_caughtUp) {
    if (filtered()) {
      look(m_store.endSeq());
    } else {
      m_seen = m_store.endSeq();
    }
  }
  return gone;
}

std::size_t TraceView::lowerBound(std::uint64_t seq) const {
  if (!filtered()) {
    const std::uint64_t first = m_store.firstSeq();
    if (seq <= first) return 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(seq - first, m_store.size()));
  }
  std::size_t lo = 0;
  std::size_t hi = count();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (seqAt(mid) < seq) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

std::optional<std::size_t> TraceView::find(const TraceFilter& what, std::size_t from,
                                           bool forward) const {
  const std::size_t n = count();
  if (forward) {
    for (std::size_t row = from; row < n; ++row) {
      if (what.matches(m_store.at(seqAt(row)))) return row;
    }
  } else {
    for (std::size_t row = std::min(from + 1, n); row-- > 0;) {
      if (what.matches(m_store.at(seqAt(row)))) return row;
    }
  }
  return std::nullopt;
}

}  // namespace velqor
