// The connect switch and the links against the simulated adapter (its HID backend and its
// pseudo-terminal) and against test doubles: the four states of the switch, the receive
// paths of both links, SendToDevice, the adapter unplugged, and the links closed at exit.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <atomic>
#include <fstream>
#include <thread>

#include "app/main_window.h"
#include "app/simulated_adapter.h"
#include "common/ini_file.h"
#include "link/protocol.h"
#include "tests/app/frame_recorder.h"
#include "tests/app/test_doubles.h"
#include "tests/support/pty.h"
#include "tests/support/qt_application.h"
#include "traffic/receive_page.h"

// The program's QApplication comes from receive_path_test.cpp.

namespace velqor {
namespace {

using namespace std::chrono_literals;
using testing::Pty;

// A HID platform that records the searches and opens, in front of another one (or of none:
// no HID device at all).
class RecordingHidPlatform : public HidPlatform {
 public:
  explicit RecordingHidPlatform(std::shared_ptr<HidPlatform> inner = nullptr)
      : m_inner(std::move(inner)) {}
  std::vector<HidDeviceInfo> Enumerate() override {
    ++enumerations;
    return m_inner ? m_inner->Enumerate() : std::vector<HidDeviceInfo>{};
  }
  std::unique_ptr<HidDevice> Open(const std::string& path, HidError& error) override {
    ++opens;
    if (m_inner) return m_inner->Open(path, error);
    error = HidSystemError(ENOENT, "open " + path);
    return nullptr;
  }
  std::atomic<int> enumerations{0};
  std::atomic<int> opens{0};

 private:
  std::shared_ptr<HidPlatform> m_inner;
};

Frame ReceivedFrame(std::uint32_t id, std::uint64_t sequence) {
  ReceivedCanFrame f;
  f.id = id;
  f.dlc = 8;
  for (int i = 0; i < 8; ++i) f.data[i] = static_cast<std::uint8_t>(sequence >> (56 - 8 * i));
  const auto payload = f.Encode();
  return MakeFrame(Category::Can, Cmd::ReceivedCanFrame, payload);
}

class ConnectionTest : public ::testing::Test {
 protected:
  ConnectionTest() {
    SimulationOptions o;
    o.eepromPath.clear();
    sim = std::make_unique<SimulatedAdapter>(o);
  }
  ~ConnectionTest() override {
    window.reset();  // before the simulator, whose devices the window holds
    sim.reset();
  }

  // The window on the simulator, or with `hid` in front of it (`hid` without an inner
  // platform: no adapter on USB).
  void Start(std::shared_ptr<HidPlatform> hid = nullptr) {
    TFrmMain::Options options;
    sim->applyTo(options);
    options.captionSuffix.clear();
    options.settingsPath = iniPath();
    if (hid) options.hidPlatform = std::move(hid);
    if (unmapped) options.unmappedPortPath = unmapped;
    options.logDirectory = [this] { return std::filesystem::path(folder.path().toStdString()); };
    options.runModal = [this](QDialog& dialog) {
      dialog.setAttribute(Qt::WA_DontShowOnScreen);
      if (onModal) onModal(dialog);
    };
    window = std::make_unique<TFrmMain>(boxes, options);
    window->setTerminal(&terminal, &terminalWindow);
  }

  std::string iniPath() const {
    return folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
  }
  QToolButton* spdSwitch() { return window->findChild<QToolButton*>(QStringLiteral("SpdSwitch")); }
  QString connection() {
    return window->findChild<QLabel*>(QStringLiteral("ConnectionPanel"))->text();
  }
  QString connectionWhy() {
    return window->findChild<QLabel*>(QStringLiteral("ConnectionPanel"))->toolTip();
  }
  int serialFlag() { return TFrmMain::OpenFlag(window->CommX1()); }
  int usbFlag() { return TFrmMain::OpenFlag(window->Usbif()); }
  // Log files opened since start (none was opened before: no settings file).
  int logsOpened() { return static_cast<int>(window->dataLog().LogCounter()); }
  ReceivedFrameModel& list() { return *window->receivePage()->model(); }
  void click() { spdSwitch()->click(); }

