// The main window with the terminal window, connected to the simulated adapter through the
// real links (tests/app/simulated_window.h): the menu, the transmit and receive monitors, the
// trigger level, a command script and a waveform capture.

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>

#include "terminal/terminal_window.h"
#include "tests/app/simulated_window.h"
#include "traffic/wave_page.h"

namespace velqor {
namespace {

class WindowsTest : public test::SimulatedWindowTest {
 protected:
  ~WindowsTest() override {
    // As the program ends: no reader or script thread reaches the terminal after this, and
    // the terminal (which sends through the main window) goes first.
    if (window) window->setTerminal(nullptr, nullptr);
    tty.reset();
  }

  // The adapter, the window and the terminal window; the terminal is handed to the main
  // window unless `withTerminal` is false.
  void start(bool quiet, bool withTerminal = true) {
    startAdapter(quiet);
    openWindow();
    TFrmTTY::Options ttyOptions;
    ttyOptions.settingsPath = iniPath();
    tty = std::make_unique<TFrmTTY>(*window, boxes, ttyOptions);
    // Shown without being painted (see tests/terminal).
    tty->setAttribute(Qt::WA_DontShowOnScreen);
    tty->setUpdatesEnabled(false);
    if (withTerminal) window->setTerminal(tty.get(), tty.get());
  }

  QString memo(const char* name) {
    tty->flushPending();
    return tty->findChild<QPlainTextEdit*>(QString::fromLatin1(name))->toPlainText();
  }

