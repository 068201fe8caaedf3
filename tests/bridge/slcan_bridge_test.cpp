// SlcanBridge over a real pseudo-terminal with a host that does not read. (Commands and frames
// over the terminal: the python-can test and velqor-cli's.)

#include "bridge/slcan_bridge.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>

#include "tests/link/event_loop.h"

namespace velqor {
namespace {

using testing::WaitUntil;

// The host's end, as a serial program opens it.
struct SlcanHost {
  explicit SlcanHost(const std::string& path)
      : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~SlcanHost() { ::close(fd); }
  // What comes within 50 ms.
  std::string Read() const {
    pollfd p = {fd, POLLIN, 0};
    char buffer[65536];
    const ssize_t n = ::poll(&p, 1, 50) == 1 ? ::read(fd, buffer, sizeof buffer) : 0;
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  }
  int fd;
};

struct NoSender : DeviceSender {
  bool SendToDevice(const std::uint8_t*, std::size_t) override { return false; }
};

CanFrame Numbered(std::uint32_t n) {
  CanFrame f;
  f.id = 0x100;
  f.dlc = 4;
  f.data = {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
            static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
  return f;
}

TEST(SlcanBridge, AHostThatDoesNotReadLosesFramesButNeverHoldsTheProducer) {
  NoSender sender;
  BridgeOptions options;
  options.queueCapacity = 64;
  SlcanBridge bridge(sender, options);
  std::string error;
  ASSERT_TRUE(bridge.Start(error)) << error;
  SlcanHost host(bridge.Path());
  ASSERT_GE(host.fd, 0);
  ASSERT_EQ(::write(host.fd, "O\r", 2), 2);
  ASSERT_TRUE(WaitUntil([&] { return bridge.ChannelOpen(); }));

  // Megabytes of lines, far beyond what the terminal holds while nobody reads. Every call
  // returns at once; a producer that waited for the host would hang here.
  constexpr std::uint32_t kFrames = 200000;
  for (std::uint32_t n = 0; n < kFrames; ++n) bridge.OnReceivedFrame(Numbered(n));

  std::string text;
  std::uint64_t lines = 0;
  ASSERT_TRUE(WaitUntil([&] {
    text += host.Read();
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
    ASSERT_TRUE(line.back() == '\r' && static_cast<long>(n) > last) << line;
    last = n;
  }
}

}  // namespace
}  // namespace velqor