  QTemporaryDir folder;
  test::RecordingBoxes boxes;
  test::RecordingTerminal terminal;
  QWidget terminalWindow;
  std::function<std::string(int)> unmapped;
  std::function<void(QDialog&)> onModal;  // what the user does in a dialog from the menu
  std::unique_ptr<SimulatedAdapter> sim;
  std::unique_ptr<TFrmMain> window;
};

TEST_F(ConnectionTest, PressingConnectsBothLinksAndTheTrafficFillsTheList) {
  Start();
  ASSERT_EQ(serialFlag(), 0);
  ASSERT_EQ(usbFlag(), 0);
  window->findChild<QCheckBox*>(QStringLiteral("ChkLog"))->setChecked(true);
  click();
  EXPECT_TRUE(spdSwitch()->isChecked());
  EXPECT_EQ(connection(), QStringLiteral("接続できた！"));
  EXPECT_EQ(serialFlag(), 1);
  EXPECT_EQ(usbFlag(), 1);
  EXPECT_TRUE(window->CommX1().IsOpen());
  EXPECT_TRUE(window->Usbif().IsOpen());
  EXPECT_EQ(logsOpened(), 1);
  EXPECT_TRUE(window->dataLog().IsOpen());
  EXPECT_TRUE(boxes.shown().empty());

  // The simulated vehicle's traffic reaches the list through the USB reader.
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return list().heldRowCount() >= 5; }));
  EXPECT_GT(window->Usbif().GetCounters().reportsDelivered, 0u);
  EXPECT_EQ(window->receivePath().lostCount(), 0u);

  click();
  EXPECT_FALSE(spdSwitch()->isChecked());
  EXPECT_EQ(connection(), QStringLiteral("接続断"));
  EXPECT_EQ(serialFlag(), 0);
  EXPECT_EQ(usbFlag(), 0);
  EXPECT_FALSE(window->CommX1().IsOpen());
  EXPECT_FALSE(window->Usbif().IsOpen());
  EXPECT_EQ(logsOpened(), 1);  // disconnecting opens no log

  // Connecting again opens the same links again, and a new log.
  click();
  EXPECT_EQ(connection(), QStringLiteral("接続できた！"));
  EXPECT_EQ(logsOpened(), 2);
}

// A serial open that fails: the Japanese text alone (the port and the reason on standard error
// and in ConnectionPanel's tooltip), the caption and ConnectionPanel's text unchanged, USB not
// tried, no log, the switch down with both flags 0; the next click releases with nothing to
// close, the one after connects again.
struct SerialFailure {
  const char* name;
  int portNo;              // the number the port dialog would have set
  const char* mappedPath;  // [PORTS] COM<n>, or null
  const char* detailPart;  // said on standard error and in the tooltip
};

class SerialFailureTest : public ConnectionTest,
                          public ::testing::WithParamInterface<SerialFailure> {};

