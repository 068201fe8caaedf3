// The replay engine driven with chosen times and a recording sender: no clock, no sleeps.

#include "canlog/replay.h"

#include <gtest/gtest.h>

#include "tests/canlog/canlog_test_util.h"
#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

using testing::Recording;
using Kind = ReplayEngine::Wait::Kind;

struct Sent {
  std::int64_t atUs;
  std::uint32_t id;
};

class RecordingSender : public ReplaySender {
 public:
  bool Send(const CanFrame& frame) override {
    EXPECT_TRUE(frame.tx());
    sent.push_back({now, frame.id});
    return accept;
  }
  std::int64_t now = 0;
  bool accept = true;
  std::vector<Sent> sent;
};

// Polls as the runner does, each time at the time the engine asked for, answering every frame
// at once; returns the sends.
std::vector<Sent> RunToTheEnd(ReplayEngine& engine, RecordingSender& sender,
                              std::int64_t start = 5000) {
  sender.now = start;
  for (int guard = 0; guard < 1000; ++guard) {
    const auto sentBefore = sender.sent.size();
    const ReplayEngine::Wait w = engine.Poll(sender.now);
    for (std::size_t i = sentBefore; i < sender.sent.size(); ++i) engine.OnSendResult(true);
    if (w.kind == Kind::Done) return sender.sent;
    if (w.kind == Kind::Until) sender.now = w.untilUs;
  }
  ADD_FAILURE() << "the replay did not end";
  return sender.sent;
}

TEST(ReplayEngine, KeepsTheRecordedIntervalsScaledByTheSpeed) {
  const Recording rec({0, 10, 30, 30, 1030});
  struct {
    double speed;
    std::vector<std::int64_t> offsetsUs;
  } const cases[] = {
      {1, {0, 10000, 30000, 30000, 1030000}},
      {2, {0, 5000, 15000, 15000, 515000}},
      {0.25, {0, 40000, 120000, 120000, 4120000}},
      {4, {0, 2500, 7500, 7500, 257500}},
  };
  for (const auto& c : cases) {
    RecordingSender sender;
    ReplayEngine engine(rec.Opener(), {.speed = c.speed}, sender);
    const std::vector<Sent> sent = RunToTheEnd(engine, sender);
    ASSERT_EQ(sent.size(), c.offsetsUs.size()) << c.speed;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(sent[i].atUs - 5000, c.offsetsUs[i]) << "speed " << c.speed << " frame " << i;
      EXPECT_EQ(sent[i].id, 0x100 + i);
    }
    EXPECT_EQ(engine.Stats().succeeded, sent.size());
    EXPECT_EQ(engine.Stats().maxLateUs, 0);
  }
}

TEST(ReplayEngine, AsFastAsTheLinkAllowsKeepsAtMostTheWindowInFlight) {
  const Recording rec({0, 1000, 2000, 3000, 4000});
  RecordingSender sender;
  ReplayEngine engine(rec.Opener(), {.speed = 0, .maxInFlight = 2}, sender);
  ReplayEngine::Wait w = engine.Poll(0);
  EXPECT_EQ(w.kind, Kind::Result);
  EXPECT_EQ(sender.sent.size(), 2u);  // all due at once; two without a result
  engine.OnSendResult(true);
  w = engine.Poll(0);
  EXPECT_EQ(sender.sent.size(), 3u);
  engine.OnSendResult(false);  // the bus refused one
  engine.OnSendResult(true);
  engine.Poll(1);
  EXPECT_EQ(sender.sent.size(), 5u);
  engine.OnSendResult(true);
  engine.OnSendResult(true);
  EXPECT_EQ(engine.Poll(2).kind, Kind::Done);
  EXPECT_EQ(engine.Stats().succeeded, 4u);
  EXPECT_EQ(engine.Stats().failed, 1u);
}

TEST(ReplayEngine, AFrameWithoutResultFailsAfterTheTimeOutAndTheReplayGoesOn) {
  const Recording rec({0, 0});
  RecordingSender sender;
  ReplayEngine engine(rec.Opener(),
                      {.speed = 0, .maxInFlight = 1, .resultTimeout = std::chrono::seconds(1)},
                      sender);
  ReplayEngine::Wait w = engine.Poll(0);
  EXPECT_EQ(w.kind, Kind::Result);
  EXPECT_EQ(w.untilUs, 1000000);
  EXPECT_EQ(engine.Poll(999999).kind, Kind::Result);
  EXPECT_EQ(sender.sent.size(), 1u);
  engine.Poll(1000000);
  EXPECT_EQ(sender.sent.size(), 2u);
  EXPECT_EQ(engine.Stats().failed, 1u);
}

