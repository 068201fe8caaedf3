// The scheduler's thread on a clock the test moves: it sleeps on the rows' absolute
// deadlines, wakes when a row starts, and never waits while nothing is running.

#include <gtest/gtest.h>

#include "fake_link.h"
#include "transmit/transmit_scheduler.h"

namespace velqor {
namespace {

using namespace std::chrono_literals;

TEST(TransmitSchedulerThread, SleepsUntilEachDeadlineOfTheGrid) {
  test::RecordingLink link;
  SendPath path(link);
  test::ManualClock clock;
  TransmitScheduler scheduler(path, clock, {});
  scheduler.StartThread();
  ASSERT_TRUE(clock.AwaitWaits(1));

  TxRecord record;
  record.id = 0x321;
  scheduler.Start(1, record, 5, 0);  // wakes the thread: the first frame at once
  ASSERT_TRUE(clock.AwaitWaits(2));
  clock.Set(5400us);  // a late wake
  ASSERT_TRUE(clock.AwaitWaits(3));
  clock.Set(10ms);
  ASSERT_TRUE(clock.AwaitWaits(4));
  scheduler.StopThread();

  EXPECT_EQ(clock.Waits(),
            (std::vector<std::chrono::nanoseconds>{TransmitClock::kNever, 5ms, 10ms, 15ms}));
  EXPECT_EQ(link.Blocks().size(), 3u);
  EXPECT_EQ(scheduler.Counters(1)->sent, 3u);
}

}  // namespace
}  // namespace velqor