TEST_P(SerialFailureTest, LeavesEverythingAsItWasAndTheNextClickOnlyReleases) {
  const SerialFailure& c = GetParam();
  auto hid = std::make_shared<RecordingHidPlatform>(sim->hidPlatform());
  Start(hid);
  window->findChild<QCheckBox*>(QStringLiteral("ChkLog"))->setChecked(true);
  // A first session leaves its texts behind.
  click();
  click();
  ASSERT_EQ(connection(), QStringLiteral("接続断"));
  const int searches = hid->enumerations;

  if (c.mappedPath) {
    IniFile(iniPath()).writeString("PORTS", "COM" + std::to_string(c.portNo), c.mappedPath);
  }
  window->CommX1().SetPortNo(c.portNo);
  ::testing::internal::CaptureStderr();
  click();
  const std::string printed = ::testing::internal::GetCapturedStderr();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, kCommErrOpen);  // the box's own text only
  // Which port and why: on standard error and in the panel's tooltip.
  EXPECT_NE(printed.find(c.detailPart), std::string::npos) << printed;
  EXPECT_TRUE(connectionWhy().contains(QString::fromUtf8(c.detailPart)))
      << connectionWhy().toStdString();
  EXPECT_EQ(boxes.shown()[0].icon, MessageBoxes::Icon::Error);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Velqor - COM1 -"));
  EXPECT_EQ(connection(), QStringLiteral("接続断"));
  EXPECT_EQ(hid->enumerations, searches);  // USB not tried
  EXPECT_EQ(logsOpened(), 1);
  EXPECT_TRUE(spdSwitch()->isChecked());
  EXPECT_EQ(serialFlag(), 0);
  EXPECT_EQ(usbFlag(), 0);

  click();  // releases: nothing to close, nothing shown
  EXPECT_FALSE(spdSwitch()->isChecked());
  EXPECT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(connection(), QStringLiteral("接続断"));

  window->CommX1().SetPortNo(1);
  click();  // tries again
  EXPECT_EQ(connection(), QStringLiteral("接続できた！"));
  EXPECT_EQ(serialFlag(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SerialFailureTest,
    ::testing::Values(SerialFailure{"NoSuchDevice", 7, "/dev/velqor-no-such-tty",
                                    "COM7 (/dev/velqor-no-such-tty)"},
                      SerialFailure{"NotATerminal", 8, "/dev/null", "COM8 (/dev/null)"},
                      // COMM=200 in the settings file narrows to -56: no port has that number.
                      SerialFailure{"NumberBelowOne", -56, nullptr, "COM-56"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ConnectionTest, WithoutTheAdapterOnUsbTheSerialPortStaysOpenAlone) {
  auto hid = std::make_shared<RecordingHidPlatform>();  // no HID device at all
  Start(hid);
  window->findChild<QCheckBox*>(QStringLiteral("ChkLog"))->setChecked(true);
  click();
  EXPECT_EQ(connection(), QStringLiteral("接続無理！"));
  EXPECT_NE(connectionWhy().indexOf(QStringLiteral("no HID device")), -1)
      << connectionWhy().toStdString();
  EXPECT_EQ(hid->enumerations, 1);
  EXPECT_TRUE(window->CommX1().IsOpen());
  EXPECT_EQ(serialFlag(), 1);
  EXPECT_EQ(usbFlag(), 0);
  EXPECT_FALSE(window->Usbif().IsOpen());
  EXPECT_EQ(logsOpened(), 1);  // the log opens whatever became of USB
  EXPECT_TRUE(boxes.shown().empty());

  click();
  EXPECT_FALSE(window->CommX1().IsOpen());
  EXPECT_EQ(serialFlag(), 0);
  EXPECT_EQ(connection(), QStringLiteral("接続無理！"));  // USB was not open: no "接続断"
}

TEST_F(ConnectionTest, TheCaptionFollowsThePortNumberAndPortsIsReadAtConnectTime) {
  // Unmapped numbers lead nowhere; COM4 reaches the simulator only through [PORTS], written
  // after the window started (as the port dialog does).
  unmapped = [](int) { return std::string("/dev/velqor-no-such-tty"); };
  Start();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Velqor - COM1 -"));
  IniFile(iniPath()).writeString("PORTS", "COM4", sim->serialPort().SlavePath());
  window->CommX1().SetPortNo(4);
  click();
  EXPECT_TRUE(boxes.shown().empty());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Velqor - COM4 -"));
  EXPECT_EQ(window->PortSuffix(), QStringLiteral("- COM4 -"));
  EXPECT_EQ(serialFlag(), 1);
  click();
  // At exit the port number is saved with the other settings.
  window.reset();
  EXPECT_EQ(IniFile(iniPath()).readString("UART", "COMM", ""), "4");
}

// The port dialog reads and writes CommX1: its port list is locked while the switch holds
// the port open, and a number and device path chosen while disconnected are what the next
// press opens.
TEST_F(ConnectionTest, ThePortDialogsChoiceIsWhatTheNextPressOpens) {
  unmapped = [](int) { return std::string("/dev/velqor-no-such-tty"); };
  Start();
  onModal = [this](QDialog& dialog) {
    auto* port = dialog.findChild<QComboBox*>(QStringLiteral("ComPort"));
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->isEnabled());
    port->setCurrentIndex(5);  // COM6
    dialog.findChild<QComboBox*>(QStringLiteral("ComDevice"))
        ->setEditText(QString::fromStdString(sim->serialPort().SlavePath()));
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
  };
  window->Option1Click();
  EXPECT_EQ(window->CommX1().PortNo(), 6);
  click();
  EXPECT_TRUE(boxes.shown().empty()) << (boxes.shown().empty() ? "" : boxes.shown()[0].text);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Velqor - COM6 -"));
  EXPECT_EQ(connection(), QStringLiteral("接続できた！"));

  bool locked = false;
  onModal = [&locked](QDialog& dialog) {
    auto* port = dialog.findChild<QComboBox*>(QStringLiteral("ComPort"));
    locked = !port->isEnabled();
    port->setCurrentIndex(0);  // would be COM1, but the port is open
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
  };
  window->Option1Click();
  EXPECT_TRUE(locked);
  EXPECT_EQ(window->CommX1().PortNo(), 6);
  EXPECT_TRUE(window->CommX1().IsOpen());
}

TEST_F(ConnectionTest, TheSimulationsCaptionSaysSo) {
  TFrmMain::Options options;
  sim->applyTo(options);
  options.settingsPath = iniPath();
  window = std::make_unique<TFrmMain>(boxes, options);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Velqor - COM1 - [simulated adapter]"));
}

TEST_F(ConnectionTest, FramesOnTheSerialPortAreDecodedToo) {
  // The adapter writes its received frames to the COM port in "CAN-USB Mode"; USB is absent,
  // so every row comes from the serial side.
  sim->runner().Write(SetConsoleFormat(kConsoleCanUsb));
  Start(std::make_shared<RecordingHidPlatform>());
  click();
  ASSERT_EQ(connection(), QStringLiteral("接続無理！"));
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return list().heldRowCount() >= 5; }));
  EXPECT_EQ(window->Usbif().GetCounters().reportsRead, 0u);
  EXPECT_TRUE(terminal.received().empty());  // serial data never goes to the terminal
}

