// The model's bus side: traffic, filtering, packing into reports, sending, errors, console.

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>

#include "sim/sim_adapter.h"
#include "sim_test_util.h"

namespace velqor {
namespace {

using namespace test;

// Runs the model in steps of `step` and hands every report to the interpreter.
struct Program {
  explicit Program(SimAdapter& s) : sim(s), interpreter(&collector) {}
  void Run(std::chrono::nanoseconds span, std::chrono::nanoseconds step = 1ms) {
    const auto end = sim.Now() + span;
    while (sim.Now() < end) {
      sim.AdvanceTo(std::min(end, sim.Now() + step));
      InputReport r;
      while (sim.TakeInputReport(r)) {
        ++reports;
        interpreter.Feed(r.data(), static_cast<std::uint32_t>(r.size()));
      }
    }
  }
  std::vector<CanFrame> Received() const {
    std::vector<CanFrame> out;
    for (const Seen& s : collector.seen) {
      if (s.code == MsgCode::ReceivedFrame) out.push_back(s.frame);
    }
    return out;
  }
  SimAdapter& sim;
  Collector collector;
  TMsgInterpret interpreter;
  std::uint64_t reports = 0;
};

void SetBitRate1M(SimAdapter& sim) {
  sim.Write(SetBitTiming(2, 0));
  RunFor(sim, 1ms);
}

TEST(SimTraffic, DefaultProfileLooksLikeASmallVehicleNetwork) {
  SimAdapter sim;
  Program program(sim);
  program.Run(std::chrono::seconds(2));
  std::map<std::pair<int, std::uint32_t>, std::vector<CanFrame>> byId;
  for (const CanFrame& f : program.Received()) byId[{f.ide, f.id}].push_back(f);

  const auto profile = DefaultVehicleProfile();
  EXPECT_GE(profile.size(), 15u);
  EXPECT_LE(profile.size(), 25u);
  ASSERT_EQ(byId.size(), profile.size());
  int extended = 0;
  for (const PeriodicMessage& m : profile) {
    SCOPED_TRACE(m.name);
    extended += m.extended;
    EXPECT_GE(m.cycle, 10ms);
    EXPECT_LE(m.cycle, 1000ms);
    const auto& frames = byId[{m.extended ? 1 : 0, m.id}];
    // Every cycle in the two seconds (first one at the message's phase), none missing.
    const auto expected = (std::chrono::seconds(2) - m.phase) / m.cycle + 1;
    EXPECT_NEAR(static_cast<double>(frames.size()), static_cast<double>(expected), 1.0);
    for (const Signal& s : m.fields) {
      if (s.kind != Signal::Kind::Checksum) continue;
      for (const CanFrame& f : frames) {
        unsigned sum = (m.id & 0xFF) + ((m.id >> 8) & 0xFF) + ((m.id >> 16) & 0xFF) + (m.id >> 24);
        for (int i = 0; i < m.dlc; ++i) sum += f.data[i];
        ASSERT_EQ(sum & 0xFF, 0xFFu);
      }
    }
  }
  EXPECT_GE(extended, 3);
  // Engine speed changes from frame to frame; the message counter counts modulo 16.
  const auto& engine = byId[{0, 0x0C0}];
  ASSERT_GT(engine.size(), 100u);
  EXPECT_NE(engine[10].data[0] * 256 + engine[10].data[1],
            engine[150].data[0] * 256 + engine[150].data[1]);
  for (std::size_t i = 1; i < engine.size(); ++i) {
    ASSERT_EQ(engine[i].data[6] & 0x0F, (engine[i - 1].data[6] + 1) & 0x0F);
  }
}

TEST(SimTraffic, ReceiveMailboxesFilterTheFrames) {
  std::vector<PeriodicMessage> profile;
  for (auto [id, ext] : std::vector<std::pair<std::uint32_t, bool>>{{0x100, false},
                                                                    {0x123, false},
                                                                    {0x1FF, false},
                                                                    {0x200, false},
                                                                    {0x18FEF100, true},
                                                                    {0x18FEF200, true},
                                                                    {0x0CF00400, true}}) {
    PeriodicMessage m;
    m.id = id;
    m.extended = ext;
    m.cycle = 10ms;
    profile.push_back(m);
  }
  struct Case {
    const char* what;
    std::vector<RxMailboxRecord> boxes;  // every other mailbox disabled
    std::set<std::uint32_t> expected;
  };
  const Case cases[] = {
      {"one identifier", {{3, 1, 0, 0x123, 0x7FF, 0}}, {0x123}},
      {"a range", {{0, 1, 0, 0x100, 0x700, 0}}, {0x100, 0x123, 0x1FF}},
      {"extended with a mask", {{9, 1, 1, 0x18FEF100, 0x1FFF00FF, 0}}, {0x18FEF100, 0x18FEF200}},
      {"every standard", {{15, 1, 0, 0x555, 0, 0}}, {0x100, 0x123, 0x1FF, 0x200}},
      {"disabled", {{0, 0, 0, 0, 0, 0}}, {}},
      {"ide decides", {{0, 1, 1, 0x123, 0x1FFFFFFF, 0}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimOptions o;
    o.profile = profile;
    SimAdapter sim(o);
    for (int i = 0; i < 16; ++i)
      sim.Write(SetRxMailbox({static_cast<std::uint8_t>(i), 0, 0, 0, 0, 0}));
    for (const auto& b : c.boxes) sim.Write(SetRxMailbox(b));
    RunFor(sim, 5ms);
    const auto before = sim.Stats();
    Program program(sim);
    program.Run(100ms);
    std::set<std::uint32_t> seen;
    for (const CanFrame& f : program.Received()) seen.insert(f.id);
    EXPECT_EQ(seen, c.expected);
    const auto after = sim.Stats();
    EXPECT_EQ(after.framesReported - before.framesReported, program.Received().size());
    EXPECT_EQ(after.framesReported + after.framesFiltered, after.busFrames);
  }
}

// A flood of 100 000 frames numbered in their data reaches the interpreter whole, once each
// and in order, whichever way the frames are packed into reports.
TEST(SimTraffic, BothPackingsDeliverEveryFrameOnce) {
  for (const ReportPacking packing : {ReportPacking::Packed, ReportPacking::OneFramePerReport}) {
    SCOPED_TRACE(packing == ReportPacking::Packed ? "packed" : "one frame per report");
    SimOptions o = Quiet();
    o.packing = packing;
    o.console = false;
    SimAdapter sim(o);
    SetBitRate1M(sim);
    const FloodOptions flood = {30000, 3000, 4};
    sim.SetFlood(flood);
    const std::uint64_t reportsBefore = sim.Stats().reports;
    Program program(sim);
    std::uint64_t next = 0;
    bool inOrder = true;
    std::size_t checked = 0;
    SimRandom random(5);
    while (next < 100000) {
      program.Run(std::chrono::microseconds(50 + random.Below(3000)), 10ms);
      for (std::size_t i = checked; i < program.collector.seen.size(); ++i) {
        const Seen& s = program.collector.seen[i];
        if (s.code != MsgCode::ReceivedFrame) continue;
        const std::uint64_t seq = ReadBe32(s.frame.data.data());
        inOrder = inOrder && seq == next;
        const BusFrame f = FloodFrame(flood, seq);
        inOrder = inOrder && s.frame.id == f.id && s.frame.ide == f.extended && s.frame.dlc == 4;
        ++next;
      }
      checked = program.collector.seen.size();
      ASSERT_TRUE(inOrder) << "at frame " << next;
    }
    const SimStats st = sim.Stats();
    EXPECT_EQ(st.framesReported, next);
    EXPECT_EQ(st.framesDropped, 0u);
    EXPECT_EQ(st.reports - reportsBefore, program.reports);
    EXPECT_EQ(sim.QueuedReports(), 0u);
    const double framesPerReport = static_cast<double>(next) / static_cast<double>(program.reports);
    if (packing == ReportPacking::Packed) {
      EXPECT_GT(framesPerReport, 2.0);  // 19-byte frames, three and more to a report
    } else {
      EXPECT_NEAR(framesPerReport, 1.0, 0.01);
    }
  }
}

TEST(SimTraffic, FloodIsLimitedByTheBus) {
  SimAdapter sim(Quiet());
  SetBitRate1M(sim);
  sim.SetFlood({21277, 1000, 0});
  Program program(sim);
  const auto start = sim.Now();
  program.Run(std::chrono::seconds(1));
  const auto frames = program.Received();
  // The frames, each with its stuffed length and the intermission, fit into the second.
  std::int64_t bits = 0;
  for (const CanFrame& f : frames) {
    bits += FrameSlotBits(BuildCanBitStream({f.id, f.ide == 1, f.dlc, {}}));
  }
  EXPECT_LE(bits, (sim.Now() - start).count() / 1000 + 200);
  EXPECT_GT(bits, 990000);  // and the bus was full
  EXPECT_LT(frames.size(), 21277u);
  EXPECT_GT(frames.size(), 19000u);

  // Below the bus limit the flood keeps its rate.
  sim.SetFlood({5000, 1000, 8});
  Program slower(sim);
  slower.Run(std::chrono::seconds(1));
  EXPECT_NEAR(static_cast<double>(slower.Received().size()), 5000, 2);

  // Beyond the bus limit, for load tests with a margin: the requested rate, every frame once.
  sim.SetFlood({21277, 2048, 4, /*busLimited=*/false});
  Program beyond(sim);
  beyond.Run(std::chrono::seconds(1));
  const auto& got = beyond.Received();
  EXPECT_NEAR(static_cast<double>(got.size()), 21277, 2);
  std::set<std::uint32_t> ids;
  for (const CanFrame& f : got) ids.insert(f.id);
  EXPECT_EQ(ids.size(), 2048u);
}

TEST(SimTraffic, SentFrameLosesArbitrationToAFullBusOfLowerIdentifiers) {
  SimAdapter sim(Quiet());
  SetBitRate1M(sim);
  sim.SetFlood({30000, 100, 0});  // identifiers 0x000..0x063, always one waiting
  Program program(sim);
  sim.Write(SendCanFrame({0, 0x001, 0, {}}));
  sim.Write(SendCanFrame({0, 0x7F0, 0, {}}));
  program.Run(150ms);
  std::vector<int> results;
  for (const Seen& s : program.collector.seen) {
    if (s.code == MsgCode::SendResult) results.push_back(s.message.Data[0]);
  }
  EXPECT_EQ(results, (std::vector<int>{0, 1}));  // the second timed out waiting for the bus
}

TEST(SimTraffic, UnacknowledgedBusFailsSendsWithRisingErrorCount) {
  SimOptions o;  // the profile is on, but no other node is there to send or acknowledge
  o.unacknowledged = true;
  SimAdapter sim(o);
  for (int n = 1; n <= 20; ++n) {
    const auto answers = Ask(sim, SendCanFrame({0, 0x100, 1, {0x55}}));
    const int tec = std::min(8 * n, 128);
    ASSERT_EQ(answers,
              (std::vector<Bytes>{Hex({0xFC, 3, 2, 1, 1}), Hex({0xFC, 5, 1, 0xFF, 6, tec, 0})}))
        << "attempt " << n;
  }
  EXPECT_EQ(sim.Stats().busFrames, 0u);
  sim.SetUnacknowledged(false);
  sim.SetProfileEnabled(false);
  const auto answers = Ask(sim, SendCanFrame({0, 0x100, 1, {0x55}}));
  ASSERT_FALSE(answers.empty());
  EXPECT_EQ(answers[0], Hex({0xFC, 3, 2, 1, 0}));
  EXPECT_EQ(sim.TransmitErrorCount(), 127);
}

TEST(SimTraffic, InjectedBusErrorsAreReported) {
  SimOptions o;
  o.errorInterval = 50ms;
  SimAdapter sim(o);
  Program program(sim);
  program.Run(std::chrono::seconds(3));
  int errors = 0;
  for (const Seen& s : program.collector.seen) {
    if (s.code != MsgCode::BusError) continue;
    ++errors;
    EXPECT_TRUE(std::set<std::string>({"CRC_ERROR", "STUFF_ERROR", "FORM_ERROR", "OVERLOAD_ERROR"})
                    .count(s.message.Text))
        << s.message.Text;
    EXPECT_LE(s.message.Data[2], 3);  // receive errors heal with every good frame
  }
  EXPECT_EQ(static_cast<std::uint64_t>(errors), sim.Stats().errorFrames);
  EXPECT_GT(errors, 30);
  EXPECT_LT(errors, 90);
  EXPECT_GT(program.Received().size(), 1000u);
}

TEST(SimTraffic, ConsoleShowsTextLinesOrBinaryFrames) {
  SimAdapter sim(Quiet());
  sim.Write(SendCanFrame({0, 0x123, 3, {0x11, 0x22, 0x33}}));
  sim.Write(SendCanFrame({1, 0x18FEF100, 0, {}}));
  const auto usb = RunFor(sim);
  std::string text;
  ASSERT_TRUE(sim.TakeConsoleOutput(text));
  EXPECT_TRUE(std::regex_match(text, std::regex("TX 0\\.000\\d{3} STD 123 \\[3\\] 11 22 33\r\n"
                                                "TX 0\\.000\\d{3} EXT 18FEF100 \\[0\\]\r\n")))
      << text;

  sim.Write(SetConsoleFormat(kConsoleCanUsb));
  RunFor(sim, 1ms);
  sim.Write(SendCanFrame({0, 0x123, 3, {0x11, 0x22, 0x33}}));
  std::vector<Bytes> received;
  for (const Bytes& f : RunFor(sim)) {
    if (f[2] == 2 && f[3] == 2) received.push_back(f);
  }
  std::string binary;
  ASSERT_TRUE(sim.TakeConsoleOutput(binary));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(Bytes(binary.begin(), binary.end()), received[0]);
  EXPECT_FALSE(sim.TakeConsoleOutput(binary));
}

TEST(SimTraffic, UnreadReportsOverflowAndAreAnnounced) {
  SimOptions o = Quiet();
  o.flood = {5000, 10, 8};
  o.maxQueuedReports = 8;
  SimAdapter sim(o);
  sim.AdvanceTo(100ms);  // nobody reads
  const SimStats full = sim.Stats();
  EXPECT_GT(full.framesDropped, 100u);
  EXPECT_EQ(sim.QueuedReports(), 8u);
  RunFor(sim, 0ms);  // read everything
  const auto frames = RunFor(sim, 2ms);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0], Hex({0xFC, 5, 1, 0xFF, 0, 0, 0}));  // "Receive Buffer Full"
  EXPECT_EQ(frames[1][3], 0x02);
}

}  // namespace
}  // namespace velqor
