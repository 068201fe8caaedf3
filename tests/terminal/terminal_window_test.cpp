#include "terminal/terminal_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/common/temp_dir.h"
#include "tests/support/control_table.h"
#include "tests/support/qt_application.h"
#include "tests/support/recorders.h"

VELQOR_QT_TEST_APPLICATION(QApplication);

namespace velqor {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using velqor::test::ProcessEventsUntil;
using velqor::testing::Block;
using velqor::testing::ExpectControls;
using velqor::testing::readFile;
using velqor::testing::RecordingBoxes;
using velqor::testing::TempDir;
using velqor::testing::writeFile;

// The main window's send path as the terminal sees it: records each block and echoes it to
// the transmit monitor.
class EchoSender : public DeviceSender {
 public:
  using DeviceSender::SendToDevice;
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
    {
      std::lock_guard lock(m_mutex);
      m_blocks.emplace_back(bytes, bytes + length);
    }
    if (terminal != nullptr) terminal->ShowSent(bytes, length);
    return true;
  }
  std::vector<Block> blocks() const {
    std::lock_guard lock(m_mutex);
    return m_blocks;
  }
  TFrmTTY* terminal = nullptr;

 private:
  mutable std::mutex m_mutex;
  std::vector<Block> m_blocks;
};

// A sleep that returns at once, or blocks while a test holds it.
class HeldSleeper : public ScriptSleeper {
 public:
  void Sleep(std::chrono::milliseconds duration, std::stop_token abort) override {
    std::unique_lock lock(m_mutex);
    m_slept.push_back(duration.count());
    m_aborts.push_back(abort);
    ++m_sleeping;
    m_changed.notify_all();
    m_changed.wait(lock, abort, [this] { return !m_hold; });
    --m_sleeping;
  }
  // Whether anything asked a sleep begun so far to end early.
  bool abortRequested() {
    std::lock_guard lock(m_mutex);
    return std::any_of(m_aborts.begin(), m_aborts.end(),
                       [](const std::stop_token& t) { return t.stop_requested(); });
  }
  void hold(bool on) {
    std::lock_guard lock(m_mutex);
    m_hold = on;
    m_changed.notify_all();
  }
  bool sleeping() {
    std::lock_guard lock(m_mutex);
    return m_sleeping > 0;
  }
  std::vector<long> slept() {
    std::lock_guard lock(m_mutex);
    return m_slept;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable_any m_changed;
  std::vector<long> m_slept;
  std::vector<std::stop_token> m_aborts;
  bool m_hold = false;
  int m_sleeping = 0;
};

class TerminalWindowTest : public ::testing::Test {
 protected:
  TerminalWindowTest() { tty = makeWindow(); }
  ~TerminalWindowTest() override { sender.terminal = nullptr; }

  std::unique_ptr<TFrmTTY> makeWindow() {
    TFrmTTY::Options options;
    options.settingsPath = dir / "Velqor.INI";
    options.sleeper = &sleeper;
    options.chooseScriptFile = [this](QWidget*, const QString& filter) {
      chooserFilter = filter;
      return chosenFile;
    };
    auto window = std::make_unique<TFrmTTY>(sender, boxes, options);
    // Shown and hidden as usual, but never painted: Qt paints large windows with the help of
    // its own thread pool, whose hand-overs ThreadSanitizer cannot see inside the Qt
    // libraries, and nothing here needs pixels.
    window->setAttribute(Qt::WA_DontShowOnScreen);
    window->setUpdatesEnabled(false);
    sender.terminal = window.get();
    return window;
  }

  QPlainTextEdit* memoRx() { return tty->findChild<QPlainTextEdit*>("MemoRX"); }
  QPlainTextEdit* memoTx() { return tty->findChild<QPlainTextEdit*>("MemoTX"); }
  QString rxText() { return memoRx()->toPlainText(); }
  QString txText() {
    tty->flushPending();
    return memoTx()->toPlainText();
  }
  QAction* action(const char* name) { return tty->findChild<QAction*>(name); }
  void showWindow() {
    tty->show();
    ASSERT_TRUE(tty->isVisible());
  }
  bool scriptsDone() {
    return ProcessEventsUntil([this] { return tty->runningScript() == nullptr; });
  }

