#include "config/device_parameters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "link/protocol.h"
#include "tests/support/recorders.h"

namespace velqor {
namespace {

using velqor::testing::RecordingBoxes;
using velqor::testing::ShownBox;
using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The page as a plain record. Every change of the sample-timing list is also noted in
// `events`, which the sender shares, so the order of sends and list changes shows.
struct FakeConfigPage : ConfigPageView {
  std::array<RxMailboxRow, kRxMailboxCount> rows{};
  std::array<std::string, kRxMailboxCount> rxDataMasks{};
  int bitRate = 1;
  std::vector<std::string> sampleTimings;
  int sampleTiming = -1;
  bool terminator = true;
  int consoleFormat = 0;
  std::string version, device, result;
  std::vector<std::string>* events = nullptr;

  RxMailboxRow RxMailbox(int index) const override { return rows.at(index); }
  void SetRxMailbox(int index, const RxMailboxRow& row) override { rows.at(index) = row; }
  void SetRxDataMask(int index, std::string_view mask) override {
    rxDataMasks.at(index) = std::string(mask);
  }
  int BitRateIndex() const override { return bitRate; }
  void SetBitRateIndex(int index) override { bitRate = index; }
  int SampleTimingIndex() const override { return sampleTiming; }
  void SetSampleTimings(const std::vector<std::string>& items, int selected) override {
    sampleTimings = items;
    sampleTiming = selected >= 0 && selected < static_cast<int>(items.size()) ? selected : -1;
    if (events) events->push_back("list " + std::to_string(items.size()));
  }
  bool Terminator() const override { return terminator; }
  void SetTerminator(bool checked) override { terminator = checked; }
  int ConsoleFormat() const override { return consoleFormat; }
  void SetConsoleFormat(int index) override { consoleFormat = std::min(index, 1); }
  void SetVersionText(std::string_view text) override { version = text; }
  void SetDeviceText(std::string_view text) override { device = text; }
  void SetResultText(std::string_view text) override {
    result = text;
    if (events) events->push_back("result " + result);
  }
};

struct EventSender : DeviceSender {
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
    frames.emplace_back(bytes, bytes + length);
    events.push_back("send");
    return true;
  }
  using DeviceSender::SendToDevice;
  std::vector<Bytes> frames;
  std::vector<std::string> events;
};

DeviceMessage Reply(std::initializer_list<std::uint8_t> data, const char* text = "") {
  DeviceMessage m;
  std::copy(data.begin(), data.end(), m.Data);
  std::strncpy(m.Text, text, sizeof m.Text - 1);
  return m;
}

class DeviceParametersTest : public ::testing::Test {
 protected:
  DeviceParametersTest() {
    page.events = &sender.events;
    for (int i = 0; i < kRxMailboxCount; ++i) page.rows[i] = {false, false, "0", "0"};
  }

