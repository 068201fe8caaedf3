#pragma once
// TFrmMain, the main window: the connect switch, the error counters, the four pages, the
// status bar and the menu; the window's fields; the two links to the adapter (CommX1, the COM
// port, and Usbif, the USB HID device); the frame path from the links to the pages
// (ReceivePath) and the handler of the other device messages; the one send path SendToDevice.
//
// The pages build, place and bind their own controls and load and save their own settings;
// the window creates them, wires them to the links, the status bar and the settings file, and
// keeps the row arrays (index i holds row i + 1) as the pages built them.
//
// Frames. Every received frame reaches the frame consumers of receivePath() on this thread,
// in batches: the window itself (LastRxFrame), the "Receive" page's list, then the data log.
// Others hang on the same path with receivePath().addFrameConsumer; frames the program sends
// (SEND, ALL SEND, a script's or the terminal's SendCanFrame) come the same way, marked
// CanFrame::kTx, to consumers that ask for them (ReceivePath::Frames::ReceivedAndSent).
//
// Sends. Every block goes through the SendPath of transmit() (app/transmit_hub.h), which
// matches the adapter's send answers to their senders: the TxSet page's cyclic rows, an slcan
// share, or nobody.

#include <QMainWindow>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "app/device_message_dispatch.h"
#include "app/receive_path.h"
#include "common/message_boxes.h"
#include "common/settings.h"
#include "link/commx.h"
#include "link/device_sender.h"
#include "link/frame_consumer.h"
#include "link/hid_platform.h"
#include "link/owner_wake.h"
#include "link/usbif.h"
#include "traffic/log_file.h"
#include "traffic/received_frame_model.h"

class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class QToolButton;

