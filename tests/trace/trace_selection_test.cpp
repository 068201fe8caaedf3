#include "trace/trace_selection.h"

#include <gtest/gtest.h>

namespace velqor {
namespace {

using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

// Ranges stay disjoint and in order through additions that touch, overlap or lie apart, and
// a toggle inside a range splits it.
TEST(TraceSelection, MergesTouchingRangesAndSplitsOnToggle) {
  TraceSelection s;
  s.set(20, 10);
  s.add(30, 35);
  s.add(0, 2);
  EXPECT_EQ(s.ranges(), (Ranges{{0, 2}, {10, 20}, {30, 35}}));
  s.add(21, 29);  // touches both neighbours
  EXPECT_EQ(s.ranges(), (Ranges{{0, 2}, {10, 35}}));
  s.toggle(15);
  EXPECT_EQ(s.ranges(), (Ranges{{0, 2}, {10, 14}, {16, 35}}));
  EXPECT_FALSE(s.contains(15));
  EXPECT_TRUE(s.contains(16));
  EXPECT_FALSE(s.contains(3));
  s.toggle(15);
  s.toggle(0);
  s.toggle(1);
  s.toggle(2);
  EXPECT_EQ(s.ranges(), (Ranges{{10, 35}}));
  s.set(5, 5);
  EXPECT_EQ(s.ranges(), (Ranges{{5, 5}}));
}

}  // namespace
}  // namespace velqor
