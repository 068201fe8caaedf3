#include "link/protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace velqor {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct BuilderCase {
  const char* name;
  Frame frame;
  Bytes expected;
};

TEST(Protocol, EveryCommandBuilderProducesTheExactBytes) {
  RxMailboxRecord mailbox0{.index = 0, .enable = 1, .ide = 0, .id = 0x123, .mask = 0x7FF};
  TxRecord tx{.ide = 0, .id = 0x100, .dlc = 3, .data = {0x11, 0x22, 0x33}};
  const BuilderCase cases[] = {
      {"SetRxMailbox",
       SetRxMailbox(mailbox0),
       {0xFC, 0x0E, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x23, 0x00, 0x00, 0x07, 0xFF,
        0x00}},
      {"GetRxMailbox", GetRxMailbox(4), {0xFC, 0x03, 0x01, 0x05, 0x04}},
      {"SetTerminator", SetTerminator(kTerminatorOff), {0xFC, 0x03, 0x01, 0x08, 0x01}},
      {"GetTerminator", GetTerminator(), {0xFC, 0x02, 0x01, 0x09}},
      {"GetTimingTable", GetTimingTable(2), {0xFC, 0x03, 0x01, 0x0A, 0x02}},
      {"GetBitTiming", GetBitTiming(), {0xFC, 0x02, 0x01, 0x0B}},
      {"SetBitTiming", SetBitTiming(1, 2), {0xFC, 0x04, 0x01, 0x0C, 0x01, 0x02}},
      {"SetConsoleFormat", SetConsoleFormat(1), {0xFC, 0x03, 0x01, 0x0D, 0x01}},
      {"GetConsoleFormat", GetConsoleFormat(), {0xFC, 0x02, 0x01, 0x0E}},
      {"StoreParams", StoreParams(), {0xFC, 0x02, 0x01, 0x10}},
      {"GetFirmwareVersion", GetFirmwareVersion(), {0xFC, 0x02, 0x01, 0x20}},
      {"GetDeviceName", GetDeviceName(), {0xFC, 0x02, 0x01, 0x21}},
      {"SendCanFrame",
       SendCanFrame(tx),
       {0xFC, 0x10, 0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x03, 0x11, 0x22, 0x33, 0x00, 0x00,
        0x00, 0x00, 0x00}},
      {"SetTrigger", SetTrigger(kPortCanH, 25), {0xFC, 0x04, 0x03, 0x01, 0x01, 0x19}},
      {"SetCaptureMode", SetCaptureMode(kCaptureStop), {0xFC, 0x03, 0x03, 0x02, 0x00}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.frame, c.expected) << c.name;
    // The length byte always counts category + command + payload.
    ASSERT_GE(c.frame.size(), kFrameHeaderSize) << c.name;
    EXPECT_EQ(c.frame[1] + 2u, c.frame.size()) << c.name;
  }
}

TEST(Protocol, RecordsRoundTripThroughTheirWireLayout) {
  const RxMailboxRecord mb{
      .index = 15, .enable = 1, .ide = 1, .id = 0x1FFFFFFF, .mask = 0x12345678};
  const auto mbBytes = mb.Encode();
  EXPECT_EQ(mbBytes[3], 0x1F);
  EXPECT_EQ(mbBytes[10], 0x78);
  EXPECT_EQ(RxMailboxRecord::Decode(mbBytes), mb);

  const TxRecord tx{.ide = 1, .id = 0x18DA10F1, .dlc = 8, .data = {1, 2, 3, 4, 5, 6, 7, 8}};
  const auto txBytes = tx.Encode();
  // No leading byte before ide in the transmit record.
  EXPECT_EQ(txBytes[0], 1);
  EXPECT_EQ(txBytes[1], 0x18);
  EXPECT_EQ(txBytes[5], 8);
  EXPECT_EQ(TxRecord::Decode(txBytes), tx);

  const ReceivedCanFrame rx{
      .head = 0x55, .ide = 1, .id = 0x12345678, .dlc = 8, .data = {1, 2, 3, 4, 5, 6, 7, 8}};
  const auto rxBytes = rx.Encode();
  // The received frame has one leading byte before ide.
  EXPECT_EQ(rxBytes[0], 0x55);
  EXPECT_EQ(rxBytes[1], 1);
  EXPECT_EQ(rxBytes[2], 0x12);
  EXPECT_EQ(rxBytes[6], 8);
  EXPECT_EQ(ReceivedCanFrame::Decode(rxBytes), rx);

  WaveformBlock w;
  w.interval = 500;
  for (std::size_t i = 0; i < w.samples.size(); ++i) w.samples[i] = static_cast<std::uint8_t>(i);
  const auto wBytes = w.Encode();
  EXPECT_EQ(wBytes[2], 0x01);
  EXPECT_EQ(wBytes[3], 0xF4);
  EXPECT_EQ(wBytes[4 + 199], 199);
  EXPECT_EQ(WaveformBlock::Decode(wBytes), w);
}

