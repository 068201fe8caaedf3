#include "link/ring_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Write and DropUntil against the same work done one element at a time (Push, Pop), from
// every head position of a small ring, so that each crosses the wrap.
TEST(TRingBuf, WriteAndDropUntilDoWhatPushAndPopDo) {
  constexpr std::uint32_t kCapacity = 7;
  const unsigned char data[] = {1, 9, 2, 9, 3, 4, 5, 6};
  for (int shift = 0; shift < 7; ++shift) {
    for (std::uint32_t length = 0; length <= 8; ++length) {
      TRingBuf<unsigned char> fast(kCapacity), slow(kCapacity);
      for (int i = 0; i < shift; ++i) {  // moves head and tail on
        fast.Push(0);
        fast.Pop();
        slow.Push(0);
        slow.Pop();
      }
      fast.Push(8);
      slow.Push(8);
      EXPECT_EQ(fast.Write(data, length), kCapacity - std::min(length + 1, kCapacity));
      for (std::uint32_t i = 0; i < length && slow.GetCount() < 7; ++i) slow.Push(data[i]);
      int popped = 0;
      while (slow.GetCount() > 0 && slow.Peek(0) != 9) {
        slow.Pop();
        ++popped;
      }
      EXPECT_EQ(fast.DropUntil(9), popped) << shift << " " << length;
      EXPECT_EQ(fast.GetHead(), slow.GetHead());
      EXPECT_EQ(fast.GetTail(), slow.GetTail());
      ASSERT_EQ(fast.GetCount(), slow.GetCount());
      while (slow.GetCount() > 0) EXPECT_EQ(fast.Pop(), slow.Pop());
    }
  }
}

}  // namespace
}  // namespace velqor
