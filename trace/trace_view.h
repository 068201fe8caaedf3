#pragma once
// TraceView: the rows of a TraceStore that a filter lets through, in order, numbered from 0
// (a view row). Without a filter the view is the store itself and costs nothing; with one it
// keeps the ring slots of the matching rows (4 bytes a row that matches).
//
// A new filter looks at the whole store again, oldest row first, a slice at a time (scan()),
// so that the GUI thread stays responsive over millions of rows; meanwhile the view holds the
// rows found so far. New rows are looked at as they arrive (sync()) once the scan has passed
// them. sync() also lets go of the rows the store discarded or cleared and says how many left
// the front of the view, so that whoever shows them can keep its place.
//
// Same thread as the store.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "trace/trace_filter.h"
#include "trace/trace_store.h"

namespace velqor {

class TraceView {
 public:
  explicit TraceView(const TraceStore& store)
      : m_store(store), m_seen(store.firstSeq()), m_first(store.firstSeq()) {}

  // Replaces the filter; the view starts again from the oldest row (scan()).
  void setFilter(const TraceFilter& filter);
  const TraceFilter& filter() const { return m_filter; }
  bool filtered() const { return !m_filter.empty(); }

  // Looks at up to `budget` rows the filter has not seen yet; true when it has seen all.
  bool scan(std::size_t budget);
  bool scanning() const { return !m_caughtUp; }
  // Of the rows the store holds, the part seen (0..1).
  double scanProgress() const;

  // After the store changed: lets go of rows no longer kept, looks at new ones when the scan is
  // through. Returns the number of rows that left the front of the view.
  std::size_t sync();

  std::size_t count() const { return filtered() ? m_index.size() - m_head : m_store.size(); }
  std::uint64_t seqAt(std::size_t row) const {
    return filtered() ? m_store.seqOfSlot(m_index[m_head + row]) : m_store.firstSeq() + row;
  }
  // The first view row whose seq is `seq` or later; count() when none.
  std::size_t lowerBound(std::uint64_t seq) const;

  // The first view row from `from` on (or back from it, when not `forward`) that `what`
  // matches; nothing when none does before the end (the beginning).
  std::optional<std::size_t> find(const TraceFilter& what, std::size_t from, bool forward) const;

 private:
  void look(std::uint64_t to);
  std::size_t prune();

  const TraceStore& m_store;
  TraceFilter m_filter;
  std::vector<std::uint32_t> m_index;  // ring slots of the matching rows, from m_head on
  std::size_t m_head = 0;
  std::uint64_t m_seen;    // rows before this seq have been looked at
  std::uint64_t m_first;   // the store's firstSeq when the view last looked
  bool m_caughtUp = true;  // the filter has seen every row up to the last sync
};

}  // namespace velqor