  EventSender sender;
  RecordingBoxes boxes;
  SampleTimingTable table = defaultSampleTimingTable();
  FakeConfigPage page;
  DeviceParameters logic{sender, boxes, table, page};
};

TEST_F(DeviceParametersTest, WriteSendsBitTimingTerminatorConsoleFormatThenSixteenMailboxes) {
  page.bitRate = 2;
  page.sampleTiming = 1;
  page.terminator = true;
  page.consoleFormat = 1;
  page.rows[0] = {true, false, "7ff", "7ff"};
  page.rows[3] = {false, true, "18DA10F1", "1fffffff"};  // disabled rows go out as shown
  page.rows[15] = {true, true, "", "123456789"};

  logic.BtnConfigSetClick();

  ASSERT_EQ(sender.frames.size(), 19u);
  EXPECT_EQ(sender.frames[0], (Bytes{0xFC, 0x04, 0x01, 0x0C, 0x02, 0x01}));
  EXPECT_EQ(sender.frames[1], (Bytes{0xFC, 0x03, 0x01, 0x08, 0x00}));
  EXPECT_EQ(sender.frames[2], (Bytes{0xFC, 0x03, 0x01, 0x0D, 0x01}));
  EXPECT_EQ(sender.frames[3], (Bytes{0xFC, 0x0E, 0x01, 0x03, 0x00, 0x01, 0x00, 0x00, 0x00, 0x07,
                                     0xFF, 0x00, 0x00, 0x07, 0xFF, 0x00}));
  EXPECT_EQ(sender.frames[6], (Bytes{0xFC, 0x0E, 0x01, 0x03, 0x03, 0x00, 0x01, 0x18, 0xDA, 0x10,
                                     0xF1, 0x1F, 0xFF, 0xFF, 0xFF, 0x00}));
  EXPECT_EQ(sender.frames[18], (Bytes{0xFC, 0x0E, 0x01, 0x03, 0x0F, 0x01, 0x01, 0x00, 0x00, 0x00,
                                      0x00, 0x23, 0x45, 0x67, 0x89, 0x00}));
  for (int i = 0; i < kRxMailboxCount; ++i) {
    const Bytes& f = sender.frames[3 + i];
    ASSERT_EQ(f.size(), 16u);
    EXPECT_EQ(f[4], i) << "mailbox frames go out in mailbox order";
    EXPECT_EQ(f[15], 0) << "the twelfth value is 0";
  }
  EXPECT_EQ(page.result, "") << "Write shows no status text";
}

TEST_F(DeviceParametersTest, WriteTerminatorAndEmptySampleTimingList) {
  page.terminator = false;
  page.sampleTimings.clear();
  page.sampleTiming = -1;  // after Read, before the adapter answered
  logic.BtnConfigSetClick();
  EXPECT_EQ(sender.frames[0], (Bytes{0xFC, 0x04, 0x01, 0x0C, 0x01, 0xFF}));
  EXPECT_EQ(sender.frames[1], (Bytes{0xFC, 0x03, 0x01, 0x08, 0x01}));
}

TEST_F(DeviceParametersTest, WriteReadsIdentifierAndMaskTextsAsHexadecimal) {
  const struct {
    const char* text;
    Bytes bytes;
  } cases[] = {
      {"", {0x00, 0x00, 0x00, 0x00}},
      {"0", {0x00, 0x00, 0x00, 0x00}},
      {"1fffffff", {0x1F, 0xFF, 0xFF, 0xFF}},
      {"123456789", {0x23, 0x45, 0x67, 0x89}},  // the last eight digits
      {"1g", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"g", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"7FF", {0x00, 0x00, 0x07, 0xFF}},
  };
  for (const auto& c : cases) {
    sender.frames.clear();
    page.rows[5] = {false, false, c.text, c.text};
    logic.BtnConfigSetClick();
    const Bytes& f = sender.frames.at(3 + 5);
    EXPECT_EQ(Bytes(f.begin() + 7, f.begin() + 11), c.bytes) << "identifier " << c.text;
    EXPECT_EQ(Bytes(f.begin() + 11, f.begin() + 15), c.bytes) << "mask " << c.text;
  }
}

TEST_F(DeviceParametersTest, ReadRequestsEverythingEmptiesTheListAndShowsCmdRequest) {
  page.sampleTimings = {"81", "77"};
  page.sampleTiming = 1;

  logic.BtnReadParamClick();

  std::vector<Bytes> expected = {
      {0xFC, 0x03, 0x01, 0x0A, 0x00}, {0xFC, 0x03, 0x01, 0x0A, 0x01},
      {0xFC, 0x03, 0x01, 0x0A, 0x02}, {0xFC, 0x02, 0x01, 0x09},
      {0xFC, 0x02, 0x01, 0x0E},
  };
  for (std::uint8_t i = 0; i < 16; ++i) expected.push_back({0xFC, 0x03, 0x01, 0x05, i});
  expected.push_back({0xFC, 0x02, 0x01, 0x0B});
  expected.push_back({0xFC, 0x02, 0x01, 0x20});
  expected.push_back({0xFC, 0x02, 0x01, 0x21});
  ASSERT_EQ(expected.size(), 24u);
  EXPECT_EQ(sender.frames, expected);

  std::vector<std::string> order(3, "send");
  order.push_back("list 0");
  order.insert(order.end(), 21, "send");
  order.push_back("result Cmd Request!");
  EXPECT_EQ(sender.events, order);
  EXPECT_THAT(page.sampleTimings, IsEmpty());
  EXPECT_EQ(page.sampleTiming, -1);
}

TEST_F(DeviceParametersTest, StoreSendsOnlyAfterOk) {
  boxes.confirmAnswer = false;
  logic.BtnStioreClick();
  EXPECT_THAT(sender.frames, IsEmpty());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0], (ShownBox{"EEPROMに書き込みます！", "メッセージ",
                                        MessageBoxes::Icon::Information, true}));

  boxes.confirmAnswer = true;
  logic.BtnStioreClick();
  EXPECT_THAT(sender.frames, ElementsAre(Bytes{0xFC, 0x02, 0x01, 0x10}));
  EXPECT_EQ(page.result, "") << "Store shows no status text of its own";
}

