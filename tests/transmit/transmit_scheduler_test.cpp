// The scheduler driven by hand: a clock the test sets, RunDue called where the thread would
// wake, a link that records the reports.

#include "transmit/transmit_scheduler.h"

#include <gtest/gtest.h>

#include "fake_link.h"

namespace velqor {
namespace {

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

// The frames of one report, read by hand: SendCanFrame is 18 bytes, FC 10 02 01, then ide,
// identifier (4 bytes, big-endian), DLC and 8 data bytes.
struct Sent {
  std::uint32_t id;
  std::uint8_t data0;
  bool operator==(const Sent&) const = default;
};
std::vector<Sent> FramesOf(const std::vector<std::uint8_t>& block) {
  std::vector<Sent> frames;
  for (std::size_t i = 0; i + 18 <= block.size(); i += 18) {
    EXPECT_EQ(block[i], 0xFC);
    EXPECT_EQ(block[i + 1], 0x10);
    frames.push_back({(std::uint32_t{block[i + 5]} << 24) | (std::uint32_t{block[i + 6]} << 16) |
                          (std::uint32_t{block[i + 7]} << 8) | block[i + 8],
                      block[i + 10]});
  }
  return frames;
}

class Scheduler : public ::testing::Test {
 protected:
  TransmitScheduler::Options Options() {
    TransmitScheduler::Options o;
    o.onEvent = [this] { ++notified; };
    return o;
  }
  TxRecord Record(std::uint32_t id) {
    TxRecord r;
    r.id = id;
    r.dlc = 1;
    return r;
  }
  // RunDue at `t`; the reports it wrote.
  std::vector<std::vector<std::uint8_t>> At(nanoseconds t) {
    const std::size_t before = link.blocks.size();
    clock.Set(t);
    next = scheduler.RunDue();
    return {link.blocks.begin() + static_cast<std::ptrdiff_t>(before), link.blocks.end()};
  }
  RowCounters Row(int row) { return scheduler.Counters(row).value(); }

  test::RecordingLink link;
  SendPath path{link};
  test::ManualClock clock;
  int notified = 0;
  TransmitScheduler scheduler{path, clock, Options()};
  nanoseconds next{0};
};

TEST_F(Scheduler, KeepsAbsoluteDeadlinesOnTheMillisecondGrid) {
  clock.Set(300us);
  ASSERT_TRUE(scheduler.Start(1, Record(0x100), 10, 0));
  EXPECT_TRUE(At(300us).empty());
  EXPECT_EQ(next, 1ms);  // the next whole millisecond
  EXPECT_EQ(At(1ms).size(), 1u);
  EXPECT_EQ(next, 11ms);
  EXPECT_EQ(At(14ms).size(), 1u);  // 3 ms late: the next deadline does not move
  EXPECT_EQ(next, 21ms);
  EXPECT_EQ(At(45500us).size(), 1u);  // 21 and 31 missed: one frame, no burst
  EXPECT_EQ(next, 51ms);
  EXPECT_EQ(Row(1).sent, 3u);
  EXPECT_EQ(Row(1).skipped, 2u);
  EXPECT_FALSE(scheduler.Start(2, Record(1), 0, 0));
  EXPECT_FALSE(scheduler.Start(2, Record(1), 60001, 0));
}

TEST_F(Scheduler, PacksFramesDueInTheSameMillisecondIntoFullReports) {
  for (int row = 1; row <= 4; ++row) scheduler.Start(row, Record(row), 1, 0);
  scheduler.Start(5, Record(5), 2, 0);
  const auto first = At(0ms);
  ASSERT_EQ(first.size(), 2u);  // 64 bytes hold three SendCanFrame commands
  EXPECT_EQ(FramesOf(first[0]), (std::vector<Sent>{{1, 0}, {2, 0}, {3, 0}}));
  EXPECT_EQ(FramesOf(first[1]), (std::vector<Sent>{{4, 0}, {5, 0}}));
  const auto second = At(1ms);
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(FramesOf(second[1]), (std::vector<Sent>{{4, 0}}));
  scheduler.StopAll();

  // Started at different moments of one millisecond, due together at its end.
  clock.Set(1200us);
  scheduler.Start(6, Record(6), 100, 0);
  clock.Set(1700us);
  scheduler.Start(7, Record(7), 100, 0);
  const auto together = At(2ms);
  ASSERT_EQ(together.size(), 1u);
  EXPECT_EQ(FramesOf(together[0]), (std::vector<Sent>{{6, 0}, {7, 0}}));
}

TEST_F(Scheduler, SendsTheCountThenFinishesAndStopsOnRequest) {
  scheduler.Start(1, Record(1), 5, 3);
  scheduler.Start(2, Record(2), 5, 0);
  At(0ms);
  At(5ms);
  scheduler.Stop(2);
  At(10ms);
  At(15ms);
  EXPECT_EQ(Row(1).sent, 3u);
  EXPECT_EQ(Row(1).stop, RowStop::Finished);
  EXPECT_EQ(Row(2).sent, 2u);
  EXPECT_EQ(Row(2).stop, RowStop::Stopped);
  EXPECT_EQ(next, TransmitClock::kNever);
  const auto events = scheduler.TakeEvents();
  ASSERT_EQ(events.size(), 1u);  // a stop on request is not announced
  EXPECT_EQ(events[0].row, 1);
  EXPECT_EQ(events[0].why, RowStop::Finished);
  EXPECT_EQ(notified, 1);
}

TEST_F(Scheduler, AnEditGoesOutWithTheNextFrameAndBadDataStopsTheRowOnce) {
  TxRowText text{"123", 2, false, "11 22"};
  ASSERT_TRUE(scheduler.Start(1, text, 10, 0));
  EXPECT_EQ(FramesOf(At(0ms)[0]), (std::vector<Sent>{{0x123, 0x11}}));
  text.data = "33 44";
  scheduler.Edit(1, text);
  EXPECT_EQ(FramesOf(At(10ms)[0]), (std::vector<Sent>{{0x123, 0x33}}));
  text.data = "55";  // one pair for DLC 2
  scheduler.Edit(1, text);
  scheduler.Edit(1, text);
  EXPECT_TRUE(At(20ms).empty());
  EXPECT_TRUE(At(30ms).empty());
  const auto events = scheduler.TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].why, RowStop::BadData);
  EXPECT_EQ(events[0].missingItem, 1);

