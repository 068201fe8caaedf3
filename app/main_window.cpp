#include "app/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <cmath>
#include <stdexcept>

#include "common/adapter_limits.h"
#include "common/dlc_tables.h"
#include "config/config_page.h"
#include "dialogs/about_box.h"
#include "dialogs/port_dialog.h"
#include "terminal/terminal_monitor.h"
#include "traffic/receive_page.h"
#include "traffic/txset_page.h"
#include "traffic/wave_page.h"
#include "widgets/fonts.h"
#include "widgets/key_filter.h"
#include "widgets/masked_edit.h"
#include "widgets/radio_group.h"
#include "widgets/sunken_panel.h"

namespace velqor {

namespace {

QString MaskByDlcText(int dlc) {
  return dlc >= 0 && dlc <= kMaxDlc
             ? QString::fromLatin1(
                   MaskByDlc[static_cast<std::size_t>(dlc)].data(),
                   static_cast<qsizetype>(MaskByDlc[static_cast<std::size_t>(dlc)].size()))
             : QString();
}

// The three received-frame messages the hidden "Debug" button feeds.
constexpr std::uint8_t kDebugFrames[3][16] = {
    {0xFC, 0x0E, 0x02, 0x02, 0x01, 0x00, 0x04, 0x08, 0x11, 0x22, 0x33, 0x04, 0x55, 0x66, 0x77,
     0x88},
    {0xFC, 0x0E, 0x02, 0x02, 0x02, 0x00, 0x06, 0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
     0x88},
    {0xFC, 0x0E, 0x02, 0x02, 0x02, 0x01, 0x06, 0x06, 0x11, 0x02, 0x33, 0x04, 0x55, 0x66, 0x77,
     0x88},
};

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

void SetTag(QObject* control, int row) { control->setProperty("Tag", row); }

}  // namespace

// The data log's boxes, shown from the event loop after the handler that raised them: a log
// line is written while the receive queue is drained, and a modal box opened there would hold
// the drain (and let the queue overflow) for as long as it stays open.
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

  buildLayout();
  buildStatusBar();
  buildMenu();
  m_timer = new QTimer(this);
  m_timer->setObjectName(QStringLiteral("Timer"));
  m_timer->setInterval(3000);
  connect(m_timer, &QTimer::timeout, this, &TFrmMain::TimerTimer);
  m_timer->start();

  // The pages' logic reaches the controls through this window; the Config page's logic
  // works on the window's SampleTimingTable.
  m_config = std::make_unique<DeviceParameters>(static_cast<DeviceSender&>(*this), m_boxes,
                                                m_fields.SampleTimingTable,
                                                static_cast<ConfigPageView&>(*this));
  m_txMailboxes = std::make_unique<TxMailboxes>(static_cast<DeviceSender&>(*this), m_boxes,
                                                static_cast<TxSetView&>(*this));
  m_dispatch = std::make_unique<DeviceMessageDispatch>(
      m_fields, static_cast<DeviceMessageView&>(*this), *m_config);

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

  setFixedSize(kClientWidth, menuBar()->sizeHint().height() + kClientHeight);
}

TFrmMain::~TFrmMain() { FormDestroy(); }

void TFrmMain::FormDestroy() {
  // 1-2. The settings first. A key that cannot be written is shown once and the shutdown
  // goes on, so that the log and the links are still closed.
  if (m_settings) {
    try {
      saveSettings(*m_settings, settingsFromControls());
    } catch (const std::exception& e) {
      m_boxes.Show(e.what(), "Velqor", MessageBoxes::Icon::Error);
    }
    m_settings.reset();
  }
  // 3. Closing the log writes every line still pending. (It never touches the settings file
  // after the file was opened.)
  if (m_logFlushTimer != nullptr) m_logFlushTimer->stop();
  m_log.reset();
  // 4. Both links, whatever their flags say; closing Usbif waits until its reader is paused.
  if (m_commX1) {
    m_commX1->PortClose();
    m_commX1->setProperty("Tag", 0);
  }
  if (m_usbif) {
    m_usbif->Close();
    m_usbif->setProperty("Tag", 0);
  }
  // 5. The interpreter, after both links, so that no receive event reaches it released.
  m_receivePath.reset();
}

