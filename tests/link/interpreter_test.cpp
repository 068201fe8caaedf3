#include "link/interpreter.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "link/protocol.h"

namespace velqor {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Announcement {
  int code;
  DeviceMessage message;  // a copy, as the record looked during the announcement
  CanFrame frame;         // code 202

  // Field by field: the record has padding bytes, which copies need not preserve. The
  // frames' arrival times differ between runs.
  bool operator==(const Announcement& o) const {
    const DeviceMessage& a = message;
    const DeviceMessage& b = o.message;
    return code == o.code && a.Valid == b.Valid && a.Ide == b.Ide && a.Id == b.Id &&
           a.Dlc == b.Dlc && std::memcmp(a.Data, b.Data, sizeof a.Data) == 0 &&
           std::memcmp(a.Text, b.Text, sizeof a.Text) == 0 && frame.id == o.frame.id &&
           frame.ide == o.frame.ide && frame.dlc == o.frame.dlc && frame.data == o.frame.data;
  }
};

void PrintTo(const Announcement& a, std::ostream* os) {
  *os << "code " << a.code << " frame ide " << int(a.frame.ide) << " id " << a.frame.id << " dlc "
      << int(a.frame.dlc) << " data[0..3] " << int(a.message.Data[0]) << ","
      << int(a.message.Data[1]) << "," << int(a.message.Data[2]) << "," << int(a.message.Data[3])
      << " text \"" << a.message.Text << "\"";
}

// Index of the first announcement where two runs differ, for readable failures.
std::string FirstDifference(const std::vector<Announcement>& a,
                            const std::vector<Announcement>& b) {
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    if (!(a[i] == b[i])) {
      std::ostringstream os;
      os << "first difference at message " << i << ": ";
      PrintTo(a[i], &os);
      os << " vs ";
      PrintTo(b[i], &os);
      return os.str();
    }
  }
  return "lengths " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
}

class Recorder : public DeviceMessageSink {
 public:
  void OnDeviceMessage(int code, const DeviceMessage& message) override {
    seen.push_back({code, message, {}});
    last = &message;
  }
  void OnReceivedFrame(const CanFrame& frame) override {
    seen.push_back({MsgCode::ReceivedFrame, {}, frame});
  }
  std::vector<Announcement> seen;
  const DeviceMessage* last = nullptr;
};

class Interpreter : public ::testing::Test {
 protected:
  void Feed(const Bytes& b) { interp.Feed(b.data(), static_cast<std::uint32_t>(b.size())); }
  std::vector<int> Codes() const {
    std::vector<int> c;
    for (const auto& a : rec.seen) c.push_back(a.code);
    return c;
  }
  Recorder rec;
  TMsgInterpret interp{&rec};
};

TEST_F(Interpreter, DropsStrayBytesUntilAStartByte) {
  Feed({0x00, 0x00, 0xFC, 0x03, 0x01, 0x09, 0x00});
  ASSERT_EQ(Codes(), std::vector<int>{109});
  EXPECT_EQ(rec.seen[0].message.Data[0], 0);
  EXPECT_EQ(rec.seen[0].message.Valid, 1);
}

TEST_F(Interpreter, AnIncompleteFrameWaitsForTheNextFeed) {
  Feed({0xFC, 0x03, 0x01});
  EXPECT_TRUE(rec.seen.empty());
  EXPECT_EQ(interp.BufferedBytes(), 3);
  Feed({0x09, 0x01});
  ASSERT_EQ(Codes(), std::vector<int>{109});
  EXPECT_EQ(rec.seen[0].message.Data[0], 1);
  EXPECT_EQ(interp.BufferedBytes(), 0);
}

TEST_F(Interpreter, LengthZeroHeaderSwallowsTheNextTwoBytes) {
  // FC 00 FC 03 is one frame (category FC, command 3, ignored); 01 09 00 are stray.
  Feed({0xFC, 0x00, 0xFC, 0x03, 0x01, 0x09, 0x00});
  EXPECT_TRUE(rec.seen.empty());
  EXPECT_EQ(interp.BufferedBytes(), 0);
}

