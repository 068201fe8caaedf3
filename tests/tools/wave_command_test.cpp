// velqor-cli wave against the simulated adapter in this process, and its JSON.

#include "tools/wave_command.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "sim/bus_traffic.h"
#include "sim/waveform.h"

namespace velqor::cli {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Wave(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = RunWave(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(WaveCommand, DefaultsDecodeAnIdentifierTheProfileSends) {
  std::set<std::uint32_t> sent;
  for (const PeriodicMessage& m : DefaultVehicleProfile()) sent.insert(m.id);
  for (int run = 0; run < 3; ++run) {
    const Outcome r = Wave({"--sim", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::smatch id;
    ASSERT_TRUE(std::regex_search(r.out, id, std::regex(R"("id":(\d+))"))) << r.out;
    EXPECT_EQ(sent.count(static_cast<std::uint32_t>(std::stoul(id[1]))), 1u) << id[1];
    // The window holds the CRC of short frames only; where it does, it matches.
    EXPECT_EQ(r.out.find("\"crc_ok\":false"), std::string::npos);
    EXPECT_NE(r.out.find(R"("port":"diff","level_v":2.5,"bit_rate":500000,"sample_point":72)"),
              std::string::npos);
    EXPECT_NE(r.out.find(R"({"check":"dominant_level","result":"pass")"), std::string::npos);
  }
}

TEST(WaveCommand, NothingTriggeredExits5AndBadArgumentsExit2) {
  struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } const cases[] = {
      {{"--sim", "--level", "4.9", "--timeout", "0.3"},
       5,
       "nothing triggered within 0.3 s (level 4.9 V on Differential)"},
      {{"--sim", "--port", "canh", "--level", "2", "--timeout", "0.3"}, 5, "on CAN_H"},
      {{"--sim", "--port", "can"}, 2, "--port needs canl, canh or diff, got 'can'"},
      {{"--sim", "--level", "5.5"}, 2, "--level needs volts from 0 to 5"},
      {{"--sim", "--level"}, 2, "--level needs volts"},
      {{"--sim", "--timeout", "0"}, 2, "--timeout needs seconds"},
      {{"--sim", "--pid", "1"}, 2, "was not found"},
  };
  for (const auto& c : cases) {
    const Outcome r = Wave(c.args);
    EXPECT_EQ(r.status, c.status) << c.args.back();
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

TEST(WaveJson, LeavesOutWhatTheWindowDidNotHold) {
  // 0x123 with two data bytes: at 1 Mbit/s the window holds the frame to its end, at 250 kbit/s
  // up to the DLC.
  const CanBitStream stream = BuildCanBitStream({0x123, false, 2, {0x11, 0x22}});
  struct Case {
    std::uint32_t bitRate;
    std::vector<const char*> present, absent;
  } const cases[] = {
      {1000000,
       {R"("id":291)", R"("ide":0)", R"("dlc":2)", R"("data":[17,34])", R"("crc_ok":true)",
        R"({"name":"EOF")", R"("stuff_errors":[])"},
       {}},
      {250000, {R"("id":291)", R"("dlc":2)", R"("data":[])"}, {"\"crc", "D0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bitRate);
    const BusSegment segment =
        MakeSegment(stream.Bits(), std::chrono::microseconds(100), 1'000'000'000u / c.bitRate);
    CaptureSetup setup;
    setup.triggerTime = segment.start;
    SimRandom random(3);
    const WaveformBlock block = RenderWaveform(setup, std::span(&segment, 1), random);
    const std::vector<float> counts(block.samples.begin(), block.samples.end());
    const CaptureTrace trace = TraceFromCounts(counts, block.interval, CapturePort::Differential);
    WaveSetup ws;
    ws.timing = {c.bitRate, 72};
    const std::string json = WaveJson(ws, counts, trace, AnalyseCapture(trace, ws.timing));
    for (const char* text : c.present) EXPECT_NE(json.find(text), std::string::npos) << text;
    for (const char* text : c.absent) EXPECT_EQ(json.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace velqor::cli