TEST_F(ConnectionTest, ALargeSerialBlockIsReadWholeAndInOrder) {
  // 600 frames (10 800 bytes) written at once on a pty the test owns: more than one read of
  // the receive event's buffer takes.
  Pty pty;
  unmapped = [&pty](int) { return pty.slave; };
  Start(std::make_shared<RecordingHidPlatform>());
  window->CommX1().SetParityBit(cpbNone);  // a pseudo-terminal has no parity
  click();
  ASSERT_EQ(serialFlag(), 1);
  std::vector<std::uint8_t> block;
  for (std::uint64_t i = 0; i < 600; ++i) {
    const Frame f = ReceivedFrame(static_cast<std::uint32_t>(i % 100), i);
    block.insert(block.end(), f.begin(), f.end());
  }
  test::FrameRecorder received;
  window->receivePath().addFrameConsumer(received);
  std::jthread writer([&] {
    std::size_t at = 0;
    while (at < block.size()) {
      const ssize_t n = ::write(pty.master, block.data() + at, block.size() - at);
      if (n > 0)
        at += static_cast<std::size_t>(n);
      else if (errno != EINTR && errno != EAGAIN)
        break;
    }
  });
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return received.frames.size() == 600; }, 10000))
      << received.frames.size();
  for (std::uint64_t i = 0; i < 600; ++i) {
    std::uint64_t sequence = 0;
    for (std::uint8_t b : received.frames[i].data) sequence = (sequence << 8) | b;
    ASSERT_EQ(sequence, i);
  }
  EXPECT_EQ(window->receivePath().lostCount(), 0u);
}

TEST_F(ConnectionTest, SendToDeviceReachesTheAdapterAndTheTransmitMonitor) {
  Start();
  click();
  ASSERT_EQ(usbFlag(), 1);
  auto* term = window->findChild<QCheckBox*>(QStringLiteral("ChkTerm"));
  // The adapter's terminator off, then asked for: the answer (code 109) unticks the box.
  term->setChecked(true);
  window->SendToDevice(SetTerminator(1));
  window->SendToDevice(GetTerminator());
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !term->isChecked(); }));
  window->SendToDevice(SetTerminator(kTerminatorOn));
  window->SendToDevice(GetTerminator());
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return term->isChecked(); }));
  const auto sent = terminal.sent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[1], GetTerminator());
  EXPECT_EQ(window->Usbif().GetCounters().reportsWritten, 4u);

  // From a script thread as well; after disconnecting the bytes are swallowed, still echoed.
  std::jthread script([this] { window->SendToDevice(GetTerminator()); });
  script.join();
  click();
  window->SendToDevice(GetTerminator());
  EXPECT_EQ(terminal.sent().size(), 6u);
  EXPECT_EQ(window->Usbif().GetCounters().reportsWritten, 5u);
}