TEST_F(Interpreter, ShortLengthFrameWaitsForItsFourHeaderBytes) {
  // A frame claiming length 0 swallows four header bytes whether they come in one chunk or
  // in several, so the outcome does not depend on where the stream was cut.
  Feed({0xFC, 0x00});
  EXPECT_EQ(interp.BufferedBytes(), 2);
  Feed({0xFC, 0x03});  // category FC, command 3: consumed, ignored
  EXPECT_EQ(interp.BufferedBytes(), 0);
  Feed({0xFC, 0x01, 0x01});
  Feed({0x09, 0xFC, 0x02, 0x01, 0x0C});  // header FC 01 01 09: code 109 without payload
  EXPECT_EQ(Codes(), (std::vector<int>{109, 112}));
}

TEST_F(Interpreter, TwoFramesInOneChunkAreAnnouncedInOrderThroughOneRecord) {
  Feed({0xFC, 0x03, 0x01, 0x09, 0x00, 0xFC, 0x03, 0x01, 0x09, 0x01});
  ASSERT_EQ(Codes(), (std::vector<int>{109, 109}));
  EXPECT_EQ(rec.seen[0].message.Data[0], 0);
  EXPECT_EQ(rec.seen[1].message.Data[0], 1);
  // A pointer kept from the first announcement shows the second frame's values.
  ASSERT_NE(rec.last, nullptr);
  EXPECT_EQ(rec.last->Data[0], 1);
}

TEST_F(Interpreter, BusErrorKeepsDataZeroAndMapsTheErrorIndex) {
  Feed({0xFC, 0x03, 0x01, 0x08, 0x42});  // sets Data[0] = 0x42
  Feed({0xFC, 0x05, 0x01, 0xFF, 12, 5, 7});
  ASSERT_EQ(Codes(), (std::vector<int>{108, 200}));
  const DeviceMessage& m = rec.seen[1].message;
  EXPECT_STREQ(m.Text, "Receive Buffer Full");
  EXPECT_EQ(m.Data[0], 0x42);
  EXPECT_EQ(m.Data[1], 5);
  EXPECT_EQ(m.Data[2], 7);
  Feed({0xFC, 0x05, 0x01, 0xFF, 1, 9, 9});
  EXPECT_STREQ(rec.seen[2].message.Text, "CRC_ERROR");
  Feed({0xFC, 0x05, 0x01, 0xFF, 10, 9, 9});
  EXPECT_STREQ(rec.seen[3].message.Text, "");
}