namespace velqor {

class ConfigPage;
class ConvertWindow;
class CyclicTxPanel;
class MaskedEdit;
class QueuedBoxes;
class ReceivePage;
class ReplayWindow;
class SignalsFeature;
class SlcanShareWindow;
class SunkenPanel;
class TerminalMonitor;
class TransmitHub;
class TxSetPage;
class TraceBinding;
class TraceWindow;
class WavePage;

// What tests and tools may put in place of the real thing.
struct MainWindowOptions {
  // The local time of day for the received-frame list; the system clock when empty.
  ReceivedFrameModel::Clock clock;
  // Frames the receive queue holds.
  std::size_t receiveQueueCapacity = ReceivePath::kDefaultCapacity;
  // Shows a dialog opened from the menu modally; QDialog::exec when empty.
  std::function<void(QDialog&)> runModal;
  // The settings file, read at start and written at exit.
  std::string settingsPath = kSettingsFilePath;
  // Today's local date, which decides whether the log counter carries on and dates the log
  // files; the system's when empty.
  std::function<std::chrono::year_month_day()> today;
  // The milliseconds since system start that stamp the log lines; the system's when empty.
  std::function<std::uint64_t()> tickCountMs;
  // The folder of the log files; the working directory when empty.
  std::function<std::filesystem::path()> logDirectory;
  // The HID devices Usbif searches; the machine's hidraw devices when null.
  std::shared_ptr<HidPlatform> hidPlatform;
  // The device path of a COM number that the settings file's [PORTS] section does not map;
  // /dev/ttyACM<n-1> when empty. The simulation maps every such number to its
  // pseudo-terminal.
  std::function<std::string(int portNo)> unmappedPortPath;
  // How CommX1 opens a device path; SerialPort::Open when empty.
  TCustomCommX::PortOpener serialPortOpener;
  // Appended to the caption, e.g. " [simulated adapter]"; empty for the real adapter.
  QString captionSuffix;
};

class TFrmMain : public QMainWindow,
                 public DeviceSender,
                 private FrameConsumer,
                 private DeviceMessageView,
                 private LogFileView {
  Q_OBJECT

 public:
  using Options = MainWindowOptions;

  static constexpr int kClientWidth = 603;
  static constexpr int kClientHeight = 500;
  static constexpr int kStatusBarHeight = 19;
  static constexpr int kPageControlHeight = 449;

  // `boxes` shows message boxes and must outlive the window.
  explicit TFrmMain(MessageBoxes& boxes, Options options = {}, QWidget* parent = nullptr);
  ~TFrmMain() override;  // FormDestroy

  // The terminal window (FrmTTY), created after this window; it receives the blocks sent, the
  // USB reports while it is showing and the blocks of BtnDebugClick. `window` is what the
  // "&TTY" item shows and hides.
  void setTerminal(TerminalMonitor* monitor, QWidget* window);

  // DeviceSender, callable from any thread: one USB output report (Usbif.Write; a closed link
  // swallows the bytes), then the block to the terminal's transmit monitor. A SendCanFrame
  // that went out is handed to the frame path as a sent frame (CanFrame::kTx). The block
  // passes transmit()'s SendPath as owned by nobody.
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override;
  using DeviceSender::SendToDevice;
  // The send path, the cyclic rows' scheduler and the routing of the send answers.
  TransmitHub& transmit() { return *m_transmit; }

  // Received bytes from either link, any thread (UsbifUsbReceive and CommX1Receive feed
  // here). The frames and messages are handled later on the GUI thread, in order.
  // `link` is the byte stream the block belongs to: each link is cut into frames on its own.
  void Feed(const std::uint8_t* bytes, std::size_t length,
            ReceivePath::Link link = ReceivePath::Link::Local);

  // The links. Each one's "Tag" property is its OpenFlag: 1 while the connect switch holds
  // that link open, 0 otherwise.
  TCommX& CommX1() { return *m_commX1; }
  TUsbif& Usbif() { return *m_usbif; }
  static int OpenFlag(const QObject& link) { return link.property("Tag").toInt(); }

  // Step 4 of connecting (SpdSwitchClick, after both links were tried): a new data log file
  // when ChkLog is ticked (OpenLogFile).
  void OpenLogFileOnConnect();

  // Handlers.
  // The connect switch: down connects (COM port, then USB, then the log file when ChkLog is
  // ticked), up disconnects what the open flags say is open.
  void SpdSwitchClick();
  // The COM port's receive event (GUI thread): reads ReceiveSize bytes and feeds them.
  void CommX1Receive(TCustomCommX* Sender, int ReceiveSize);
  // The USB receive event, on Usbif's reader thread: feeds the report's bytes, stamped with
  // their arrival, and, while the terminal window is showing, hands them to its monitor.
  void UsbifUsbReceive(TUsbif* Sender, const std::uint8_t* Buffer, int Size);
  // The adapter was unplugged while open (GUI thread): "接続断" in ConnectionPanel, and
  // adapterLost(). The switch and the USB flag stay as they are. With [HOTPLUG] RECONNECT on
  // (the default) the links come back by themselves when the adapter is plugged in again
  // (app/connection.cpp); off, the user releases the switch and presses it again.
  void UsbifUsbDeviceRemove(TUsbif* Sender);
  void BtnDebugClick();
  void TimerTimer();
  void StatusBarDblClick();
  void Quit1Click();
  void Veiw1Click();
  void Option1Click();
  void About1Click();
  // "&Trace": shows the trace window (app/trace_binding.cpp).
  void Trace1Click();
  // "&Tools" > "Share as slcan device...": the share's window (app/slcan_share_entry.cpp),
  // made at the first use; it starts sharing.
  void SlcanShareClick();
  SlcanShareWindow* slcanShareWindow() const { return m_slcanShareWindow.get(); }
  void CmbBitRateChange();
  // "&Tools" > "Replay...": the replay window (app/replay_entry.cpp), made at the first use.
  void ReplayClick();
  ReplayWindow* replayWindow() const { return m_replayWindow.get(); }
  // "&Tools" > "Convert log...": the conversion window (app/convert_entry.cpp).
  void ConvertClick();
  ConvertWindow* convertWindow() const { return m_convertWindow.get(); }

  // The number of the last log file opened today (FILE SAVEFILENUM).
  std::int32_t LogCounter() const {
    return m_log ? static_cast<std::int32_t>(m_log->LogCounter()) : 0;
  }
  const DataLog& dataLog() const { return *m_log; }
  // CommX1's port number (narrowed to 8 bits, as the settings file keeps it), bit rate and
  // parity; the USB identifiers Usbif opens with.
  UartSettings uartSettings() const;
  const UsbSettings& usbSettings() const { return m_usb; }

  // The window's text fields.
  const QString& BaseTitle() const { return m_baseTitle; }
  const QString& PortSuffix() const { return m_portSuffix; }
  MainWindowFields& fields() { return m_fields; }
  ReceivePath& receivePath() { return *m_receivePath; }
  const DeviceMessageDispatch& dispatch() const { return *m_dispatch; }
  ReceivePage* receivePage() const { return m_receivePage; }
  WavePage* wavePage() const { return m_wavePage; }
  TxSetPage* txSetPage() const { return m_txSetPage; }
  ConfigPage* configPage() const { return m_configPage; }
  TraceWindow* traceWindow() const;
  CyclicTxPanel* cyclicTxPanel() const { return m_cyclicTx; }
  // The "&Signals" menu: DBC files, the signal view and the plot, mailboxes from signals.
  SignalsFeature* signalsFeature() const { return m_signals.get(); }

  // Row arrays, index i = row i + 1: the pages' rows.
  std::array<MaskedEdit*, 8> MaskEdit{};
  std::array<QCheckBox*, 8> MBox{};
  std::array<QCheckBox*, 8> ChkTxIde{};
  std::array<QPushButton*, 8> BtnSend{};
  std::array<QLineEdit*, 8> EditIdTx{};
  std::array<QSpinBox*, 8> CSpinDLC{};
  std::array<QCheckBox*, 16> Chrx{};
  std::array<QLineEdit*, 16> EditIdRx{};
  std::array<QCheckBox*, 16> ChkRxIde{};
  std::array<QSpinBox*, 16> SpinRxDlc{};
  std::array<QLineEdit*, 16> EditRxMask{};
  std::array<MaskedEdit*, 16> MaskEditRx{};

 signals:
  // The gap in the traffic when the adapter is pulled out, for windows that show it (GUI
  // thread). adapterLost: the USB device the connect switch held open went away; no frame
  // comes until the links are open again. adapterReconnected: it was plugged back in and
  // reopened by itself, and frames come again (not after a reconnection by the switch, which
  // the user made).
  void adapterLost();
  void adapterReconnected();
  // The connect switch opened the links (the COM port at least), or closed them.
  void linksConnected();
  void linksDisconnected();

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void FormDestroy();
  // Puts the loaded settings into the controls and fields, in the order they were always
  // read; a DLC before its data text, so that the data is entered under its mask.
  void loadIntoControls(const Settings& settings);
  void loadBitTiming(const Settings& settings);
  // The settings as the controls and fields hold them now.
  Settings settingsFromControls() const;
  void buildLayout();
  void buildMenu();
  void buildStatusBar();
  void openDataLog(std::int32_t counter);
  void setCaption();
  void showLost();
  void connectLinks();
  void disconnectLinks();
  void setUpReconnect();
  // COM n -> device path: [PORTS] COM<n> of the settings file as it is now (the port dialog
  // may have changed it), else the unmapped path; empty for a number that names no port.
  std::string portPath(int portNo) const;
  void setConnectionText(const QString& text, const QString& why);
  // What SendToDevice did before the send path: the write and its echoes.
  bool writeReport(const std::uint8_t* bytes, std::size_t length);
  void buildCyclicTx();

  // FrameConsumer, first of the consumers: LastRxFrame.
  void OnFrames(std::span<const CanFrame> frames) override;
  // DeviceMessageView (SetResultText also for the pages).
  void SetResultText(std::string_view text) override;
  void SetErrorCounters(std::string_view tx, std::string_view rx) override;
  void SetWaveState(std::string_view text) override;
  void PlotWave() override;
  // LogFileView.
  void SetSaveFileName(std::string_view shortName) override;
  void SetLogChecked(bool checked) override;

  MessageBoxes& m_boxes;
  Options m_options;
  QString m_baseTitle;
  QString m_portSuffix;
  std::unique_ptr<IniFile> m_settings;
  UsbSettings m_usb;  // Usbif's identifiers
  MainWindowFields m_fields;
  // Boxes raised while the frame path is handled, shown from the event loop after it: a
  // modal box opened there would hold the path (and let the queue overflow) while it shows.
  std::unique_ptr<QueuedBoxes> m_queuedBoxes;
  std::unique_ptr<OwnerWake> m_logWake;  // the log's writer met a failure
  std::unique_ptr<DataLog> m_log;        // LogFile, from the settings' counter on
  std::unique_ptr<DeviceMessageDispatch> m_dispatch;
  std::unique_ptr<ReceivePath> m_receivePath;  // the interpreters and the queue
  std::unique_ptr<SignalsFeature> m_signals;   // a consumer of the receive path
  // The terminal window: the reader and script threads reach its monitor under this lock, so
  // that setTerminal(nullptr) waits for a call in progress.
  mutable std::mutex m_terminalMutex;
  TerminalMonitor* m_terminal = nullptr;
  QWidget* m_terminalWindow = nullptr;
  // After the receive path: the links go first, so that no receive event reaches a released
  // interpreter.
  std::unique_ptr<TCommX> m_commX1;
  std::unique_ptr<TUsbif> m_usbif;
  // Brings the links back after an unplug (app/connection.cpp); goes before the links.
  class Reconnect;
  struct ReconnectDeleter {
    void operator()(Reconnect* reconnect) const;
  };
  std::unique_ptr<Reconnect, ReconnectDeleter> m_reconnect;
  // The trace and its window, on the receive path: gone before it.
  std::unique_ptr<TraceBinding> m_trace;
  bool m_centred = false;
  // The writer behind the send path (writeReport), and the path, the scheduler and the
  // answers' routing; the scheduler's thread is stopped in FormDestroy before the links close.
  struct ReportWriter final : DeviceSender {
    explicit ReportWriter(TFrmMain& window) : m_window(window) {}
    bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
      return m_window.writeReport(bytes, length);
    }
    TFrmMain& m_window;
  };
  ReportWriter m_reportWriter{*this};
  std::unique_ptr<TransmitHub> m_transmit;

  QToolButton* m_spdSwitch = nullptr;
  SunkenPanel* m_panelTxErCount = nullptr;
  SunkenPanel* m_panelRxErCount = nullptr;
  QTabWidget* m_pageControl = nullptr;
  WavePage* m_wavePage = nullptr;
  ReceivePage* m_receivePage = nullptr;
  TxSetPage* m_txSetPage = nullptr;
  ConfigPage* m_configPage = nullptr;
  CyclicTxPanel* m_cyclicTx = nullptr;
  // Windows of the "&Tools" menu, made at their first use; gone before the links close.
  std::unique_ptr<SlcanShareWindow> m_slcanShareWindow;
  QLabel* m_versionPanel = nullptr;
  QLabel* m_connectionPanel = nullptr;
  QLabel* m_resultPanel = nullptr;
  QLabel* m_lostPanel = nullptr;
  QTimer* m_timer = nullptr;
  // Windows of the "&Tools" menu, made at their first use; gone before the links close.
  std::unique_ptr<ReplayWindow> m_replayWindow;
  std::unique_ptr<ConvertWindow> m_convertWindow;
};

}  // namespace velqor
