#include "app/device_message_dispatch.h"

#include <gtest/gtest.h>

#include <cstring>

#include "link/protocol.h"

namespace velqor {
namespace {

// Records what the dispatcher shows, as "what=value" lines.
class RecordingView : public DeviceMessageView {
 public:
  std::vector<std::string> calls;
  MainWindowFields* fields = nullptr;

  void SetResultText(std::string_view t) override { add("result", t); }
  void SetErrorCounters(std::string_view tx, std::string_view rx) override {
    add("counters", std::string(tx) + "/" + std::string(rx));
  }
  void SetWaveState(std::string_view t) override { add("wave", t); }
  void SetVersionText(std::string_view t) override { add("version", t); }
  void SetDeviceText(std::string_view t) override { add("device", t); }
  void SetRxMailbox(int index, bool enabled, bool ide, std::string_view id,
                    std::string_view mask) override {
    add("mailbox", std::to_string(index) + " " + std::to_string(enabled) + " " +
                       std::to_string(ide) + " " + std::string(id) + " " + std::string(mask));
  }
  void SetTerminator(bool checked) override { add("terminator", checked ? "1" : "0"); }
  void SetBitTiming(int rate, const std::vector<std::string>& timings, int index) override {
    std::string list;
    for (const auto& t : timings) list += t + ",";
    add("bittiming", std::to_string(rate) + " [" + list + "] " + std::to_string(index));
  }
  void SetConsoleFormat(int index) override { add("console", std::to_string(index)); }
  void ShowReceivedFrame() override {
    add("show", std::to_string(fields->LastRxFrame.Id));
  }
  void WriteLogLine() override { add("log", std::to_string(fields->LastRxFrame.Id)); }
  void PlotWave() override { add("plot", std::to_string(fields->WaveInterval)); }

 private:
  void add(const char* what, std::string_view value) {
    calls.push_back(std::string(what) + "=" + std::string(value));
  }
};

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() { view.fields = &fields; }
  MainWindowFields fields;
  RecordingView view;
  DeviceMessageDispatch dispatch{fields, view};
  DeviceMessage message;