  std::unique_ptr<TFrmTTY> tty;
};

TEST_F(WindowsTest, TheMenuShowsTheTerminalWhichShowsWhatIsSentAndReceived) {
  start(true);
  connectLinks();
  window->Veiw1Click();
  ASSERT_TRUE(tty->isVisible());
  // The hidden "Debug" button's frames, then the adapter's answer to "Stop" as Usbif read it:
  // one whole report.
  window->BtnDebugClick();
  find<QLabel>("PanelWaveStat")->clear();  // the answer shows "STOP" again
  click("BtnStop");
  EXPECT_EQ(memo("MemoTX"), " fc 03 03 02 00\n");
  ASSERT_TRUE(waitSettled());
  QString report = QStringLiteral("fc 03 03 02 00 ");
  for (int i = 5; i < 64; ++i) report += QStringLiteral("00 ");
  const QString rx = memo("MemoRX");
  EXPECT_TRUE(rx.startsWith("fc 0e 02 02 01 00 04 08 11 22 33 04 55 66 77 88 fc 0e "))
      << rx.toStdString();
  EXPECT_TRUE(rx.endsWith(report)) << rx.toStdString();
  EXPECT_EQ(find<QLabel>("PanelWaveStat")->text(), QStringLiteral("STOP"));

  window->Veiw1Click();
  EXPECT_FALSE(tty->isVisible());
}

TEST_F(WindowsTest, TheTriggerLevelGoesOutOnlyOnceTheTerminalExists) {
  start(true, false);
  connectLinks();
  auto* bar = find<QSlider>("TracTrigger");
  bar->setValue(20);
  EXPECT_EQ(find<QLineEdit>("EditTriggerlv")->text(), "2.0");
  EXPECT_EQ(window->Usbif().GetCounters().reportsWritten, 0u);

  window->setTerminal(tty.get(), tty.get());
  bar->setValue(33);
  EXPECT_EQ(find<QLineEdit>("EditTriggerlv")->text(), "3.3");
  EXPECT_EQ(window->fields().TriggerLevel, static_cast<float>(33 * 0.1));
  EXPECT_EQ(memo("MemoTX"), " fc 04 03 01 02 21\n");
  ASSERT_TRUE(waitSettled());
  EXPECT_EQ(window->Usbif().GetCounters().reportsWritten, 1u);
  EXPECT_EQ(adapter->runner().Stats().commands, 1u);
  EXPECT_EQ(adapter->runner().Stats().commandsIgnored, 0u);
}

TEST_F(WindowsTest, AScriptIsAnsweredByTheSimulatedAdapter) {
  start(true);
  connectLinks();
  QFile script(folder.filePath(QStringLiteral("term.cmd")));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write("; terminator state\r\nS FC020109\r\n");
  script.close();
  auto* term = find<QCheckBox>("ChkTerm");
  term->setChecked(false);
  window->Veiw1Click();
  tty->StartScript(script.fileName().toStdString());
  ASSERT_TRUE(test::ProcessEventsUntil(
      [this] { return memo("MemoTX").endsWith(QStringLiteral("＝ファイル送信 正常終了＝\n\n")); }));
  // The adapter's terminator is on: its answer checks "Terminator".
  ASSERT_TRUE(waitSettled());
  EXPECT_TRUE(term->isChecked());
  EXPECT_EQ(memo("MemoTX"),
            "terminator\n fc 02 01 09\n送信：FC020109\n＝ファイル送信 正常終了＝\n\n");
  EXPECT_TRUE(memo("MemoRX").startsWith("fc 03 01 09 00 ")) << memo("MemoRX").toStdString();
  EXPECT_EQ(adapter->runner().Stats().commands, 1u);
  ASSERT_TRUE(test::ProcessEventsUntil([this] { return tty->runningScript() == nullptr; }));
}

TEST_F(WindowsTest, AScriptBlockLongerThanAReportStaysOffTheLinkAndIsSaidSo) {
  start(true);
  connectLinks();
  std::string block;  // 65 bytes: one more than a report carries
  for (int i = 0; i < 65; ++i) block += "5A";
  QFile script(folder.filePath(QStringLiteral("long.cmd")));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write(("S " + block + "\r\nS FC020109\r\n").c_str());
  script.close();
  window->Veiw1Click();
  tty->StartScript(script.fileName().toStdString());
  ASSERT_TRUE(test::ProcessEventsUntil(
      [this] { return memo("MemoTX").endsWith(QStringLiteral("＝ファイル送信 正常終了＝\n\n")); }));
  ASSERT_TRUE(waitSettled());
  QString shown;
  for (int i = 0; i < 65; ++i) shown += QStringLiteral(" 5a");
  EXPECT_EQ(memo("MemoTX"), shown + "\n送信：" + QString::fromStdString(block) + "\n" +
                                QString::fromStdString(ScriptNotSentText(65)) +
                                "\n fc 02 01 09\n送信：FC020109\n＝ファイル送信 正常終了＝\n\n");
  // Only the second block reached the adapter, and it answered it.
  EXPECT_EQ(window->Usbif().GetCounters().reportsWritten, 1u);
  EXPECT_EQ(adapter->runner().Stats().commands, 1u);
  EXPECT_EQ(adapter->runner().Stats().commandsIgnored, 0u);
  ASSERT_TRUE(test::ProcessEventsUntil([this] { return tty->runningScript() == nullptr; }));
}

TEST_F(WindowsTest, ASingleCapturePlotsTheFramesWaveform) {
  // The page's defaults, Differential at 2.5 V: the simulated channel reads 2.5 V for the
  // recessive bus and 4.5 V for a dominant bit, so the next frame's start triggers.
  start(false);
  connectLinks();
  QLineSeries* series = window->wavePage()->canphy();
  auto* state = find<QLabel>("PanelWaveStat");
  state->clear();  // the adapter's answers show "READY", then "STOP" after the capture
  click("BtnSingle");
  ASSERT_TRUE(test::ProcessEventsUntil(
      [&] { return series->count() == 200 && state->text() == QStringLiteral("STOP"); }));
  const QList<QPointF> points = series->points();
  double low = 5.0, high = 0.0;
  for (const QPointF& p : points) {
    low = std::min(low, p.y());
    high = std::max(high, p.y());
  }
  EXPECT_NEAR(low, 2.5, 0.1);  // recessive
  EXPECT_GT(high, 4.3);        // dominant bits of the frame
  // The trace reached the decoder, at the Config page's bit rate: a frame of the vehicle.
  EXPECT_TRUE(window->wavePage()->analysis().decoding.id.has_value());
  EXPECT_EQ(window->wavePage()->analysis().decoding.nominalBitNs, 2000.0);
  EXPECT_EQ(points.front().x(), 0.0);
  EXPECT_NEAR(points.back().x(), 199 * window->fields().WaveInterval * 0.001, 0.01);
  // One capture only: the adapter went back to "Stop" after it.
  auto mode = std::make_shared<std::atomic<int>>(-1);
  adapter->runner().Post([mode](SimAdapter& a) { mode->store(a.CaptureState()); });
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return mode->load() >= 0; }));
  EXPECT_EQ(mode->load(), 0);
  EXPECT_EQ(adapter->runner().Stats().waveforms, 1u);
}

}  // namespace
}  // namespace velqor
