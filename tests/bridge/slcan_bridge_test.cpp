// SlcanBridge over a real pseudo-terminal: a host's commands and the frames from the bus, and
// a host that does not read.

#include "bridge/slcan_bridge.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <vector>

#include "tests/bridge/slcan_host.h"
#include "tests/link/event_loop.h"

namespace velqor {
namespace {

using testing::SlcanHost;
using testing::WaitUntil;

// Called on the bridge's thread.
struct CountingSender : DeviceSender {
  bool SendToDevice(const std::uint8_t*, std::size_t) override {
    std::lock_guard lock(mutex);
    ++sent;
    return true;
  }
  int Sent() {
    std::lock_guard lock(mutex);
    return sent;
  }
  std::mutex mutex;
  int sent = 0;
};

CanFrame Numbered(std::uint32_t n) {
  CanFrame f;
  f.id = 0x100;
  f.dlc = 4;
  f.data = {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
            static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
  return f;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(SlcanBridge, ServesCommandsAndFramesOnThePseudoTerminal) {
  CountingSender sender;
  SlcanBridge bridge(sender);
  std::string error;
  ASSERT_TRUE(bridge.Start(error)) << error;
  ASSERT_EQ(bridge.Path().rfind("/dev/pts/", 0), 0u) << bridge.Path();
  SlcanHost host(bridge.Path());

  host.Write("O\r");
  EXPECT_EQ(host.Read(1), "\r");
  bridge.OnReceivedFrame(Numbered(1));
  EXPECT_EQ(host.Read(14), "t100400000001\r");

  host.Write("t7E50\rF\r");
  ASSERT_TRUE(WaitUntil([&] { return sender.Sent() == 1; }));
  DeviceMessage result;
  result.Data[0] = kResultOk;
  bridge.OnDeviceMessage(MsgCode::SendResult, result);
  EXPECT_EQ(host.Read(5), "\rF00\r");

  // A frame while the channel is closed never reaches the host, the next one after O does.
  host.Write("C\r");
  EXPECT_EQ(host.Read(1), "\r");
  bridge.OnReceivedFrame(Numbered(2));
  host.Write("O\r");
  EXPECT_EQ(host.Read(1), "\r");
  bridge.OnReceivedFrame(Numbered(3));
  EXPECT_EQ(host.Read(14), "t100400000003\r");

  bridge.Stop();
  const BridgeStats s = bridge.Stats();
  EXPECT_EQ(s.framesToHost, 2u);
  EXPECT_EQ(s.framesSent, 1u);
  EXPECT_EQ(s.commandsRefused, 0u);
}

TEST(SlcanBridge, AHostThatDoesNotReadLosesFramesButNeverHoldsTheProducer) {
  CountingSender sender;
  BridgeOptions options;
  options.queueCapacity = 64;
  SlcanBridge bridge(sender, options);
  std::string error;
  ASSERT_TRUE(bridge.Start(error)) << error;
  SlcanHost host(bridge.Path());
  host.Write("O\r");
  ASSERT_TRUE(WaitUntil([&] { return bridge.ChannelOpen(); }));

  // Megabytes of lines, far beyond what the terminal holds while nobody reads. Every call
  // returns at once; a producer that waited for the host would hang here.
  constexpr std::uint32_t kFrames = 200000;
  for (std::uint32_t n = 0; n < kFrames; ++n) bridge.OnReceivedFrame(Numbered(n));

  std::string text;
  std::uint64_t lines = 0;
  ASSERT_TRUE(WaitUntil([&] {
    text += host.ReadUntil([](const std::string& s) { return !s.empty(); });
    lines = static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\r')) - 1;
    const BridgeStats s = bridge.Stats();
    return s.framesToHost + s.framesDropped == kFrames && lines == s.framesToHost;
  }));
  const BridgeStats s = bridge.Stats();
  EXPECT_GT(s.framesDropped, 0u);
  // What came is whole lines in the order sent: the first frames, then gaps where frames
  // were dropped, never a frame twice or cut.
  ASSERT_EQ(text.substr(0, 15), "\rt100400000000\r");
  long last = -1;
  for (std::size_t at = 1; at < text.size(); at += 14) {
    const std::string line = text.substr(at, 14);
    unsigned n = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "t1004%8X\r", &n), 1) << line;
    ASSERT_TRUE(EndsWith(line, "\r") && static_cast<long>(n) > last) << line;
    last = n;
  }
}

}  // namespace
}  // namespace velqor
