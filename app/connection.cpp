// TFrmMain's links: the connect switch, the receive events of the COM port and the USB
// device, the hidden "Debug" button's frames and the one send path SendToDevice (through the
// SendPath of app/transmit_hub.h, then writeReport); and the links coming back by themselves
// after the adapter was unplugged (TFrmMain::Reconnect).

#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "app/main_window.h"
#include "app/transmit_hub.h"
#include "common/ui_text.h"
#include "config/config_page.h"
#include "link/protocol.h"
#include "link/reconnect.h"
#include "terminal/terminal_monitor.h"
#include "traffic/cyclic_tx_panel.h"
#include "traffic/wave_page.h"

namespace velqor {

namespace {

// The three received-frame messages the hidden "Debug" button feeds.
constexpr std::uint8_t kDebugFrames[3][16] = {
    {0xFC, 0x0E, 0x02, 0x02, 0x01, 0x00, 0x04, 0x08, 0x11, 0x22, 0x33, 0x04, 0x55, 0x66, 0x77,
     0x88},
    {0xFC, 0x0E, 0x02, 0x02, 0x02, 0x00, 0x06, 0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
     0x88},
    {0xFC, 0x0E, 0x02, 0x02, 0x02, 0x01, 0x06, 0x06, 0x11, 0x02, 0x33, 0x04, 0x55, 0x66, 0x77,
     0x88},
};

// The settings key that turns the reconnection off (it is on without the key).
constexpr char kHotplugSection[] = "HOTPLUG";
constexpr char kReconnectKey[] = "RECONNECT";

}  // namespace

// The window's side of AdapterReconnect: what reopening means here, and what the status bar
// says. While the links are away the switch stays down and the USB flag stays 1, so that
// releasing the switch ends the wait as it ends a connection; the COM port's flag follows the
// port. The data log is left alone: the file open before the unplug goes on after it.
class TFrmMain::Reconnect final : private ReconnectLinks {
 public:
  Reconnect(TFrmMain& window, bool enabled) : m_window(window), m_machine(*this, enabled) {
    m_retry.setInterval(static_cast<int>(AdapterReconnect::kRetryInterval.count()));
    QObject::connect(&m_retry, &QTimer::timeout, &m_window, [this] { m_machine.Tick(); });
    m_window.m_usbif->OnUsbDeviceDetect = [this](TUsbif*) { m_machine.Arrival(); };
    m_window.m_commX1->OnVanish = [this](TCustomCommX*) { m_machine.SerialVanished(); };
  }

  ~Reconnect() {
    m_window.m_usbif->OnUsbDeviceDetect = nullptr;
    m_window.m_commX1->OnVanish = nullptr;
  }
  Reconnect(const Reconnect&) = delete;
  Reconnect& operator=(const Reconnect&) = delete;

  AdapterReconnect& machine() { return m_machine; }

 private:
  bool ReopenUsb() override {
    TUsbif& usbif = *m_window.m_usbif;
    // A frame cut short by the unplug is not joined to the first bytes of the new device.
    m_window.m_receivePath->restartLink(ReceivePath::Link::Usb);
    if (usbif.Open(m_window.m_usb.venderId, m_window.m_usb.productId)) return true;
    usbif.Close();  // the reader pauses until the next try
    return false;
  }
  bool ReopenSerial() override {
    TCommX& commX1 = *m_window.m_commX1;
    m_window.m_receivePath->restartLink(ReceivePath::Link::Serial);
    try {
      commX1.PortOpen();
    } catch (const ECommError&) {
      return false;  // not back yet: tried again at the next tick
    }
    commX1.setProperty("Tag", 1);
    return true;
  }
  bool SerialUsable() override {
    return m_window.m_commX1->IsOpen() && !m_window.m_commX1->Vanished();
  }
  void CloseSerial() override {
    m_window.m_commX1->PortClose();
    m_window.m_commX1->setProperty("Tag", 0);
  }
  void SetRetrying(bool on) override {
    if (on) {
      m_retry.start();
    } else {
      m_retry.stop();
    }
  }
  void Announce(ReconnectEvent event) override {
    switch (event) {
      case ReconnectEvent::UsbLost:
        m_window.m_usbif->Close();  // the reader pauses; the next Open resumes it
        m_window.setConnectionText(
            TFrmMain::tr("接続断"),
            TFrmMain::tr("The adapter was unplugged. The links are reopened by themselves when "
                         "it is plugged back in; release the switch to stop waiting."));
        break;
      case ReconnectEvent::UsbBack:
        m_window.setConnectionText(TFrmMain::tr("接続できた！"), backText());
        m_window.SetResultText(UiText("Status", "Reconnected"));
        // Logging goes on in the file open before; ticked with no file open, a file is
        // opened as a connection opens one.
        if (m_window.m_configPage->ChkLog->isChecked() && !m_window.m_log->IsOpen())
          m_window.m_log->OpenLogFile();
        emit m_window.adapterReconnected();
        break;
      case ReconnectEvent::SerialLost:
        if (m_machine.UsbUp()) m_window.m_connectionPanel->setToolTip(backText());
        break;
      case ReconnectEvent::SerialBack:
        m_window.m_connectionPanel->setToolTip(backText());
        break;
    }
  }