TEST(Protocol, AByteFcInsideAPayloadIsPlainData) {
  const TxRecord tx{.ide = 0, .id = 0xFCFC, .dlc = 1, .data = {0xFC}};
  const Frame f = SendCanFrame(tx);
  EXPECT_EQ(f[7], 0xFC);
  EXPECT_EQ(f[8], 0xFC);
  EXPECT_EQ(f[10], 0xFC);
  EXPECT_EQ(f.size(), 18u);
}

TEST(Protocol, MakeFrameCutsPayloadAtTheLongestALengthByteCanSay) {
  const Bytes big(300, 0xAB);
  const Frame f = MakeFrame(Category::Config, 0x7E, big);
  EXPECT_EQ(f.size(), kMaxFrameSize);
  EXPECT_EQ(f[1], 255);
}

TEST(Protocol, TriggerLevelByteIsTenthsTruncatedToTheLowEightBits) {
  struct {
    long double volts;
    std::uint8_t expected;
  } const cases[] = {
      {2.5L, 25}, {0.25L, 2}, {26.0L, 4},  {3.3L, 33}, {2.3L, 23},
      {0.0L, 0},  {5.0L, 50}, {30.0L, 44}, {0.09L, 0}, {-1.0L, 246},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TriggerLevelByte(c.volts), c.expected) << static_cast<double>(c.volts);
  }
  // Beyond int and int64_t the low eight bits are still taken: 3 000 000 000.5 V is
  // 30 000 000 005 tenths (a multiple of 1024, plus 5); 2^60 + 1 V is 10 * 2^60 + 10 tenths.
  // Every long double from 2^64 on is a multiple of 256. Non-numbers do not trap.
  EXPECT_EQ(TriggerLevelByte(3000000000.5L), 5);
  EXPECT_EQ(TriggerLevelByte(1152921504606846977.0L), 10);
  EXPECT_EQ(TriggerLevelByte(1e30L), 0);
  EXPECT_EQ(TriggerLevelByte(-1e30L), 0);
  EXPECT_EQ(TriggerLevelByte(std::numeric_limits<long double>::quiet_NaN()), 0);
}

TEST(Protocol, ErrorIndexOutsideOneToTenReadsAsReceiveBufferFull) {
  EXPECT_STREQ(ErrorText(0), "Receive Buffer Full");
  EXPECT_STREQ(ErrorText(1), "CRC_ERROR");
  EXPECT_STREQ(ErrorText(2), "ARBITRATION_LOS");
  EXPECT_STREQ(ErrorText(6), "ACK_ERROR");
  EXPECT_STREQ(ErrorText(9), "RX_MSG_LOST_ERROR");
  EXPECT_STREQ(ErrorText(10), "");
  EXPECT_STREQ(ErrorText(11), "Receive Buffer Full");
  EXPECT_STREQ(ErrorText(255), "Receive Buffer Full");
}

TEST(Protocol, TextPayloadEndsAtTheFirstZeroOrAfterFifteenBytes) {
  const Bytes five = {'1', '.', '0', '7', 'a', 0, 'x', 'y'};
  EXPECT_EQ(TextPayload(five), "1.07a");
  const Bytes fifteen(20, 'Z');
  EXPECT_EQ(TextPayload(fifteen), std::string(15, 'Z'));
  EXPECT_EQ(TextPayload(Bytes{}), "");
}

// The frames a block of outgoing bytes sends: every whole SendCanFrame, walking frame by frame.
TEST(Protocol, SentCanFrameRecordsAreTheWholeSendCanFramesOfABlock) {
  const TxRecord a{1, 0x18FF1234, 2, {0xAA, 0xBB}};
  const TxRecord b{0, 0x7FF, 8, {1, 2, 3, 4, 5, 6, 7, 8}};
  auto join = [](std::initializer_list<Frame> frames) {
    Bytes block;
    for (const Frame& f : frames) block.insert(block.end(), f.begin(), f.end());
    return block;
  };
  const Bytes cut = join({SendCanFrame(a), SendCanFrame(b)});
  const struct {
    const char* name;
    Bytes block;
    std::vector<TxRecord> records;
  } cases[] = {
      {"one", SendCanFrame(a), {a}},
      {"two around another command",
       join({SendCanFrame(a), GetTerminator(), SendCanFrame(b)}),
       {a, b}},
      {"the second cut short", Bytes(cut.begin(), cut.end() - 1), {a}},
      {"another command", GetTerminator(), {}},
      {"not a frame", Bytes{0x00, 0xFC, 0x10, 0x02, 0x01}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SentCanFrameRecords(c.block), c.records) << c.name;
}

}  // namespace
}  // namespace velqor
