// The real-time runner: live traffic, answers to writes from several threads, clean stop.

#include "sim/sim_runner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim_test_util.h"

namespace velqor {
namespace {

using namespace test;

// What the program side sees; touched only on the runner thread while it runs.
struct Receiver {
  Collector collector;
  TMsgInterpret interpreter{&collector};
  std::atomic<int> received{0};
  std::atomic<int> terminatorAnswers{0};
  std::atomic<bool> version{false};
  std::string console;

  void Attach(SimRunner& runner) {
    runner.SetOnInputReport([this](std::span<const std::uint8_t, kInputReportSize> r) {
      const std::size_t before = collector.seen.size();
      interpreter.Feed(r.data(), static_cast<std::uint32_t>(r.size()));
      for (std::size_t i = before; i < collector.seen.size(); ++i) {
        const Seen& s = collector.seen[i];
        if (s.code == MsgCode::ReceivedFrame) ++received;
        if (s.code == MsgCode::TerminatorState) ++terminatorAnswers;
        if (s.code == MsgCode::FirmwareVersion && std::string(s.message.Text) == "1.07")
          version = true;
      }
    });
    runner.SetOnConsoleOutput([this](std::span<const std::uint8_t> bytes) {
      console.append(bytes.begin(), bytes.end());
    });
  }
};

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 60000ms) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

TEST(SimRunner, RunsLiveAndAnswersWritesFromManyThreads) {
  SimRunner runner;
  Receiver rx;
  rx.Attach(runner);
  runner.Start();
  runner.Write(GetFirmwareVersion());
  std::vector<std::jthread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&runner] {
      for (int i = 0; i < 25; ++i) runner.Write(GetTerminator());
    });
  }
  writers.clear();  // joined
  // Live: the runner keeps stepping on its own, however slowly this machine runs it.
  EXPECT_TRUE(WaitFor([&] {
    return rx.version && rx.terminatorAnswers == 100 && rx.received > 50 &&
           runner.Timing().steps > 10;
  }));
  runner.Stop();

  EXPECT_FALSE(runner.Running());
  EXPECT_EQ(rx.terminatorAnswers, 100);
  // Everything the model reported reached the program, and the console saw the same frames.
  const SimStats stats = runner.Stats();
  EXPECT_EQ(static_cast<std::uint64_t>(rx.received), stats.framesReported);
  EXPECT_EQ(stats.framesDropped, 0u);
  EXPECT_EQ(static_cast<std::uint64_t>(std::count(rx.console.begin(), rx.console.end(), '\n')),
            stats.framesReported);
}

TEST(SimRunner, FloodAtTheBusLimitReachesTheProgram) {
  SimOptions o = Quiet();
  o.console = false;
  SimRunner runner(o);
  Receiver rx;
  rx.Attach(runner);
  runner.Start();
  runner.Write(SetBitTiming(2, 0));
  runner.SetFlood({21300, 2000, 0});
  EXPECT_TRUE(WaitFor([&] { return rx.received > 4000; }));
  runner.SetFlood({});
  runner.Stop();
  EXPECT_EQ(static_cast<std::uint64_t>(rx.received), runner.Stats().framesReported);
  EXPECT_EQ(runner.Stats().framesDropped, 0u);
}

TEST(SimRunner, StopsWithoutStartAndTwiceAndStartsOnce) {
  SimRunner idle;
  idle.Stop();
  EXPECT_FALSE(idle.Running());
  SimRunner runner;
  runner.Start();
  EXPECT_TRUE(runner.Running());
  // The thread steps the model.
  EXPECT_TRUE(WaitFor([&] { return runner.Timing().steps > 0; }));
  runner.Stop();
  runner.Stop();
  EXPECT_FALSE(runner.Running());
  runner.Start();  // a runner starts once
  EXPECT_FALSE(runner.Running());
}

}  // namespace
}  // namespace velqor