  // The tooltip while the USB device is open.
  QString backText() const {
    QString text;
    if (m_machine.Reconnects() > 0) {
      text = TFrmMain::tr("Reconnected after the adapter was unplugged (%1 time(s)).\n")
                 .arg(m_machine.Reconnects());
    }
    text += QString::fromStdString("USB: " + m_window.m_usbif->DevicePath());
    const QString com = QStringLiteral("COM%1").arg(m_window.m_commX1->PortNo());
    if (m_machine.SerialMissing()) {
      text += TFrmMain::tr("\n%1 is away: it is opened again when it is back.").arg(com);
    } else if (TFrmMain::OpenFlag(*m_window.m_commX1) == 1) {
      text += QStringLiteral("\n%1: %2")
                  .arg(com, QString::fromStdString(m_window.m_commX1->PortPath()));
    }
    return text;
  }

  TFrmMain& m_window;
  AdapterReconnect m_machine;
  QTimer m_retry;
};

void TFrmMain::ReconnectDeleter::operator()(Reconnect* reconnect) const { delete reconnect; }

void TFrmMain::setUpReconnect() {
  m_reconnect.reset(
      new Reconnect(*this, m_settings->readBool(kHotplugSection, kReconnectKey, true)));
}

void TFrmMain::setTerminal(TerminalMonitor* monitor, QWidget* window) {
  {
    // Waits for a reader or script thread that is inside the old monitor.
    std::lock_guard lock(m_terminalMutex);
    m_terminal = monitor;
  }
  m_terminalWindow = window;
  // From now on the trigger level reaches the adapter when it changes.
  m_wavePage->capture().setTerminalExists(monitor != nullptr);
}

bool TFrmMain::SendToDevice(const std::uint8_t* bytes, std::size_t length) {
  return m_transmit->path().SendToDevice(bytes, length);
}

bool TFrmMain::writeReport(const std::uint8_t* bytes, std::size_t length) {
  // One report per call. The monitor shows the block either way; Usbif counts failed writes.
  const CanTime sent = CanTime::Now();
  const bool written = m_usbif->Write(bytes, length);
  {
    std::lock_guard lock(m_terminalMutex);
    if (m_terminal != nullptr) m_terminal->ShowSent(bytes, length);
  }
  // Each SendCanFrame that went out is a sent frame on the frame path, for the consumers
  // that follow the program's own frames.
  if (written && m_receivePath) {
    for (const TxRecord& record : SentCanFrameRecords({bytes, length})) {
      CanFrame frame;
      frame.id = record.id;
      frame.ide = record.ide;
      frame.dlc = record.dlc;
      frame.data = record.data;
      frame.time = sent;
      m_receivePath->Transmitted(frame);
    }
  }
  return written;
}

void TFrmMain::Feed(const std::uint8_t* bytes, std::size_t length, ReceivePath::Link link) {
  m_receivePath->Feed(bytes, length, link);
}

void TFrmMain::BtnDebugClick() {
  for (const auto& frame : kDebugFrames) {
    Feed(frame, sizeof frame);
    std::lock_guard lock(m_terminalMutex);
    if (m_terminal != nullptr) m_terminal->ShowReceived(frame, sizeof frame);
  }
}

void TFrmMain::SpdSwitchClick() {
  if (m_spdSwitch->isChecked()) {
    connectLinks();
  } else {
    disconnectLinks();
  }
}

void TFrmMain::connectLinks() {
  // 1. The COM port. An error skips the rest: caption, USB and log stay untouched, the
  // switch stays down with both flags 0, and the next click only releases it.
  try {
    if (m_commX1->PortNo() < 1) {
      // COMM is kept narrowed to 8 bits: a number above 127 in the file comes back negative.
      throw ECommError(kCommErrOpen, "COM" + std::to_string(m_commX1->PortNo()) +
                                         ": there is no port with this number (COM1 to COM127; "
                                         "[UART] COMM in the settings file)");
    }
    m_commX1->PortOpen();
  } catch (const ECommError& e) {
    // The box keeps the component's own words, as the program's other boxes do; which port
    // and why go to the error output and to ConnectionPanel's tooltip (its text stays).
    if (!e.Detail().empty()) {
      std::fprintf(stderr, "velqor: %s: %s\n", e.what(), e.Detail().c_str());
      m_connectionPanel->setToolTip(QString::fromStdString(e.Detail()));
    }
    m_boxes.Show(UiText(kCommErrorContext, e.what()), "Velqor", MessageBoxes::Icon::Error);
    return;
  }
  m_commX1->setProperty("Tag", 1);

  // 2. The caption: the port may have changed in the port dialog since start.
  m_portSuffix = QStringLiteral("- COM%1 -").arg(m_commX1->PortNo());
  setCaption();

  // 3. The USB device; the COM port stays open either way.
  if (m_usbif->Open(m_usb.venderId, m_usb.productId)) {
    setConnectionText(tr("接続できた！"), QString::fromStdString("USB: " + m_usbif->DevicePath()));
    m_usbif->setProperty("Tag", 1);
    m_reconnect->machine().Connected(OpenFlag(*m_commX1) == 1);
  } else {
    setConnectionText(tr("接続無理！"),
                      QString::fromStdString("USB: " + m_usbif->LastError().text));
    m_usbif->Close();
    m_usbif->setProperty("Tag", 0);
  }

  // 4. A new log file when logging is ticked, whatever became of the USB device.
  OpenLogFileOnConnect();
  emit linksConnected();
}

void TFrmMain::disconnectLinks() {
  // The cyclic rows stop (and the page says so); no answer owed will come.
  m_cyclicTx->linkClosed();
  m_transmit->LinkClosed();
  m_reconnect->machine().Disconnected();
  if (OpenFlag(*m_commX1) == 1 || OpenFlag(*m_usbif) == 1) emit linksDisconnected();
  if (OpenFlag(*m_commX1) == 1) {
    m_commX1->PortClose();
    m_commX1->setProperty("Tag", 0);
  }
  if (OpenFlag(*m_usbif) == 1) {
    m_usbif->Close();
    setConnectionText(tr("接続断"), QString());
    m_usbif->setProperty("Tag", 0);
  }
}

void TFrmMain::setConnectionText(const QString& text, const QString& why) {
  m_connectionPanel->setText(text);
  m_connectionPanel->setToolTip(why);
}

std::string TFrmMain::portPath(int portNo) const {
  if (portNo < 1) return std::string();  // names no port; PortOpen says so
  const std::string key = "COM" + std::to_string(portNo);
  const IniFile ini(m_options.settingsPath);
  if (std::optional<std::string> mapped = ini.readValue("PORTS", key); mapped && !mapped->empty())
    return *mapped;
  return m_options.unmappedPortPath ? m_options.unmappedPortPath(portNo)
                                    : TCustomCommX::DefaultPortPath(portNo);
}

void TFrmMain::CommX1Receive(TCustomCommX* Sender, int ReceiveSize) {
  // Read in pieces through one buffer on the stack: nothing is allocated per event, so no
  // allocation can fail here.
  std::array<std::uint8_t, 4096> buffer;
  int left = ReceiveSize;
  while (left > 0) {
    const int n = Sender->ReceiveBlock(buffer.data(), std::min<int>(left, buffer.size()));
    if (n <= 0) break;  // closed or failed meanwhile
    Feed(buffer.data(), static_cast<std::size_t>(n), ReceivePath::Link::Serial);
    left -= n;
  }
}

void TFrmMain::UsbifUsbReceive(TUsbif*, const std::uint8_t* Buffer, int Size) {
  if (Size <= 0) return;
  const CanTime arrival = CanTime::Now();  // the report's, for the frames it completes
  const auto size = static_cast<std::size_t>(Size);
  m_receivePath->Feed(Buffer, size, ReceivePath::Link::Usb, arrival);
  std::lock_guard lock(m_terminalMutex);
  if (m_terminal != nullptr && m_terminal->IsShowing()) m_terminal->ShowReceived(Buffer, size);
}

void TFrmMain::UsbifUsbDeviceRemove(TUsbif*) {
  if (OpenFlag(*m_usbif) != 1) return;
  // The cyclic rows stop (and the page says so), whether or not the links come back.
  m_cyclicTx->linkClosed();
  m_transmit->LinkClosed();
  emit adapterLost();
  if (m_reconnect->machine().UsbRemoved()) return;  // said so, and waits for the adapter
  setConnectionText(tr("接続断"), tr("The adapter was unplugged. Release the switch and press it "
                                     "again to reconnect."));
}

void TFrmMain::OpenLogFileOnConnect() {
  if (m_configPage->ChkLog->isChecked()) m_log->OpenLogFile();
}

}  // namespace velqor
