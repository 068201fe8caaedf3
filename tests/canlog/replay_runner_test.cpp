// The replay runner's thread against the real clock.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "canlog/replay.h"
#include "tests/canlog/canlog_test_util.h"

namespace velqor {
namespace {

using testing::Recording;

TEST(ReplayRunner, PlaysAFileAgainstTheRealClockToTheEnd) {
  const Recording rec({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  std::mutex m;
  std::condition_variable cv;
  bool finished = false;
  struct AnsweringSender : ReplaySender {
    ReplayRunner* runner = nullptr;
    bool Send(const CanFrame&) override {
      runner->OnSendResult(true);
      return true;
    }
  } sender;
  auto engine = std::make_unique<ReplayEngine>(rec.Opener(), ReplayOptions{.speed = 4}, sender);
  ReplayRunner runner(std::move(engine), [&] {
    std::lock_guard lock(m);
    finished = true;
    cv.notify_one();
  });
  sender.runner = &runner;
  runner.Start();
  std::unique_lock lock(m);
  ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return finished; }));
  EXPECT_TRUE(runner.Finished());
  EXPECT_EQ(runner.Stats().sent, 10u);
  EXPECT_EQ(runner.Stats().succeeded, 10u);
  EXPECT_TRUE(runner.Error().empty());
}

}  // namespace
}  // namespace velqor
