#include "app/receive_path.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <stdexcept>
#include <thread>

#include "app/main_window.h"
#include "link/protocol.h"
#include "tests/app/test_doubles.h"
#include "tests/support/qt_application.h"
#include "traffic/receive_page.h"

VELQOR_QT_TEST_APPLICATION(QApplication);

namespace velqor {
namespace {

Frame ReceivedFrame(std::uint32_t id, std::uint8_t dlc = 8) {
  ReceivedCanFrame f;
  f.id = id;
  f.dlc = dlc;
  f.data = {1, 2, 3, 4, 5, 6, 7, 8};
  const auto payload = f.Encode();
  return MakeFrame(Category::Can, Cmd::ReceivedCanFrame, payload);
}

// Records the codes and identifiers handed to the GUI side, and on which thread.
class RecordingSink : public DeviceMessageSink {
 public:
  void OnDeviceMessage(int code, const DeviceMessage& m) override {
    if (throwOn == m.Id) throw std::runtime_error("handler failed");
    codes.push_back(code);
    ids.push_back(m.Id);
    texts.emplace_back(m.Text);
    onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
  }
  std::vector<int> codes;
  std::vector<std::uint32_t> ids;
  std::vector<std::string> texts;
  bool onGuiThread = true;
  std::uint32_t throwOn = 0xFFFFFFFF;
};

TEST(ReceivePath, FramesFedFromAnotherThreadArriveInOrderOnTheGuiThread) {
  RecordingSink sink;
  ReceivePath path(sink, nullptr);
  constexpr std::uint32_t kFrames = 20000;
  std::jthread reader([&path] {
    // Two frames per 64-byte report, as the USB link delivers them, one cut across reports.
    std::vector<std::uint8_t> stream;
    for (std::uint32_t i = 0; i < kFrames; ++i) {
      const Frame f = ReceivedFrame(i);
      stream.insert(stream.end(), f.begin(), f.end());
    }
    for (std::size_t at = 0; at < stream.size(); at += 64)
      path.Feed(stream.data() + at, std::min<std::size_t>(64, stream.size() - at));
  });
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return sink.ids.size() == kFrames; }, 20000));
  reader.join();
  for (std::uint32_t i = 0; i < kFrames; ++i) ASSERT_EQ(sink.ids[i], i);
  EXPECT_TRUE(sink.onGuiThread);
  EXPECT_EQ(path.lostCount(), 0u);
}

TEST(ReceivePath, AFullQueueDropsAndCountsWithoutBlockingTheReader) {
  RecordingSink sink;
  ReceivePath path(sink, nullptr, 100);
  QSignalSpy lost(&path, &ReceivePath::lostCountChanged);
  // The GUI thread handles nothing while the reader runs: the reader must finish anyway.
  std::jthread reader([&path] {
    for (std::uint32_t i = 0; i < 250; ++i) {
      const Frame f = ReceivedFrame(i);
      path.Feed(f.data(), f.size());
    }
  });
  reader.join();
  EXPECT_EQ(path.queuedCount(), 100u);
  EXPECT_EQ(path.lostCount(), 150u);
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return sink.ids.size() == 100; }));
  for (std::uint32_t i = 0; i < 100; ++i) ASSERT_EQ(sink.ids[i], i);  // the oldest are kept
  ASSERT_EQ(lost.count(), 1);
  EXPECT_EQ(lost.at(0).at(0).toULongLong(), 150u);
  // The queue works on after an overflow.
  const Frame f = ReceivedFrame(999);
  path.Feed(f.data(), f.size());
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return sink.ids.size() == 101; }));
  EXPECT_EQ(sink.ids.back(), 999u);
  EXPECT_EQ(lost.count(), 1);  // no new loss, no new signal
}

TEST(ReceivePath, ALargeBlockIsFedWholeAndOtherMessagesKeepTheirRecord) {
  RecordingSink sink;
  ReceivePath path(sink, nullptr);
  // 600 frames (10 800 bytes) in one call: more than the interpreter's 4096-byte buffer.
  std::vector<std::uint8_t> block;
  for (std::uint32_t i = 0; i < 600; ++i) {
    const Frame f = ReceivedFrame(i);
    block.insert(block.end(), f.begin(), f.end());
  }
  const std::uint8_t version[] = {'V', '1', '.', '2', 0};
  const Frame text = MakeFrame(Category::Config, Cmd::GetFirmwareVersion, version);
  block.insert(block.end(), text.begin(), text.end());
  path.Feed(block.data(), block.size());
  path.drainAll();
  ASSERT_EQ(sink.codes.size(), 601u);
  EXPECT_EQ(sink.ids[599], 599u);
  EXPECT_EQ(sink.codes.back(), MsgCode::FirmwareVersion);
  EXPECT_EQ(sink.texts.back(), "V1.2");
}

