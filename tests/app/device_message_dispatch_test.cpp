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
  void PlotWave() override { add("plot", std::to_string(fields->WaveInterval)); }

 private:
  void add(const char* what, std::string_view value) {
    calls.push_back(std::string(what) + "=" + std::string(value));
  }
};

// The Config page: what reaches it is noted in the same list, as "page:what=value".
class RecordingConfigPage : public ConfigPageView {
 public:
  explicit RecordingConfigPage(std::vector<std::string>& calls) : m_calls(calls) {}
  RxMailboxRow RxMailbox(int) const override { return {}; }
  void SetRxMailbox(int index, const RxMailboxRow& row) override {
    add("mailbox", std::to_string(index) + " " + row.id + " " + row.mask);
  }
  void SetRxDataMask(int, std::string_view) override {}
  int BitRateIndex() const override { return 1; }
  void SetBitRateIndex(int index) override { add("bitrate", std::to_string(index)); }
  int SampleTimingIndex() const override { return 0; }
  void SetSampleTimings(const std::vector<std::string>& items, int selected) override {
    add("timings", std::to_string(items.size()) + " " + std::to_string(selected));
  }
  bool Terminator() const override { return true; }
  void SetTerminator(bool checked) override { add("terminator", checked ? "1" : "0"); }
  int ConsoleFormat() const override { return 0; }
  void SetConsoleFormat(int index) override { add("console", std::to_string(index)); }
  void SetVersionText(std::string_view t) override { add("version", std::string(t)); }
  void SetDeviceText(std::string_view t) override { add("device", std::string(t)); }
  void SetResultText(std::string_view t) override { add("result", std::string(t)); }

 private:
  void add(const char* what, const std::string& value) {
    m_calls.push_back(std::string("page:") + what + "=" + value);
  }
  std::vector<std::string>& m_calls;
};

class NoSender : public DeviceSender {
 public:
  bool SendToDevice(const std::uint8_t*, std::size_t) override { return true; }
};

class NoBoxes : public MessageBoxes {
 public:
  void Show(const std::string&, const std::string&, Icon) override {}
  bool Confirm(const std::string&, const std::string&, Icon) override { return false; }
};

class DispatchTest : public ::testing::Test {
 protected:
  DispatchTest() { view.fields = &fields; }
  MainWindowFields fields;
  RecordingView view;
  RecordingConfigPage page{view.calls};
  NoSender sender;
  NoBoxes boxes;
  DeviceParameters config{sender, boxes, fields.SampleTimingTable, page};
  DeviceMessageDispatch dispatch{fields, view, config};
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
        ResultCase{0, 0, {}}, ResultCase{999, 0, {}}, ResultCase{102, 0, {"result=Complete!"}},
        ResultCase{104, 0, {"result=Complete!"}}, ResultCase{201, 0, {"result=Complete!"}},
        ResultCase{201, 1, {"result=CAN fail!"}}, ResultCase{201, 2, {"result=Out of Range!"}},
        ResultCase{201, 3, {}}, ResultCase{201, 255, {}}, ResultCase{116, 0, {"wave=STOP"}},
        ResultCase{116, 1, {"wave=READY"}}, ResultCase{116, 2, {"wave=CONT"}},
        ResultCase{116, 3, {}}, ResultCase{116, 7, {}},
        // The Config page's answers go to its logic (tested with it) and nowhere else.
        ResultCase{108, 0, {"page:result=Complete!"}}, ResultCase{118, 1, {"page:result=FAIL!"}},
        ResultCase{118, 3, {}}, ResultCase{109, 0, {"page:terminator=1"}},
        ResultCase{115, 1, {"page:console=1", "page:result=Complete!"}}));

TEST_F(DispatchTest, BusErrorSetsCountersAndErrorText) {
  EXPECT_EQ(run(200, {0, 5, 7}, "CRC_ERROR"), (Calls{"counters=5/7", "result=ERROR!: CRC_ERROR"}));
}

TEST_F(DispatchTest, ConfigAnswersReachThePageLogicWithTheWindowsTable) {
  EXPECT_EQ(run(107, {3, 1, 0, 0x00, 0x00, 0x01, 0x23, 0x1F, 0xFF, 0xFF, 0xFF, 0}),
            (Calls{"page:mailbox=3 123 1fffffff", "page:result=Complete!"}));
  EXPECT_EQ(run(113, {0, 3, 87, 75, 62}), Calls{"page:result=Complete!"});
  EXPECT_EQ(fields.SampleTimingTable[0].count, 3);
  EXPECT_EQ(run(110, {0, 1}),
            (Calls{"page:bitrate=0", "page:timings=3 1", "page:result=Complete!"}));
  EXPECT_EQ(run(119, {}, "1.02"), (Calls{"page:version=F/W: 1.02"}));
  EXPECT_EQ(run(120, {}, "STM32F103"), (Calls{"page:device=MCU: STM32F103"}));
  EXPECT_EQ(run(107, {16}), Calls{});
  EXPECT_EQ(run(113, {0, 31}), Calls{});
  EXPECT_EQ(dispatch.rejectedCount(), 2u);
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

}  // namespace
}  // namespace velqor
