#include "sim/can_bitstream.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "sim/sim_random.h"

namespace velqor {
namespace {

using Bits = std::vector<std::uint8_t>;

// CRC-15 as the remainder of a long division, written apart from the production code.
std::uint16_t DivisionCrc(Bits bits) {
  const Bits generator = {1, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1};  // 0xC599
  const std::size_t n = bits.size();
  bits.resize(n + 15, 0);
  for (std::size_t i = 0; i < n; ++i) {
    if (bits[i] == 0) continue;
    for (std::size_t k = 0; k < generator.size(); ++k) bits[i + k] ^= generator[k];
  }
  std::uint16_t crc = 0;
  for (std::size_t i = n; i < n + 15; ++i) crc = static_cast<std::uint16_t>((crc << 1) | bits[i]);
  return crc;
}

void Put(Bits& b, std::uint32_t v, int width) {
  for (int i = width - 1; i >= 0; --i) b.push_back(static_cast<std::uint8_t>((v >> i) & 1));
}

// SOF .. data of a frame, built field by field from the frame format.
Bits Fields(const BusFrame& f) {
  Bits b{0};
  if (f.extended) {
    Put(b, f.id >> 18, 11);
    Put(b, 0b11, 2);  // SRR, IDE
    Put(b, f.id & 0x3FFFF, 18);
    Put(b, 0, 3);  // RTR, r1, r0
  } else {
    Put(b, f.id, 11);
    Put(b, 0, 3);  // RTR, IDE, r0
  }
  Put(b, f.dlc, 4);
  for (std::size_t i = 0; i < f.DataBytes(); ++i) Put(b, f.data[i], 8);
  return b;
}

// Removes the stuff bits; fails the test when a stuff bit has the wrong value.
Bits Destuff(std::span<const std::uint8_t> stuffed) {
  Bits out;
  int run = 0;
  int last = -1;
  for (std::size_t i = 0; i < stuffed.size(); ++i) {
    out.push_back(stuffed[i]);
    run = stuffed[i] == last ? run + 1 : 1;
    last = stuffed[i];
    if (run == 5 && i + 1 < stuffed.size()) {
      ++i;
      EXPECT_NE(stuffed[i], last) << "stuff bit at " << i;
      last = stuffed[i];
      run = 1;
    }
  }
  return out;
}

TEST(CanCrc15, MatchesTheCatalogueCheckValue) {
  // CRC-15/CAN of the ASCII text "123456789" is 0x059E.
  Bits bits;
  for (char c : std::string_view("123456789")) Put(bits, static_cast<std::uint8_t>(c), 8);
  EXPECT_EQ(CanCrc15(bits), 0x059E);
  EXPECT_EQ(DivisionCrc(bits), 0x059E);
}

TEST(CanBitStream, CrcOfKnownFrames) {
  // Values computed with an independent CRC library over the same fields.
  struct Case {
    BusFrame frame;
    std::uint16_t crc;
  };
  const Case cases[] = {
      {{0x123, false, 3, {0x11, 0x22, 0x33}}, 0x65ED},
      {{0x18FEF100, true, 8, {1, 2, 3, 4, 5, 6, 7, 8}}, 0x1111},
      {{0x7FF, false, 0, {}}, 0x272F},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildCanBitStream(c.frame).crc, c.crc) << std::hex << c.frame.id;
  }
}

TEST(CanBitStream, RandomFramesHaveTheirFieldsStuffingAndTrailer) {
  SimRandom random(7);
  for (int n = 0; n < 3000; ++n) {
    BusFrame f;
    f.extended = random.Below(2) == 1;
    // Identifiers and data biased towards long runs of equal bits, where stuffing happens.
    const std::uint32_t pattern[] = {0, 0xFFFFFFFF, static_cast<std::uint32_t>(random.Next())};
    f.id = pattern[random.Below(3)] & (f.extended ? 0x1FFFFFFF : 0x7FF);
    f.dlc = static_cast<std::uint8_t>(random.Below(16));
    for (auto& d : f.data) d = random.Below(2) ? static_cast<std::uint8_t>(random.Next()) : 0;
    SCOPED_TRACE(testing::Message() << "frame " << n << " id " << std::hex << f.id);

    const CanBitStream s = BuildCanBitStream(f);
    Bits expected = Fields(f);
    ASSERT_EQ(s.crc, DivisionCrc(expected));
    Put(expected, s.crc, 15);

    const auto stuffed = s.Bits().first(s.stuffedEnd);
    EXPECT_EQ(Destuff(stuffed), expected);
    EXPECT_EQ(s.unstuffedBits, expected.size());
    EXPECT_EQ(s.stuffBits, s.stuffedEnd - expected.size());
    int run = 0;
    for (std::size_t i = 0; i < stuffed.size(); ++i) {
      run = i > 0 && stuffed[i] == stuffed[i - 1] ? run + 1 : 1;
      ASSERT_LE(run, 5) << "six equal bits ending at " << i;
    }
    // CRC delimiter, ACK slot (dominant: acknowledged), ACK delimiter, seven EOF bits.
    const Bits trailer(s.bits.begin() + s.stuffedEnd, s.bits.begin() + s.size);
    EXPECT_EQ(trailer, (Bits{1, 0, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(s.ackSlot, s.stuffedEnd + 1);
    EXPECT_LE(s.size, kMaxFrameBits);
  }
}

TEST(CanBitStream, UnacknowledgedFrameLeavesTheAckSlotRecessive) {
  const BusFrame f{0x100, false, 1, {0xAA}};
  EXPECT_EQ(BuildCanBitStream(f, true).bits[BuildCanBitStream(f).ackSlot], kDominant);
  const CanBitStream s = BuildCanBitStream(f, false);
  EXPECT_EQ(s.bits[s.ackSlot], kRecessive);
}

TEST(CanBitStream, ShortestAndLongestFrames) {
  // Standard, no data, identifier 0x555: 44 bits and the one stuff bit that the dominant
  // RTR, IDE, r0 and DLC bits force.
  const CanBitStream shortest = BuildCanBitStream({0x555, false, 0, {}});
  EXPECT_EQ(shortest.unstuffedBits + 10, 44);
  EXPECT_GE(shortest.stuffBits, 1);
  // Extended, eight zero bytes: 128 bits before stuffing and many stuff bits.
  const CanBitStream longest = BuildCanBitStream({0, true, 8, {}});
  EXPECT_EQ(longest.unstuffedBits + 10, 128);
  EXPECT_GT(longest.stuffBits, 15);
  EXPECT_EQ(FrameSlotBits(longest), longest.size + 3);
}

}  // namespace
}  // namespace velqor