TEST(ReceivePath, AnExceptionInTheHandlerIsReportedAndTheRestIsStillHandled) {
  RecordingSink sink;
  sink.throwOn = 2;
  std::vector<std::string> errors;
  ReceivePath path(sink, [&errors](const std::string& e) { errors.push_back(e); });
  for (std::uint32_t i = 1; i <= 3; ++i) {
    const Frame f = ReceivedFrame(i);
    path.Feed(f.data(), f.size());
  }
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return sink.ids.size() == 2; }));
  EXPECT_EQ(sink.ids, (std::vector<std::uint32_t>{1, 3}));
  EXPECT_EQ(errors, (std::vector<std::string>{"handler failed"}));
}

// The two links are separate byte streams: bytes of one arriving while a frame of the other
// is half received must not end up inside that frame.
struct InterleavedCase {
  const char* name;
  ReceivePath::Link split;  // the link whose frame arrives in two pieces
  ReceivePath::Link other;  // the link whose bytes arrive in between
  std::string between;      // what the other link delivers in between
};

class ReceivePathLinks : public ::testing::TestWithParam<InterleavedCase> {};

TEST_P(ReceivePathLinks, AFrameCutAcrossReadsSurvivesTheOtherLinksBytes) {
  const InterleavedCase& c = GetParam();
  RecordingSink sink;
  ReceivePath path(sink, nullptr);
  const Frame whole = ReceivedFrame(0x123);
  const std::size_t cut = 7;  // inside the identifier
  path.Feed(whole.data(), cut, c.split);
  path.Feed(reinterpret_cast<const std::uint8_t*>(c.between.data()), c.between.size(), c.other);
  path.Feed(whole.data() + cut, whole.size() - cut, c.split);
  path.drainAll();
  std::vector<std::uint32_t> expected = {0x123};
  if (c.between.front() == '\xFC') expected.insert(expected.begin(), 0x7FF);
  EXPECT_EQ(sink.ids, expected);
  EXPECT_EQ(sink.codes, std::vector<int>(expected.size(), MsgCode::ReceivedFrame));
}

std::string AsText(const Frame& f) { return std::string(f.begin(), f.end()); }

INSTANTIATE_TEST_SUITE_P(
    Streams, ReceivePathLinks,
    ::testing::Values(
        // The adapter's console text on the COM port ("Normal Mode") between two USB reports.
        InterleavedCase{"ConsoleTextInsideAUsbFrame", ReceivePath::Link::Usb,
                        ReceivePath::Link::Serial, "RX 12.345678 STD 123 [8] 01 02 03 04\r\n"},
        // A whole frame on the COM port ("CAN-USB Mode") between two USB reports.
        InterleavedCase{"SerialFrameInsideAUsbFrame", ReceivePath::Link::Usb,
                        ReceivePath::Link::Serial, AsText(ReceivedFrame(0x7FF))},
        // The hidden "Debug" button's frames while a USB frame is half received.
        InterleavedCase{"DebugFrameInsideAUsbFrame", ReceivePath::Link::Usb,
                        ReceivePath::Link::Local, AsText(ReceivedFrame(0x7FF))},
        // And the other way round: a USB report between two serial reads.
        InterleavedCase{"UsbFrameInsideASerialFrame", ReceivePath::Link::Serial,
                        ReceivePath::Link::Usb, AsText(ReceivedFrame(0x7FF))}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(TFrmMain, SendToDeviceFromAnotherThreadEchoesToTheTerminal) {
  test::RecordingBoxes boxes;
  test::RecordingTerminal terminal;
  QTemporaryDir folder;
  TFrmMain::Options options;
  options.settingsPath = folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
  TFrmMain window(boxes, options);
  window.setTerminal(&terminal, nullptr);
  const std::uint8_t frame[] = {0xFC, 0x02, 0x01, 0x09};
  std::jthread script([&window, &frame] {
    for (int i = 0; i < 100; ++i) window.SendToDevice(frame, sizeof frame);
  });
  for (int i = 0; i < 100; ++i) window.SendToDevice(std::span<const std::uint8_t>(frame, 2));
  script.join();
  const auto sent = terminal.sent();
  ASSERT_EQ(sent.size(), 200u);
  EXPECT_EQ(std::count(sent.begin(), sent.end(), test::RecordingTerminal::Block(frame, frame + 4)),
            100);
}

TEST(TFrmMain, FramesFedFromAReaderThreadReachTheList) {
  test::RecordingBoxes boxes;
  QTemporaryDir folder;
  TFrmMain::Options options;
  options.settingsPath = folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
  TFrmMain window(boxes, options);
  std::vector<std::uint32_t> logged;
  window.setWriteLogLine([&logged](const RxFrame& f) { logged.push_back(f.Id); });
  std::jthread reader([&window] {
    for (std::uint32_t i = 0; i < 500; ++i) {
      const Frame f = ReceivedFrame(i % 50);
      window.Feed(f.data(), f.size());
    }
  });
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return logged.size() == 500; }));
  reader.join();
  for (std::uint32_t i = 0; i < 500; ++i) ASSERT_EQ(logged[i], i % 50);
  window.receivePage()->model()->flush();
  EXPECT_EQ(window.receivePage()->model()->rowCount(), 50);
}

}  // namespace
}  // namespace velqor
