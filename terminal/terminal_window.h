#pragma once
// TFrmTTY, the terminal window: the bytes received over USB above (MemoRX), the bytes sent,
// typed bytes and script progress below (MemoTX). Created hidden at start, shown and hidden
// from the main window's menu, alive until the program ends.
//
// Threads. ShowReceived, ShowSent and ShowProgress may be called from any thread (the USB
// reader, script threads, the window's own): they stage their bytes and lines, and the
// window's thread shows them in batches, at most about 30 times a second, in the order of
// the calls; the hand-over is an OwnerWake, one wake-up per batch. Everything else belongs to
// the window's thread.
//
// Scripts. Each StartScript runs a TSendFileSerial on its own thread, owned by this window.
// The window remembers the one started last and asks only that one to stop when it is
// hidden; destroying the window stops every script (a wait is then cut short) and joins it.

#include <QElapsedTimer>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/ini_file.h"
#include "common/message_boxes.h"
#include "link/device_sender.h"
#include "link/owner_wake.h"
#include "terminal/script_sender.h"
#include "terminal/terminal_monitor.h"
#include "terminal/terminal_staging.h"
#include "terminal/terminal_text.h"

class QAction;
class QMenuBar;
class QPlainTextEdit;
class QSplitter;
class QTimer;

namespace velqor {

// What tests may put in place of the real thing.
struct TerminalWindowOptions {
  // The settings file holding the TTY keys.
  std::filesystem::path settingsPath = "./Velqor.INI";
  // The scripts' sleep; the system's when null. Must outlive the window.
  ScriptSleeper* sleeper = nullptr;
  // OpenDialog1: the script file the user picks, empty when none; a file dialog when empty.
  std::function<QString(QWidget* parent, const QString& filter)> chooseScriptFile;
};

class TFrmTTY : public QWidget, public TerminalMonitor, public ScriptProgress {
  Q_OBJECT

 public:
  using Options = TerminalWindowOptions;

  static constexpr int kMaxRxLines = 500;
  static constexpr int kTxPaneHeight = 82;
  // The file dialog's filter as the form has it (shown through tr()).
  static constexpr char kScriptFilter[] = QT_TRANSLATE_NOOP(
      "velqor::TFrmTTY", "シリアルファイル(*.cmd,*.tty)|*.cmd;*.tty|すべてのファイル(*.*)|*.*");

  // `sender` (the main window's SendToDevice) and `boxes` must outlive the window. Reads the
  // TTY keys of the settings file.
  TFrmTTY(DeviceSender& sender, MessageBoxes& boxes, Options options = {},
          QWidget* parent = nullptr);
  ~TFrmTTY() override;

  // TerminalMonitor, any thread. Received blocks are shown only while the window shows.
  void ShowReceived(const std::uint8_t* bytes, std::size_t length) override;
  void ShowSent(const std::uint8_t* bytes, std::size_t length) override;
  // ScriptProgress, any thread: a new line at the end of MemoTX.
  void ShowProgress(const std::string& text) override;
  // Any thread: whether the window shows (the USB receive handler asks before ShowReceived).
  bool IsShowing() const override { return m_showing.load(); }

  void StartScript(const std::filesystem::path& path);
  // The hexadecimal digits of `text` in pairs, as one block.
  void SendHexText(std::string_view text);

  // Handlers.
  void Exit1Click();
  void N1Click();
  void TXmonitorClick();
  void TxPacketUnitClick();
  void ClearBuffClick();
  void MemoRXChange();
  // One character typed into MemoTX; true when it may be inserted as usual.
  bool MemoTXKeyPress(QChar typed);

  bool txMonitor() const;
  bool txPacketUnit() const;

  // Shows what is staged now instead of at the next batch.
  void flushPending();
  // The script started last, while it runs.
  TSendFileSerial* runningScript() const;
  std::size_t scriptCount() const { return m_scripts.size(); }
  // Received bytes left out because a batch held more than the pane can show.
  std::uint64_t receivedSkipped() const { return m_receivedSkipped; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenu(QMenuBar* menu);
  void placeOnScreen();
  void post();
  void scheduleDrain();
  void drain();
  void appendRx(const QString& text);
  void appendTx(const QString& text);
  void addTxLine(const std::string& line);
  void keepRxWithinLimit();
  void reapScripts();
  void saveTtyKeys();

  DeviceSender& m_sender;
  MessageBoxes& m_boxes;
  Options m_options;
  IniFile m_settings;
  SystemSleeper m_systemSleeper;
  ScriptSleeper* m_sleeper;
  HexTyping m_typing;  // one pair state for the whole program
  TerminalStaging m_staging;
  std::atomic<bool> m_showing{false};
  bool m_draining = false;
  bool m_sized = false;
  std::uint64_t m_receivedSkipped = 0;
  QElapsedTimer m_sinceDrain;

  QPlainTextEdit* m_memoRx = nullptr;
  QPlainTextEdit* m_memoTx = nullptr;
  QSplitter* m_splitter = nullptr;
  QAction* m_txMonitor = nullptr;
  QAction* m_txPacketUnit = nullptr;
  QTimer* m_drainTimer = nullptr;
  std::unique_ptr<OwnerWake> m_drainWake;  // runs scheduleDrain on the window's thread
  std::unique_ptr<OwnerWake> m_reapWake;   // runs reapScripts on the window's thread

  TSendFileSerial* m_runningScript = nullptr;
  // Last: destroyed (stopped and joined) first, while everything they call is still alive.
  std::vector<std::unique_ptr<TSendFileSerial>> m_scripts;
};

}  // namespace velqor
