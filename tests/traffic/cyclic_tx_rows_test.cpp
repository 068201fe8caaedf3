// The TxSet page's cyclic rows without a window: a recording view, the scheduler on a clock the
// test moves (RunDue where its thread would wake), and a link that records the reports.

#include "traffic/cyclic_tx_rows.h"

#include <gtest/gtest.h>

#include "tests/common/temp_dir.h"
#include "tests/support/recorders.h"
#include "tests/transmit/fake_link.h"

namespace velqor {
namespace {

using namespace std::chrono_literals;
using testing::RecordingBoxes;

class RecordingView : public CyclicTxView {
 public:
  TxMailboxRow TxMailbox(int index) const override { return rows.at(index); }
  CyclicTxEntry CyclicEntry(int index) const override { return entries.at(index); }
  void SetCyclicEntry(int index, const CyclicTxEntry& entry) override { entries.at(index) = entry; }
  void SetCyclicState(int index, const CyclicTxRowState& state) override {
    states.at(index) = state;
  }
  void SetCyclicStatus(std::string_view text) override { status = text; }
  void SetResultText(std::string_view text) override { result = text; }

  std::array<TxMailboxRow, 8> rows{};
  std::array<CyclicTxEntry, 8> entries{};
  std::array<CyclicTxRowState, 8> states{};
  std::string status, result;
};

// Identifier and first data byte of each SendCanFrame in the reports (18 bytes each: FC 10 02
// 01, ide, identifier big-endian, DLC, data).
std::vector<std::pair<std::uint32_t, std::uint8_t>> Frames(
    const std::vector<std::vector<std::uint8_t>>& blocks) {
  std::vector<std::pair<std::uint32_t, std::uint8_t>> frames;
  for (const auto& b : blocks) {
    for (std::size_t i = 0; i + 18 <= b.size(); i += 18)
      frames.push_back({(std::uint32_t{b[i + 7]} << 8) | b[i + 8], b[i + 10]});
  }
  return frames;
}

class CyclicRows : public ::testing::Test {
 protected:
  CyclicRows() {
    for (auto& e : view.entries) e.count = "0";
  }
  // Row `row` sends identifier `id` with data `data` every `cycle` ms.
  void Set(int row, const char* id, int dlc, const char* data, const char* cycle,
           const char* count = "0") {
    view.rows.at(row - 1) = {false, id, dlc, false, data};
    view.entries.at(row - 1) = {cycle, count};
  }
  std::vector<std::pair<std::uint32_t, std::uint8_t>> At(std::chrono::nanoseconds t) {
    const std::size_t before = link.blocks.size();
    clock.Set(t);
    scheduler.RunDue();
    return Frames({link.blocks.begin() + static_cast<std::ptrdiff_t>(before), link.blocks.end()});
  }

