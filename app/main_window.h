#pragma once
// TFrmMain, the main window: the connect switch, the error counters, the four pages, the
// status bar and the menu; the row arrays the rest of the program addresses by index
// (index i holds row i + 1, each control's "Tag" property holds its row number); the
// window's fields; the two links to the adapter (CommX1, the COM port, and Usbif, the USB
// HID device) and the connect switch; the receive path and the handler of the device
// messages; the one send path SendToDevice.

#include <QMainWindow>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/device_message_dispatch.h"
#include "app/receive_path.h"
#include "common/message_boxes.h"
#include "common/settings.h"
#include "config/device_parameters.h"
#include "link/commx.h"
#include "link/device_sender.h"
#include "link/hid_platform.h"
#include "link/usbif.h"
#include "traffic/log_file.h"
#include "traffic/received_frame_model.h"
#include "traffic/tx_mailboxes.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTimer;
class QToolButton;

namespace velqor {

class ConfigPage;
class MaskedEdit;
class QueuedBoxes;
class RadioGroup;
class ReceivePage;
class SunkenPanel;
class TerminalMonitor;
class TxSetPage;
class WavePage;

// What tests and tools may put in place of the real thing.
struct MainWindowOptions {
  // The local time of day for the received-frame list; the system clock when empty.
  ReceivedFrameModel::Clock clock;
  // Entries of the receive queue.
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
                 private DeviceMessageSink,
                 private DeviceMessageView,
                 private ConfigPageView,
                 private TxSetView,
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

  // The terminal window (FrmTTY), created after this window; it receives the blocks sent and
  // the blocks of BtnDebugClick. `window` is what the "&TTY" item shows and hides.
  void setTerminal(TerminalMonitor* monitor, QWidget* window);

  // DeviceSender, callable from any thread: one USB output report (Usbif.Write; a closed link
  // swallows the bytes), then the block to the terminal's transmit monitor.
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override;
  using DeviceSender::SendToDevice;

  // Received bytes from either link, any thread (UsbifUsbReceive and CommX1Receive feed
  // here). The messages are handled later on the GUI thread, in order.
  // `link` is the byte stream the block belongs to: each link is cut into frames on its own.
  void Feed(const std::uint8_t* bytes, std::size_t length,
            ReceivePath::Link link = ReceivePath::Link::Local);

  // A receive-log hook: called for every received frame after the list is updated. The
  // window sets it to the data log's WriteLogLine; a test may put its own in its place.
  void setWriteLogLine(std::function<void(const RxFrame&)> writeLogLine);

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
  // The USB receive event, on Usbif's reader thread: feeds the report's bytes and, while the
  // terminal window is showing, hands them to its receive monitor.
  void UsbifUsbReceive(TUsbif* Sender, const std::uint8_t* Buffer, int Size);
  // The adapter was unplugged while open (GUI thread): "接続断" in ConnectionPanel. The
  // switch and the flags stay as they are; the user releases the switch and presses it again
  // to reconnect.
  void UsbifUsbDeviceRemove(TUsbif* Sender);
  void BtnDebugClick();
  void TimerTimer();
  void StatusBarDblClick();
  void Quit1Click();
  void Veiw1Click();
  void Option1Click();
  void About1Click();
  // The row handlers find their row (1-based) as the control's Tag holds it.
  void CmbBitRateChange();
  void CSpinDLCChange(int row);
  void SpinRxDlcChange(int row);

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

  // Row arrays, index i = row i + 1.
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
  // A row's "SEND" (BtnSendClick): the transmit mailboxes send the row `row` (1..8).
  void BtnSendClicked(int row);

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
  void setCaption();
  void showLost(quint64 lost);
  void connectLinks();
  void disconnectLinks();
  // COM n -> device path: [PORTS] COM<n> of the settings file as it is now (the port dialog
  // may have changed it), else the unmapped path; empty for a number that names no port.
  std::string portPath(int portNo) const;
  void setConnectionText(const QString& text, const QString& why);
  void setTerminalShowing(bool showing);
  template <typename T>
  T* control(const QString& name) const;

  // DeviceMessageSink, GUI thread (from the receive queue).
  void OnDeviceMessage(int code, const DeviceMessage& message) override;
  // DeviceMessageView (SetResultText also for the pages' views).
  void SetResultText(std::string_view text) override;
  void SetErrorCounters(std::string_view tx, std::string_view rx) override;
  void SetWaveState(std::string_view text) override;
  void ShowReceivedFrame() override;
  void WriteLogLine() override;
  void PlotWave() override;
  // ConfigPageView: the "Config" page's controls.
  RxMailboxRow RxMailbox(int index) const override;
  void SetRxMailbox(int index, const RxMailboxRow& row) override;
  void SetRxDataMask(int index, std::string_view editMask) override;
  int BitRateIndex() const override;
  void SetBitRateIndex(int index) override;
  int SampleTimingIndex() const override;
  void SetSampleTimings(const std::vector<std::string>& items, int selected) override;
  bool Terminator() const override;
  void SetTerminator(bool checked) override;
  int ConsoleFormat() const override;
  void SetConsoleFormat(int index) override;
  void SetVersionText(std::string_view text) override;
  void SetDeviceText(std::string_view text) override;
  // TxSetView: the "TxSet" page's rows.
  TxMailboxRow TxMailbox(int index) const override;
  void SetTxDataMask(int index, std::string_view editMask) override;
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
  std::unique_ptr<DeviceParameters> m_config;  // the "Config" page's logic
  std::unique_ptr<TxMailboxes> m_txMailboxes;  // the "TxSet" page's logic
  std::unique_ptr<QueuedBoxes> m_logBoxes;     // the log's boxes, queued to the event loop
  std::unique_ptr<DataLog> m_log;              // LogFile, from the settings' counter on
  QTimer* m_logFlushTimer = nullptr;
  std::unique_ptr<DeviceMessageDispatch> m_dispatch;
  std::unique_ptr<ReceivePath> m_receivePath;  // the interpreter and its queue
  // The terminal window: the reader and script threads reach its monitor under this lock, so
  // that setTerminal(nullptr) waits for a call in progress.
  mutable std::mutex m_terminalMutex;
  TerminalMonitor* m_terminal = nullptr;
  std::atomic<bool> m_terminalShowing{false};  // the window is showing (UsbifUsbReceive)
  QWidget* m_terminalWindow = nullptr;
  // After the receive path: the links go first, so that no receive event reaches a released
  // interpreter.
  std::unique_ptr<TCommX> m_commX1;
  std::unique_ptr<TUsbif> m_usbif;
  std::function<void(const RxFrame&)> m_writeLogLine;
  bool m_centred = false;

  QToolButton* m_spdSwitch = nullptr;
  SunkenPanel* m_panelTxErCount = nullptr;
  SunkenPanel* m_panelRxErCount = nullptr;
  QTabWidget* m_pageControl = nullptr;
  WavePage* m_wavePage = nullptr;
  ReceivePage* m_receivePage = nullptr;
  TxSetPage* m_txSetPage = nullptr;
  ConfigPage* m_configPage = nullptr;
  QLabel* m_versionPanel = nullptr;
  QLabel* m_connectionPanel = nullptr;
  QLabel* m_resultPanel = nullptr;
  QLabel* m_lostPanel = nullptr;
  QTimer* m_timer = nullptr;
};

}  // namespace velqor
