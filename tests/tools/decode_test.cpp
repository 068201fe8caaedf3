#include <gtest/gtest.h>

#include <sstream>

#include "link/protocol.h"
#include "tools/decode_command.h"
#include "tools/hex_input.h"
#include "tools/message_json.h"

namespace velqor::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ParseHexText, AcceptsPairsWithBlanksCommasLineEndsAndPrefixes) {
  struct {
    const char* text;
    Bytes bytes;
  } const cases[] = {
      {"FC 03 01 09 00", {0xFC, 0x03, 0x01, 0x09, 0x00}},
      {"fc,03,\r\n0x01 0X09", {0xFC, 0x03, 0x01, 0x09}},
      {"FC030109", {0xFC, 0x03, 0x01, 0x09}},
      {"0xFC0301", {0xFC, 0x03, 0x01}},
      {"  \n\t", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    const HexInput in = ParseHexText(c.text);
    EXPECT_FALSE(in.error) << c.text;
    EXPECT_EQ(in.bytes, c.bytes) << c.text;
  }
}

TEST(ParseHexText, NamesTheOffendingCharacterAndWhereItIs) {
  const HexInput in = ParseHexText("FC 03\n01 0G 00");
  ASSERT_TRUE(in.error);
  EXPECT_EQ(in.error->message, "not a hexadecimal digit: 'G'");
  EXPECT_EQ(in.error->line, 2u);
  EXPECT_EQ(in.error->column, 5u);
  EXPECT_EQ(in.error->offset, 10u);
  // What came before the fault is kept; nothing after it.
  EXPECT_EQ(in.bytes, (Bytes{0xFC, 0x03, 0x01}));

  const HexInput odd = ParseHexText("FC 0");
  ASSERT_TRUE(odd.error);
  EXPECT_EQ(odd.error->message, "expected pairs of hexadecimal digits, got '0'");
  EXPECT_EQ(odd.error->column, 4u);

  const HexInput control = ParseHexText("FC\x01");
  ASSERT_TRUE(control.error);
  EXPECT_EQ(control.error->message, "not a hexadecimal digit: byte 0x01");

  const HexInput prefixOnly = ParseHexText("0x");
  ASSERT_TRUE(prefixOnly.error);

  // A long word is quoted up to 40 characters.
  const HexInput longOdd =
      ParseHexText("FC " + std::string(40, 'A') + "\n" + std::string(101, 'B'));
  ASSERT_TRUE(longOdd.error);
  EXPECT_EQ(longOdd.error->message, "expected pairs of hexadecimal digits, got '" +
                                        std::string(40, 'B') + "...' (101 characters)");
}

TEST(MessageJson, EachCodeCarriesItsFields) {
  DeviceMessage m;
  for (int i = 0; i < 255; ++i) m.Data[i] = static_cast<std::uint8_t>(i);
  m.Ide = 1;
  m.Id = 0x18DA10F1;
  m.Dlc = 8;
  std::snprintf(m.Text, sizeof m.Text, "CRC_ERROR");

  CanFrame frame;
  frame.ide = 1;
  frame.id = 0x18DA10F1;
  frame.dlc = 8;
  frame.data = {0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(FrameJson(frame),
            "{\"code\":202,\"ide\":1,\"id\":416944369,\"dlc\":8,\"data\":[0,1,2,3,4,5,6,7]}");
  EXPECT_EQ(MessageJson(200, m), "{\"code\":200,\"text\":\"CRC_ERROR\",\"tx\":1,\"rx\":2}");
  EXPECT_EQ(MessageJson(119, m), "{\"code\":119,\"text\":\"CRC_ERROR\"}");
  EXPECT_EQ(MessageJson(110, m), "{\"code\":110,\"data\":[0,1]}");
  EXPECT_EQ(MessageJson(118, m), "{\"code\":118,\"data\":[0]}");
  EXPECT_EQ(MessageJson(103, m), "{\"code\":103}");
  EXPECT_EQ(MessageJson(107, m), "{\"code\":107,\"data\":[0,1,2,3,4,5,6,7,8,9,10,11]}");
  m.Data[1] = 3;
  EXPECT_EQ(MessageJson(113, m), "{\"code\":113,\"data\":[0,3,2,3,4]}");
  m.Data[1] = 255;  // more values claimed than the record holds: stops at its 255 bytes
  const std::string table = MessageJson(113, m);
  EXPECT_EQ(std::count(table.begin(), table.end(), ','), 1 + 254);

  m.Data[2] = 0x01;
  m.Data[3] = 0xF4;
  const std::string wave = MessageJson(117, m);
  EXPECT_EQ(wave.rfind("{\"code\":117,\"interval\":500,\"samples\":[4,5,6,", 0), 0u);
  EXPECT_EQ(std::count(wave.begin(), wave.end(), ','), 2 + 199);
}

TEST(MessageJson, TextsAreValidJsonStrings) {
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString("\x01\xff"), "\"\\u0001\\u00ff\"");
}

std::string Decode(const std::vector<std::string>& args, const std::string& input, int* status,
                   std::string* errors = nullptr) {
  std::istringstream in(input);
  std::ostringstream out, err;
  *status = RunDecode(args, in, out, err);
  if (errors != nullptr) *errors = err.str();
  return out.str();
}

TEST(DecodeCommand, PrintsOneLinePerMessageInOrder) {
  int status = -1;
  const std::string out =
      Decode({}, "00 00 FC 03 01 09 00\nFC 11 02 02 00 00 00 00 01 23 02 11 22 00 00 00 00 00 00",
             &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out,
            "{\"code\":109,\"data\":[0]}\n"
            "{\"code\":202,\"ide\":0,\"id\":291,\"dlc\":2,\"data\":[17,34,0,0,0,0,0,0]}\n");
}

TEST(DecodeCommand, ChunkingDoesNotChangeTheResultAndLongCapturesAreNotCut) {
  // A capture far longer than the interpreter's buffer: 1000 frames.
  std::string text;
  for (int i = 0; i < 1000; ++i) {
    text += "FC 11 02 02 00 00 00 00 07 FF 01 2A 00 00 00 00 00 00 00\n";
  }
  int status = -1;
  const std::string whole = Decode({}, text, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::count(whole.begin(), whole.end(), '\n'), 1000);
  for (const char* chunk : {"1", "7", "64", "500"}) {
    EXPECT_EQ(Decode({"--chunk", chunk}, text, &status), whole) << chunk;
  }
}

TEST(DecodeCommand, PiecesBeyondTheInterpretersBufferSayHowManyBytesWereDropped) {
  std::string capture;  // 2000 frames of 19 bytes
  for (int i = 0; i < 2000; ++i)
    capture += "FC 11 02 02 00 00 00 00 07 FF 01 2A 00 00 00 00 00 00 00\n";
  const struct {
    const char* chunk;
    long lines;
    const char* says;  // on standard error
  } cases[] = {
      // One piece of 38 000 bytes: the 4096-byte buffer takes 215 frames and 11 bytes.
      {"100000", 215,
       "velqor-cli decode: 33904 bytes dropped: pieces of 100000 bytes overflowed "
       "the interpreter's 4096-byte buffer\n"},
      {"3840", 2000, ""},  // the 256 bytes an incomplete frame may hold are left free
  };
  for (const auto& c : cases) {
    int status = -1;
    std::string err;
    const std::string out = Decode({"--chunk", c.chunk}, capture, &status, &err);
    EXPECT_EQ(status, 0) << c.chunk;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), c.lines) << c.chunk;
    EXPECT_EQ(err, c.says) << c.chunk;
  }
}