  test::RecordingLink link;
  SendPath path{link};
  test::ManualClock clock;
  TransmitScheduler scheduler{path, clock, {}};
  RecordingBoxes boxes;
  RecordingView view;
  CyclicTxRows rows{scheduler, boxes, view};
};

TEST_F(CyclicRows, CycleAndCountOutOfRangeAreRefusedWithTheRowAndTheText) {
  const struct {
    const char* cycle;
    const char* count;
    const char* says;
  } cases[] = {
      {"", "0", "Row 3: the cycle time \"\" is not a number of milliseconds from 1 to 60000"},
      {"0", "0", "the cycle time \"0\""},
      {"60001", "0", "the cycle time \"60001\""},
      {"10", "1000000000", "Row 3: the count \"1000000000\" is not a number of frames"},
  };
  for (const auto& c : cases) {
    boxes.clear();
    Set(3, "123", 1, "11", c.cycle, c.count);
    rows.ToggleClick(3);
    ASSERT_EQ(boxes.shown().size(), 1u) << c.says;
    EXPECT_NE(boxes.shown()[0].text.find(c.says), std::string::npos) << boxes.shown()[0].text;
    EXPECT_FALSE(scheduler.Counters(3).has_value());
  }
}

TEST_F(CyclicRows, ARowSendsItsCountThenSaysItFinished) {
  Set(2, "123", 1, "11", "10", "3");
  rows.ToggleClick(2);
  EXPECT_TRUE(view.states[1].running);
  for (int ms = 0; ms <= 50; ms += 10) At(std::chrono::milliseconds(ms));
  EXPECT_EQ(Frames(link.blocks).size(), 3u);
  EXPECT_FALSE(rows.Poll());
  EXPECT_FALSE(view.states[1].running);
  EXPECT_EQ(view.states[1].sent, "3");
  EXPECT_EQ(view.status, "Row 2 finished: every frame of its count went out.");

  // The toggle of a running row stops it.
  rows.ToggleClick(2);
  EXPECT_TRUE(view.states[1].running);
  rows.ToggleClick(2);
  EXPECT_FALSE(view.states[1].running);
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(CyclicRows, DataTypedInTheRowIsHeldUntilItIsWholeOrTheRowIsLeft) {
  Set(1, "123", 2, "11 22", "1");
  rows.ToggleClick(1);
  EXPECT_EQ(At(0ms), (decltype(At(0ms)){{0x123, 0x11}}));

  // Typed from the start: "3" is short of the DLC, so the row keeps its last frame.
  view.rows[0].data = "3";
  rows.RowChanged(1, true);
  EXPECT_EQ(At(1ms), (decltype(At(0ms)){{0x123, 0x11}}));
  view.rows[0].data = "33 44";
  rows.RowChanged(1, true);
  EXPECT_EQ(At(2ms), (decltype(At(0ms)){{0x123, 0x33}}));

  // Changed from outside the row (no focus there): taken at once.
  view.rows[0].id = "456";
  rows.RowChanged(1, false);
  EXPECT_EQ(At(3ms), (decltype(At(0ms)){{0x456, 0x33}}));

  // Left short: the row stops, and the list error is shown once.
  view.rows[0].data = "55";
  rows.RowChanged(1, true);
  rows.RowLeft(1);
  rows.RowChanged(1, false);
  rows.Poll();
  EXPECT_TRUE(At(4ms).empty());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, TxMailboxes::ListIndexErrorText(1));
  EXPECT_EQ(view.status, "Row 1 stopped: the data has fewer bytes than the DLC says.");
  EXPECT_FALSE(view.states[0].running);
}

TEST_F(CyclicRows, TenFailedSendsStopTheRowAndSayWhy) {
  Set(5, "123", 0, "", "1");
  rows.ToggleClick(5);
  for (int i = 0; i < 10; ++i) {
    At(std::chrono::milliseconds(i));
    scheduler.OnSendResult(kResultFailed);
  }
  rows.Poll();
  EXPECT_FALSE(view.states[4].running);
  EXPECT_EQ(view.states[4].failed, "10");
  EXPECT_EQ(view.status,
            "Row 5 stopped after 10 failed sends in a row: no other node acknowledges (bit rate? "
            "termination?).");
}

TEST_F(CyclicRows, ADisconnectStopsTheRunningRowsAndSaysWhich) {
  rows.LinkClosed();  // nothing ran: nothing to say
  EXPECT_EQ(view.status, "");
  Set(1, "1", 0, "", "10");
  Set(3, "3", 0, "", "20");
  Set(4, "4", 0, "", "20", "1");
  rows.ToggleClick(1);
  rows.ToggleClick(3);
  rows.ToggleClick(4);
  At(0ms);  // row 4's only frame: it has finished
  rows.LinkClosed();
  EXPECT_EQ(view.status, "Disconnected: cyclic sending stopped (row 1, 3).");
  EXPECT_EQ(view.result, "Cyclic sending stopped");
  EXPECT_FALSE(view.states[0].running);
  EXPECT_FALSE(view.states[2].running);
  EXPECT_TRUE(At(100ms).empty());
}

TEST_F(CyclicRows, SettingsKeepTheNearestValueOfWhatWasTyped) {
  Set(1, "1", 0, "", "250", "12");
  Set(2, "1", 0, "", "99999", "");
  Set(3, "1", 0, "", "0", "0");
  CyclicTxSettings expected;
  expected.rows[0] = {250, 12};
  expected.rows[1] = {60000, 0};
  EXPECT_EQ(rows.Settings(), expected);
  rows.Load(expected);
  EXPECT_EQ(view.entries[1].cycle, "60000");
  EXPECT_EQ(view.entries[2].cycle, "");
  EXPECT_EQ(view.entries[0].count, "12");
}

// [TXCYCLIC] in the settings file.
TEST(CyclicTxSettingsFile, KeptInASectionOfItsOwnOnlyOnceUsed) {
  testing::TempDir dir;
  const std::filesystem::path file = dir.path() / "Velqor.INI";
  IniFile ini(file);
  saveCyclicTxSettings(ini, {});  // never used: the file stays as it was
  EXPECT_FALSE(std::filesystem::exists(file));

  CyclicTxSettings used;
  used.rows[0] = {250, 12};
  used.rows[7] = {60000, 0};
  saveCyclicTxSettings(ini, used);
  EXPECT_EQ(ini.readString("TXCYCLIC", "CYCLE1", "?"), "250");
  EXPECT_EQ(ini.readString("TXCYCLIC", "COUNT1", "?"), "12");
  EXPECT_EQ(ini.readString("TXCYCLIC", "CYCLE2", "?"), "");
  EXPECT_EQ(ini.readString("TXCYCLIC", "CYCLE8", "?"), "60000");
  std::vector<std::string> warnings;
  EXPECT_EQ(loadCyclicTxSettings(ini, warnings), used);
  EXPECT_TRUE(warnings.empty());

  // Emptied again: the rows are written empty, not left as they were.
  saveCyclicTxSettings(ini, {});
  EXPECT_EQ(ini.readString("TXCYCLIC", "CYCLE1", "?"), "");
  EXPECT_EQ(loadCyclicTxSettings(ini, warnings), CyclicTxSettings{});
}

TEST(CyclicTxSettingsFile, ValuesOutOfRangeLoadAsDefaultsAndSaySo) {
  testing::TempDir dir;
  IniFile ini(dir.path() / "Velqor.INI");
  ini.writeString("TXCYCLIC", "CYCLE1", "0");
  ini.writeString("TXCYCLIC", "CYCLE2", " 20 ");
  ini.writeString("TXCYCLIC", "COUNT2", "x7");
  ini.writeString("TXCYCLIC", "CYCLE3", "60001");
  std::vector<std::string> warnings;
  const CyclicTxSettings loaded = loadCyclicTxSettings(ini, warnings);
  EXPECT_EQ(loaded.rows[0].cycleMs, 0);
  EXPECT_EQ(loaded.rows[1], (CyclicTxRowSettings{20, 0}));
  EXPECT_EQ(loaded.rows[2].cycleMs, 0);
  EXPECT_EQ(warnings,
            (std::vector<std::string>{
                "[TXCYCLIC] CYCLE1=0: not a cycle time from 1 to 60000 ms; the row is left "
                "without one",
                "[TXCYCLIC] COUNT2=x7: not a count from 0 to 999999999; 0 (until stopped) is used",
                "[TXCYCLIC] CYCLE3=60001: not a cycle time from 1 to 60000 ms; the row is left "
                "without one"}));
}

}  // namespace
}  // namespace velqor
