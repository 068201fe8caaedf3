#include "traffic/tx_mailboxes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "tests/support/recorders.h"

namespace velqor {
namespace {

using velqor::testing::RecordingBoxes;
using velqor::testing::ShownBox;
using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using velqor::testing::RecordingSender;

struct FakeTxSetPage : TxSetView {
  std::array<TxMailboxRow, kTxMailboxCount> rows{};
  std::array<std::string, kTxMailboxCount> masks{};
  std::string result;

  TxMailboxRow TxMailbox(int index) const override { return rows.at(index); }
  void SetTxDataMask(int index, std::string_view mask) override {
    rows.at(index).data.clear();
    masks.at(index) = std::string(mask);
  }
  void SetResultText(std::string_view text) override { result = text; }
};

// A SendCanFrame request: header, ide, identifier, DLC, eight data bytes.
Bytes Request(std::uint8_t ide, Bytes id, std::uint8_t dlc, Bytes data) {
  Bytes b{0xFC, 0x10, 0x02, 0x01, ide};
  b.insert(b.end(), id.begin(), id.end());
  b.push_back(dlc);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

class TxMailboxesTest : public ::testing::Test {
 protected:
  TxMailboxesTest() {
    for (auto& row : page.rows) row = {false, "0", 0, false, ""};
  }

  RecordingSender sender;
  RecordingBoxes boxes;
  FakeTxSetPage page;
  TxMailboxes logic{sender, boxes, page};
};

TEST_F(TxMailboxesTest, SendPutsTheRowsFrameOnTheLink) {
  page.rows[0] = {false, "123", 2, false, "11 22"};  // box not ticked: SEND sends anyway
  page.rows[1] = {true, "18DA10F1", 8, true, "01 02 03 04 05 06 07 08"};
  page.rows[2] = {false, "12G", 1, false, "1Z"};
  page.rows[3] = {false, "", 3, false, "123 4 ab"};  // an item's low 8 bits

  for (int row = 1; row <= 4; ++row) logic.BtnSendClick(row);

  EXPECT_THAT(sender.blocks(),
              ElementsAre(Request(0, {0x00, 0x00, 0x01, 0x23}, 2, {0x11, 0x22, 0, 0, 0, 0, 0, 0}),
                          Request(1, {0x18, 0xDA, 0x10, 0xF1}, 8, {1, 2, 3, 4, 5, 6, 7, 8}),
                          Request(0, {0xFF, 0xFF, 0xFF, 0xFF}, 1, {0xFF, 0, 0, 0, 0, 0, 0, 0}),
                          Request(0, {0, 0, 0, 0}, 3, {0x23, 0x04, 0xAB, 0, 0, 0, 0, 0})));
  EXPECT_EQ(page.result, "Cmd Request!");
  EXPECT_THAT(boxes.shown(), IsEmpty());
}

TEST_F(TxMailboxesTest, SendStartsFromAFreshRequestEachTime) {
  page.rows[0] = {false, "1", 8, true, "FF FF FF FF FF FF FF FF"};
  page.rows[1] = {false, "2", 1, false, "AA"};
  logic.BtnSendClick(1);
  logic.BtnSendClick(2);
  ASSERT_EQ(sender.blocks().size(), 2u);
  EXPECT_EQ(sender.blocks()[1], Request(0, {0, 0, 0, 2}, 1, {0xAA, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(TxMailboxesTest, DlcZeroNeverReadsTheDataField) {
  for (const char* data : {"", "zz", "11 22 33", "\"", ","}) {
    sender.clear();
    boxes.clear();
    page.rows[4] = {false, "7ff", 0, false, data};
    logic.BtnSendClick(5);
    EXPECT_THAT(sender.blocks(), ElementsAre(Request(0, {0, 0, 7, 0xFF}, 0, Bytes(8, 0)))) << data;
    EXPECT_THAT(boxes.shown(), IsEmpty()) << data;
  }
}

TEST_F(TxMailboxesTest, TooFewPairsShowTheListErrorAndSendNothing) {
  const struct {
    int dlc;
    const char* data;
    int missing;
  } cases[] = {
      {3, "11 22", 2},
      {1, "", 0},
      {8, "01 02 03 04 05 06 07", 7},
      {2, "1 ", 1},  // an unfilled pair leaves no item
  };
  for (const auto& c : cases) {
    sender.clear();
    boxes.clear();
    page.result = "before";
    page.rows[0] = {false, "1", c.dlc, false, c.data};
    logic.BtnSendClick(1);
    EXPECT_THAT(sender.blocks(), IsEmpty()) << c.data;
    EXPECT_EQ(page.result, "before") << c.data;
    ASSERT_EQ(boxes.shown().size(), 1u) << c.data;
    EXPECT_EQ(boxes.shown()[0].text,
              "リストのインデックスが範囲を超えています (" + std::to_string(c.missing) + ")");
    EXPECT_EQ(boxes.shown()[0].caption, "Velqor");
    EXPECT_EQ(boxes.shown()[0].icon, MessageBoxes::Icon::Error);
  }
}

TEST_F(TxMailboxesTest, AllSendKeepsEarlierRowsBytesBeyondTheDlc) {
  page.rows[0] = {true, "100", 8, false, "01 02 03 04 05 06 07 08"};
  page.rows[1] = {true, "200", 2, true, "AA BB"};
  page.rows[2] = {false, "300", 1, false, "CC"};  // not ticked
  page.rows[7] = {true, "7ff", 0, false, "zz"};

  logic.BtnAllSendClick();

  EXPECT_THAT(sender.blocks(),
              ElementsAre(Request(0, {0, 0, 1, 0}, 8, {1, 2, 3, 4, 5, 6, 7, 8}),
                          Request(1, {0, 0, 2, 0}, 2, {0xAA, 0xBB, 3, 4, 5, 6, 7, 8}),
                          Request(0, {0, 0, 7, 0xFF}, 0, {0xAA, 0xBB, 3, 4, 5, 6, 7, 8})));
  EXPECT_EQ(page.result, "Cmd Request!");
}

TEST_F(TxMailboxesTest, AllSendWithNoRowTickedSendsNothingButShowsCmdRequest) {
  logic.BtnAllSendClick();
  EXPECT_THAT(sender.blocks(), IsEmpty());
  EXPECT_EQ(page.result, "Cmd Request!");
}

TEST_F(TxMailboxesTest, AllSendStopsAtTheFirstRowThatCannotBeRead) {
  page.rows[0] = {true, "1", 1, false, "11"};
  page.rows[1] = {true, "2", 4, false, "22 33"};
  page.rows[2] = {true, "3", 1, false, "44"};
  logic.BtnAllSendClick();
  EXPECT_THAT(sender.blocks(),
              ElementsAre(Request(0, {0, 0, 0, 1}, 1, {0x11, 0, 0, 0, 0, 0, 0, 0})));
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "リストのインデックスが範囲を超えています (2)");
  EXPECT_EQ(page.result, "");
}

TEST_F(TxMailboxesTest, DlcChangeEmptiesTheDataAndSetsTheMask) {
  page.rows[2].data = "01 02 03 04 05 06 07 08";
  logic.CSpinDLCChange(3, 3);
  EXPECT_EQ(page.rows[2].data, "");
  EXPECT_EQ(page.masks[2], "AA AA AA;1;");
  logic.CSpinDLCChange(3, 0);
  EXPECT_EQ(page.masks[2], "");
  logic.CSpinDLCChange(8, 9);
  EXPECT_EQ(page.masks[7], "AA AA AA AA AA AA AA AA;1;");
}

TEST_F(TxMailboxesTest, RowsOutsideOneToEightAreIgnored) {
  for (int row : {0, 9, -1}) {
    logic.BtnSendClick(row);
    logic.CSpinDLCChange(row, 2);
  }
  EXPECT_THAT(sender.blocks(), IsEmpty());
  EXPECT_EQ(page.result, "");
  for (const auto& mask : page.masks) EXPECT_EQ(mask, "");
}

TEST(TxMailboxesData, SplitsTheDataTextAsACommaText) {
  const struct {
    const char* text;
    int dlc;
    Bytes bytes;
  } cases[] = {
      {"11 22 33", 3, {0x11, 0x22, 0x33, 0xEE}},
      {"11,22,33", 3, {0x11, 0x22, 0x33, 0xEE}},
      {"  11   22\t33  ", 3, {0x11, 0x22, 0x33, 0xEE}},
      {"11 22 33 44", 2, {0x11, 0x22, 0xEE, 0xEE}},  // items beyond the DLC are not read
      {"1 22", 2, {0x01, 0x22, 0xEE, 0xEE}},         // half a pair is one digit
      {"11,,33", 3, {0x11, 0x00, 0x33, 0xEE}},       // an empty item is 0
      {"\"1 2\" 33", 2, {0xFF, 0x33, 0xEE, 0xEE}},   // a quoted item keeps its blank
      {"1Z 2", 2, {0xFF, 0x02, 0xEE, 0xEE}},
      {"fedcba98", 1, {0x98, 0xEE, 0xEE, 0xEE}},
  };
  for (const auto& c : cases) {
    std::array<std::uint8_t, 8> data;
    data.fill(0xEE);
    EXPECT_EQ(TxMailboxes::ReadDataBytes(c.text, c.dlc, data), std::nullopt) << c.text;
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 4), c.bytes) << c.text;
  }
}

}  // namespace
}  // namespace velqor
