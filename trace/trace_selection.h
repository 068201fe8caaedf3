#pragma once
// TraceSelection: the rows a person selected in the trace, as ranges of seqs (TraceStore), so
// that a selection stays on its rows while rows come and go, the filter changes or the view
// scrolls. A range covers the rows the view showed between its ends; rows the filter hides
// inside it are not selected as far as the view is concerned (whoever uses the selection goes
// through the view's rows and asks contains()).

#include <cstdint>
#include <utility>
#include <vector>

namespace velqor {

class TraceSelection {
 public:
  void clear() { m_ranges.clear(); }
  bool empty() const { return m_ranges.empty(); }
  // Selects [a, b] (either order) alone, or in addition.
  void set(std::uint64_t a, std::uint64_t b);
  void add(std::uint64_t a, std::uint64_t b);
  // Selects `seq` when it is not, unselects it when it is.
  void toggle(std::uint64_t seq);
  bool contains(std::uint64_t seq) const;
  // Disjoint, in order.
  const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges() const { return m_ranges; }

 private:
  std::vector<std::pair<std::uint64_t, std::uint64_t>> m_ranges;
};

}  // namespace velqor
