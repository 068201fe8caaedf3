#include "link/ring_buffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace velqor {
namespace {

TEST(TRingBuf, StartsEmptyWithHeadOneAndTailZero) {
  TRingBuf<unsigned char> b(4096);
  EXPECT_EQ(b.GetCount(), 0);
  EXPECT_EQ(b.GetHead(), 1);
  EXPECT_EQ(b.GetTail(), 0);
  EXPECT_EQ(b.GetCapacity(), 4096u);
  EXPECT_THROW(TRingBuf<unsigned char>(0), std::invalid_argument);
}

TEST(TRingBuf, PopOnEmptyGivesAllBitsSetAndKeepsCountAtZero) {
  TRingBuf<unsigned char> b(8);
  EXPECT_EQ(b.Pop(), 0xFF);
  EXPECT_EQ(b.GetCount(), 0);
  EXPECT_EQ(b.GetHead(), 1);
  b.Push(7);
  EXPECT_EQ(b.Pop(), 7);
  EXPECT_EQ(b.Pop(), 0xFF);
  EXPECT_EQ(b.GetCount(), 0);
}

TEST(TRingBuf, PeekReadsWithoutRemovingAndGivesZeroBeyondTheCount) {
  TRingBuf<unsigned char> b(8);
  const unsigned char data[] = {10, 20, 30};
  b.Write(data, 3);
  EXPECT_EQ(b.Peek(0), 10);
  EXPECT_EQ(b.Peek(2), 30);
  EXPECT_EQ(b.Peek(4), 0);  // Count < offset
  EXPECT_EQ(b.GetCount(), 3);
}

TEST(TRingBuf, KeepsOrderAcrossTheWrapAndKeepsTheTailInvariant) {
  TRingBuf<unsigned char> b(5);
  std::vector<unsigned char> out;
  unsigned char next = 0;
  for (int round = 0; round < 50; ++round) {
    const int pushes = round % 4 + 1;
    for (int i = 0; i < pushes && static_cast<std::uint32_t>(b.GetCount()) < b.GetCapacity(); ++i) {
      b.Push(next++);
    }
    // Tail = Head + Count - 1 modulo Capacity.
    EXPECT_EQ(b.GetTail(), (b.GetHead() + b.GetCount() - 1 + 5) % 5);
    const int pops = round % 3 + 1;
    for (int i = 0; i < pops && b.GetCount() > 0; ++i) out.push_back(b.Pop());
  }
  while (b.GetCount() > 0) out.push_back(b.Pop());
  ASSERT_EQ(out.size(), next);
  for (std::size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], static_cast<unsigned char>(i));
}

TEST(TRingBuf, WriteStopsWhenFullAndReturnsTheRoomLeft) {
  TRingBuf<unsigned char> b(4);
  const unsigned char data[] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(b.Write(data, 3), 1u);
  EXPECT_EQ(b.Write(data + 3, 3), 0u);
  EXPECT_EQ(b.GetCount(), 4);
  EXPECT_EQ(b.Pop(), 1);
  EXPECT_EQ(b.Pop(), 2);
  EXPECT_EQ(b.Pop(), 3);
  EXPECT_EQ(b.Pop(), 4);  // 5 and 6 were dropped
}

}  // namespace
}  // namespace velqor
