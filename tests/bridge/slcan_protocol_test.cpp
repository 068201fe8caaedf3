// The slcan protocol as a host sees it: every command's answer, refused lines, frames to the
// host, and the commands that wait for the adapter. Expected bytes are written out by hand
// from the LAWICEL command table and the adapter's frame layout.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bridge/slcan_session.h"

namespace velqor {
namespace {

using namespace std::chrono_literals;
using Clock = SlcanSession::Clock;
using Bytes = std::vector<std::uint8_t>;

struct RecordingSender : DeviceSender {
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
    sent.emplace_back(bytes, bytes + length);
    return accept;
  }
  std::vector<Bytes> sent;
  bool accept = true;
};

struct Host {
  explicit Host(SessionOptions options = {}, std::size_t capacity = 64)
      : queue(capacity), session(sender, queue, options) {}

  // Offers the bytes; returns how many the session took.
  std::size_t Type(const std::string& text) {
    return session.TakeHostBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                                 now);
  }
  std::string Read() {
    session.PumpFrames();
    std::string out;
    out.swap(session.Output());
    return out;
  }
  void Adapter(int code, std::initializer_list<std::uint8_t> data, const char* text = "") {
    DeviceMessage m;
    std::copy(data.begin(), data.end(), m.Data);
    std::strncpy(m.Text, text, sizeof m.Text - 1);
    session.AdapterMessage(code, m, now);
  }

  RecordingSender sender;
  HostFrameQueue queue;
  SlcanSession session;
  Clock::time_point now = Clock::time_point(1h);
};

TEST(SlcanSession, AnswersEveryCommandThatNeedsNoAdapter) {
  struct {
    const char* typed;
    const char* answer;
  } const cases[] = {
      {"O\r", "\r"},
      {"O\rO\r", "\r\r"},  // python-can opens twice
      {"O\rL\r", "\r\a"},  // switching modes needs C
      {"L\rL\rC\rC\r", "\r\r\r\r"},
      {"\r", "\r"},
      {"O\n", "\r"},
      {"O\r\nC\r\n", "\r\r"},
      {"S7\r", "\a"},  // 800 kbit/s: not a rate of the adapter
      {"S\r", "\a"},
      {"S66\r", "\a"},
      {"O\rS6\r", "\r\a"},  // only while closed
      {"s031C\r", "\a"},
      {"t1232AABB\r", "\a"},       // closed
      {"L\rt1232AABB\r", "\r\a"},  // listen only
      {"M1\rO\rt1230\r", "\r\r\a"},
      {"O\rr1232\r", "\r\a"},       // the adapter sends data frames only
      {"O\rt8002AABB\r", "\r\a"},   // beyond 11 bits
      {"O\rT200000000\r", "\r\a"},  // beyond 29 bits
      {"O\rt1239\r", "\r\a"},       // DLC 9
      {"O\rt1232AAB\r", "\r\a"},
      {"O\rt12G0\r", "\r\a"},
      {"F\r", "F00\r"},
      {"N\r", "NEE02\r"},
      {"Z1\rZ0\r", "\r\r"},
      {"Z2\r", "\a"},
      {"O\rZ1\r", "\r\a"},
      {"X0\rX1\r", "\r\r"},
      {"O\rX0\r", "\r\a"},
      {"P\r", "\a"},
      {"O\rP\r", "\r\a"},  // auto-poll is on
      {"X0\rO\rP\rA\r", "\r\r\rA\r"},
      {"M00000000\rmFFFFFFFF\r", "\r\r"},
      {"m000007FF\r", "\a"},  // the bridge does not filter
      {"U3\rU7\r", "\r\a"},
      {"O1\r", "\a"},
      {"Q\r", "\a"},
      {"\x07\r", "\a"},
  };
  for (const auto& c : cases) {
    SessionOptions options;
    options.serialNumber = "EE02";
    Host host(options);
    host.Type(c.typed);
    EXPECT_EQ(host.Read(), c.answer) << "typed " << c.typed;
    EXPECT_TRUE(host.sender.sent.empty()) << c.typed;
  }
}

TEST(SlcanSession, RefusesOverlongLinesWithoutLosingTheNextCommand) {
  Host host;
  // One character more than the longest command (an extended frame with 8 bytes), and a line
  // of 5000 characters: each is refused once, when its CR comes.
  const std::string longest = "T1ABCDEF08" + std::string(16, 'A');
  ASSERT_EQ(longest.size(), 26u);
  host.Type("O\r" + longest + "0\r" + std::string(5000, 'x') + "\rF\r");
  EXPECT_EQ(host.Read(), "\r\a\aF00\r");
  EXPECT_EQ(host.session.Counters().commandsRefused, 2u);
  EXPECT_TRUE(host.sender.sent.empty());  // not cut down to a frame that would go out
}