template <typename T>
T* TFrmMain::control(const QString& name) const {
  // Every control the window addresses by name is created with the layout; a missing one is
  // a programming error.
  T* found = findChild<T*>(name);
  if (found == nullptr)
    throw std::logic_error("TFrmMain: no control " + name.toStdString() + " of the expected class");
  return found;
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
  m_spdSwitch->setToolTip(QStringLiteral("通信ポート接続/切断"));
  m_spdSwitch->setGeometry(16, 4, 25, 25);
  connect(m_spdSwitch, &QToolButton::clicked, this, &TFrmMain::SpdSwitchClick);

  QFont bold = font();
  bold.setBold(true);
  auto* label1 = new QLabel(QStringLiteral("TxErrCount"), client);
  label1->setObjectName(QStringLiteral("Label1"));
  label1->setFont(bold);
  label1->setGeometry(96, 8, 84, 16);
  m_panelTxErCount = new SunkenPanel(QStringLiteral("0"), client);
  m_panelTxErCount->setObjectName(QStringLiteral("PanelTxErCount"));
  m_panelTxErCount->setGeometry(184, 4, 73, 25);
  auto* label8 = new QLabel(QStringLiteral("RxErrCount"), client);
  label8->setObjectName(QStringLiteral("Label8"));
  label8->setFont(bold);
  label8->setGeometry(296, 8, 84, 16);
  m_panelRxErCount = new SunkenPanel(QStringLiteral("0"), client);
  m_panelRxErCount->setObjectName(QStringLiteral("PanelRxErCount"));
  m_panelRxErCount->setGeometry(384, 4, 73, 25);

  auto* test2 = new QPushButton(QStringLiteral("Test Cmd2"), client);
  test2->setObjectName(QStringLiteral("BtnTest2"));
  test2->setGeometry(472, 4, 57, 25);
  test2->hide();  // it never had a visible effect
  auto* debug = new QPushButton(QStringLiteral("Debug"), client);
  debug->setObjectName(QStringLiteral("BtnDebug"));
  debug->setGeometry(536, 4, 57, 25);
  debug->hide();
  connect(debug, &QPushButton::clicked, this, &TFrmMain::BtnDebugClick);

  m_pageControl = new QTabWidget(client);
  m_pageControl->setObjectName(QStringLiteral("PageControl1"));
  m_pageControl->setGeometry(0, client->height() - kPageControlHeight, kClientWidth,
                             kPageControlHeight);
  m_wavePage = new WavePage(*this, m_boxes, &m_fields.TriggerLevel);
  m_wavePage->setObjectName(QStringLiteral("TabSheet2"));
  m_wavePage->setBitTimingSource([this] {
    BitTimingChoice timing;  // the Config page's choice
    const int rate = BitRateIndex();
    if (rate >= 0 && rate < kBitRateCount) timing.bitRate = kBitRatesPerSecond[rate];
    bool ok = false;
    const double point =
        control<QComboBox>(QStringLiteral("CombSmpleTime"))->currentText().toDouble(&ok);
    if (ok) timing.samplePointPercent = point;
    return timing;
  });
  m_receivePage = new ReceivePage(m_options.clock);
  m_receivePage->setObjectName(QStringLiteral("TabSheet3"));
  m_txSetPage = new TxSetPage();
  m_txSetPage->setObjectName(QStringLiteral("TabSheet4"));
  m_configPage = new ConfigPage();
  m_configPage->setObjectName(QStringLiteral("TabSheet5"));
  m_pageControl->addTab(m_wavePage, QStringLiteral("Wave"));
  m_pageControl->addTab(m_receivePage, QStringLiteral("Receive"));
  m_pageControl->addTab(m_txSetPage, QStringLiteral("TxSet"));
  m_pageControl->addTab(m_configPage, QStringLiteral("Config"));
  m_pageControl->setCurrentWidget(m_configPage);
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
  m_versionPanel = addPanel("VersionPanel", QStringLiteral("Ver\u30003.1.0"), 100);
  m_connectionPanel = addPanel("ConnectionPanel", QString(), 150);
  m_resultPanel = addPanel("ResultPanel", QString(), 200);
  m_lostPanel = addPanel("LostPanel", QString(), 140);
  m_lostPanel->hide();  // shown only once a message was lost
}

