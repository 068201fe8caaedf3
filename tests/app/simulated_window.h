#pragma once
// The main window connected to the simulated adapter as `velqor --simulate` builds it: the
// adapter's model on its runner thread, its HID platform behind Usbif and its
// pseudo-terminal behind CommX1. Everything the window sends goes out through SendToDevice
// and TUsbif::Write to the simulator; the answers come back through Usbif's reader thread
// and the receive queue to OnDeviceMessage. The settings file, the data logs and the
// adapter's EEPROM image live in the test's temporary folder.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_window.h"
#include "app/simulated_adapter.h"
#include "tests/app/test_doubles.h"
#include "tests/support/qt_application.h"

namespace velqor::test {

// The window as the program builds it, also keeping every text it puts in ResultPanel: the
// answers of one send (a failed transmission and the bus error after it) are often handled
// in one batch of the receive queue, and the panel then shows only the last of them.
class ResultRecordingWindow : public TFrmMain {
 public:
  using TFrmMain::TFrmMain;

  std::vector<QString> results;  // GUI thread only, like the panel

 private:
  void SetResultText(std::string_view text) override {
    const QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    results.push_back(shown);
    findChild<QLabel*>(QStringLiteral("ResultPanel"))->setText(shown);
  }
};

class SimulatedWindowTest : public ::testing::Test {
 protected:
  ~SimulatedWindowTest() override { closeWindow(); }

  // The simulated adapter on `eeprom` (the folder's VelqorSim.eeprom when empty). A quiet
  // bus carries no vehicle traffic: only what the window sends and the adapter's answers.
  void startAdapter(bool quiet, SimulationOptions options = {}) {
    if (options.eepromPath.empty() || options.eepromPath == SimulationOptions().eepromPath)
      options.eepromPath = eepromPath();
    adapter = std::make_unique<SimulatedAdapter>(options);
    if (quiet) {
      // Applied on the runner thread in order: once the flag is up, the profile is off.
      auto done = std::make_shared<std::atomic<bool>>(false);
      adapter->runner().SetProfileEnabled(false);
      adapter->runner().Post([done](SimAdapter&) { done->store(true); });
      ASSERT_TRUE(ProcessEventsUntil([&] { return done->load(); }));
    }
  }

  // The window on the adapter, with `monitor` as its terminal (none when null).
  void openWindow(TerminalMonitor* monitor = nullptr, QWidget* terminalWindow = nullptr) {
    TFrmMain::Options options;
    adapter->applyTo(options);
    options.settingsPath = iniPath();
    options.clock = [] { return QTime(10, 0); };
    options.today = [] {
      return std::chrono::year_month_day(std::chrono::year(2026), std::chrono::month(12),
                                         std::chrono::day(7));
    };
    options.tickCountMs = [] { return std::uint64_t{1234}; };
    options.logDirectory = [this] { return std::filesystem::path(folder.path().toStdString()); };
    options.runModal = runModal;
    window = std::make_unique<ResultRecordingWindow>(boxes, options);
    // The timer that empties ResultPanel every 3 s would race a slow (sanitized) run.
    window->findChild<QTimer*>(QStringLiteral("Timer"))->stop();
    if (monitor != nullptr) window->setTerminal(monitor, terminalWindow);
  }

  // Presses the connect switch: both links open, USB on the simulated adapter.
  void connectLinks() {
    window->findChild<QToolButton*>(QStringLiteral("SpdSwitch"))->click();
    ASSERT_EQ(window->findChild<QLabel*>(QStringLiteral("ConnectionPanel"))->text(),
              QStringLiteral("接続できた！"));
    ASSERT_EQ(TFrmMain::OpenFlag(window->Usbif()), 1);
  }
  void disconnectLinks() {
    window->findChild<QToolButton*>(QStringLiteral("SpdSwitch"))->click();
    ASSERT_EQ(TFrmMain::OpenFlag(window->Usbif()), 0);
  }

  // The window goes before the adapter, whose devices its links hold.
  void closeWindow() {
    if (window) window->setTerminal(nullptr, nullptr);
    window.reset();
  }
  void closeAdapter() {
    closeWindow();
    adapter.reset();
  }

  struct ModelState {
    bool idle = false;          // nothing scheduled: no answer due, nothing on the bus
    std::uint64_t reports = 0;  // input reports made so far
  };
  // Asks the model on its runner thread, between two of its steps.
  std::optional<ModelState> askModel(int timeoutMs) {
    auto state = std::make_shared<ModelState>();
    auto done = std::make_shared<std::atomic<bool>>(false);
    adapter->runner().Post([state, done](SimAdapter& a) {
      state->idle = a.NextEventTime() == SimAdapter::kNever;
      state->reports = a.Stats().reports;
      done->store(true);
    });
    if (!ProcessEventsUntil([&] { return done->load(); }, timeoutMs)) return std::nullopt;
    return *state;
  }

  // On a quiet bus, waits until the exchange is over: the adapter carried out every report
  // the window wrote and has nothing left to do (no answer due, no frame of its own on the
  // bus), Usbif read every report the adapter made, and the window handled every message.
  [[nodiscard]] bool waitSettled() {
    QElapsedTimer time;
    time.start();
    const auto left = [&time] {
      return static_cast<int>(std::max<qint64>(0, 5000 - time.elapsed()));
    };
    for (;;) {
      if (!ProcessEventsUntil(
              [this] {
                const SimStats sim = adapter->runner().Stats();
                return sim.commands + sim.commandsIgnored ==
                       window->Usbif().GetCounters().reportsWritten;
              },
              left()))
        return false;
      std::optional<ModelState> state = askModel(left());
      if (!state) return false;
      if (!state->idle) continue;
      // A step later: the report the idle step was filling has been closed and handed out.
      state = askModel(left());
      if (!state) return false;
      const std::uint64_t reports = state->reports;
      if (!ProcessEventsUntil(
              [this, reports] {
                const SimHidCounters hid = adapter->hidPlatform()->Counters();
                const TUsbif::Counters usb = window->Usbif().GetCounters();
                return hid.reportsQueued + hid.reportsDiscarded + hid.reportsDropped == reports &&
                       hid.reportsQueued == usb.reportsDelivered + usb.reportsDropped &&
                       window->receivePath().queuedCount() == 0;
              },
              left()))
        return false;
      ProcessEvents();  // what the last messages posted (the list's and the terminal's batches)
      return true;
    }
  }

  template <typename T>
  T* find(const char* name) {
    T* found = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  void click(const char* name) { find<QPushButton>(name)->click(); }
  QString result() { return find<QLabel>("ResultPanel")->text(); }

  std::string iniPath() const {
    return folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
  }
  std::filesystem::path eepromPath() const {
    return folder.filePath(QStringLiteral("VelqorSim.eeprom")).toStdString();
  }

  QTemporaryDir folder;
  RecordingBoxes boxes;
  // What the user does in a dialog the window shows modally (QDialog::exec when empty).
  std::function<void(QDialog&)> runModal;
  std::unique_ptr<SimulatedAdapter> adapter;
  std::unique_ptr<ResultRecordingWindow> window;
};

}  // namespace velqor::test
