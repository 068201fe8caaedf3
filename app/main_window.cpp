#include "app/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <array>

#include "app/signals_feature.h"
#include "app/slcan_share_window.h"
#include "app/trace_binding.h"
#include "app/transmit_hub.h"
#include "app/window_placement.h"
#include "config/config_page.h"
#include "dialogs/about_box.h"
#include "dialogs/port_dialog.h"
#include "link/protocol.h"
#include "traffic/convert_window.h"
#include "traffic/cyclic_tx_panel.h"
#include "traffic/cyclic_tx_settings.h"
#include "traffic/data_log_settings.h"
#include "traffic/receive_page.h"
#include "traffic/replay_window.h"
#include "traffic/txset_page.h"
#include "traffic/wave_page.h"
#include "widgets/fonts.h"
#include "widgets/radio_group.h"
#include "widgets/sunken_panel.h"

namespace velqor {

namespace {

// The connect switch's glyph: a plug apart (up) or plugged in (down).
QIcon SwitchGlyph() {
  auto draw = [](bool connected) {
    QPixmap pixmap(19, 19);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = connected ? QColor(0, 150, 60) : QColor(200, 40, 40);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(body);
    const int gap = connected ? 0 : 4;
    // Left half: socket; right half: plug with two pins.
    p.drawRoundedRect(QRectF(1, 5, 7 - gap / 2.0, 9), 2, 2);
    p.drawRoundedRect(QRectF(11 + gap / 2.0, 5, 7 - gap / 2.0, 9), 2, 2);
    p.setPen(QPen(Qt::black, 1.5));
    p.drawLine(QPointF(8 - gap / 2.0, 7.5), QPointF(11 + gap / 2.0, 7.5));
    p.drawLine(QPointF(8 - gap / 2.0, 11.5), QPointF(11 + gap / 2.0, 11.5));
    return pixmap;
  };
  QIcon icon;
  icon.addPixmap(draw(false), QIcon::Normal, QIcon::Off);
  icon.addPixmap(draw(true), QIcon::Normal, QIcon::On);
  return icon;
}

QString FromDevice(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// Boxes shown from the event loop after the handler that raised them.
class QueuedBoxes final : public MessageBoxes {
 public:
  QueuedBoxes(QObject* context, MessageBoxes& boxes) : m_context(context), m_boxes(boxes) {}

  void Show(const std::string& text, const std::string& caption, Icon icon) override {
    QMetaObject::invokeMethod(
        m_context, [&boxes = m_boxes, text, caption, icon] { boxes.Show(text, caption, icon); },
        Qt::QueuedConnection);
  }
  bool Confirm(const std::string& text, const std::string& caption, Icon icon) override {
    return m_boxes.Confirm(text, caption, icon);  // an answer cannot wait
  }

 private:
  QObject* m_context;
  MessageBoxes& m_boxes;
};

TFrmMain::TFrmMain(MessageBoxes& boxes, Options options, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                              Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_boxes(boxes),
      m_options(std::move(options)),
      m_baseTitle(QStringLiteral("Velqor ")) {
  setObjectName(QStringLiteral("FrmMain"));
  setWindowTitle(QStringLiteral("Velqor"));
  setFont(MakeFont(QString::fromUtf8(kFontPGothic), 12));
  if (!m_options.runModal) m_options.runModal = [](QDialog& dialog) { dialog.exec(); };
  m_transmit = std::make_unique<TransmitHub>(m_reportWriter);

  buildLayout();
  buildStatusBar();
  buildMenu();
  m_timer = new QTimer(this);
  m_timer->setObjectName(QStringLiteral("Timer"));
  m_timer->setInterval(3000);
  connect(m_timer, &QTimer::timeout, this, &TFrmMain::TimerTimer);
  m_timer->start();

  m_dispatch = std::make_unique<DeviceMessageDispatch>(
      m_fields, static_cast<DeviceMessageView&>(*this), m_configPage->parameters());
  m_dispatch->addFollower(*m_transmit);  // the send answers back to their senders
  buildCyclicTx();

  // The non-visual components: the COM port without flow control and the USB HID link that
  // delivers its reports on its own reader thread. Both closed until the switch is pressed.
  m_commX1 = std::make_unique<TCommX>();
  m_commX1->setObjectName(QStringLiteral("CommX1"));
  m_commX1->setProperty("Tag", 0);
  m_commX1->SetFlowCtrl(cfcNone);
  m_commX1->SetPortPathResolver([this](int portNo) { return portPath(portNo); });
  if (m_options.serialPortOpener) m_commX1->SetPortOpener(m_options.serialPortOpener);
  m_commX1->OnReceive = [this](TCustomCommX* sender, int size) { CommX1Receive(sender, size); };
  m_usbif = std::make_unique<TUsbif>(m_options.hidPlatform);
  m_usbif->setObjectName(QStringLiteral("Usbif"));
  m_usbif->setProperty("Tag", 0);
  m_usbif->SetRxEventType(TUsbifEventType::Direct);
  m_usbif->OnUsbReceive = [this](TUsbif* sender, const std::uint8_t* buffer, int size) {
    UsbifUsbReceive(sender, buffer, size);
  };
  m_usbif->OnUsbDeviceRemove = [this](TUsbif* sender) { UsbifUsbDeviceRemove(sender); };

  FormCreate();
  setUpReconnect();

  setFixedSize(kClientWidth, menuBar()->sizeHint().height() + kClientHeight);
}

TFrmMain::~TFrmMain() { FormDestroy(); }

void TFrmMain::FormDestroy() {
  // The tools' threads send through the links: they end first.
  m_replayWindow.reset();
  m_slcanShareWindow.reset();
  // Nothing sends on its own from here on.
  if (m_transmit) m_transmit->Shutdown();
  // 1-2. The settings first. A key that cannot be written is shown once and the shutdown
  // goes on, so that the log and the links are still closed.
  if (m_settings) {
    try {
      // The sections of the newer parts after the others, in the same write.
      const IniFile::Batch batch = m_settings->batch();
      saveSettings(*m_settings, settingsFromControls());
      if (m_trace) m_trace->saveSettings(*m_settings);
      if (m_centred) SaveWindowPosition(*m_settings, pos());  // where it was, once shown
      if (m_signals) m_signals->saveSettings(*m_settings);
      saveDataLogSettings(*m_settings, {m_configPage->logFormat()});
      if (m_cyclicTx) saveCyclicTxSettings(*m_settings, m_cyclicTx->settings());
      m_settings->commitBatch();
    } catch (const std::exception& e) {
      m_boxes.Show(e.what(), "Velqor", MessageBoxes::Icon::Error);
    }
    m_settings.reset();
  }
  m_signals.reset();
  // The cyclic rows' controls no longer reach the scheduler, which goes with the members.
  delete m_cyclicTx;
  m_cyclicTx = nullptr;
  // 3. Closing the log writes every line still queued. (It never touches the settings file
  // after the file was opened.)
  if (m_log) {
    if (m_receivePath) m_receivePath->removeFrameConsumer(*m_log);
    m_log.reset();
  }
  // 4. Both links, whatever their flags say; closing Usbif waits until its reader is paused.
  if (m_commX1) {
    m_commX1->PortClose();
    m_commX1->setProperty("Tag", 0);
  }
  if (m_usbif) {
    m_usbif->Close();
    m_usbif->setProperty("Tag", 0);
  }
  // 5. The interpreters, after both links, so that no receive event reaches them released;
  // the trace before them, as it hangs on their path.
  m_trace.reset();
  m_receivePath.reset();
}

void TFrmMain::buildLayout() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("Client"));
  client->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
  setCentralWidget(client);

  m_spdSwitch = new QToolButton(client);
  m_spdSwitch->setObjectName(QStringLiteral("SpdSwitch"));
  m_spdSwitch->setCheckable(true);
  m_spdSwitch->setAutoRaise(false);
  m_spdSwitch->setIcon(SwitchGlyph());
  m_spdSwitch->setIconSize(QSize(19, 19));
  m_spdSwitch->setToolTip(tr("通信ポート接続/切断"));
  m_spdSwitch->setGeometry(16, 4, 25, 25);
  connect(m_spdSwitch, &QToolButton::clicked, this, &TFrmMain::SpdSwitchClick);

  QFont bold = font();
  bold.setBold(true);
  auto* label1 = new QLabel(tr("TxErrCount"), client);
  label1->setObjectName(QStringLiteral("Label1"));
  label1->setFont(bold);
  label1->setGeometry(96, 8, 84, 16);
  m_panelTxErCount = new SunkenPanel(QStringLiteral("0"), client);
  m_panelTxErCount->setObjectName(QStringLiteral("PanelTxErCount"));
  m_panelTxErCount->setGeometry(184, 4, 73, 25);
  auto* label8 = new QLabel(tr("RxErrCount"), client);
  label8->setObjectName(QStringLiteral("Label8"));
  label8->setFont(bold);
  label8->setGeometry(296, 8, 84, 16);
  m_panelRxErCount = new SunkenPanel(QStringLiteral("0"), client);
  m_panelRxErCount->setObjectName(QStringLiteral("PanelRxErCount"));
  m_panelRxErCount->setGeometry(384, 4, 73, 25);

  auto* test2 = new QPushButton(tr("Test Cmd2"), client);
  test2->setObjectName(QStringLiteral("BtnTest2"));
  test2->setGeometry(472, 4, 57, 25);
  test2->hide();  // it never had a visible effect
  auto* debug = new QPushButton(tr("Debug"), client);
  debug->setObjectName(QStringLiteral("BtnDebug"));
  debug->setGeometry(536, 4, 57, 25);
  debug->hide();
  connect(debug, &QPushButton::clicked, this, &TFrmMain::BtnDebugClick);

  // The pages' logic sends through this window and shows its results in ResultPanel; the
  // Config page's logic works on the window's SampleTimingTable.
  auto resultText = [this](std::string_view text) { SetResultText(text); };
  m_pageControl = new QTabWidget(client);
  m_pageControl->setObjectName(QStringLiteral("PageControl1"));
  m_pageControl->setGeometry(0, client->height() - kPageControlHeight, kClientWidth,
                             kPageControlHeight);
  m_wavePage = new WavePage(*this, m_boxes, &m_fields.TriggerLevel);
  m_wavePage->setObjectName(QStringLiteral("TabSheet2"));
  m_wavePage->setBitTimingSource([this] {
    BitTimingChoice timing;  // the Config page's choice
    const int rate = m_configPage->CmbBitRate->currentIndex();
    if (rate >= 0 && rate < kBitRateCount) timing.bitRate = kBitRatesPerSecond[rate];
    bool ok = false;
    const double point = m_configPage->CombSmpleTime->currentText().toDouble(&ok);
    if (ok) timing.samplePointPercent = point;
    return timing;
  });
  m_receivePage = new ReceivePage(m_options.clock);
  m_receivePage->setObjectName(QStringLiteral("TabSheet3"));
  m_txSetPage = new TxSetPage(*this, m_boxes, resultText);
  m_txSetPage->setObjectName(QStringLiteral("TabSheet4"));
  m_configPage = new ConfigPage(*this, m_boxes, m_fields.SampleTimingTable, resultText);
  m_configPage->setObjectName(QStringLiteral("TabSheet5"));
  m_pageControl->addTab(m_wavePage, tr("Wave"));
  m_pageControl->addTab(m_receivePage, tr("Receive"));
  m_pageControl->addTab(m_txSetPage, tr("TxSet"));
  m_pageControl->addTab(m_configPage, tr("Config"));
  m_pageControl->setCurrentWidget(m_configPage);
}

void TFrmMain::buildCyclicTx() {
  // The TxSet page's rows sending on their own; the scheduler's stops are shown as they come.
  m_cyclicTx = new CyclicTxPanel(*m_txSetPage, m_transmit->scheduler(), m_boxes,
                                 [this](std::string_view text) { SetResultText(text); });
  m_transmit->setOnEvents([this] {
    if (m_cyclicTx) m_cyclicTx->poll();
  });
}

void TFrmMain::buildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar"));
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(kStatusBarHeight);
  bar->installEventFilter(this);
  auto addPanel = [this, bar](const char* name, const QString& text, int width) {
    auto* panel = new QLabel(text, bar);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setFixedWidth(width);
    panel->installEventFilter(this);
    bar->addWidget(panel);
    return panel;
  };
  // "Ver", an ideographic space (U+3000) and the version.
  m_versionPanel = addPanel("VersionPanel", tr("Ver　%1").arg(QStringLiteral("3.1.0")), 100);
  m_connectionPanel = addPanel("ConnectionPanel", QString(), 150);
  m_resultPanel = addPanel("ResultPanel", QString(), 200);
  m_lostPanel = addPanel("LostPanel", QString(), 140);
  m_lostPanel->hide();  // shown only once something was lost
}

void TFrmMain::buildMenu() {
  QMenuBar* menu = menuBar();
  menu->setObjectName(QStringLiteral("MainMenu1"));
  // An entry of the menu bar or of one of its menus, named as the tests find it.
  auto add = [this](QWidget* where, const char* name, const QString& caption,
                    void (TFrmMain::*handler)()) {
    QAction* action = where->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };
  add(menu, "Quit1", tr("&Quit"), &TFrmMain::Quit1Click);
  add(menu, "Veiw1", tr("&TTY"), &TFrmMain::Veiw1Click);
  add(menu, "Option1", tr("&Port"), &TFrmMain::Option1Click);
  add(menu, "About1", tr("&About"), &TFrmMain::About1Click);
  // The windows added since, after the four entries above.
  QAction* trace = add(menu, "Trace1", tr("&Trace"), &TFrmMain::Trace1Click);
  trace->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  trace->setToolTip(tr("Every frame in the order it came (Ctrl+T)"));

  // "&Tools": jobs beside the specified ones, each in a window of its own. Top-level entries
  // that come before it ("&Trace", "&Signals") are inserted before its menuAction().
  QMenu* tools = menu->addMenu(tr("&Tools"));
  tools->setObjectName(QStringLiteral("Tools1"));
  tools->menuAction()->setObjectName(QStringLiteral("Tools1"));
  add(tools, "Replay1", tr("Replay..."), &TFrmMain::ReplayClick);
  add(tools, "Convert1", tr("Convert log..."), &TFrmMain::ConvertClick);
  add(tools, "SlcanShare1", tr("Share as slcan device..."), &TFrmMain::SlcanShareClick);
}

void TFrmMain::FormCreate() {
  m_settings = std::make_unique<IniFile>(m_options.settingsPath);

  // The interpreters, fed by both links, with the queue to this window: the other messages
  // to the dispatch, the frames to the consumers in this order.
  m_queuedBoxes = std::make_unique<QueuedBoxes>(this, m_boxes);
  m_receivePath = std::make_unique<ReceivePath>(
      *m_dispatch,
      [this](const std::string& text) {
        m_queuedBoxes->Show(text, "Velqor", MessageBoxes::Icon::Error);
      },
      m_options.receiveQueueCapacity);
  connect(m_receivePath.get(), &ReceivePath::lostCountChanged, this, &TFrmMain::showLost);
  m_receivePath->addFrameConsumer(static_cast<FrameConsumer&>(*this));
  // The page counts the frames the program sent too; only received ones become rows.
  m_receivePath->addFrameConsumer(*m_receivePage, ReceivePath::Frames::ReceivedAndSent);

  // The row arrays, as the pages built them.
  MaskEdit = m_txSetPage->MaskEdit;
  MBox = m_txSetPage->MBox;
  ChkTxIde = m_txSetPage->ChkTxIde;
  BtnSend = m_txSetPage->BtnSend;
  EditIdTx = m_txSetPage->EditIdTx;
  CSpinDLC = m_txSetPage->CSpinDLC;
  Chrx = m_configPage->Chrx;
  EditIdRx = m_configPage->EditIdRx;
  ChkRxIde = m_configPage->ChkRxIde;
  SpinRxDlc = m_configPage->SpinRxDlc;
  EditRxMask = m_configPage->EditRxMask;
  MaskEditRx = m_configPage->MaskEditRx;

  // One reading of the file for the specified settings and the newer parts' sections.
  SettingsLoadResult loaded;
  CyclicTxSettings cyclicTx;
  {
    const IniFile::Batch batch = m_settings->batch();
    loaded = loadSettings(*m_settings, m_options.today ? m_options.today() : localToday());
    m_configPage->setLogFormat(loadDataLogSettings(*m_settings, loaded.warnings).format);
    cyclicTx = loadCyclicTxSettings(*m_settings, loaded.warnings);
  }
  loadIntoControls(loaded.settings);
  m_cyclicTx->load(cyclicTx);
  m_portSuffix = QStringLiteral("- COM%1 -").arg(m_commX1->PortNo());
  setCaption();
  loadBitTiming(loaded.settings);

  // LogFile: none until a connection with ChkLog ticked; the counter carries on from the
  // settings.
  openDataLog(loaded.settings.logCounter);
  m_signals = std::make_unique<SignalsFeature>(*this, m_boxes, *m_receivePath, *m_txSetPage,
                                               m_options.runModal);
  menuBar()->insertMenu(menuBar()->findChild<QMenu*>(QStringLiteral("Tools1"))->menuAction(),
                        m_signals->menu());
  m_signals->loadSettings(*m_settings);

  m_trace = std::make_unique<TraceBinding>(*this, m_boxes, *m_settings);

  if (!loaded.warnings.empty()) {
    std::string text = m_options.settingsPath + ":";
    for (const std::string& w : loaded.warnings) text += "\n" + w;
    m_boxes.Show(text, "Velqor", MessageBoxes::Icon::Warning);
  }
}

void TFrmMain::openDataLog(std::int32_t counter) {
  LogEnvironment env = LogEnvironment::System();
  if (m_options.today) env.today = m_options.today;
  if (m_options.tickCountMs) env.tickCountMs = m_options.tickCountMs;
  if (m_options.logDirectory) env.workingDirectory = m_options.logDirectory;
  // A failure of the writer thread is reported here, on this thread.
  m_logWake = std::make_unique<OwnerWake>([this] {
    if (m_log) m_log->CheckWriter();
  });
  DataLogWriter::Options writer;
  writer.onFailure = [wake = m_logWake.get()] { wake->Wake(); };
  m_log = std::make_unique<DataLog>(*m_settings, *m_queuedBoxes, static_cast<LogFileView&>(*this),
                                    std::move(env), counter, std::move(writer));
  m_receivePath->addFrameConsumer(*m_log);
  connect(m_configPage->ChkLog, &QCheckBox::clicked, this,
          [this](bool checked) { m_log->ChkLogClick(checked); });
  m_log->SetFormat(m_configPage->logFormat());
  connect(m_configPage->CmbLogFormat, &QComboBox::currentIndexChanged, this,
          [this] { m_log->SetFormat(m_configPage->logFormat()); });
}

void TFrmMain::loadIntoControls(const Settings& s) {
  m_configPage->loadMailboxes(s.rx);
  m_txSetPage->loadMailboxes(s.tx);
  m_receivePage->RxDispFormat()->setItemIndex(s.option.rxDataFormat);
  m_configPage->loadOptions(s.option);
  // CommX1 keeps a parity outside cpbNone..cpbEven from touching it, as its setter does.
  m_commX1->SetPortNo(s.uart.comm);
  m_commX1->SetBitRate(s.uart.rate);
  m_commX1->SetParityBit(static_cast<TCommParityBits>(s.uart.parity));
  m_usb = s.usb;
}

void TFrmMain::loadBitTiming(const Settings& s) {
  // TriggerLevel; the track bar takes the level x 10 truncated (and limits it to its range),
  // the edit the single-precision value in general format. Their handlers run as they always
  // did, and send nothing: the terminal window does not exist yet.
  m_wavePage->loadSettings(s.ad.triggerLevel, s.ad.port);
  m_fields.SampleTimingTable = s.bitim.sampleTiming;
  m_configPage->loadBitTiming(s.bitim);
}

Settings TFrmMain::settingsFromControls() const {
  Settings s;
  s.uart = uartSettings();
  s.usb = m_usb;
  m_txSetPage->saveMailboxes(s.tx);
  m_configPage->saveMailboxes(s.rx);
  s.option.rxDataFormat = m_receivePage->RxDispFormat()->itemIndex();
  m_configPage->saveOptions(s.option);
  s.bitim.sampleTiming = m_fields.SampleTimingTable;
  m_configPage->saveBitTiming(s.bitim);
  s.ad.triggerLevel = m_fields.TriggerLevel;
  s.ad.port = m_wavePage->capturePort();
  s.logCounter = m_log ? LogCounter() : 0;
  return s;
}

UartSettings TFrmMain::uartSettings() const {
  UartSettings u;
  u.comm = static_cast<std::int8_t>(m_commX1->PortNo());
  u.rate = m_commX1->BitRate();
  u.parity = static_cast<std::int32_t>(m_commX1->ParityBit());
  return u;
}

void TFrmMain::setCaption() {
  setWindowTitle(m_baseTitle + m_portSuffix + m_options.captionSuffix);
}

void TFrmMain::TimerTimer() { m_resultPanel->clear(); }

void TFrmMain::StatusBarDblClick() { m_resultPanel->clear(); }

void TFrmMain::Quit1Click() { close(); }

void TFrmMain::Veiw1Click() {
  if (m_terminalWindow == nullptr) return;
  if (m_terminalWindow->isVisible()) {
    m_terminalWindow->hide();
  } else {
    m_terminalWindow->show();
  }
}

void TFrmMain::Option1Click() {
  // CommX1's values; while the switch holds the port open the number stays as it is.
  TFrmOption dialog(SerialPortValuesOf(*m_commX1, OpenFlag(*m_commX1) == 1), *m_settings, m_boxes,
                    {}, this);
  dialog.OnApply = [this](const SerialPortChanges& changes) {
    ApplySerialPortChanges(*m_commX1, changes);
  };
  m_options.runModal(dialog);
}

void TFrmMain::About1Click() {
  TFrmAbout dialog(this);
  m_options.runModal(dialog);
}

void TFrmMain::CmbBitRateChange() { m_configPage->CmbBitRateChange(); }

void TFrmMain::showLost() {
  // The receive queue's losses, then the lines the data log could not queue.
  const std::uint64_t lost = m_receivePath ? m_receivePath->lostCount() : 0;
  const std::uint64_t lines = m_log ? m_log->DroppedLines() : 0;
  QString text;
  if (lost != 0) text = tr("Lost: %1").arg(lost);
  if (lines != 0) {
    if (!text.isEmpty()) text += QStringLiteral(", ");
    text += tr("Log lost: %1").arg(lines);
  }
  if (text == m_lostPanel->text()) return;
  m_lostPanel->setText(text);
  m_lostPanel->setToolTip(tr("Frames lost by the receive queue: %1\nLines the data "
                             "log could not write in time: %2")
                              .arg(lost)
                              .arg(lines));
  m_lostPanel->setVisible(!text.isEmpty());
}

void TFrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_centred && screen() != nullptr) {
    m_centred = true;
    // Where it was last time, or centred on the screen.
    QList<QRect> screens;
    for (const QScreen* s : QGuiApplication::screens()) screens << s->availableGeometry();
    move(PlaceWindow(LoadWindowPosition(*m_settings), size(), screens,
                     screen()->availableGeometry()));
  }
}

bool TFrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    StatusBarDblClick();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TFrmMain::OnFrames(std::span<const CanFrame> frames) {
  m_fields.LastRxFrame = frames.back();
  // The data log has queued the previous batch by now: its losses show with this one.
  if (m_log && m_log->DroppedLines() != 0) showLost();
}

void TFrmMain::SetResultText(std::string_view text) { m_resultPanel->setText(FromDevice(text)); }

void TFrmMain::SetErrorCounters(std::string_view tx, std::string_view rx) {
  m_panelTxErCount->setText(FromDevice(tx));
  m_panelRxErCount->setText(FromDevice(rx));
}

void TFrmMain::SetWaveState(std::string_view text) { m_wavePage->SetWaveState(FromDevice(text)); }

void TFrmMain::PlotWave() { m_wavePage->PlotWave(m_fields.WaveInterval, m_fields.WaveSamples); }

void TFrmMain::SetSaveFileName(std::string_view shortName) {
  m_configPage->PnlSavefileName->setText(
      QString::fromUtf8(shortName.data(), static_cast<qsizetype>(shortName.size())));
}

void TFrmMain::SetLogChecked(bool checked) { m_configPage->ChkLog->setChecked(checked); }

}  // namespace velqor
