#include "app/receive_path.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "app/main_window.h"
#include "link/protocol.h"
#include "tests/app/frame_recorder.h"
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

// Records what reaches the GUI side, in one sequence: frames as their identifier (code 202),
// other messages as their code and text; the size of each batch of frames; and whether
// everything came on the GUI thread.
class RecordingSink : public DeviceMessageHandler, public FrameConsumer {
 public:
  void OnDeviceMessage(int code, const DeviceMessage& m) override {
    if (code == throwOn) throw std::runtime_error("handler failed");
    codes.push_back(code);
    ids.push_back(0);
    texts.emplace_back(m.Text);
    onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
  }
  void OnFrames(std::span<const CanFrame> frames) override {
    for (const CanFrame& f : frames) {
      codes.push_back(MsgCode::ReceivedFrame);
      ids.push_back(f.id);
      texts.emplace_back();
    }
    batches.push_back(frames.size());
    onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
  }
  std::vector<int> codes;
  std::vector<std::uint32_t> ids;
  std::vector<std::string> texts;
  std::vector<std::size_t> batches;
  bool onGuiThread = true;
  int throwOn = 0;
};

// A path whose frames go to `sink` as well.
struct Path : ReceivePath {
  Path(RecordingSink& sink, std::function<void(const std::string&)> onError = nullptr,
       std::size_t capacity = kDefaultCapacity)
      : ReceivePath(sink, std::move(onError), capacity) {
    addFrameConsumer(sink);
  }
};