  // Bad text at the start: nothing starts, the error is announced.
  EXPECT_FALSE(scheduler.Start(2, TxRowText{"1", 3, false, "AA"}, 10, 0));
  EXPECT_EQ(scheduler.TakeEvents().at(0).missingItem, 1);
  EXPECT_TRUE(At(40ms).empty());
}

TEST_F(Scheduler, TenFailedAnswersInARowStopTheRowAndForeignAnswersDoNotCount) {
  scheduler.Start(1, Record(1), 1, 0);
  for (int i = 0; i < 9; ++i) {
    path.SendToDevice(SendCanFrame(Record(2)));  // a one-shot SEND before the row's frame
    At(nanoseconds(i * 1ms));
    scheduler.OnSendResult(kResultOk);  // the one-shot's answer
    scheduler.OnSendResult(kResultFailed);
  }
  At(9ms);
  scheduler.OnSendResult(kResultOk);  // nine, then one through: the run starts again
  EXPECT_EQ(Row(1).failuresInARow, 0);
  for (int i = 10; i < 20; ++i) {
    EXPECT_TRUE(Row(1).running) << i;
    At(nanoseconds(i * 1ms));
    scheduler.OnSendResult(kResultFailed);
  }
  EXPECT_FALSE(Row(1).running);
  EXPECT_EQ(Row(1).stop, RowStop::Failing);
  EXPECT_EQ(Row(1).failed, 19u);
  EXPECT_EQ(Row(1).confirmed, 1u);
  EXPECT_EQ(scheduler.TakeEvents().size(), 1u);

  // "Out of range" can never go better: the row stops at the first.
  scheduler.Start(3, TxRowText{"800", 0, false, ""}, 1, 0);
  At(30ms);
  scheduler.OnSendResult(kResultOutOfRange);
  EXPECT_EQ(Row(3).stop, RowStop::OutOfRange);
}

// Another sender on the same path (the window's slcan share) takes its owner from the path:
// the rows never hold it, so its answers are never counted as theirs.
TEST_F(Scheduler, AnotherSendersOwnerIsNeverARows) {
  const SendPath::Owner other = path.NewOwner();
  scheduler.Start(1, Record(1), 1, 0);
  path.SendOwned(SendCanFrame(Record(2)), std::vector<SendPath::Owner>{other});
  At(0ms);
  const std::optional<SendPath::Owner> first = path.TakeAnswer(kResultFailed);
  ASSERT_EQ(first, other);
  EXPECT_FALSE(scheduler.OnSendAnswer(*first, kResultFailed));
  EXPECT_TRUE(scheduler.OnSendAnswer(*path.TakeAnswer(kResultOk), kResultOk));
  EXPECT_EQ(Row(1).failed, 0u);
  EXPECT_EQ(Row(1).confirmed, 1u);
}

TEST_F(Scheduler, TenRefusedFramesInARowStopTheRow) {
  link.refuse = true;
  scheduler.Start(1, Record(1), 1, 0);
  for (int i = 0; i < 12; ++i) At(nanoseconds(i * 1ms));
  EXPECT_EQ(Row(1).unsent, 10u);
  EXPECT_EQ(Row(1).sent, 0u);
  EXPECT_EQ(Row(1).stop, RowStop::Unsent);
}

TEST_F(Scheduler, AGeneratorRowCatchesUpWithItsRate) {
  scheduler.StartGenerator(1, 3000, 7, [this](std::uint64_t n) { return Record(0x10 + n); });
  EXPECT_EQ(FramesOf(At(0ms)[0]), (std::vector<Sent>{{0x10, 0}}));
  const auto late = At(1ms);  // 1/3, 2/3 and 3/3 ms: three frames in one report
  ASSERT_EQ(late.size(), 1u);
  EXPECT_EQ(FramesOf(late[0]), (std::vector<Sent>{{0x11, 0}, {0x12, 0}, {0x13, 0}}));
  EXPECT_EQ(At(5ms).size(), 1u);  // the count ends it after three more
  EXPECT_EQ(Row(1).sent, 7u);
  EXPECT_EQ(Row(1).stop, RowStop::Finished);
}

}  // namespace
}  // namespace velqor