TEST(DecodeCommand, ReadsRawBytesWithBinary) {
  int status = -1;
  const std::string raw("\xFC\x03\x01\x09\x01", 5);
  EXPECT_EQ(Decode({"--binary"}, raw, &status), "{\"code\":109,\"data\":[1]}\n");
  EXPECT_EQ(status, 0);
}

TEST(DecodeCommand, StopsAtTextThatIsNotHexadecimal) {
  int status = -1;
  std::string err;
  const std::string out = Decode({}, "FC 03 01 09 00 FC 03 01 09 zz FC 03 01 09 01", &status, &err);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(out, "{\"code\":109,\"data\":[0]}\n");
  EXPECT_EQ(err,
            "velqor-cli decode: not a hexadecimal digit: 'z' at line 1, column 28 (offset 27)\n");
}

TEST(DecodeCommand, RejectsBadArguments) {
  int status = -1;
  std::string err;
  Decode({"--chunk", "0"}, "", &status, &err);
  EXPECT_EQ(status, 2);
  EXPECT_NE(err.find("--chunk"), std::string::npos);
  Decode({"--chunk"}, "", &status, &err);
  EXPECT_EQ(status, 2);
  Decode({"--what"}, "", &status, &err);
  EXPECT_EQ(status, 2);
  EXPECT_NE(err.find("unknown argument '--what'"), std::string::npos);
  const std::string help = Decode({"--help"}, "", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(help.find("usage: velqor-cli decode"), std::string::npos);
}

// Received frames of messages the DBC file defines carry the message and its signals.
TEST(DecodeCommand, DbcAddsTheMessageItsSignalsAndTheirTexts) {
  const std::string dbc = std::string(VELQOR_TEST_DATA_DIR) + "/signals.dbc";
  int status = -1;
  std::string err;
  const std::string out = Decode(
      {"--dbc", dbc},
      "FC 11 02 02 00 00 00 00 01 23 08 12 34 A5 C6 7F E5 B7 FB\n"
      "FC 11 02 02 00 00 00 00 01 23 02 12 34 00 00 00 00 00 00\n"  // too short for Gear
      "FC 11 02 02 00 01 18 FE F1 FE 08 FF FF FF FF FF FF FF FF\n"
      "FC 11 02 02 00 01 00 00 01 23 01 00 00 00 00 00 00 00 00\n"   // 123 extended: no message
      "FC 11 02 02 00 00 00 00 00 11 05 00 00 C0 7F 01 00 00 00\n",  // a NaN float
      &status, &err);
  EXPECT_EQ(status, 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(
      out,
      "{\"code\":202,\"ide\":0,\"id\":291,\"dlc\":8,\"data\":[18,52,165,198,127,229,183,251],"
      "\"message\":\"Msg1\",\"signals\":{\"Speed\":46.6,\"Gear\":3},\"texts\":{\"Gear\":\"D\"}}\n"
      "{\"code\":202,\"ide\":0,\"id\":291,\"dlc\":2,\"data\":[18,52,0,0,0,0,0,0],"
      "\"message\":\"Msg1\",\"signals\":{\"Speed\":46.6}}\n"
      "{\"code\":202,\"ide\":1,\"id\":419361278,\"dlc\":8,"
      "\"data\":[255,255,255,255,255,255,255,255],"
      "\"message\":\"Wide\",\"signals\":{\"Counter\":18446744073709551615}}\n"
      "{\"code\":202,\"ide\":1,\"id\":291,\"dlc\":1,\"data\":[0,0,0,0,0,0,0,0]}\n"
      "{\"code\":202,\"ide\":0,\"id\":17,\"dlc\":5,\"data\":[0,0,192,127,1,0,0,0],"
      "\"message\":\"Float\",\"signals\":{\"F\":null,\"Mode\":1},"
      "\"texts\":{\"Mode\":\"Grad \\\"\xC2\xB0\\\"\"}}\n");

  // A file that does not load stops the command before any output.
  const std::string bad = Decode({"--dbc", std::string(VELQOR_TEST_DATA_DIR) + "/bad.dbc"},
                                 "FC 03 01 09 00", &status, &err);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(bad, "");
  EXPECT_EQ(err, "velqor-cli decode: " + std::string(VELQOR_TEST_DATA_DIR) +
                     "/bad.dbc:3:14: expected ':' after the message name, got '8'\n");
}

}  // namespace
}  // namespace velqor::cli
