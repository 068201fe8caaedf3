#include "terminal/terminal_staging.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace velqor {
namespace {

using Item = TerminalStaging::TransmitItem;
using Kind = Item::Kind;

TEST(TerminalStaging, AsksForOnePostPerBatch) {
  TerminalStaging staging;
  const std::uint8_t bytes[] = {1, 2};
  EXPECT_TRUE(staging.AddReceived(bytes));
  EXPECT_FALSE(staging.AddSent(bytes));
  EXPECT_FALSE(staging.AddProgress("line"));
  staging.Take();
  EXPECT_TRUE(staging.AddProgress("next"));
}

TEST(TerminalStaging, KeepsTheTransmitOutputsInCallOrder) {
  TerminalStaging staging;
  const std::uint8_t first[] = {0xFC, 0x02};
  const std::uint8_t second[] = {0x03};
  staging.AddSent(first);
  staging.AddProgress("送信：FC02");
  staging.AddSent(second);
  const TerminalStaging::Batch batch = staging.Take();
  ASSERT_EQ(batch.transmit.size(), 3u);
  EXPECT_EQ(batch.transmit[0], (Item{Kind::Sent, {0xFC, 0x02}, {}}));
  EXPECT_EQ(batch.transmit[1], (Item{Kind::Progress, {}, "送信：FC02"}));
  EXPECT_EQ(batch.transmit[2], (Item{Kind::Sent, {0x03}, {}}));
  EXPECT_EQ(batch.transmitSkipped, 0u);
  EXPECT_TRUE(staging.Take().transmit.empty());
}

TEST(TerminalStaging, ABatchOfReceivedBytesKeepsTheNewestAndCountsTheRest) {
  TerminalStaging staging;
  std::vector<std::uint8_t> report(64);
  std::uint64_t total = 0;
  for (int r = 0; r < 3000; ++r) {  // 192 000 bytes, far beyond a pane
    for (std::size_t i = 0; i < report.size(); ++i)
      report[i] = static_cast<std::uint8_t>(total + i);
    staging.AddReceived(report);
    total += report.size();
  }
  const TerminalStaging::Batch batch = staging.Take();
  ASSERT_EQ(batch.received.size(), TerminalStaging::kMaxReceived);
  EXPECT_EQ(batch.receivedSkipped, total - TerminalStaging::kMaxReceived);
  // The last byte staged is the last byte of the batch, and the bytes run on without a gap.
  EXPECT_EQ(batch.received.back(), static_cast<std::uint8_t>(total - 1));
  for (std::size_t i = 1; i < batch.received.size(); ++i) {
    ASSERT_EQ(static_cast<std::uint8_t>(batch.received[i - 1] + 1), batch.received[i]);
  }
}

TEST(TerminalStaging, ATransmitBacklogDropsItsOldestItemsAndCountsThem) {
  TerminalStaging staging;
  const std::vector<std::uint8_t> block(1000, 0xAA);
  const std::size_t count = TerminalStaging::kMaxTransmit / 1000 + 100;
  for (std::size_t i = 0; i < count; ++i) staging.AddSent(block);
  staging.AddProgress("last");
  const TerminalStaging::Batch batch = staging.Take();
  EXPECT_GT(batch.transmitSkipped, 0u);
  EXPECT_EQ(batch.transmitSkipped + batch.transmit.size(), count + 1);
  EXPECT_EQ(batch.transmit.back().text, "last");
}

TEST(TerminalStaging, ConcurrentCallersLoseNothingBelowTheBounds) {
  TerminalStaging staging;
  constexpr int kThreads = 4;
  constexpr int kBlocks = 2000;
  std::atomic<int> posts{0};
  std::atomic<bool> done{false};
  std::uint64_t sentTaken = 0;
  std::uint64_t receivedTaken = 0;
  int batchesTaken = 0;
  std::thread consumer([&] {
    while (true) {
      const bool last = done.load();
      const TerminalStaging::Batch batch = staging.Take();
      const std::uint64_t sent = batch.transmit.size() + batch.transmitSkipped;
      const std::uint64_t received = batch.received.size() + batch.receivedSkipped;
      sentTaken += sent;
      receivedTaken += received;
      batchesTaken += (sent + received) > 0 ? 1 : 0;
      if (last) break;
      std::this_thread::yield();
    }
  });
  {
    std::vector<std::jthread> producers;
    for (int t = 0; t < kThreads; ++t) {
      producers.emplace_back([&] {
        const std::uint8_t bytes[] = {1, 2, 3, 4};
        for (int i = 0; i < kBlocks; ++i) {
          if (staging.AddSent(bytes)) ++posts;
          if (staging.AddReceived(bytes)) ++posts;
        }
      });
    }
  }
  done = true;
  consumer.join();
  EXPECT_EQ(sentTaken, std::uint64_t{kThreads} * kBlocks);
  EXPECT_EQ(receivedTaken, std::uint64_t{kThreads} * kBlocks * 4);
  // Exactly one post asked for per batch that had something in it: none lost (a batch that
  // would wait for a post nobody makes), none doubled.
  EXPECT_EQ(posts.load(), batchesTaken);
}

}  // namespace
}  // namespace velqor