TEST_F(Interpreter, ReceivedCanFrameFillsIdeIdDlcAndData) {
  Feed({0xFC, 0x11, 0x02, 0x02, 0x00, 0x01, 0x12, 0x34, 0x56, 0x78, 0x08, 0x01, 0x02, 0x03, 0x04,
        0x05, 0x06, 0x07, 0x08});
  ASSERT_EQ(Codes(), std::vector<int>{202});
  const CanFrame& f = rec.seen[0].frame;
  EXPECT_EQ(f.ide, 1);
  EXPECT_EQ(f.id, 0x12345678u);
  EXPECT_EQ(f.dlc, 8);
  EXPECT_EQ(f.data, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(f.flags, 0);
}

TEST_F(Interpreter, AFrameCutAcrossFeedsTakesTheArrivalOfTheFeedThatCompletesIt) {
  const Bytes frame = {0xFC, 0x11, 0x02, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01, 0x23,
                       0x01, 0xAA, 0,    0,    0,    0,    0,    0,    0};
  interp.Feed(frame.data(), 7, CanTime{100, 5000});
  interp.Feed(frame.data() + 7, 12, CanTime{250, 5150});
  interp.Feed(frame.data(), 19, CanTime{400, 5300});
  ASSERT_EQ(Codes(), (std::vector<int>{202, 202}));
  EXPECT_EQ(rec.seen[0].frame.time, (CanTime{250, 5150}));
  EXPECT_EQ(rec.seen[1].frame.time, (CanTime{400, 5300}));
}

TEST_F(Interpreter, KeepsTheFirst4096BytesOfAnOversizedChunk) {
  // 5000 bytes: a run of stray bytes, then a frame that starts inside the first 4096 and a
  // frame that starts beyond them.
  Bytes b(5000, 0x00);
  const Bytes f = {0xFC, 0x03, 0x01, 0x09, 0x01};
  std::copy(f.begin(), f.end(), b.begin() + 4000);
  std::copy(f.begin(), f.end(), b.begin() + 4500);
  EXPECT_EQ(interp.Feed(b.data(), 5000), 0u);  // no room left after the push
  EXPECT_EQ(Codes(), std::vector<int>{109});
  EXPECT_EQ(interp.BufferedBytes(), 0);
}

TEST_F(Interpreter, FeedReturnsTheRoomLeftBeforeFramesAreConsumed) {
  const Bytes f = {0xFC, 0x03, 0x01, 0x09, 0x01};
  EXPECT_EQ(interp.Feed(f.data(), 5), 4096u - 5);
  EXPECT_EQ(interp.BufferedBytes(), 0);
}

TEST_F(Interpreter, UnknownPairsAreConsumedWithoutATrace) {
  Feed({0xFC, 0x02, 0x03, 0x01});                    // category 3 command 1
  Feed({0xFC, 0x03, 0x04, 0x02, 0x00});              // category 4
  Feed({0xFC, 0x02, 0x01, 0x07});                    // category 1 command 7
  Feed({0xFC, 0x02, 0x01, 0x0F, 0xFC, 0x02, 0x00});  // command 0x0F, then category 0
  Feed({0xFC, 0x02, 0x02, 0x03});                    // category 2 command 3
  EXPECT_TRUE(rec.seen.empty());
  EXPECT_EQ(interp.BufferedBytes(), 0);
}

TEST_F(Interpreter, EveryKnownPairGivesItsCodeAndFields) {
  struct Case {
    std::uint8_t category, command;
    int code;
  };
  const Case cases[] = {
      {1, 0x01, 101}, {1, 0x02, 102}, {1, 0x03, 103}, {1, 0x04, 104}, {1, 0x05, 105},
      {1, 0x06, 107}, {1, 0x08, 108}, {1, 0x09, 109}, {1, 0x0A, 113}, {1, 0x0B, 110},
      {1, 0x0C, 112}, {1, 0x0D, 114}, {1, 0x0E, 115}, {1, 0x10, 118}, {1, 0x20, 119},
      {1, 0x21, 120}, {1, 0xFF, 200}, {2, 0x01, 201}, {2, 0x02, 202}, {3, 0x02, 116},
      {3, 0x03, 117},
  };
  for (const auto& c : cases) {
    rec.seen.clear();
    Bytes payload(206);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i + 1);
    payload[1] = 3;  // a small count for the timing table
    Feed(MakeFrame(c.category, c.command, payload));
    ASSERT_EQ(Codes(), std::vector<int>{c.code}) << int(c.category) << "/" << int(c.command);
    const DeviceMessage& m = rec.seen[0].message;
    switch (c.code) {
      case 107:
        for (int i = 0; i < 12; ++i) EXPECT_EQ(m.Data[i], payload[i]) << i;
        break;
      case 108:
      case 109:
      case 114:
      case 115:
      case 116:
      case 118:
      case 201:
        EXPECT_EQ(m.Data[0], 1);
        break;
      case 110:
        EXPECT_EQ(m.Data[0], 1);
        EXPECT_EQ(m.Data[1], 3);
        break;
      case 113:
        EXPECT_EQ(m.Data[0], 1);
        EXPECT_EQ(m.Data[1], 3);
        EXPECT_EQ(m.Data[2], 3);
        EXPECT_EQ(m.Data[4], 5);
        break;
      case 119:
      case 120:
        EXPECT_EQ(std::string(m.Text),
                  std::string("\x01\x03\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"));
        break;
      case 117:
        for (int i = 0; i < 206; ++i) EXPECT_EQ(m.Data[i], payload[i]) << i;
        break;
      default:
        break;
    }
  }
}