TEST_F(DeviceParametersTest, BitRateChangeRefillsTheListAndSelectsTheFirst) {
  page.bitRate = 2;
  logic.CmbBitRateChange();
  EXPECT_THAT(page.sampleTimings, ElementsAre("81", "72", "63"));
  EXPECT_EQ(page.sampleTiming, 0);

  table[0].count = 0;
  page.bitRate = 0;
  logic.CmbBitRateChange();
  EXPECT_THAT(page.sampleTimings, IsEmpty());
  EXPECT_EQ(page.sampleTiming, -1) << "an empty table leaves nothing selected";

  page.bitRate = -1;
  logic.CmbBitRateChange();
  EXPECT_THAT(page.sampleTimings, IsEmpty());
}

TEST_F(DeviceParametersTest, MailboxAnswerFillsItsRow) {
  EXPECT_TRUE(logic.OnReply(107, Reply({3, 1, 0, 0x00, 0x00, 0x01, 0x23, 0x1F, 0xFF, 0xFF, 0xFF})));
  EXPECT_EQ(page.rows[3], (RxMailboxRow{true, false, "123", "1fffffff"}));
  EXPECT_EQ(page.result, "Complete!");

  logic.OnReply(107, Reply({0, 0, 5, 0x00, 0x00, 0x07, 0xFF, 0, 0, 0, 0}));
  EXPECT_EQ(page.rows[0], (RxMailboxRow{false, true, "7ff", "0"}));

  logic.OnReply(107, Reply({15, 2, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1}));
  EXPECT_EQ(page.rows[15], (RxMailboxRow{true, false, "ffffffff", "1"}));
}

TEST_F(DeviceParametersTest, AnswersBeyondTheTablesChangeNothing) {
  page.result = "Cmd Request!";
  const FakeConfigPage before = page;
  const SampleTimingTable tableBefore = table;
  const struct {
    int code;
    DeviceMessage message;
  } cases[] = {
      {107, Reply({16, 1, 1, 0, 0, 1, 0x23, 0, 0, 0, 0})},
      {107, Reply({255, 1, 1, 0, 0, 1, 0x23, 0, 0, 0, 0})},
      {110, Reply({3, 0})},
      {113, Reply({3, 2, 50, 60})},
  };
  for (const auto& c : cases) EXPECT_TRUE(logic.OnReply(c.code, c.message)) << c.code;
  EXPECT_EQ(logic.rejectedCount(), 4u);
  EXPECT_EQ(page.rows, before.rows);
  EXPECT_EQ(page.bitRate, before.bitRate);
  EXPECT_EQ(page.result, "Cmd Request!");
  EXPECT_EQ(table, tableBefore);
}

TEST_F(DeviceParametersTest, TableAnswerShowsOnlyAfterTheNextBitTimingAnswer) {
  page.bitRate = 0;
  logic.CmbBitRateChange();
  const auto shown = page.sampleTimings;

  logic.OnReply(113, Reply({0, 3, 70, 75, 80}));
  EXPECT_EQ(page.sampleTimings, shown) << "the visible list is not refilled";
  EXPECT_EQ(page.result, "Complete!");
  EXPECT_EQ(table[0].count, 3);

  page.result.clear();
  logic.OnReply(110, Reply({0, 2}));
  EXPECT_EQ(page.bitRate, 0);
  EXPECT_THAT(page.sampleTimings, ElementsAre("70", "75", "80"));
  EXPECT_EQ(page.sampleTiming, 2) << "the adapter's position, not the first";
  EXPECT_EQ(page.result, "Complete!");

  logic.OnReply(110, Reply({2, 7}));
  EXPECT_EQ(page.bitRate, 2);
  EXPECT_THAT(page.sampleTimings, ElementsAre("81", "72", "63"));
  EXPECT_EQ(page.sampleTiming, -1) << "a position the list does not have selects nothing";
}