TEST(ReplayEngine, WithoutResultsNothingWaitsAndTheLeastIntervalPacesTheFrames) {
  const Recording rec({0, 0, 0, 5});
  for (const double speed : {1.0, 0.0}) {
    RecordingSender sender;
    ReplayEngine engine(rec.Opener(),
                        {.speed = speed,
                         .maxInFlight = 1,
                         .awaitResults = false,
                         .minInterval = std::chrono::milliseconds(2)},
                        sender);
    for (int guard = 0; guard < 100; ++guard) {
      const ReplayEngine::Wait w = engine.Poll(sender.now);
      if (w.kind == Kind::Done) break;
      ASSERT_EQ(w.kind, Kind::Until) << "no frame waits for a result";
      sender.now = w.untilUs;
    }
    ASSERT_EQ(sender.sent.size(), 4u) << speed;
    const std::int64_t expected[] = {0, 2000, 4000, 6000};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(sender.sent[i].atUs, expected[i]) << speed;
    EXPECT_EQ(engine.Stats().sent, 4u);
    EXPECT_EQ(engine.Stats().failed, 0u);
  }
}

TEST(ReplayEngine, LoopsWithTheMeanIntervalBetweenPassesUntilStopped) {
  const Recording rec({0, 100, 200});  // mean interval 100 ms
  RecordingSender sender;
  ReplayEngine engine(rec.Opener(), {.loop = true}, sender);
  sender.now = 0;
  while (sender.sent.size() < 7) {
    const auto before = sender.sent.size();
    const ReplayEngine::Wait w = engine.Poll(sender.now);
    for (auto i = before; i < sender.sent.size(); ++i) engine.OnSendResult(true);
    ASSERT_EQ(w.kind, Kind::Until);
    sender.now = w.untilUs;
  }
  const std::int64_t expected[] = {0, 100000, 200000, 300000, 400000, 500000, 600000};
  for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(sender.sent[i].atUs, expected[i]) << i;
  EXPECT_EQ(engine.Stats().passes, 2u);
  engine.Stop();
  EXPECT_EQ(engine.Poll(sender.now).kind, Kind::Done);
}

TEST(ReplayEngine, SendsOnlyTheChosenIdentifiersAndPassesOverRemoteAndErrorFrames) {
  const Recording rec({0, 10, 20},
                      "(1000.030) can0 00000101#11\n"  // extended 0x101: not chosen
                      "(1000.040) can0 102#R\n"        // remote
                      "(1000.050) can0 20000080#\n");  // error
  RecordingSender sender;
  std::string error;
  ReplayEngine engine(rec.Opener(), {.identifiers = *ParseReplayIds("101,102", error)}, sender);
  const std::vector<Sent> sent = RunToTheEnd(engine, sender);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].id, 0x101u);
  EXPECT_EQ(sent[1].id, 0x102u);
  EXPECT_EQ(engine.Stats().notSelected, 2u);
  EXPECT_EQ(engine.Stats().passedOver, 2u);
}

TEST(ReplayEngine, AnUnreadableLineEndsThePollWithTheFileAndLine) {
  const Recording rec({0, 10}, "(1000.020) can0 123#1\n");
  RecordingSender sender;
  ReplayEngine engine(rec.Opener(), {.speed = 0}, sender);
  try {
    RunToTheEnd(engine, sender);
    ADD_FAILURE() << "no error";
  } catch (const LogError& e) {
    EXPECT_EQ(e.line(), 3u);
  }
  EXPECT_EQ(sender.sent.size(), 2u);
}

TEST(ReplayIds, AreHexadecimalWithExtendedOnesLongerThanThreeDigits) {
  std::string error;
  EXPECT_EQ(*ParseReplayIds("7df,18DAF110,0001", error),
            (std::vector<ReplayId>{{0x7DF, false}, {0x18DAF110, true}, {1, true}}));
  for (const char* bad : {"", "12G", "800", "123,", "20000000"}) {
    EXPECT_FALSE(ParseReplayIds(bad, error)) << bad;
  }
}

}  // namespace
}  // namespace velqor
