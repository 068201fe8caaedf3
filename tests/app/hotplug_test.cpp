// The simulated adapter pulled out and plugged back in while the window is connected and
// logging: the links come back by themselves into the same data log, and nothing is left
// behind by twenty cycles; with [HOTPLUG] RECONNECT=0 the window only says so.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <filesystem>

#include "common/ini_file.h"
#include "config/config_page.h"
#include "tests/app/simulated_window.h"

// The program's QApplication comes from receive_path_test.cpp.

namespace velqor {
namespace {

std::size_t Entries(const char* folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

class HotplugTest : public test::SimulatedWindowTest {
 protected:
  void start() {
    startAdapter(false);
    openWindow();
    QObject::connect(window.get(), &TFrmMain::adapterLost, [this] { ++lost; });
    QObject::connect(window.get(), &TFrmMain::adapterReconnected, [this] { ++reconnected; });
  }
  // Plugs the adapter back and returns once the window has handled its arrival.
  void plugAndWaitForTheArrival() {
    const std::uint64_t arrived = window->Usbif().GetCounters().devicesArrived;
    adapter->plug();
    ASSERT_TRUE(test::ProcessEventsUntil(
        [&] { return window->Usbif().GetCounters().devicesArrived > arrived; }));
    test::ProcessEvents();
  }
  QLabel* panel() { return find<QLabel>("ConnectionPanel"); }
  std::uint64_t frames() { return window->receivePath().framesHandled(); }
  bool framesGrow() {
    const std::uint64_t before = frames();
    return test::ProcessEventsUntil([&] { return frames() > before; });
  }
  QStringList logFiles() {
    return QDir(folder.path()).entryList({QStringLiteral("*CAN*.txt")}, QDir::Files);
  }
  qint64 logSize() { return QFileInfo(folder.filePath(logFiles().value(0))).size(); }

  int lost = 0;
  int reconnected = 0;
};

TEST_F(HotplugTest, TwentyUnplugsWhileLoggingReconnectIntoTheSameFileAndLeaveNothingBehind) {
  start();
  find<QCheckBox>("ChkLog")->setChecked(true);
  connectLinks();
  ASSERT_TRUE(framesGrow());
  // The COM port comes back before the USB device, or after it (then a retry tick opens it).
  auto cycle = [this](int i) {
    const int before = reconnected;
    adapter->unplug();
    // The COM port hung up with it and is closed at once.
    ASSERT_TRUE(test::ProcessEventsUntil(
        [&] { return lost == i + 1 && TFrmMain::OpenFlag(window->CommX1()) == 0; }));
    EXPECT_EQ(panel()->text(), QStringLiteral("接続断"));
    if (i % 2 == 0) {
      adapter->plug();
    } else {
      adapter->hidPlatform()->Plug();
      ASSERT_TRUE(test::ProcessEventsUntil([&] { return reconnected == before + 1; }));
      EXPECT_NE(panel()->toolTip().indexOf(QStringLiteral("COM1 is away")), -1);
      adapter->serialPort().Plug();
    }
    ASSERT_TRUE(test::ProcessEventsUntil(
        [&] { return reconnected == before + 1 && TFrmMain::OpenFlag(window->CommX1()) == 1; }));
    ASSERT_TRUE(framesGrow());
  };
  cycle(0);  // whatever the first reconnection makes once (Qt's notifiers) is made by now
  const std::size_t fds = Entries("/proc/self/fd");
  const std::size_t tasks = Entries("/proc/self/task");
  const qint64 size = logSize();
  for (int i = 1; i <= 20 && !HasFatalFailure(); ++i) cycle(i);
  EXPECT_EQ(Entries("/proc/self/fd"), fds);
  EXPECT_EQ(Entries("/proc/self/task"), tasks);

  EXPECT_EQ(panel()->text(), QStringLiteral("接続できた！"));
  EXPECT_NE(panel()->toolTip().indexOf(QStringLiteral("Reconnected")), -1);
  EXPECT_EQ(window->results.back(), QStringLiteral("Reconnected"));
  EXPECT_EQ(TFrmMain::OpenFlag(window->Usbif()), 1);
  // One file, still growing after the last reconnection.
  EXPECT_EQ(logFiles(), QStringList{QStringLiteral("261207CAN001.txt")});
  EXPECT_TRUE(test::ProcessEventsUntil([&] { return logSize() > size; }));
  EXPECT_EQ(window->dataLog().LogCounter(), 1u);
  // Releasing the switch ends it as always.
  disconnectLinks();
  EXPECT_EQ(panel()->text(), QStringLiteral("接続断"));
  EXPECT_EQ(TFrmMain::OpenFlag(window->CommX1()), 0);
}

TEST_F(HotplugTest, ReleasingTheSwitchWhileTheAdapterIsAwayEndsTheWait) {
  start();
  connectLinks();
  adapter->unplug();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return lost == 1; }));
  disconnectLinks();
  plugAndWaitForTheArrival();
  EXPECT_EQ(reconnected, 0);
  EXPECT_EQ(panel()->text(), QStringLiteral("接続断"));
  EXPECT_FALSE(window->Usbif().IsOpen());
}

TEST_F(HotplugTest, WithTheSettingOffAnUnplugOnlySaysSo) {
  IniFile(iniPath()).writeBool("HOTPLUG", "RECONNECT", false);
  start();
  connectLinks();
  adapter->unplug();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return lost == 1; }));
  EXPECT_EQ(panel()->text(), QStringLiteral("接続断"));
  EXPECT_NE(panel()->toolTip().indexOf(QStringLiteral("press it again")), -1);
  plugAndWaitForTheArrival();
  EXPECT_EQ(reconnected, 0);
  EXPECT_EQ(panel()->text(), QStringLiteral("接続断"));
  // Today's flags: the switch still holds both links as far as it knows.
  EXPECT_EQ(TFrmMain::OpenFlag(window->Usbif()), 1);
  EXPECT_EQ(TFrmMain::OpenFlag(window->CommX1()), 1);
}

}  // namespace
}  // namespace velqor