TEST_F(DeviceParametersTest, TableAnswerTakesUpToThirtyValues) {
  DeviceMessage m = Reply({1, 30});
  for (int k = 0; k < 40; ++k) m.Data[2 + k] = static_cast<std::uint8_t>(100 - k);
  logic.OnReply(113, m);
  EXPECT_EQ(table[1].count, 30);
  EXPECT_EQ(table[1].values[0], 100);
  EXPECT_EQ(table[1].values[29], 71);
  EXPECT_EQ(table[2], defaultSampleTimingTable()[2]) << "the next entry is untouched";

  const SampleTimingTable before = table;
  page.result.clear();
  m.Data[1] = 31;  // more than a table holds: rejected whole
  EXPECT_TRUE(logic.OnReply(113, m));
  m.Data[1] = 255;
  logic.OnReply(113, m);
  EXPECT_EQ(table, before);
  EXPECT_EQ(page.result, "");
  EXPECT_EQ(logic.rejectedCount(), 2u);

  logic.OnReply(113, Reply({2, 0}));
  EXPECT_EQ(table[2].count, 0);
  logic.OnReply(110, Reply({2, 0}));
  EXPECT_THAT(page.sampleTimings, IsEmpty());
  EXPECT_EQ(page.sampleTiming, -1);
}

TEST_F(DeviceParametersTest, TerminatorConsoleStoreAndDeviceTextAnswers) {
  page.result = "Cmd Request!";
  page.terminator = false;
  logic.OnReply(109, Reply({0}));
  EXPECT_TRUE(page.terminator);
  logic.OnReply(109, Reply({1}));
  EXPECT_FALSE(page.terminator);
  logic.OnReply(109, Reply({0x80}));
  EXPECT_FALSE(page.terminator);
  EXPECT_EQ(page.result, "Cmd Request!") << "109 leaves the result panel alone";

  logic.OnReply(115, Reply({1}));
  EXPECT_EQ(page.consoleFormat, 1);
  EXPECT_EQ(page.result, "Complete!");

  const struct {
    std::uint8_t value;
    const char* result;
  } stores[] = {{0, "success!"}, {1, "FAIL!"}, {2, "OUT_OF_RANGE!"}, {3, "OUT_OF_RANGE!"}};
  for (const auto& s : stores) {
    EXPECT_TRUE(logic.OnReply(118, Reply({s.value})));
    EXPECT_EQ(page.result, s.result) << int(s.value) << " (3 leaves the last text)";
  }

  page.result = "Cmd Request!";
  logic.OnReply(108, Reply({}));
  EXPECT_EQ(page.result, "Complete!");

  page.result = "Cmd Request!";
  logic.OnReply(119, Reply({}, "1.02a"));
  logic.OnReply(120, Reply({}, "RX63N"));
  EXPECT_EQ(page.version, "F/W: 1.02a");
  EXPECT_EQ(page.device, "MCU: RX63N");
  EXPECT_EQ(page.result, "Cmd Request!");

  DeviceMessage unterminated;
  std::memset(unterminated.Text, 'A', sizeof unterminated.Text);
  logic.OnReply(119, unterminated);
  EXPECT_EQ(page.version, "F/W: " + std::string(sizeof unterminated.Text, 'A'));
}

TEST_F(DeviceParametersTest, OtherCodesAreNotThePagesConcern) {
  page.result = "x";
  for (int code : {101, 102, 103, 104, 105, 112, 114, 116, 117, 200, 201, 202, 0, 999}) {
    EXPECT_FALSE(logic.OnReply(code, Reply({0, 0, 0}))) << code;
  }
  EXPECT_EQ(page.result, "x");
}

TEST_F(DeviceParametersTest, ReceiveRowDlcSetsTheHiddenDataMask) {
  logic.SpinRxDlcChange(1, 3);
  logic.SpinRxDlcChange(16, 8);
  logic.SpinRxDlcChange(5, 0);
  logic.SpinRxDlcChange(6, 12);
  logic.SpinRxDlcChange(0, 2);   // no such row
  logic.SpinRxDlcChange(17, 2);  // no such row
  EXPECT_EQ(page.rxDataMasks[0], "AA AA AA;1;");
  EXPECT_EQ(page.rxDataMasks[15], "AA AA AA AA AA AA AA AA;1;");
  EXPECT_EQ(page.rxDataMasks[4], "");
  EXPECT_EQ(page.rxDataMasks[5], "AA AA AA AA AA AA AA AA;1;");
}

}  // namespace
}  // namespace velqor
