#include "trace/trace_selection.h"

#include <algorithm>

namespace velqor {

void TraceSelection::set(std::uint64_t a, std::uint64_t b) {
  m_ranges.clear();
  add(a, b);
}

void TraceSelection::add(std::uint64_t a, std::uint64_t b) {
  if (a > b) std::swap(a, b);
  // Merge with every range that overlaps or touches [a, b].
  std::vector<std::pair<std::uint64_t, std::uint64_t>> merged;
  merged.reserve(m_ranges.size() + 1);
  bool placed = false;
  for (const auto& r : m_ranges) {
    if (r.second + 1 < a) {
      merged.push_back(r);
    } else if (b + 1 < r.first) {
      if (!placed) merged.emplace_back(a, b);
      placed = true;
      merged.push_back(r);
    } else {
      a = std::min(a, r.first);
      b = std::max(b, r.second);
    }
  }
  if (!placed) merged.emplace_back(a, b);
  m_ranges = std::move(merged);
}

void TraceSelection::toggle(std::uint64_t seq) {
  auto it = std::find_if(m_ranges.begin(), m_ranges.end(),
                         [seq](const auto& r) { return seq >= r.first && seq <= r.second; });
  if (it == m_ranges.end()) {
    add(seq, seq);
    return;
  }
  const auto [first, last] = *it;
  it = m_ranges.erase(it);
  if (seq < last) it = m_ranges.insert(it, {seq + 1, last});
  if (seq > first) m_ranges.insert(it, {first, seq - 1});
}

bool TraceSelection::contains(std::uint64_t seq) const {
  auto it = std::upper_bound(m_ranges.begin(), m_ranges.end(), seq,
                             [](std::uint64_t s, const auto& r) { return s < r.first; });
  return it != m_ranges.begin() && seq <= std::prev(it)->second;
}

}  // namespace velqor