  TempDir dir;
  EchoSender sender;
  RecordingBoxes boxes;
  HeldSleeper sleeper;
  QString chooserFilter;
  QString chosenFile;
  std::unique_ptr<TFrmTTY> tty;
};

TEST_F(TerminalWindowTest, HasItsPanesMenuAndSizeLimits) {
  EXPECT_EQ(tty->windowTitle(), "FrmTTY");
  EXPECT_EQ(tty->minimumSize(), QSize(200, 100));
  EXPECT_EQ(tty->maximumSize(), QSize(500, 900));
  ExpectControls(*tty, {{"Splitter1", "QSplitter"},
                        {"MemoRX", "QPlainTextEdit"},
                        {"MemoTX", "QPlainTextEdit"},
                        {"Exit1", "QAction", {}, "&Exit"},
                        {"N1", "QAction", {}, "ｽｸﾘﾌﾟﾄ実行"},
                        {"Option1", "QMenu", {}, "&Option"},
                        {"TXmonitor", "QAction", {}, "送信ｼﾘｱﾙﾓﾆﾀ (&M)"},
                        {"TxPacketUnit", "QAction", {}, "ﾊﾟｹｯﾄ毎に折り返す"},
                        {"ClearBuff", "QAction", {}, "画面クリア"}});
  for (QPlainTextEdit* pane : {memoRx(), memoTx()}) {
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(pane->palette().color(QPalette::Text), QColor(Qt::white));
    EXPECT_EQ(pane->font().families().front(), QString("ＭＳ 明朝"));
    EXPECT_EQ(pane->font().pixelSize(), 15);
  }
  EXPECT_THAT(tty->findChild<QMenu*>("Option1")->actions(),
              ElementsAre(action("TXmonitor"), action("TxPacketUnit")));

  showWindow();
  EXPECT_EQ(tty->size(), QSize(406, 337));
  EXPECT_EQ(memoTx()->height(), TFrmTTY::kTxPaneHeight);
  EXPECT_GT(memoRx()->height(), memoTx()->height());
  EXPECT_LT(memoRx()->geometry().top(), memoTx()->geometry().top());
  // 718, 628 unless the screen is smaller; the window stays on the screen.
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(tty->pos().x(), std::min(718, area.right() + 1 - 406));
  EXPECT_EQ(tty->pos().y(), std::min(628, area.bottom() + 1 - 337));
}

TEST_F(TerminalWindowTest, TypedPairsGoOutAtTheirSecondDigitAndTheMonitorShowsThem) {
  showWindow();
  QTest::keyClicks(memoTx(), "1f2");
  EXPECT_THAT(sender.blocks(), ElementsAre(Block{0x1F}));
  // Both options on (their defaults): the pair on a line of its own; the 2 waits.
  EXPECT_EQ(txText(), " 1f\n");
  QTest::keyClicks(memoTx(), "A");
  EXPECT_THAT(sender.blocks(), ElementsAre(Block{0x1F}, Block{0x2A}));
  EXPECT_EQ(txText(), " 1f\n 2a\n");
}

TEST_F(TerminalWindowTest, WithTheMonitorOffTheTypedDigitsShowWithABlankBeforeEachPair) {
  showWindow();
  tty->TXmonitorClick();
  tty->TxPacketUnitClick();
  ASSERT_FALSE(tty->txMonitor());
  ASSERT_FALSE(tty->txPacketUnit());
  QTest::keyClicks(memoTx(), "1f2");
  EXPECT_EQ(txText(), " 1f 2");
  EXPECT_THAT(sender.blocks(), ElementsAre(Block{0x1F}));
}

TEST_F(TerminalWindowTest, EnterBackspaceAndBlanksChangeNothing) {
  showWindow();
  tty->TXmonitorClick();  // off: typed digits show
  QTest::keyClicks(memoTx(), "1");
  ASSERT_EQ(txText(), " 1");
  for (Qt::Key key :
       {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Backspace, Qt::Key_Space, Qt::Key_Tab, Qt::Key_G}) {
    QTest::keyClick(memoTx(), key);
  }
  EXPECT_EQ(txText(), " 1");
  EXPECT_TRUE(sender.blocks().empty());
  QTest::keyClicks(memoTx(), "f");
  EXPECT_THAT(sender.blocks(), ElementsAre(Block{0x1F}));
}

TEST_F(TerminalWindowTest, TextFromAnInputMethodIsTypedLikeKeys) {
  // With an input method active (Japanese input), committed text arrives as one event, not
  // as key presses: its hexadecimal digits are still typed pair by pair, anything else (a
  // full-width digit, a letter) is dropped, and no composition is left in the pane.
  showWindow();
  tty->TXmonitorClick();
  tty->TxPacketUnitClick();  // both off: the pane shows what was typed
  for (const QString& commit : {QStringLiteral("1"), QStringLiteral("f\u30122x"),
                                QStringLiteral("\uFF13"), QStringLiteral("B")}) {
    QInputMethodEvent preedit(commit, {});
    QCoreApplication::sendEvent(memoTx(), &preedit);
    QInputMethodEvent event;
    event.setCommitString(commit);
    QCoreApplication::sendEvent(memoTx(), &event);
  }
  EXPECT_THAT(sender.blocks(), ElementsAre(Block{0x1F}, Block{0x2B}));
  EXPECT_EQ(txText(), " 1f 2B");
}

TEST_F(TerminalWindowTest, ASentBlockShowsPerByteThenALineBreak) {
  const std::uint8_t block[] = {0x01, 0x02, 0x03};
  tty->ShowSent(block, 3);
  EXPECT_EQ(txText(), " 01 02 03\n");
  tty->TXmonitorClick();  // the break does not depend on the monitor
  tty->ShowSent(block, 3);
  EXPECT_EQ(txText(), " 01 02 03\n\n");
  tty->TxPacketUnitClick();
  tty->ShowSent(block, 3);
  EXPECT_EQ(txText(), " 01 02 03\n\n");
  tty->TXmonitorClick();
  tty->ShowSent(block, 3);
  tty->ShowSent(block, 1);
  EXPECT_EQ(txText(), " 01 02 03\n\n 01 02 03 01");
}

TEST_F(TerminalWindowTest, SentBlocksGoToTheEndWhateverTheCaretAndSelection) {
  const std::uint8_t block[] = {0xAA};
  tty->ShowSent(block, 1);
  tty->ShowSent(block, 1);
  ASSERT_EQ(txText(), " aa\n aa\n");
  QTextCursor cursor = memoTx()->textCursor();
  cursor.setPosition(1);
  cursor.setPosition(3, QTextCursor::KeepAnchor);
  memoTx()->setTextCursor(cursor);
  const std::uint8_t other[] = {0xBB};
  tty->ShowSent(other, 1);
  EXPECT_EQ(txText(), " aa\n aa\n bb\n");
  EXPECT_EQ(memoTx()->textCursor().selectedText(), "aa");
}

TEST_F(TerminalWindowTest, ReceivedBytesShowOnlyWhileTheWindowShows) {
  const std::uint8_t bytes[] = {0xFC, 0x02};
  tty->ShowReceived(bytes, 2);
  tty->flushPending();
  EXPECT_EQ(rxText(), "");
  showWindow();
  tty->ShowReceived(bytes, 2);
  tty->flushPending();
  EXPECT_EQ(rxText(), "fc 02 ");
}

TEST_F(TerminalWindowTest, AMinimisedWindowKeepsReceivingAndIsNotEmptiedWhenRestored) {
  // Minimising hides the window spontaneously, as the desktop does; it still shows.
  showWindow();
  tty->showMinimized();
  ASSERT_TRUE(tty->isMinimized());
  EXPECT_TRUE(tty->IsShowing());  // what the USB receive handler asks before ShowReceived
  const std::uint8_t bytes[] = {0xFC, 0x02};
  tty->ShowReceived(bytes, 2);
  tty->flushPending();
  EXPECT_EQ(rxText(), "fc 02 ");
  tty->showNormal();
  EXPECT_EQ(rxText(), "fc 02 ");
}

TEST_F(TerminalWindowTest, BatchesReachThePanesThroughTheEventLoop) {
  showWindow();
  const std::uint8_t bytes[] = {0x11};
  tty->ShowReceived(bytes, 1);
  tty->ShowSent(bytes, 1);
  EXPECT_TRUE(ProcessEventsUntil([&] { return rxText() == "11 "; }));
  EXPECT_TRUE(ProcessEventsUntil([&] { return memoTx()->toPlainText() == " 11\n"; }));
}

TEST_F(TerminalWindowTest, TheReceivePaneStartsAgainPast500Lines) {
  showWindow();
  memoRx()->setFixedWidth(200);
  const auto lines = [this] {
    int count = 0;
    for (QTextBlock b = memoRx()->document()->begin(); b.isValid(); b = b.next()) {
      memoRx()->document()->documentLayout()->blockBoundingRect(b);
      count += b.layout()->lineCount();
    }
    return count;
  };
  std::string all;
  std::vector<std::uint8_t> report(64);
  int previousLength = 0;
  bool restarted = false;
  for (int r = 0; r < 120 && !restarted; ++r) {
    for (std::size_t i = 0; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(r + i);
    all += ReceivedText(report);
    tty->ShowReceived(report.data(), report.size());
    tty->flushPending();
    ASSERT_LE(lines(), TFrmTTY::kMaxRxLines);
    const int length = static_cast<int>(rxText().size());
    restarted = length < previousLength;
    previousLength = length;
  }
  ASSERT_TRUE(restarted);
  // What stays is the newest part of the stream, from the start of a line.
  const std::string shown = rxText().toStdString();
  EXPECT_FALSE(shown.empty());
  EXPECT_EQ(all.substr(all.size() - shown.size()), shown);
  EXPECT_EQ(shown.size() % 3, 0u);
}

TEST_F(TerminalWindowTest, PastingMoreThan500LinesEmptiesTheReceivePane) {
  showWindow();
  QString many;
  for (int i = 0; i < 501; ++i) many += QStringLiteral("line\n");
  memoRx()->insertPlainText(many);
  EXPECT_EQ(rxText(), "");
  memoRx()->insertPlainText(QStringLiteral("a\nb\n"));
  EXPECT_EQ(rxText(), "a\nb\n");
}

TEST_F(TerminalWindowTest, ClearingEmptiesBothPanesButKeepsAHalfTypedPair) {
  showWindow();
  const std::uint8_t bytes[] = {0x01};
  tty->ShowReceived(bytes, 1);
  tty->ShowSent(bytes, 1);
  tty->flushPending();
  QTest::keyClicks(memoTx(), "1");
  action("ClearBuff")->trigger();
  EXPECT_EQ(rxText(), "");
  EXPECT_EQ(txText(), "");
  QTest::keyClicks(memoTx(), "f");
  EXPECT_THAT(sender.blocks(), ElementsAre(Block{0x1F}));
}

TEST_F(TerminalWindowTest, ShowingAgainEmptiesBothPanes) {
  showWindow();
  const std::uint8_t bytes[] = {0x01};
  tty->ShowReceived(bytes, 1);
  tty->ShowSent(bytes, 1);
  tty->flushPending();
  tty->hide();
  showWindow();
  EXPECT_EQ(rxText(), "");
  EXPECT_EQ(memoTx()->toPlainText(), "");
}

TEST_F(TerminalWindowTest, TheTogglesAreWrittenOnHideAndSurviveARestart) {
  EXPECT_TRUE(tty->txMonitor());
  EXPECT_TRUE(tty->txPacketUnit());
  showWindow();
  action("TXmonitor")->trigger();  // the menu item inverts its own check mark
  EXPECT_FALSE(tty->txMonitor());
  action("Exit1")->trigger();
  EXPECT_FALSE(tty->isVisible());
  const std::string ini = readFile(dir / "Velqor.INI");
  EXPECT_THAT(ini, HasSubstr("[TTY]"));
  EXPECT_THAT(ini, HasSubstr("TXMONITOR=0"));
  EXPECT_THAT(ini, HasSubstr("TXPACKETUNIT=1"));

  tty = makeWindow();
  EXPECT_FALSE(tty->txMonitor());
  EXPECT_TRUE(tty->txPacketUnit());
}

TEST_F(TerminalWindowTest, AKeyThatCannotBeWrittenIsReportedOnHide) {
  std::filesystem::create_directory(dir / "Velqor.INI");  // a folder where the file should be
  showWindow();
  tty->hide();
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_THAT(boxes.shown()[0].text, HasSubstr("に書き込めません"));
}

TEST_F(TerminalWindowTest, AScriptShowsItsBlocksAndProgressInOrder) {
  writeFile(dir / "demo.cmd", "S 0102\r\nW 250\r\nH\r\nS 03\r\n");
  chosenFile = QString::fromStdString((dir / "demo.cmd").string());
  showWindow();
  action("N1")->trigger();
  EXPECT_EQ(chooserFilter,
            "シリアルファイル(*.cmd,*.tty) (*.cmd *.CMD *.tty *.TTY);;すべてのファイル(*.*) (*)");
  ASSERT_TRUE(scriptsDone());
  EXPECT_THAT(sender.blocks(), ElementsAre(Block{0x01, 0x02}, Block{0x03}));
  EXPECT_THAT(sleeper.slept(), ElementsAre(250, 100));
  EXPECT_EQ(txText(),
            " 01 02\n送信：0102\nwait：250 msec\nwait:100msec\n 03\n送信：03\n"
            "＝ファイル送信 正常終了＝\n\n");
}

TEST_F(TerminalWindowTest, NoFileChosenStartsNothing) {
  action("N1")->trigger();
  EXPECT_FALSE(chooserFilter.isEmpty()) << "the file chooser was not asked";
  EXPECT_EQ(tty->scriptCount(), 0u);
}

TEST_F(TerminalWindowTest, AFileThatCannotBeOpenedIsNamedInTheTransmitPane) {
  tty->StartScript(dir / "gone.cmd");
  ASSERT_TRUE(scriptsDone());
  EXPECT_TRUE(sender.blocks().empty());
  EXPECT_THAT(txText().toStdString(), HasSubstr((dir / "gone.cmd").string()));
  EXPECT_THAT(txText().toStdString(), HasSubstr("No such file or directory"));
}

TEST_F(TerminalWindowTest, HidingDuringAWaitEndsTheScriptAfterTheWaitWithoutTheEndLine) {
  writeFile(dir / "long.cmd", "W 5000\nS 02\n");
  sleeper.hold(true);
  showWindow();
  tty->StartScript(dir / "long.cmd");
  ASSERT_TRUE(ProcessEventsUntil([this] { return sleeper.sleeping(); }));
  tty->hide();
  // The wait is not cut short: nothing told the held sleep to end, and the script still runs.
  EXPECT_FALSE(sleeper.abortRequested());
  EXPECT_NE(tty->runningScript(), nullptr);
  sleeper.hold(false);
  ASSERT_TRUE(scriptsDone());
  EXPECT_TRUE(sender.blocks().empty());
  EXPECT_EQ(txText(), "wait：5000 msec\n");
}

TEST_F(TerminalWindowTest, HidingStopsOnlyTheScriptStartedLast) {
  writeFile(dir / "a.cmd", "W 1\nS 0A\n");
  writeFile(dir / "b.cmd", "W 1\nS 0B\n");
  sleeper.hold(true);
  showWindow();
  tty->StartScript(dir / "a.cmd");
  tty->StartScript(dir / "b.cmd");
  EXPECT_EQ(tty->scriptCount(), 2u);
  ASSERT_TRUE(ProcessEventsUntil([this] { return sleeper.slept().size() == 2; }));
  tty->hide();
  sleeper.hold(false);
  ASSERT_TRUE(ProcessEventsUntil([this] { return tty->scriptCount() == 0; }));
  EXPECT_THAT(sender.blocks(), ElementsAre(Block{0x0A}));
}

TEST_F(TerminalWindowTest, DestroyingTheWindowStopsEveryScriptAtOnce) {
  writeFile(dir / "a.cmd", "W 600000\nS 0A\n");
  sleeper.hold(true);
  tty->StartScript(dir / "a.cmd");
  tty->StartScript(dir / "a.cmd");
  ASSERT_TRUE(ProcessEventsUntil([this] { return sleeper.slept().size() == 2; }));
  // The held sleeps end only when told to: the destructor returns only if it cuts both short.
  sender.terminal = nullptr;
  tty.reset();
  EXPECT_TRUE(sleeper.abortRequested());
  EXPECT_TRUE(sender.blocks().empty());
}

void Drop(TFrmTTY& window, const QList<QUrl>& urls) {
  QMimeData data;
  data.setUrls(urls);
  // A drop reaches the widget that accepted the drag when it entered.
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
}

TEST_F(TerminalWindowTest, DroppingPlaysOnlyTheFirstFileAndOnlyScripts) {
  writeFile(dir / "demo.cmd", "S 01\n");
  writeFile(dir / "DEMO2.TTY", "S 02\n");
  writeFile(dir / "demo.txt", "S 03\n");
  const auto url = [this](const char* name) {
    return QUrl::fromLocalFile(QString::fromStdString((dir / name).string()));
  };
  EXPECT_TRUE(tty->acceptDrops());
  Drop(*tty, {url("demo.txt"), url("demo.cmd")});
  EXPECT_EQ(tty->scriptCount(), 0u);
  Drop(*tty, {url("demo.cmd"), url("DEMO2.TTY")});
  ASSERT_TRUE(scriptsDone());
  Drop(*tty, {url("DEMO2.TTY")});
  ASSERT_TRUE(scriptsDone());
  EXPECT_THAT(sender.blocks(), ElementsAre(Block{0x01}, Block{0x02}));
}

TEST_F(TerminalWindowTest, BlocksFromOtherThreadsArriveComplete) {
  showWindow();
  constexpr int kBlocks = 300;
  {
    std::jthread reader([this] {
      for (int i = 0; i < kBlocks; ++i) {
        const std::uint8_t report[] = {static_cast<std::uint8_t>(i), 0xEE};
        tty->ShowReceived(report, 2);
      }
    });
    std::jthread script([this] {
      for (int i = 0; i < kBlocks; ++i) {
        const std::uint8_t block[] = {static_cast<std::uint8_t>(i)};
        tty->ShowSent(block, 1);
      }
    });
  }
  tty->flushPending();
  std::string expected;
  for (int i = 0; i < kBlocks; ++i) {
    const std::uint8_t report[] = {static_cast<std::uint8_t>(i), 0xEE};
    expected += ReceivedText(report);
  }
  EXPECT_EQ(rxText().toStdString(), expected);
  EXPECT_EQ(memoTx()->toPlainText().count(QLatin1Char('\n')), kBlocks);
  EXPECT_TRUE(memoTx()->toPlainText().startsWith(" 00\n 01\n 02\n"));
}

}  // namespace
}  // namespace velqor
