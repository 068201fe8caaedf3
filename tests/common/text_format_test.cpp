#include "common/text_format.h"

#include <gtest/gtest.h>

#include <span>
#include <stdexcept>
#include <vector>

#include "common/dlc_tables.h"

namespace velqor {
namespace {

TEST(FormatText, WidthFillsWithBlanksAndPrecisionWithZeros) {
  const struct {
    const char* pattern;
    FormatArg arg;
    const char* expected;
  } cases[] = {
      {"%0.2x", 10, "0A"},  // upper case, two digits
      {"%0.2x", 255, "FF"},
      {"%0.2x", 0x1A5, "1A5"},  // precision is a minimum
      {"%x", 0x18DA10F1, "18DA10F1"},
      {"%x", -1, "FFFFFFFF"},  // 32-bit two's complement
      {"%03d", 5, "  5"},      // a leading 0 in the width is not zero fill
      {"%03d", 200, "200"},
      {"%03d", 1234, "1234"},
      {"%0.2d", 7, "07"},
      {"%0.2d", 123, "123"},
      {"%d", 0, "0"},
      {"%d", -42, "-42"},
      {"%.4d", -12, "-0012"},
      {"%6.3d", 7, "   007"},
      {"%-5d|", 42, "42   |"},
      {"%-6.3x|", 10, "00A   |"},
      {"%X", 171, "AB"},
      {"%D", 9, "9"},
      {"%s", "text", "text"},
      {"%6s|", "ab", "    ab|"},
      {"%-6s|", "ab", "ab    |"},
      {"%.2s", "abcdef", "ab"},
      {"[%3s]", "日本", "[ 日本]"},  // width counts characters, not bytes
      {"[%.1s]", "日本", "[日]"},
      {"%d", 4294967295u, "4294967295"},
      {"%x", 4294967295u, "FFFFFFFF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatText(c.pattern, std::span<const FormatArg>(&c.arg, 1)), c.expected)
        << c.pattern;
  }
}

TEST(FormatText, PatternsTheProgramUses) {
  EXPECT_EQ(formatText("%0.2d:%0.2d:%0.2d.%0.2d", {9, 5, 3, 7}), "09:05:03.07");
  EXPECT_EQ(formatText("%0.2d:%0.2d:%0.2d.%0.2d", {14, 3, 9, 4}), "14:03:09.04");
  EXPECT_EQ(formatText("リストのインデックスが範囲を超えています (%d)", {3}),
            "リストのインデックスが範囲を超えています (3)");
  EXPECT_EQ(formatText("送信：%s", {"0102"}), "送信：0102");
  EXPECT_EQ(formatText("wait：%s msec", {"250"}), "wait：250 msec");
  EXPECT_EQ(formatText("100%% done", {}), "100% done");
  EXPECT_EQ(formatText("no conversions", {1, 2}), "no conversions");  // extra args ignored
}

TEST(FormatText, DataTablesGiveTheReceiveListColumns) {
  EXPECT_EQ(formatText(DecFormatByDlc[3], {10, 255, 1}), " 10  255    1");
  EXPECT_EQ(formatText(HexFormatByDlc[3], {10, 255, 1}), "0A  FF  01");
  EXPECT_EQ(formatText(DecFormatByDlc[1], {7}), "  7  ");
  EXPECT_EQ(formatText(HexFormatByDlc[1], {7}), "07");
  EXPECT_EQ(formatText(DecFormatByDlc[0], {}), "");
  const std::vector<FormatArg> eight = {1, 2, 3, 4, 5, 6, 7, 0xFF};
  EXPECT_EQ(formatText(HexFormatByDlc[8], eight), "01  02  03  04  05  06  07  FF");
  EXPECT_EQ(formatText(DecFormatByDlc[8], eight), "  1    2    3    4    5    6    7  255");
}

TEST(FormatText, MalformedPatternsAndMissingArgumentsThrowClearly) {
  const struct {
    const char* pattern;
    std::vector<FormatArg> args;
  } cases[] = {
      {"%d %d", {1}},  // too few arguments
      {"%d", {}},
      {"%d", {"text"}},  // wrong kind
      {"%x", {"text"}},
      {"%s", {5}},
      {"50%", {1}},  // a lone % at the end
      {"%5", {1}},
      {"%.d", {1}},
      {"%f", {1}},  // unsupported conversion
      {"%1:d", {1}},
      {"%*d", {3, 1}},
      {"%99999999999999999999d", {1}},  // no overflow, no huge text
      {"%2000d", {1}},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(formatText(c.pattern, c.args), std::invalid_argument) << c.pattern;
  }
  try {
    formatText("ID %x, DLC %d", {0x100});
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "format \"ID %x, DLC %d\", position 12: no argument for conversion 2");
  }
}

// Each DLC's mask, and its formats applied to that many data bytes (0xA0, 0xB1, ...) as the
// HEX and DEC views show them.
TEST(DlcTables, EachDlcMasksAndFormatsThatManyBytes) {
  const std::vector<FormatArg> data = {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5, 0x66, 0x77};
  const struct {
    const char* mask;
    const char* hex;
    const char* dec;
  } rows[] = {
      {"", "", ""},
      {"AA;1;", "A0", "160  "},
      {"AA AA;1;", "A0  B1", "160  177"},
      {"AA AA AA;1;", "A0  B1  C2", "160  177  194"},
      {"AA AA AA AA;1;", "A0  B1  C2  D3", "160  177  194  211"},
      {"AA AA AA AA AA;1;", "A0  B1  C2  D3  E4", "160  177  194  211  228"},
      {"AA AA AA AA AA AA;1;", "A0  B1  C2  D3  E4  F5", "160  177  194  211  228  245"},
      {"AA AA AA AA AA AA AA;1;", "A0  B1  C2  D3  E4  F5  66",
       "160  177  194  211  228  245  102"},
      {"AA AA AA AA AA AA AA AA;1;", "A0  B1  C2  D3  E4  F5  66  77",
       "160  177  194  211  228  245  102  119"},
  };
  for (std::size_t n = 0; n <= 8; ++n) {
    const std::span<const FormatArg> bytes = std::span(data).first(n);
    EXPECT_EQ(MaskByDlc[n], rows[n].mask) << n;
    EXPECT_EQ(formatText(HexFormatByDlc[n], bytes), rows[n].hex) << n;
    EXPECT_EQ(formatText(DecFormatByDlc[n], bytes), rows[n].dec) << n;
  }
}

}  // namespace
}  // namespace velqor