// A SendCanFrame that went out is a sent frame on the frame path, once, with its send time;
// other commands and blocks that did not go out are not.
TEST_F(ConnectionTest, SentCanFramesReachTheConsumersThatFollowThem) {
  Start();
  click();
  test::FrameRecorder frames;
  window->receivePath().addFrameConsumer(frames, ReceivePath::Frames::ReceivedAndSent);
  const CanTime before = CanTime::Now();
  window->SendToDevice(SendCanFrame({1, 0x18FF1234, 2, {0xAA, 0xBB}}));
  window->SendToDevice(GetTerminator());
  auto sent = [&frames] {
    std::vector<CanFrame> out;
    for (const CanFrame& f : frames.frames)
      if (f.tx()) out.push_back(f);
    return out;
  };
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !sent().empty(); }));
  click();  // disconnected: the next one does not go out
  window->SendToDevice(SendCanFrame({0, 0x123, 0, {}}));
  test::ProcessEvents();
  window->receivePath().drainAll();
  const std::vector<CanFrame> out = sent();
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].id, 0x18FF1234u);
  EXPECT_EQ(out[0].ide, 1);
  EXPECT_EQ(out[0].dlc, 2);
  EXPECT_EQ(out[0].data, (std::array<std::uint8_t, 8>{0xAA, 0xBB, 0, 0, 0, 0, 0, 0}));
  EXPECT_GE(out[0].time.steadyUs, before.steadyUs);
}

TEST_F(ConnectionTest, UsbReportsReachTheTerminalOnlyWhileItIsShowing) {
  Start();
  click();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return list().heldRowCount() > 0; }));
  EXPECT_TRUE(terminal.received().empty());  // hidden: decoded, not shown

  terminal.showing = true;  // the window tells whether it shows
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return terminal.received().size() >= 3; }));
  for (const auto& block : terminal.received()) EXPECT_EQ(block.size(), 64u);  // whole reports

  terminal.showing = false;
  const std::size_t shown = terminal.received().size();
  const auto delivered = window->Usbif().GetCounters().reportsDelivered;
  ASSERT_TRUE(test::ProcessEventsUntil(
      [&] { return window->Usbif().GetCounters().reportsDelivered > delivered + 3; }));
  // At most a report that was on its way when the window went.
  EXPECT_LE(terminal.received().size(), shown + 1);
}

TEST_F(ConnectionTest, UnpluggingTheAdapterShowsItAndReconnectingOpensItAgain) {
  Start();
  click();
  ASSERT_EQ(connection(), QStringLiteral("接続できた！"));
  sim->hidPlatform()->Unplug();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return connection() == QStringLiteral("接続断"); }));
  EXPECT_NE(connectionWhy().indexOf(QStringLiteral("unplugged")), -1);
  // The switch and the flags stay: the user disconnects and connects again.
  EXPECT_TRUE(spdSwitch()->isChecked());
  EXPECT_EQ(usbFlag(), 1);
  EXPECT_EQ(serialFlag(), 1);

  click();
  EXPECT_EQ(usbFlag(), 0);
  EXPECT_EQ(connection(), QStringLiteral("接続断"));
  click();
  EXPECT_EQ(connection(), QStringLiteral("接続無理！"));  // still unplugged
  click();
  sim->hidPlatform()->Plug();
  click();
  EXPECT_EQ(connection(), QStringLiteral("接続できた！"));
  const auto delivered = window->Usbif().GetCounters().reportsDelivered;
  ASSERT_TRUE(test::ProcessEventsUntil(
      [&] { return window->Usbif().GetCounters().reportsDelivered > delivered; }));
}

TEST_F(ConnectionTest, ExitClosesBothLinksAlsoWhenTheSettingsCannotBeWritten) {
  Pty pty;
  unmapped = [&pty](int) { return pty.slave; };
  Start();
  window->CommX1().SetParityBit(cpbNone);  // a pseudo-terminal has no parity
  click();
  ASSERT_EQ(serialFlag(), 1);
  ASSERT_EQ(usbFlag(), 1);
  // The settings folder goes away: the save fails, is shown once, and the shutdown goes on.
  ASSERT_TRUE(folder.remove());
  window.reset();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_NE(boxes.shown()[0].text.find("に書き込めません"), std::string::npos);
  EXPECT_TRUE(pty.SlaveClosed());
  // Nobody reads the simulated device any more: its reports are discarded from now on, and
  // none is queued for a reader after the first one discarded.
  const auto gone = [this](std::uint64_t after) {
    return test::ProcessEventsUntil(
        [&] { return sim->hidPlatform()->Counters().reportsDiscarded > after; });
  };
  ASSERT_TRUE(gone(sim->hidPlatform()->Counters().reportsDiscarded));
  const SimHidCounters closed = sim->hidPlatform()->Counters();
  ASSERT_TRUE(gone(closed.reportsDiscarded));
  EXPECT_EQ(sim->hidPlatform()->Counters().reportsQueued, closed.reportsQueued);
}

}  // namespace
}  // namespace velqor