  std::vector<std::string> run(int code, std::initializer_list<std::uint8_t> data,
                               const char* text = nullptr) {
    std::memset(message.Data, 0, sizeof message.Data);
    std::copy(data.begin(), data.end(), message.Data);
    if (text != nullptr) std::snprintf(message.Text, sizeof message.Text, "%s", text);
    view.calls.clear();
    dispatch.OnDeviceMessage(code, message);
    return view.calls;
  }
};

using Calls = std::vector<std::string>;

struct ResultCase {
  int code;
  std::uint8_t value;
  Calls calls;
};

class DispatchResultTest : public DispatchTest, public ::testing::WithParamInterface<ResultCase> {};

TEST_P(DispatchResultTest, ShowsWhatTheCodeAndValueSay) {
  EXPECT_EQ(run(GetParam().code, {GetParam().value}), GetParam().calls)
      << "code " << GetParam().code << " value " << int(GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DispatchResultTest,
    ::testing::Values(
        ResultCase{101, 0, {}}, ResultCase{103, 0, {}}, ResultCase{105, 0, {}},
        ResultCase{112, 0, {}}, ResultCase{114, 0, {}}, ResultCase{106, 0, {}},
        ResultCase{0, 0, {}}, ResultCase{999, 0, {}},
        ResultCase{102, 0, {"result=Complete!"}}, ResultCase{104, 0, {"result=Complete!"}},
        ResultCase{108, 0, {"result=Complete!"}},
        ResultCase{201, 0, {"result=Complete!"}}, ResultCase{201, 1, {"result=CAN fail!"}},
        ResultCase{201, 2, {"result=Out of Range!"}}, ResultCase{201, 3, {}},
        ResultCase{201, 255, {}},
        ResultCase{118, 0, {"result=success!"}}, ResultCase{118, 1, {"result=FAIL!"}},
        ResultCase{118, 2, {"result=OUT_OF_RANGE!"}}, ResultCase{118, 3, {}},
        ResultCase{116, 0, {"wave=STOP"}}, ResultCase{116, 1, {"wave=READY"}},
        ResultCase{116, 2, {"wave=CONT"}}, ResultCase{116, 3, {}}, ResultCase{116, 7, {}},
        ResultCase{109, 0, {"terminator=1"}}, ResultCase{109, 1, {"terminator=0"}},
        ResultCase{115, 1, {"console=1", "result=Complete!"}}));

TEST_F(DispatchTest, BusErrorSetsCountersAndErrorText) {
  EXPECT_EQ(run(200, {0, 5, 7}, "CRC_ERROR"),
            (Calls{"counters=5/7", "result=ERROR!: CRC_ERROR"}));
}

TEST_F(DispatchTest, DeviceTextsAreReadOnlyUpToTheRecordsEnd) {
  EXPECT_EQ(run(119, {}, "1.02"), (Calls{"version=F/W: 1.02"}));
  EXPECT_EQ(run(120, {}, "STM32F103"), (Calls{"device=MCU: STM32F103"}));
  std::memset(message.Text, 'x', sizeof message.Text);  // no terminating zero
  view.calls.clear();
  dispatch.OnDeviceMessage(120, message);
  ASSERT_EQ(view.calls.size(), 1u);
  EXPECT_EQ(view.calls[0], "device=MCU: " + std::string(128, 'x'));
}

TEST_F(DispatchTest, MailboxAnswerFillsItsRowInLowerCaseHex) {
  EXPECT_EQ(run(107, {3, 1, 0, 0x00, 0x00, 0x01, 0x23, 0x1F, 0xFF, 0xFF, 0xFF, 0}),
            (Calls{"mailbox=3 1 0 123 1fffffff", "result=Complete!"}));
  EXPECT_EQ(run(107, {15, 0, 1, 0, 0, 0x07, 0xFF, 0, 0, 0, 0, 0}),
            (Calls{"mailbox=15 0 1 7ff 0", "result=Complete!"}));
}

TEST_F(DispatchTest, AnswersBeyondTheTablesAreRejectedWhole) {
  const SampleTimingTable before = fields.SampleTimingTable;
  EXPECT_EQ(run(107, {16, 1, 1, 0, 0, 1, 0}), Calls{});
  EXPECT_EQ(run(107, {255, 1, 1}), Calls{});
  EXPECT_EQ(run(110, {3, 0}), Calls{});
  EXPECT_EQ(run(113, {3, 2, 50, 60}), Calls{});
  EXPECT_EQ(run(113, {0, 31}), Calls{});
  EXPECT_EQ(run(113, {2, 255}), Calls{});
  EXPECT_EQ(fields.SampleTimingTable, before);
  EXPECT_EQ(dispatch.rejectedCount(), 6u);
  // The limits themselves are taken.
  EXPECT_EQ(run(113, {2, 30}), Calls{"result=Complete!"});
  EXPECT_EQ(fields.SampleTimingTable[2].count, 30);
}

TEST_F(DispatchTest, TimingTableThenBitTimingShowsExactlyTheNewValues) {
  EXPECT_EQ(run(113, {0, 3, 87, 75, 62}), Calls{"result=Complete!"});  // no refill
  EXPECT_EQ(fields.SampleTimingTable[0].count, 3);
  EXPECT_EQ(run(110, {0, 1}), (Calls{"bittiming=0 [87,75,62,] 1", "result=Complete!"}));
  // The default 500 kbit/s table, with an index beyond it (the view selects nothing).
  EXPECT_EQ(run(110, {1, 9}),
            (Calls{"bittiming=1 [81,77,72,72,68,63,63,] 9", "result=Complete!"}));
  EXPECT_EQ(run(113, {1, 0}), Calls{"result=Complete!"});
  EXPECT_EQ(run(110, {1, 0}), (Calls{"bittiming=1 [] 0", "result=Complete!"}));
}

TEST_F(DispatchTest, WaveformStoresIntervalAndSamplesThenPlots) {
  std::memset(message.Data, 0, sizeof message.Data);
  message.Data[0] = 0xAA;  // not used
  message.Data[2] = 0x01;
  message.Data[3] = 0xF4;
  for (int i = 0; i < 200; ++i) message.Data[4 + i] = static_cast<std::uint8_t>(i + 56);
  view.calls.clear();
  dispatch.OnDeviceMessage(117, message);
  EXPECT_EQ(view.calls, (Calls{"plot=500"}));
  EXPECT_EQ(fields.WaveSamples[0], 56.0f);
  EXPECT_EQ(fields.WaveSamples[199], 255.0f);
}

TEST_F(DispatchTest, ReceivedFrameIsCopiedThenShownThenLogged) {
  message.Id = 0x1FFFFFFF;
  message.Ide = 1;
  message.Dlc = 12;
  run(202, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_EQ(view.calls, (Calls{"show=536870911", "log=536870911"}));
  EXPECT_EQ(fields.LastRxFrame.Id, 0x1FFFFFFFu);
  EXPECT_EQ(fields.LastRxFrame.Ide, 1);
  EXPECT_EQ(fields.LastRxFrame.Dlc, 12);  // as received; the list limits it
  EXPECT_EQ(fields.LastRxFrame.Data, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
}

}  // namespace
}  // namespace velqor
