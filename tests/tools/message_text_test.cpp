// Texts of the live commands: candump lines, readable messages, the frame argument of send.

#include "tools/message_text.h"

#include <gtest/gtest.h>

namespace velqor::cli {
namespace {

// Arrived at 1700000000.000042 on the wall clock.
CanFrame Frame(std::uint8_t ide, std::uint32_t id, std::uint8_t dlc,
               std::initializer_list<std::uint8_t> data) {
  CanFrame f;
  f.ide = ide;
  f.id = id;
  f.dlc = dlc;
  std::size_t i = 0;
  for (std::uint8_t b : data) f.data[i++] = b;
  f.time.wallUs = 1700000000000042;
  return f;
}

TEST(CandumpLine, StampIdentifierAndData) {
  struct {
    CanFrame frame;
    const char* line;
  } const cases[] = {
      {Frame(0, 0x123, 2, {0x11, 0xAB}), "(1700000000.000042) usb 123#11AB"},
      {Frame(0, 0x7, 0, {}), "(1700000000.000042) usb 007#"},
      {Frame(1, 0x18FEF100, 3, {1, 2, 3}), "(1700000000.000042) usb 18FEF100#010203"},
      {Frame(1, 0x5, 1, {0xFF}), "(1700000000.000042) usb 00000005#FF"},
      // A DLC above 8 as received: the eight data bytes there are.
      {Frame(0, 0x100, 15, {1, 2, 3, 4, 5, 6, 7, 8}),
       "(1700000000.000042) usb 100#0102030405060708"},
  };
  for (const auto& c : cases) EXPECT_EQ(CandumpLine(c.frame), c.line);
}

TEST(MessageText, NamesResultsAndErrors) {
  DeviceMessage m;
  m.Data[0] = kResultOk;
  EXPECT_EQ(MessageText(MsgCode::SendResult, m), "send result: sent");
  m.Data[0] = kResultOutOfRange;
  EXPECT_EQ(MessageText(MsgCode::SendResult, m), "send result: out of range");
  m.Data[0] = kResultFailed;
  EXPECT_EQ(MessageText(MsgCode::StoreResult, m), "store parameters: failed");
  std::snprintf(m.Text, sizeof m.Text, "%s", "ACK_ERROR");
  m.Data[1] = 8;
  m.Data[2] = 0;
  EXPECT_EQ(MessageText(MsgCode::BusError, m),
            "bus error: ACK_ERROR (transmit errors 8, receive errors 0)");
  m.Data[0] = 1;
  m.Data[1] = 3;
  m.Data[2] = 81;
  m.Data[3] = 77;
  m.Data[4] = 72;
  EXPECT_EQ(MessageText(MsgCode::TimingTable, m), "sample timings for 500kbps: 81 77 72");
  m.Data[0] = 7;  // no such rate
  m.Data[1] = 0;
  EXPECT_EQ(MessageText(MsgCode::TimingTable, m), "sample timings for ?:");
  const RxMailboxRecord r{3, 1, 1, 0x18FEF100, 0x1FFFFFFF, 0};
  const auto bytes = r.Encode();
  std::copy(bytes.begin(), bytes.end(), m.Data);
  EXPECT_EQ(MessageText(MsgCode::RxMailboxContents, m),
            "receive mailbox 3: enabled, extended id 18FEF100 mask 1FFFFFFF");
}

TEST(ParseFrameText, TakesCansendStyleFrames) {
  struct {
    const char* text;
    bool ext;
    std::uint8_t ide;
    std::uint32_t id;
    std::vector<std::uint8_t> data;
  } const cases[] = {
      {"123#1122", false, 0, 0x123, {0x11, 0x22}},
      {"123#", false, 0, 0x123, {}},
      {"7FF#11.22.33", false, 0, 0x7FF, {0x11, 0x22, 0x33}},
      {"1#aabbccddeeff0011", false, 0, 1, {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00, 0x11}},
      {"0123#00", false, 1, 0x123, {0}},  // four digits: extended
      {"123#00", true, 1, 0x123, {0}},    // --ext
      {"1FFFFFFF#", false, 1, 0x1FFFFFFF, {}},
      {"FFF#", false, 0, 0xFFF, {}},  // beyond 11 bits: the adapter answers out of range
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    const auto r = ParseFrameText(c.text, c.ext, error);
    ASSERT_TRUE(r) << error;
    EXPECT_EQ(r->ide, c.ide);
    EXPECT_EQ(r->id, c.id);
    ASSERT_EQ(r->dlc, c.data.size());
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(r->data[i], i < c.data.size() ? c.data[i] : 0);
  }
}

TEST(ParseFrameText, SaysWhatIsWrong) {
  struct {
    const char* text;
    const char* says;
  } const cases[] = {
      {"1231122", "no '#'"},
      {"#11", "1 to 8 hexadecimal digits"},
      {"123456789#", "1 to 8 hexadecimal digits"},
      {"12G#11", "not hexadecimal: 'G'"},
      {"123#112", "half a byte"},
      {"123#11 22", "at position 3: ' '"},
      {"123#1.122", "at position 2: '.'"},
      {"123#112233445566778899", "more than 8 bytes"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseFrameText(c.text, false, error)) << c.text;
    EXPECT_NE(error.find(c.says), std::string::npos) << c.text << ": " << error;
  }
}

}  // namespace
}  // namespace velqor::cli
