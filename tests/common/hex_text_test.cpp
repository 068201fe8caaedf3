#include "common/hex_text.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace velqor {
namespace {

TEST(HexTextToValue, ReadsIdentifierAndMaskTexts) {
  const struct {
    const char* text;
    std::uint32_t expected;
  } cases[] = {
      {"", 0},
      {"0", 0},
      {"123", 0x123},
      {"7ff", 0x7FF},
      {"7FF", 0x7FF},
      {"1fffffff", 0x1FFFFFFF},
      {"18DA10F1", 0x18DA10F1},
      {"FFFFFFFF", 0xFFFFFFFF},
      {"123456789", 0x23456789},  // more than eight digits: the last eight
      {"000000000001", 0x1},
      {"12G", 0xFFFFFFFF},  // any other character: all bits set
      {"g", 0xFFFFFFFF},
      {" 12", 0xFFFFFFFF},  // blanks are characters too
      {"12 ", 0xFFFFFFFF},
      {"0x12", 0xFFFFFFFF},
      {"-1", 0xFFFFFFFF},
      {"\xEF\xBC\x91", 0xFFFFFFFF},  // a full-width digit is not a digit
  };
  for (const auto& c : cases) EXPECT_EQ(HexTextToValue(c.text), c.expected) << c.text;
}

TEST(HexTextToBytes, PacksTheHexDigitsInPairs) {
  const struct {
    const char* text;
    std::vector<std::uint8_t> expected;
  } cases[] = {
      {"0A 1b-2C", {0x0A, 0x1B, 0x2C}},
      {"123", {0x12}},  // a last digit without a partner is ignored
      {"", {}},
      {"xyz", {}},
      {"F", {}},
      {"fc 04 01 0A 01 00", {0xFC, 0x04, 0x01, 0x0A, 0x01, 0x00}},
      {"f c", {0xFC}},  // pairs are made after the other characters are gone
      {"S 0102", {0x01, 0x02}},
      {"\xE3\x81\x82"
       "ff",
       {0xFF}},  // bytes of a Japanese character are dropped
  };
  for (const auto& c : cases) EXPECT_EQ(HexTextToBytes(c.text), c.expected) << c.text;
}

TEST(HexTextToBytes, BufferFormFillsNoMoreThanTheBuffer) {
  std::array<std::uint8_t, 4> buf{0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(HexTextToBytes("01 02 03", std::span(buf).first(3)), 3u);
  EXPECT_EQ(buf, (std::array<std::uint8_t, 4>{0x01, 0x02, 0x03, 0xEE}));
  EXPECT_EQ(HexTextToBytes("0102030405060708", std::span(buf).first(2)), 2u);
  EXPECT_EQ(buf, (std::array<std::uint8_t, 4>{0x01, 0x02, 0x03, 0xEE}));
  EXPECT_EQ(HexTextToBytes("a1b", std::span(buf)), 1u);
  EXPECT_EQ(buf[0], 0xA1);
}

}  // namespace
}  // namespace velqor