void TFrmMain::buildMenu() {
  QMenuBar* menu = menuBar();
  menu->setObjectName(QStringLiteral("MainMenu1"));
  auto add = [this, menu](const char* name, const QString& caption, void (TFrmMain::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
  };
  add("Quit1", QStringLiteral("&Quit"), &TFrmMain::Quit1Click);
  add("Veiw1", QStringLiteral("&TTY"), &TFrmMain::Veiw1Click);
  add("Option1", QStringLiteral("&Port"), &TFrmMain::Option1Click);
  add("About1", QStringLiteral("&About"), &TFrmMain::About1Click);
}

void TFrmMain::FormCreate() {
  m_settings = std::make_unique<IniFile>(m_options.settingsPath);

  // The interpreter, fed by both links, with the queue to this window.
  m_receivePath = std::make_unique<ReceivePath>(
      static_cast<DeviceMessageSink&>(*this),
      [this](const std::string& text) { m_boxes.Show(text, "Velqor", MessageBoxes::Icon::Error); },
      m_options.receiveQueueCapacity);
  connect(m_receivePath.get(), &ReceivePath::lostCountChanged, this, &TFrmMain::showLost);

  // Transmit rows.
  for (int i = 0; i < TxSetPage::kRows; ++i) {
    const int n = i + 1;
    const QString s = QString::number(n);
    EditIdTx[i] = control<QLineEdit>(QStringLiteral("EditIdTx") + s);
    CSpinDLC[i] = control<QSpinBox>(QStringLiteral("CSpinDLC") + s);
    SetTag(CSpinDLC[i], n);
    connect(CSpinDLC[i], &QSpinBox::valueChanged, this, [this, n] { CSpinDLCChange(n); });
    CSpinDLC[i]->setMaximum(8);
    MBox[i] = control<QCheckBox>(QStringLiteral("MBox") + s);
    ChkTxIde[i] = control<QCheckBox>(QStringLiteral("ChkTxIde") + s);
    MaskEdit[i] = control<MaskedEdit>(QStringLiteral("MaskEdit") + s);
    MaskEdit[i]->setEditMask(MaskByDlcText(CSpinDLC[i]->value()));
    SetTag(MaskEdit[i], n);
    BtnSend[i] = control<QPushButton>(QStringLiteral("BtnSend") + s);
    SetTag(BtnSend[i], n);
    connect(BtnSend[i], &QPushButton::clicked, this,
            [this, button = BtnSend[i]] { emit BtnSendClicked(button->property("Tag").toInt()); });

    const int checkTop = TxSetPage::kCheckTop + TxSetPage::kRowStep * i;
    const int editTop = TxSetPage::kEditTop + TxSetPage::kRowStep * i;
    ChkTxIde[i]->move(ChkTxIde[i]->x(), checkTop);
    MBox[i]->move(MBox[i]->x(), checkTop);
    MaskEdit[i]->move(MaskEdit[i]->x(), editTop);
    EditIdTx[i]->move(EditIdTx[i]->x(), editTop);
    CSpinDLC[i]->move(CSpinDLC[i]->x(), editTop);
    BtnSend[i]->move(BtnSend[i]->x(), editTop);
  }

  connect(this, &TFrmMain::BtnSendClicked, this,
          [this](int row) { m_txMailboxes->BtnSendClick(row); });
  connect(control<QPushButton>(QStringLiteral("BtnAllSend")), &QPushButton::clicked, this,
          [this] { m_txMailboxes->BtnAllSendClick(); });

  // Receive rows: tags, tops, tab order along the row, key filters, hidden data fields.
  auto* hexKeys = new KeyFilter(&KeyFilter::HexDigitOrBackspace, this);
  QWidget* previous = nullptr;
  for (int i = 0; i < ConfigPage::kRows; ++i) {
    const int n = i + 1;
    const QString s = QString::number(n);
    const int editTop = ConfigPage::kEditTop + ConfigPage::kRowStep * i;
    const int checkTop = ConfigPage::kCheckTop + ConfigPage::kRowStep * i;
    Chrx[i] = control<QCheckBox>(QStringLiteral("Chrx") + s);
    EditIdRx[i] = control<QLineEdit>(QStringLiteral("EditIdRx") + s);
    EditRxMask[i] = control<QLineEdit>(QStringLiteral("EditRxMask") + s);
    ChkRxIde[i] = control<QCheckBox>(QStringLiteral("ChkRxIde") + s);
    SpinRxDlc[i] = control<QSpinBox>(QStringLiteral("SpinRxDlc") + s);
    MaskEditRx[i] = control<MaskedEdit>(QStringLiteral("MaskEditRx") + s);

    QWidget* const row[6] = {Chrx[i],     EditIdRx[i],  EditRxMask[i],
                             ChkRxIde[i], SpinRxDlc[i], MaskEditRx[i]};
    const int tops[6] = {checkTop, editTop, editTop, checkTop, editTop, editTop};
    for (int k = 0; k < 6; ++k) {
      SetTag(row[k], n);
      row[k]->move(row[k]->x(), tops[k]);
      row[k]->setProperty("TabOrder", 6 * i + 5 + k);
      if (previous != nullptr) QWidget::setTabOrder(previous, row[k]);
      previous = row[k];
    }
    EditIdRx[i]->installEventFilter(hexKeys);
    EditRxMask[i]->installEventFilter(hexKeys);
    ChkRxIde[i]->setVisible(true);  // ChkRxIdeClick: no action
    SpinRxDlc[i]->setMaximum(8);
    connect(SpinRxDlc[i], &QSpinBox::valueChanged, this, [this, n] { SpinRxDlcChange(n); });
    SpinRxDlc[i]->setVisible(false);
    MaskEditRx[i]->resize(140, MaskEditRx[i]->height());
    MaskEditRx[i]->setEditMask(MaskByDlcText(SpinRxDlc[i]->value()));
    MaskEditRx[i]->setVisible(false);
  }

  auto* bitRate = control<QComboBox>(QStringLiteral("CmbBitRate"));
  connect(bitRate, &QComboBox::activated, this, &TFrmMain::CmbBitRateChange);
  connect(control<QPushButton>(QStringLiteral("BtnConfigSet")), &QPushButton::clicked, this,
          [this] { m_config->BtnConfigSetClick(); });
  connect(control<QPushButton>(QStringLiteral("BtnReadParam")), &QPushButton::clicked, this,
          [this] { m_config->BtnReadParamClick(); });
  connect(control<QPushButton>(QStringLiteral("BtnStiore")), &QPushButton::clicked, this,
          [this] { m_config->BtnStioreClick(); });

  const SettingsLoadResult loaded =
      loadSettings(*m_settings, m_options.today ? m_options.today() : localToday());
  loadIntoControls(loaded.settings);
  m_portSuffix = QStringLiteral("- COM%1 -").arg(m_commX1->PortNo());
  setCaption();
  loadBitTiming(loaded.settings);

  // LogFile: none until a connection with ChkLog ticked; the counter carries on from the
  // settings. Lines reach the disk within a second.
  LogEnvironment env = LogEnvironment::System();
  if (m_options.today) env.today = m_options.today;
  if (m_options.tickCountMs) env.tickCountMs = m_options.tickCountMs;
  if (m_options.logDirectory) env.workingDirectory = m_options.logDirectory;
  m_logBoxes = std::make_unique<QueuedBoxes>(this, m_boxes);
  m_log = std::make_unique<DataLog>(*m_settings, *m_logBoxes, static_cast<LogFileView&>(*this),
                                    std::move(env), loaded.settings.logCounter);
  setWriteLogLine([this](const RxFrame& f) {
    if (m_log) m_log->WriteLogLine(f.Ide, f.Id, f.Dlc, f.Data);
  });
  connect(control<QCheckBox>(QStringLiteral("ChkLog")), &QCheckBox::clicked, this,
          [this](bool checked) { m_log->ChkLogClick(checked); });
  m_logFlushTimer = new QTimer(this);
  m_logFlushTimer->setObjectName(QStringLiteral("LogFlushTimer"));
  m_logFlushTimer->setInterval(1000);
  connect(m_logFlushTimer, &QTimer::timeout, this, [this] { m_log->Flush(); });
  m_logFlushTimer->start();

  if (!loaded.warnings.empty()) {
    std::string text = m_options.settingsPath + ":";
    for (const std::string& w : loaded.warnings) text += "\n" + w;
    m_boxes.Show(text, "Velqor", MessageBoxes::Icon::Warning);
  }
}

void TFrmMain::loadIntoControls(const Settings& s) {
  for (int i = 0; i < kRxMailboxCount; ++i) {
    const RxMailboxSettings& row = s.rx[static_cast<std::size_t>(i)];
    Chrx[i]->setChecked(row.boxChecked);
    EditIdRx[i]->setText(QString::fromStdString(row.id));
    EditRxMask[i]->setText(QString::fromStdString(row.mask));
    SpinRxDlc[i]->setValue(row.dlc);  // sets the data mask
    MaskEditRx[i]->setText(QString::fromStdString(row.data));
    ChkRxIde[i]->setChecked(row.ide);
  }
  for (int i = 0; i < kTxMailboxCount; ++i) {
    const TxMailboxSettings& row = s.tx[static_cast<std::size_t>(i)];
    MBox[i]->setChecked(row.boxChecked);
    EditIdTx[i]->setText(QString::fromStdString(row.id));
    CSpinDLC[i]->setValue(row.dlc);  // sets the data mask
    ChkTxIde[i]->setChecked(row.ide);
    MaskEdit[i]->setText(QString::fromStdString(row.data));
  }
  control<RadioGroup>(QStringLiteral("RxDispFormat"))->setItemIndex(s.option.rxDataFormat);
  control<QCheckBox>(QStringLiteral("ChkTerm"))->setChecked(s.option.term);
  control<RadioGroup>(QStringLiteral("RadioTerminalForm"))->setItemIndex(s.option.consoleMode);
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
  m_wavePage->capture().loadTriggerLevel(s.ad.triggerLevel);
  control<RadioGroup>(QStringLiteral("RadioCapPort"))->setItemIndex(s.ad.port);
  m_fields.SampleTimingTable = s.bitim.sampleTiming;
  control<QComboBox>(QStringLiteral("CmbBitRate"))->setCurrentIndex(s.bitim.bitRate);
  CmbBitRateChange();
  auto* sample = control<QComboBox>(QStringLiteral("CombSmpleTime"));
  sample->setCurrentIndex(s.bitim.timing < sample->count() ? s.bitim.timing : -1);
}

Settings TFrmMain::settingsFromControls() const {
  Settings s;
  s.uart = uartSettings();
  s.usb = m_usb;
  for (int i = 0; i < kTxMailboxCount; ++i) {
    TxMailboxSettings& row = s.tx[static_cast<std::size_t>(i)];
    row.boxChecked = MBox[i]->isChecked();
    row.id = EditIdTx[i]->text().toStdString();
    row.dlc = CSpinDLC[i]->value();
    row.ide = ChkTxIde[i]->isChecked();
    row.data = MaskEdit[i]->text().toStdString();
  }
  for (int i = 0; i < kRxMailboxCount; ++i) {
    RxMailboxSettings& row = s.rx[static_cast<std::size_t>(i)];
    row.boxChecked = Chrx[i]->isChecked();
    row.id = EditIdRx[i]->text().toStdString();
    row.mask = EditRxMask[i]->text().toStdString();
    row.ide = ChkRxIde[i]->isChecked();
    row.dlc = SpinRxDlc[i]->value();
    row.data = MaskEditRx[i]->text().toStdString();
  }
  s.option.rxDataFormat = control<RadioGroup>(QStringLiteral("RxDispFormat"))->itemIndex();
  s.option.term = control<QCheckBox>(QStringLiteral("ChkTerm"))->isChecked();
  s.option.consoleMode = control<RadioGroup>(QStringLiteral("RadioTerminalForm"))->itemIndex();
  s.bitim.sampleTiming = m_fields.SampleTimingTable;
  s.bitim.bitRate = control<QComboBox>(QStringLiteral("CmbBitRate"))->currentIndex();
  s.bitim.timing = control<QComboBox>(QStringLiteral("CombSmpleTime"))->currentIndex();
  s.ad.triggerLevel = m_fields.TriggerLevel;
  s.ad.port = control<RadioGroup>(QStringLiteral("RadioCapPort"))->itemIndex();
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

void TFrmMain::setTerminal(TerminalMonitor* monitor, QWidget* window) {
  if (m_terminalWindow != nullptr) m_terminalWindow->removeEventFilter(this);
  {
    // Waits for a reader or script thread that is inside the old monitor.
    std::lock_guard lock(m_terminalMutex);
    m_terminal = monitor;
  }
  m_terminalWindow = window;
  if (m_terminalWindow != nullptr) m_terminalWindow->installEventFilter(this);
  setTerminalShowing(m_terminalWindow != nullptr && m_terminalWindow->isVisible());
  // From now on the trigger level reaches the adapter when it changes.
  m_wavePage->capture().setTerminalExists(monitor != nullptr);
}

void TFrmMain::setTerminalShowing(bool showing) {
  m_terminalShowing.store(showing, std::memory_order_relaxed);
}

void TFrmMain::setWriteLogLine(std::function<void(const RxFrame&)> writeLogLine) {
  m_writeLogLine = std::move(writeLogLine);
}

bool TFrmMain::SendToDevice(const std::uint8_t* bytes, std::size_t length) {
  // One report per call. The monitor shows the block either way; Usbif counts failed writes.
  const bool written = m_usbif->Write(bytes, length);
  std::lock_guard lock(m_terminalMutex);
  if (m_terminal != nullptr) m_terminal->ShowSent(bytes, length);
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

// ---------------------------------------------------------------------------------------------
// Connection

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
    std::string text = e.what();
    if (!e.Detail().empty()) text += "\n" + e.Detail();
    m_boxes.Show(text, "Velqor", MessageBoxes::Icon::Error);
    return;
  }
  m_commX1->setProperty("Tag", 1);

  // 2. The caption: the port may have changed in the port dialog since start.
  m_portSuffix = QStringLiteral("- COM%1 -").arg(m_commX1->PortNo());
  setCaption();

  // 3. The USB device; the COM port stays open either way.
  if (m_usbif->Open(m_usb.venderId, m_usb.productId)) {
    setConnectionText(QStringLiteral("接続できた！"),
                      QString::fromStdString("USB: " + m_usbif->DevicePath()));
    m_usbif->setProperty("Tag", 1);
  } else {
    setConnectionText(QStringLiteral("接続無理！"),
                      QString::fromStdString("USB: " + m_usbif->LastError().text));
    m_usbif->Close();
    m_usbif->setProperty("Tag", 0);
  }

  // 4. A new log file when logging is ticked, whatever became of the USB device.
  OpenLogFileOnConnect();
}

void TFrmMain::disconnectLinks() {
  if (OpenFlag(*m_commX1) == 1) {
    m_commX1->PortClose();
    m_commX1->setProperty("Tag", 0);
  }
  if (OpenFlag(*m_usbif) == 1) {
    m_usbif->Close();
    setConnectionText(QStringLiteral("接続断"), QString());
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
  const auto size = static_cast<std::size_t>(Size);
  Feed(Buffer, size, ReceivePath::Link::Usb);
  if (m_terminalShowing.load(std::memory_order_relaxed)) {
    std::lock_guard lock(m_terminalMutex);
    if (m_terminal != nullptr) m_terminal->ShowReceived(Buffer, size);
  }
}

void TFrmMain::UsbifUsbDeviceRemove(TUsbif*) {
  if (OpenFlag(*m_usbif) != 1) return;
  setConnectionText(QStringLiteral("接続断"),
                    QStringLiteral("The adapter was unplugged. Release the switch and press it "
                                   "again to reconnect."));
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

void TFrmMain::CmbBitRateChange() { m_config->CmbBitRateChange(); }

void TFrmMain::CSpinDLCChange(int row) {
  if (row < 1 || row > kTxMailboxCount) return;
  m_txMailboxes->CSpinDLCChange(row, CSpinDLC[static_cast<std::size_t>(row - 1)]->value());
}

void TFrmMain::SpinRxDlcChange(int row) {
  if (row < 1 || row > kRxMailboxCount) return;
  m_config->SpinRxDlcChange(row, SpinRxDlc[static_cast<std::size_t>(row - 1)]->value());
}

void TFrmMain::OpenLogFileOnConnect() {
  if (control<QCheckBox>(QStringLiteral("ChkLog"))->isChecked()) m_log->OpenLogFile();
}

void TFrmMain::showLost(quint64 lost) {
  m_lostPanel->setText(QStringLiteral("Lost: %1").arg(lost));
  m_lostPanel->setVisible(lost != 0);
}

void TFrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_centred && screen() != nullptr) {
    m_centred = true;
    const QRect area = screen()->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

bool TFrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_terminalWindow) {
    if (event->type() == QEvent::Show) setTerminalShowing(true);
    if (event->type() == QEvent::Hide) setTerminalShowing(false);
    return QMainWindow::eventFilter(watched, event);
  }
  if (event->type() == QEvent::MouseButtonDblClick) {
    StatusBarDblClick();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TFrmMain::OnDeviceMessage(int code, const DeviceMessage& message) {
  m_dispatch->OnDeviceMessage(code, message);
}

void TFrmMain::SetResultText(std::string_view text) { m_resultPanel->setText(FromDevice(text)); }

void TFrmMain::SetErrorCounters(std::string_view tx, std::string_view rx) {
  m_panelTxErCount->setText(FromDevice(tx));
  m_panelRxErCount->setText(FromDevice(rx));
}

void TFrmMain::SetWaveState(std::string_view text) {
  control<QLabel>(QStringLiteral("PanelWaveStat"))->setText(FromDevice(text));
}

void TFrmMain::ShowReceivedFrame() { m_receivePage->ShowReceivedFrame(m_fields.LastRxFrame); }

void TFrmMain::WriteLogLine() {
  if (m_writeLogLine) m_writeLogLine(m_fields.LastRxFrame);
}

void TFrmMain::PlotWave() { m_wavePage->PlotWave(m_fields.WaveInterval, m_fields.WaveSamples); }

// The "Config" page.

RxMailboxRow TFrmMain::RxMailbox(int index) const {
  const auto i = static_cast<std::size_t>(index);
  return {Chrx.at(i)->isChecked(), ChkRxIde.at(i)->isChecked(),
          EditIdRx.at(i)->text().toStdString(), EditRxMask.at(i)->text().toStdString()};
}

void TFrmMain::SetRxMailbox(int index, const RxMailboxRow& row) {
  const auto i = static_cast<std::size_t>(index);
  Chrx.at(i)->setChecked(row.enabled);
  ChkRxIde.at(i)->setChecked(row.ide);
  EditIdRx.at(i)->setText(QString::fromStdString(row.id));
  EditRxMask.at(i)->setText(QString::fromStdString(row.mask));
}

void TFrmMain::SetRxDataMask(int index, std::string_view editMask) {
  MaskedEdit* dataEdit = MaskEditRx.at(static_cast<std::size_t>(index));
  dataEdit->clear();
  dataEdit->setEditMask(FromDevice(editMask));
}

int TFrmMain::BitRateIndex() const {
  return control<QComboBox>(QStringLiteral("CmbBitRate"))->currentIndex();
}

void TFrmMain::SetBitRateIndex(int index) {
  // Not a user's choice: CmbBitRateChange does not run.
  control<QComboBox>(QStringLiteral("CmbBitRate"))->setCurrentIndex(index);
}

int TFrmMain::SampleTimingIndex() const {
  return control<QComboBox>(QStringLiteral("CombSmpleTime"))->currentIndex();
}

void TFrmMain::SetSampleTimings(const std::vector<std::string>& items, int selected) {
  auto* sample = control<QComboBox>(QStringLiteral("CombSmpleTime"));
  sample->clear();
  for (const std::string& text : items) sample->addItem(QString::fromStdString(text));
  sample->setCurrentIndex(selected >= 0 && selected < sample->count() ? selected : -1);
}

bool TFrmMain::Terminator() const {
  return control<QCheckBox>(QStringLiteral("ChkTerm"))->isChecked();
}

void TFrmMain::SetTerminator(bool checked) {
  control<QCheckBox>(QStringLiteral("ChkTerm"))->setChecked(checked);
}

int TFrmMain::ConsoleFormat() const {
  return control<RadioGroup>(QStringLiteral("RadioTerminalForm"))->itemIndex();
}

void TFrmMain::SetConsoleFormat(int index) {
  control<RadioGroup>(QStringLiteral("RadioTerminalForm"))->setItemIndex(index);
}

void TFrmMain::SetVersionText(std::string_view text) {
  control<QLabel>(QStringLiteral("LabVersion"))->setText(FromDevice(text));
}

void TFrmMain::SetDeviceText(std::string_view text) {
  control<QLabel>(QStringLiteral("LabDevice"))->setText(FromDevice(text));
}

// The "TxSet" page.

TxMailboxRow TFrmMain::TxMailbox(int index) const {
  const auto i = static_cast<std::size_t>(index);
  return {MBox.at(i)->isChecked(), EditIdTx.at(i)->text().toStdString(), CSpinDLC.at(i)->value(),
          ChkTxIde.at(i)->isChecked(), MaskEdit.at(i)->text().toStdString()};
}

void TFrmMain::SetTxDataMask(int index, std::string_view editMask) {
  MaskedEdit* dataEdit = MaskEdit.at(static_cast<std::size_t>(index));
  dataEdit->clear();
  dataEdit->setEditMask(FromDevice(editMask));
}

// The data log.

void TFrmMain::SetSaveFileName(std::string_view shortName) {
  control<QLabel>(QStringLiteral("PnlSavefileName"))
      ->setText(QString::fromUtf8(shortName.data(), static_cast<qsizetype>(shortName.size())));
}

void TFrmMain::SetLogChecked(bool checked) {
  control<QCheckBox>(QStringLiteral("ChkLog"))->setChecked(checked);
}

}  // namespace velqor