TEST(ReceivePath, FramesFedFromAnotherThreadArriveInOrderOnTheGuiThread) {
  RecordingSink sink;
  Path path(sink);
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
  Path path(sink, nullptr, 100);
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
  // Everything queued while the GUI thread was busy is handed over in one batch.
  EXPECT_EQ(sink.batches, (std::vector<std::size_t>{100}));
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
  Path path(sink);
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

Frame VersionMessage(const char* text) {
  std::vector<std::uint8_t> payload(text, text + std::strlen(text) + 1);
  return MakeFrame(Category::Config, Cmd::GetFirmwareVersion, payload);
}

TEST(ReceivePath, AnExceptionIsReportedAndEverythingElseIsStillHandled) {
  RecordingSink sink;
  sink.throwOn = MsgCode::FirmwareVersion;
  struct Throwing : FrameConsumer {
    void OnFrames(std::span<const CanFrame>) override { throw std::runtime_error("consumer"); }
  } throwing;
  std::vector<std::string> errors;
  ReceivePath path(sink, [&errors](const std::string& e) { errors.push_back(e); });
  path.addFrameConsumer(throwing);
  path.addFrameConsumer(sink);
  for (const Frame& f : {ReceivedFrame(1), VersionMessage("V1"), ReceivedFrame(3)})
    path.Feed(f.data(), f.size());
  path.drainAll();
  EXPECT_EQ(sink.ids, (std::vector<std::uint32_t>{1, 3}));
  EXPECT_EQ(errors, (std::vector<std::string>{"consumer", "handler failed", "consumer"}));
}

// One queue, in arrival order: a message between two frames is handled between them, and the
// frames around it reach the consumers as runs, one call per run, whatever block they came in.
TEST(ReceivePath, MessagesKeepTheirPlaceAmongFramesThatComeInRuns) {
  RecordingSink sink;
  Path path(sink);
  std::vector<std::uint8_t> block;
  for (const Frame& f : {ReceivedFrame(1), ReceivedFrame(2), VersionMessage("V2"), ReceivedFrame(3),
                         ReceivedFrame(4)})
    block.insert(block.end(), f.begin(), f.end());
  path.Feed(block.data(), block.size());
  const Frame five = ReceivedFrame(5);
  path.Feed(five.data(), five.size(), ReceivePath::Link::Usb);
  EXPECT_EQ(path.queuedCount(), 6u);
  path.drainAll();
  EXPECT_EQ(sink.codes, (std::vector<int>{202, 202, 119, 202, 202, 202}));
  EXPECT_EQ(sink.ids, (std::vector<std::uint32_t>{1, 2, 0, 3, 4, 5}));
  EXPECT_EQ(sink.texts[2], "V2");
  EXPECT_EQ(sink.batches, (std::vector<std::size_t>{2, 3}));
  EXPECT_EQ(path.framesHandled(), 5u);
  EXPECT_EQ(path.queuedCount(), 0u);
}

// An observer sees each message after the handler, where it arrived among the frames, with the
// arrival of the block that completed it.
TEST(ReceivePath, MessageObserversSeeTheMessagesAmongTheFramesWithTheirArrival) {
  struct Observer : DeviceMessageObserver {
    explicit Observer(RecordingSink& s) : sink(s) {}
    void OnDeviceMessage(int code, const DeviceMessage&, const CanTime& arrival) override {
      handledBefore = sink.codes.size();  // the handler has recorded the message by now
      codes.push_back(code);
      arrivals.push_back(arrival);
    }
    RecordingSink& sink;
    std::size_t handledBefore = 0;
    std::vector<int> codes;
    std::vector<CanTime> arrivals;
  };
  RecordingSink sink;
  Path path(sink);
  Observer observer(sink);
  path.addMessageObserver(observer);
  const Frame one = ReceivedFrame(1), version = VersionMessage("V2"), two = ReceivedFrame(2);
  path.Feed(one.data(), one.size(), ReceivePath::Link::Usb, {10, 20});
  // The version message cut in two: its second block completes it.
  path.Feed(version.data(), 3, ReceivePath::Link::Usb, {30, 40});
  std::vector<std::uint8_t> rest(version.begin() + 3, version.end());
  rest.insert(rest.end(), two.begin(), two.end());
  path.Feed(rest.data(), rest.size(), ReceivePath::Link::Usb, {50, 60});
  path.drainAll();
  EXPECT_EQ(observer.codes, (std::vector<int>{119}));
  EXPECT_EQ(observer.arrivals, (std::vector<CanTime>{{50, 60}}));
  EXPECT_EQ(observer.handledBefore, 2u);  // frame 1 and the handler's record of the message
  EXPECT_EQ(sink.ids, (std::vector<std::uint32_t>{1, 0, 2}));
  path.removeMessageObserver(observer);
  path.Feed(version.data(), version.size());
  path.drainAll();
  EXPECT_EQ(observer.codes.size(), 1u);
}

// Frames the program sent go in the same order to the consumers that follow them, and to no
// other; the others get the received frames around them.
TEST(ReceivePath, SentFramesReachOnlyTheConsumersThatAskForThem) {
  RecordingSink sink;
  Path path(sink);
  test::FrameRecorder all;
  path.addFrameConsumer(all, ReceivePath::Frames::ReceivedAndSent);
  const Frame one = ReceivedFrame(1), two = ReceivedFrame(2);
  path.Feed(one.data(), one.size());
  CanFrame sent;
  sent.id = 0x555;
  sent.time = CanTime{7, 8};
  path.Transmitted(sent);
  path.Feed(two.data(), two.size());
  path.drainAll();
  EXPECT_EQ(all.ids(), (std::vector<std::uint32_t>{1, 0x555, 2}));
  EXPECT_EQ(all.batches, (std::vector<std::size_t>{3}));
  EXPECT_TRUE(all.frames[1].tx());
  EXPECT_EQ(all.frames[1].time, (CanTime{7, 8}));
  EXPECT_FALSE(all.frames[0].tx());
  EXPECT_EQ(sink.ids, (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(path.framesHandled(), 2u);
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
  Path path(sink);
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
  test::FrameRecorder logged;
  window.receivePath().addFrameConsumer(logged);
  std::jthread reader([&window] {
    for (std::uint32_t i = 0; i < 500; ++i) {
      const Frame f = ReceivedFrame(i % 50);
      window.Feed(f.data(), f.size());
    }
  });
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return logged.frames.size() == 500; }));
  reader.join();
  for (std::uint32_t i = 0; i < 500; ++i) ASSERT_EQ(logged.frames[i].id, i % 50);
  window.receivePage()->model()->flush();
  EXPECT_EQ(window.receivePage()->model()->rowCount(), 50);
}

}  // namespace
}  // namespace velqor
