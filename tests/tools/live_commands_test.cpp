// velqor-cli monitor and send against the simulated adapter, in this process.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "tools/live_link.h"
#include "tools/monitor_command.h"
#include "tools/send_command.h"

namespace velqor::cli {
namespace {

using namespace std::chrono_literals;

struct Outcome {
  int status;
  std::string out, err;
};

template <typename F>
Outcome Call(F command, std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = command(args, out, err);
  return {status, out.str(), err.str()};
}

TEST(SendCommand, ExitStatusFollowsTheAdaptersResult) {
  struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } const cases[] = {
      {{"--sim", "123#1122"}, 0, "sent"},
      {{"--sim", "--ext", "123#11"}, 0, "sent"},
      {{"--sim", "FFF#11"}, 4, "out of range"},  // beyond 11 bits
      {{"--sim", "123#1122334455667788"}, 0, "sent"},
      {{"--sim", "--unacknowledged", "123#11"}, 3, "transmission failed"},
  };
  for (const auto& c : cases) {
    const Outcome r = Call(RunSend, c.args);
    EXPECT_EQ(r.status, c.status) << c.args.back() << r.err;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
  }
}

TEST(SendCommand, BadArgumentsAndAnAbsentAdapterExitWith2) {
  struct {
    std::vector<std::string> args;
    const char* says;
  } const cases[] = {
      {{"--sim"}, "<ID>#<DATA> is missing"},
      {{"--sim", "123#1"}, "half a byte"},
      {{"--sim", "123#11", "124#22"}, "one frame at a time"},
      {{"--sim", "--vid"}, "--vid needs"},
      {{"--sim", "--vid", "12345", "1#"}, "at most 4 digits"},
      {{"--sim", "--speed", "1#"}, "unknown argument '--speed'"},
      {{"--sim", "--pid", "EE01", "1#"}, "the simulated adapter 4242:EE01 was not found"},
  };
  for (const auto& c : cases) {
    const Outcome r = Call(RunSend, c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

TEST(MonitorCommand, PrintsTheCountOfFramesInCandumpStyleAndNothingLost) {
  const Outcome r = Call(RunMonitor, {"--sim", "--count", "50"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::regex frame(R"(^\(\d+\.\d{6}\) usb ([0-9A-F]{3}|[0-9A-F]{8})#([0-9A-F]{2}){0,8}$)");
  std::istringstream lines(r.out);
  int frames = 0;
  for (std::string line; std::getline(lines, line);) {
    // Nothing but frames: other messages go to standard error.
    EXPECT_TRUE(std::regex_match(line, frame)) << line;
    ++frames;
  }
  EXPECT_EQ(frames, 50);
  // Frames that arrive while the link closes are counted too; the summary then says how
  // many of them were printed.
  std::smatch summary;
  ASSERT_TRUE(std::regex_search(
      r.err, summary, std::regex(R"((\d+) frames received(?: \((\d+) printed\))?, 0 lost)")))
      << r.err;
  const int received = std::stoi(summary[1]);
  if (summary[2].matched) {
    EXPECT_GT(received, 50);
    EXPECT_EQ(std::stoi(summary[2]), 50);
  } else {
    EXPECT_EQ(received, 50);
  }
}

TEST(MonitorCommand, JsonPrintsTheDecodeLines) {
  const Outcome r = Call(RunMonitor, {"--sim", "--count", "5", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  int frames = 0;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.front(), '{') << line;
    if (line.rfind("{\"code\":202,", 0) == 0) ++frames;
  }
  EXPECT_EQ(frames, 5);
}

TEST(MonitorCommand, BadArgumentsExitWith2) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"--count"},
                                                                {"--count", "x"},
                                                                {"--count", "0"},
                                                                {"--seconds", "-1"},
                                                                {"--flood", "lots"},
                                                                {"--dbc", "car.dbc"},  // no --json
                                                                {"--json", "--dbc", "/none.dbc"},
                                                                {"--what"}}) {
    const Outcome r = Call(RunMonitor, args);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_NE(r.err.find("velqor-cli monitor: "), std::string::npos);
  }
}

// The example DBC names every message of the simulated adapter's traffic, whose values move.
TEST(MonitorCommand, DbcDecodesTheSimulatedTraffic) {
  const Outcome r =
      Call(RunMonitor, {"--sim", "--count", "300", "--json", "--dbc",
                        std::string(VELQOR_EXAMPLES_DIR) + "/velqor_sim_vehicle.dbc"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::set<std::string> engineSpeeds;
  const std::regex engine(R"("message":"EngineData","signals":\{"EngineSpeed":([0-9.]+),)");
  int frames = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("{\"code\":202,", 0) != 0) continue;
    ++frames;
    EXPECT_NE(line.find(",\"message\":\""), std::string::npos) << line;
    std::smatch m;
    if (std::regex_search(line, m, engine)) engineSpeeds.insert(m[1]);
  }
  EXPECT_EQ(frames, 300);
  EXPECT_GT(engineSpeeds.size(), 5u);
}

// --reconnect: the simulated adapter unplugged and plugged back in while the link runs; the
// run goes on, says both, and frames come again from the new device.
TEST(LiveLink, WithReconnectAnUnpluggedAdapterIsReopenedWhenItIsBack) {
  struct Counting : DeviceMessageSink {
    void OnReceivedFrame(const CanFrame&) override { ++frames; }
    void OnDeviceMessage(int, const DeviceMessage&) override {}
    std::atomic<std::uint64_t> frames{0};
  } sink;
  LinkOptions options;
  options.sim = true;
  options.reconnect = true;
  LiveLink live(options);
  std::vector<std::string> said;  // Run's thread
  live.OnStatus = [&said](const std::string& text) { said.push_back(text); };
  std::string error;
  ASSERT_TRUE(live.Open(sink, error)) << error;

  std::atomic<bool> driven{false};
  std::jthread driver([&] {
    auto waitFor = [](const std::function<bool()>& done) {
      for (int i = 0; i < 60000 && !done(); ++i) std::this_thread::sleep_for(1ms);
      return done();
    };
    const auto framesGrow = [&] {
      const std::uint64_t before = sink.frames;
      return waitFor([&] { return sink.frames > before; });
    };
    driven =
        framesGrow() && (live.SimHid()->Unplug(), waitFor([&] { return live.Losses() == 1; })) &&
        (live.SimHid()->Plug(), waitFor([&] { return live.Reconnects() == 1; })) && framesGrow();
    live.Stop();
  });
  EXPECT_EQ(live.Run(0ms), LiveLink::End::Stopped);
  driver.join();
  EXPECT_TRUE(driven);
  EXPECT_TRUE(live.Present());
  ASSERT_EQ(said.size(), 2u);
  EXPECT_NE(said[0].find("4242:EE02 went away"), std::string::npos) << said[0];
  EXPECT_NE(said[1].find("is back: reconnected"), std::string::npos) << said[1];
  live.Close();
}

TEST(MonitorCommand, ReconnectIsTakenAndChangesNothingWhileTheAdapterStays) {
  const Outcome r = Call(RunMonitor, {"--sim", "--reconnect", "--count", "20"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("went away"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace velqor::cli