TEST(SlcanSession, SendsFramesAndAnswersTheAdaptersResult) {
  Host host;
  host.Type("O\rt1232AABB\rT1ABCDEF0811223344556677880\r");
  // The 27-character line above was refused; the standard frame went out as SendCanFrame.
  EXPECT_EQ(host.Read(), "\r");
  ASSERT_EQ(host.sender.sent.size(), 1u);
  EXPECT_EQ(host.sender.sent[0], (Bytes{0xFC, 0x10, 0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x23, 0x02,
                                        0xAA, 0xBB, 0, 0, 0, 0, 0, 0}));
  host.Adapter(MsgCode::SendResult, {kResultOk});
  EXPECT_EQ(host.Read(), "\r\a");  // answers in command order: the send, then the long line

  // SavvyCAN marks extended identifiers with bit 31.
  host.Type("T9ABCDEF0211FF\rF\r");
  EXPECT_EQ(host.Read(), "");  // F waits behind the send
  ASSERT_EQ(host.sender.sent.size(), 2u);
  EXPECT_EQ(host.sender.sent[1], (Bytes{0xFC, 0x10, 0x02, 0x01, 0x01, 0x1A, 0xBC, 0xDE, 0xF0, 0x02,
                                        0x11, 0xFF, 0, 0, 0, 0, 0, 0}));
  host.Adapter(MsgCode::SendResult, {kResultFailed});
  EXPECT_EQ(host.Read(), "\aF00\r");

  host.Type("t0010\r");
  host.now += 999ms;
  host.session.Tick(host.now);
  EXPECT_EQ(host.Read(), "");
  host.now += 1ms;
  host.session.Tick(host.now);
  EXPECT_EQ(host.Read(), "\a");  // no answer within a second

  host.sender.accept = false;
  host.Type("t0010\r");
  EXPECT_EQ(host.Read(), "\a");  // the report could not be written
  const SessionCounters n = host.session.Counters();
  EXPECT_EQ(n.framesSent, 1u);
  EXPECT_EQ(n.sendsFailed, 3u);
  EXPECT_EQ(n.commandsRefused, 1u);
}

TEST(SlcanSession, HoldsCommandsBackWhileTheAdapterIsBusy) {
  SessionOptions options;
  options.maxSendsInFlight = 2;
  Host host(options);
  host.Type("O\r");
  const std::string sends = "t1000\rt1010\rt1020\r";
  const std::size_t taken = host.Type(sends);
  EXPECT_EQ(taken, 17u);  // up to the CR of the third send
  EXPECT_EQ(host.sender.sent.size(), 2u);
  host.Adapter(MsgCode::SendResult, {kResultOk});
  EXPECT_EQ(host.Type(sends.substr(taken)), 1u);
  EXPECT_EQ(host.sender.sent.size(), 3u);
}

TEST(SlcanSession, SetsTheBitRateOnlyWhenTheAdapterRunsAnother) {
  Host host;
  host.Type("S6\r");
  ASSERT_EQ(host.sender.sent, (std::vector<Bytes>{{0xFC, 0x02, 0x01, 0x0B}}));  // GetBitTiming
  host.Adapter(MsgCode::BitTiming, {1, 4});  // already 500 kbit/s
  EXPECT_EQ(host.Read(), "\r");
  EXPECT_EQ(host.sender.sent.size(), 1u);  // the technician's sample point stays

  host.Type("S8\r");
  EXPECT_EQ(host.Type("O\r"), 1u);  // its CR waits until the rate is set
  host.Adapter(MsgCode::BitTiming, {1, 4});
  EXPECT_EQ(host.sender.sent.back(), (Bytes{0xFC, 0x03, 0x01, 0x0A, 0x02}));  // GetTimingTable 2
  host.Adapter(MsgCode::TimingTable, {0, 2, 81, 63});                         // another rate's list
  EXPECT_EQ(host.sender.sent.size(), 3u);
  host.Adapter(MsgCode::TimingTable, {2, 3, 75, 90, 86});  // 86 % is nearest 87.5 %
  EXPECT_EQ(host.sender.sent.back(), (Bytes{0xFC, 0x04, 0x01, 0x0C, 0x02, 0x02}));
  EXPECT_EQ(host.Read(), "");
  host.Adapter(MsgCode::SetBitTimingDone, {});
  EXPECT_EQ(host.Type("\r"), 1u);
  EXPECT_EQ(host.Read(), "\r\r");

  host.Type("C\rS5\r");
  host.now += 1s;
  host.session.Tick(host.now);
  EXPECT_EQ(host.Read(), "\r\a");  // the adapter never answered
}

