// The main window with the terminal window, against the simulated adapter through an
// in-process loop: what the window sends reaches the model, what the model reports is fed to
// the window and shown in the terminal, as the USB link does once it is connected.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <mutex>

#include "app/main_window.h"
#include "sim/sim_adapter.h"
#include "terminal/terminal_window.h"
#include "tests/app/test_doubles.h"
#include "tests/support/qt_application.h"
#include "traffic/wave_page.h"

namespace velqor {
namespace {

using std::chrono::milliseconds;

// Stands between the main window and its terminal: every block the window sends goes to the
// simulated adapter too.
class SimLoop : public TerminalMonitor {
 public:
  explicit SimLoop(TFrmTTY& terminal) : m_terminal(terminal) {}

  void ShowSent(const std::uint8_t* bytes, std::size_t length) override {
    {
      std::lock_guard lock(m_mutex);
      m_sim.Write({bytes, length});
    }
    m_terminal.ShowSent(bytes, length);
  }
  void ShowReceived(const std::uint8_t* bytes, std::size_t length) override {
    m_terminal.ShowReceived(bytes, length);
  }

  // Runs the model for `span` of its time and hands every report it sends to the window, as
  // UsbifUsbReceive does: to the interpreter, and to the terminal while it shows.
  void Pump(TFrmMain& window, milliseconds span) {
    std::vector<InputReport> reports;
    {
      std::lock_guard lock(m_mutex);
      m_sim.AdvanceTo(m_sim.Now() + span);
      InputReport report;
      while (m_sim.TakeInputReport(report)) reports.push_back(report);
    }
    for (const InputReport& report : reports) {
      window.Feed(report.data(), report.size());
      if (m_terminal.IsShowing()) m_terminal.ShowReceived(report.data(), report.size());
    }
    test::ProcessEvents();
  }

  SimAdapter& sim() { return m_sim; }

 private:
  TFrmTTY& m_terminal;
  std::mutex m_mutex;
  SimAdapter m_sim{QuietOptions()};

  static SimOptions QuietOptions() {
    SimOptions options;
    options.console = false;  // nobody reads the serial side here
    return options;
  }
};

class WindowsTest : public ::testing::Test {
 protected:
  WindowsTest() {
    TFrmMain::Options options;
    options.settingsPath = iniPath();
    options.runModal = [this](QDialog& dialog) {
      if (onModal) onModal(dialog);
    };
    window = std::make_unique<TFrmMain>(boxes, options);
    TFrmTTY::Options ttyOptions;
    ttyOptions.settingsPath = iniPath();
    tty = std::make_unique<TFrmTTY>(*window, boxes, ttyOptions);
    // Shown without being painted (see tests/terminal).
    tty->setAttribute(Qt::WA_DontShowOnScreen);
    tty->setUpdatesEnabled(false);
    loop = std::make_unique<SimLoop>(*tty);
    window->setTerminal(loop.get(), tty.get());
  }
  ~WindowsTest() override {
    if (window) window->setTerminal(nullptr, nullptr);
  }

  std::string iniPath() const {
    return folder.filePath(QStringLiteral("Velqor.INI")).toStdString();
  }
  template <typename T>
  T* find(QWidget& parent, const char* name) {
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QString memoTx() {
    tty->flushPending();
    return find<QPlainTextEdit>(*tty, "MemoTX")->toPlainText();
  }
  // Pumps the model until `done` holds, at most `limit` of model time.
  bool PumpUntil(const std::function<bool()>& done, milliseconds limit = milliseconds(2000)) {
    for (milliseconds t(0); t < limit; t += milliseconds(10)) {
      loop->Pump(*window, milliseconds(10));
      if (done()) return true;
    }
    return false;
  }

  QTemporaryDir folder;
  test::RecordingBoxes boxes;
  std::function<void(QDialog&)> onModal;
  std::unique_ptr<TFrmMain> window;
  std::unique_ptr<TFrmTTY> tty;
  std::unique_ptr<SimLoop> loop;
};

TEST_F(WindowsTest, TheMenuShowsTheTerminalWhichShowsWhatIsSentAndReceived) {
  window->Veiw1Click();
  ASSERT_TRUE(tty->isVisible());
  window->BtnDebugClick();
  tty->flushPending();
  EXPECT_TRUE(find<QPlainTextEdit>(*tty, "MemoRX")
                  ->toPlainText()
                  .startsWith("fc 0e 02 02 01 00 04 08 11 22 33 04 55 66 77 88 fc 0e "));
  find<QPushButton>(*window, "BtnStop")->click();
  EXPECT_EQ(memoTx(), " fc 03 03 02 00\n");
  window->Veiw1Click();
  EXPECT_FALSE(tty->isVisible());
}

TEST_F(WindowsTest, TheTriggerLevelGoesOutOnlyOnceTheTerminalExists) {
  // Loading the settings sent nothing; the model saw no command at all.
  EXPECT_EQ(loop->sim().Stats().commands + loop->sim().Stats().commandsIgnored, 0u);
  find<QSlider>(*window, "TracTrigger")->setValue(33);
  EXPECT_EQ(find<QLineEdit>(*window, "EditTriggerlv")->text(), "3.3");
  EXPECT_EQ(window->fields().TriggerLevel, static_cast<float>(33 * 0.1));
  EXPECT_EQ(memoTx(), " fc 04 03 01 02 21\n");
}

TEST_F(WindowsTest, AScriptIsAnsweredByTheSimulatedAdapter) {
  QFile script(folder.filePath(QStringLiteral("term.cmd")));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write("; terminator state\r\nS FC020109\r\n");
  script.close();
  auto* term = find<QCheckBox>(*window, "ChkTerm");
  term->setChecked(false);
  window->Veiw1Click();
  tty->StartScript(script.fileName().toStdString());
  ASSERT_TRUE(test::ProcessEventsUntil([this] { return tty->runningScript() == nullptr; }));
  // The adapter's terminator is on: its answer checks "Terminator".
  ASSERT_TRUE(PumpUntil([term] { return term->isChecked(); }));
  EXPECT_EQ(memoTx(), "terminator\n fc 02 01 09\n送信：FC020109\n＝ファイル送信 正常終了＝\n\n");
  tty->flushPending();
  EXPECT_TRUE(find<QPlainTextEdit>(*tty, "MemoRX")->toPlainText().contains("fc 03 01 09 00"));
}

TEST_F(WindowsTest, ASingleCapturePlotsTheFramesWaveform) {
  // The differential signal swings from 0 V to 2 V: a trigger at 1.0 V catches the next frame.
  auto* level = find<QLineEdit>(*window, "EditTriggerlv");
  level->setText(QStringLiteral("1.0"));
  find<QPushButton>(*window, "BtnSingle")->click();
  QLineSeries* series = window->wavePage()->canphy();
  auto* state = find<QLabel>(*window, "PanelWaveStat");
  ASSERT_TRUE(PumpUntil([&] { return series->count() == 200 && state->text() == "STOP"; }));
  const QList<QPointF> points = series->points();
  double low = 5.0, high = 0.0;
  for (const QPointF& p : points) {
    low = std::min(low, p.y());
    high = std::max(high, p.y());
  }
  EXPECT_LT(low, 0.3);   // recessive
  EXPECT_GT(high, 1.7);  // dominant bits of the frame
  EXPECT_EQ(points.front().x(), 0.0);
  EXPECT_NEAR(points.back().x(), 199 * window->fields().WaveInterval * 0.001, 0.01);
  EXPECT_EQ(loop->sim().Stats().waveforms, 1u);
}

}  // namespace
}  // namespace velqor