TEST_F(Interpreter, TextPayloadStopsAtTheFirstZero) {
  Feed(MakeFrame(1, 0x20,
                 Bytes{'V', '1', '.', '2', '3', 0, 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'}));
  Feed(MakeFrame(1, 0x21, Bytes(15, 'M')));
  ASSERT_EQ(Codes(), (std::vector<int>{119, 120}));
  EXPECT_STREQ(rec.seen[0].message.Text, "V1.23");
  EXPECT_EQ(std::string(rec.seen[1].message.Text), std::string(15, 'M'));
}

TEST_F(Interpreter, TimingTableWithAnImpossibleCountStaysInsideTheRecord) {
  // A count of 255 claims more values than the frame and the record can hold.
  Bytes payload(253, 0x44);
  payload[0] = 0;
  payload[1] = 255;
  Feed(MakeFrame(1, 0x0A, payload));
  ASSERT_EQ(Codes(), std::vector<int>{113});
  EXPECT_EQ(rec.seen[0].message.Data[1], 255);
  EXPECT_EQ(rec.seen[0].message.Data[252], 0x44);
}

TEST_F(Interpreter, AStrayStartByteWithALargeLengthHoldsBackLaterFrames) {
  Feed({0xFC, 0xFF});
  Feed({0xFC, 0x03, 0x01, 0x09, 0x00});
  EXPECT_TRUE(rec.seen.empty());  // consumed later as the payload of the 257-byte frame
  Feed(Bytes(250, 0x00));
  EXPECT_EQ(interp.BufferedBytes(), 0);
  Feed({0xFC, 0x03, 0x01, 0x09, 0x00});
  EXPECT_EQ(Codes(), std::vector<int>{109});
}

// A random stream of valid frames, stray bytes, stray start bytes and length-0/1 frames.
Bytes RandomStream(std::mt19937& rng, std::size_t limit) {
  static const std::pair<std::uint8_t, std::uint8_t> kPairs[] = {
      {1, 0x01}, {1, 0x03}, {1, 0x06}, {1, 0x08}, {1, 0x09}, {1, 0x0A},
      {1, 0x0B}, {1, 0x0E}, {1, 0x10}, {1, 0x20}, {1, 0x21}, {1, 0xFF},
      {2, 0x01}, {2, 0x02}, {3, 0x02}, {3, 0x03}, {1, 0x07}, {4, 0x01}};
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> kind(0, 9);
  Bytes s;
  while (s.size() < limit) {
    Bytes piece;
    switch (kind(rng)) {
      case 0:  // stray bytes that are not a start byte
        for (int i = byte(rng) % 5 + 1; i > 0; --i) {
          piece.push_back(static_cast<std::uint8_t>(byte(rng) % 0xFC));
        }
        break;
      case 1:  // a stray start byte
        piece.push_back(0xFC);
        break;
      case 2:  // length 0 or 1
        piece = {0xFC, static_cast<std::uint8_t>(byte(rng) % 2)};
        break;
      default: {
        const auto& p = kPairs[static_cast<std::size_t>(byte(rng)) % std::size(kPairs)];
        std::size_t n =
            p.first == 3 && p.second == 3 ? 206 : static_cast<std::size_t>(byte(rng) % 20);
        if (p.first == 2 && p.second == 2) n = 15;
        Bytes payload(n);
        for (auto& b : payload) b = static_cast<std::uint8_t>(byte(rng));
        if (p.first == 1 && p.second == 0x0A && n > 1)
          payload[1] = static_cast<std::uint8_t>(n - 2);
        piece = MakeFrame(p.first, p.second, payload);
      }
    }
    if (s.size() + piece.size() > limit) break;
    s.insert(s.end(), piece.begin(), piece.end());
  }
  return s;
}

std::vector<Announcement> Decode(const Bytes& stream, const std::vector<std::size_t>& cuts) {
  Recorder r;
  TMsgInterpret in(&r);
  std::size_t at = 0;
  for (std::size_t cut : cuts) {
    in.Feed(stream.data() + at, static_cast<std::uint32_t>(cut - at));
    at = cut;
  }
  in.Feed(stream.data() + at, static_cast<std::uint32_t>(stream.size() - at));
  return r.seen;
}

TEST(TMsgInterpretChunking, AnyChunkingYieldsTheSameMessages) {
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 40; ++trial) {
    // Whole-stream feeding keeps at most 4096 bytes, so the stream stays within that.
    const Bytes stream = RandomStream(rng, 4096);
    const auto whole = Decode(stream, {});
    ASSERT_FALSE(whole.empty());
    for (std::size_t size = 1; size <= 70; ++size) {
      std::vector<std::size_t> cuts;
      for (std::size_t c = size; c < stream.size(); c += size) cuts.push_back(c);
      const auto got = Decode(stream, cuts);
      ASSERT_TRUE(got == whole) << "trial " << trial << " chunk " << size << ": "
                                << FirstDifference(got, whole);
    }
    for (int r = 0; r < 20; ++r) {
      std::vector<std::size_t> cuts;
      std::uniform_int_distribution<std::size_t> step(0, 300);
      for (std::size_t c = step(rng); c < stream.size(); c += step(rng)) cuts.push_back(c);
      const auto got = Decode(stream, cuts);
      ASSERT_TRUE(got == whole) << "trial " << trial << " random cut " << r << ": "
                                << FirstDifference(got, whole);
    }
  }
}

}  // namespace
}  // namespace velqor