TEST(SlcanSession, VersionsComeFromTheAdaptersFirmwareText) {
  Host host;
  host.Type("V\r");
  ASSERT_EQ(host.sender.sent, (std::vector<Bytes>{{0xFC, 0x02, 0x01, 0x20}}));
  host.Adapter(MsgCode::FirmwareVersion, {}, "1.07");
  host.Type("v\r");
  EXPECT_EQ(host.Read(), "V0107\rv0107\r");
  EXPECT_EQ(host.sender.sent.size(), 1u);  // asked once

  struct {
    const char* firmware;
    const char* digits;
  } const texts[] = {{"2.3.4", "0203"}, {"V10", "1000"}, {"123.456", "9999"}, {"beta", ""}};
  for (const auto& t : texts) {
    const auto d = slcan::VersionDigits(t.firmware);
    EXPECT_EQ(d ? std::string(d->begin(), d->end()) : "", t.digits) << t.firmware;
  }
}

TEST(SlcanSession, StatusFlagsSayWhatHappenedSinceTheLastF) {
  struct {
    const char* error;
    std::uint8_t tec, rec;
    const char* answer;
  } const cases[] = {
      {"CRC_ERROR", 0, 0, "F80\r"},           {"ARBITRATION_LOS", 0, 0, "F40\r"},
      {"ACK_ERROR", 96, 0, "F84\r"},          {"STUFF_ERROR", 0, 128, "FA4\r"},
      {"BUS_OFF_ERROR", 0, 0, "FA0\r"},       {"RX_MSG_LOST_ERROR", 0, 0, "F08\r"},
      {"Receive Buffer Full", 0, 0, "F09\r"}, {"", 0, 0, "F00\r"},
  };
  for (const auto& c : cases) {
    Host host;
    host.Adapter(MsgCode::BusError, {0, c.tec, c.rec}, c.error);
    host.Type("F\rF\r");
    EXPECT_EQ(host.Read(), std::string(c.answer) + "F00\r") << c.error;
  }
  Host host({}, 1);
  host.Type("O\r");
  CanFrame frame;
  EXPECT_TRUE(host.queue.Push(frame));
  EXPECT_FALSE(host.queue.Push(frame));  // the host has not read: dropped
  host.Type("F\r");
  EXPECT_EQ(host.Read(), "\rF09\rt0000\r");
}

CanFrame Frame(std::uint32_t id, std::uint8_t ide, std::uint8_t dlc, Bytes data,
               std::uint8_t flags = 0) {
  CanFrame f;
  f.id = id;
  f.ide = ide;
  f.dlc = dlc;
  f.flags = flags;
  std::copy(data.begin(), data.end(), f.data.begin());
  f.time.wallUs = 1733700012345678;  // 12.345 s into its minute: 0x3039 ms
  return f;
}

TEST(SlcanSession, WritesFramesOnlyWhileOpenAndAsLawicelLines) {
  Host host;
  EXPECT_FALSE(host.queue.Push(Frame(0x123, 0, 2, {0xAA, 0xBB})));  // closed: not wanted
  host.Type("Z1\rO\r");
  const CanFrame frames[] = {
      Frame(0x123, 0, 2, {0xAA, 0xBB}),
      Frame(0x1ABCDEF0, 1, 0, {}),
      Frame(0xFFFF, 0, 12, {1, 2, 3, 4, 5, 6, 7, 8}),  // 11 bits kept, DLC 12 carries 8 bytes
      Frame(0x7FF, 0, 8, {}, CanFrame::kRtr),
      Frame(0x1, 1, 0, {}, CanFrame::kError),  // no slcan line
  };
  for (const CanFrame& f : frames) EXPECT_TRUE(host.queue.Push(f));
  EXPECT_EQ(host.Read(),
            "\r\rt1232AABB3039\rT1ABCDEF003039\rt7FF801020304050607083039\rr7FF83039\r");
  EXPECT_EQ(host.session.Counters().framesToHost, 4u);

  host.Type("C\r");
  EXPECT_FALSE(host.queue.Push(frames[0]));
  host.Type("Z0\rX0\rO\r");
  for (int i = 0; i < 3; ++i) host.queue.Push(frames[i]);
  EXPECT_EQ(host.Read(), "\r\r\r\r");  // auto-poll off: frames wait for P or A
  host.Type("P\rA\rP\r");
  EXPECT_EQ(host.Read(), "t1232AABB\rT1ABCDEF00\rt7FF80102030405060708\rA\r\r");
}

}  // namespace
}  // namespace velqor
