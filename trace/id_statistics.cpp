#include "trace/id_statistics.h"

namespace velqor {

std::int64_t IdStatistics::Entry::lastIntervalUs() const {
  if (count < 2) return -1;
  const int previous = (newest + kMeanOf) % (kMeanOf + 1);
  return times[static_cast<std::size_t>(newest)] - times[static_cast<std::size_t>(previous)];
}

double IdStatistics::Entry::meanIntervalUs() const {
  if (count < 2) return -1;
  const int intervals = count > kMeanOf ? kMeanOf : static_cast<int>(count - 1);
  const int oldest = (newest + kMeanOf + 1 - intervals) % (kMeanOf + 1);
  return static_cast<double>(times[static_cast<std::size_t>(newest)] -
                             times[static_cast<std::size_t>(oldest)]) /
         intervals;
}

void IdStatistics::add(std::span<const CanFrame> frames) {
  for (const CanFrame& f : frames) {
    Entry& e = m_entries[f.id];
    if (f.tx()) {
      ++e.txCount;
      continue;
    }
    if (e.count != 0) e.newest = (e.newest + 1) % (kMeanOf + 1);
    e.times[static_cast<std::size_t>(e.newest)] = f.time.steadyUs;
    ++e.count;
  }
}

const IdStatistics::Entry* IdStatistics::find(std::uint32_t id) const {
  const auto it = m_entries.find(id);
  return it == m_entries.end() ? nullptr : &it->second;
}

}  // namespace velqor
