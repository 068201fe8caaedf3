#include "app/slcan_share_window.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velqor {

SlcanShareWindow::SlcanShareWindow(std::unique_ptr<SlcanShare> share, QWidget* parent)
    : QWidget(parent, Qt::Window), m_share(std::move(share)) {
  setObjectName(QStringLiteral("FrmSlcanShare"));
  setWindowTitle(tr("Share as slcan device"));

  EditSlcanPath = new QLineEdit(this);
  EditSlcanPath->setObjectName(QStringLiteral("EditSlcanPath"));
  EditSlcanPath->setReadOnly(true);
  EditSlcanPath->setToolTip(tr("The pseudo-terminal an slcan host opens"));
  LabSlcanState = new QLabel(this);
  LabSlcanState->setObjectName(QStringLiteral("LabSlcanState"));
  LabSlcanState->setWordWrap(true);
  LabSlcanCounters = new QLabel(this);
  LabSlcanCounters->setObjectName(QStringLiteral("LabSlcanCounters"));
  LabSlcanCounters->setTextInteractionFlags(Qt::TextSelectableByMouse);
  EditSlcanHint = new QLineEdit(this);
  EditSlcanHint->setObjectName(QStringLiteral("EditSlcanHint"));
  EditSlcanHint->setReadOnly(true);
  EditSlcanHint->setToolTip(
      tr("As root: a SocketCAN interface slcan0 at 500 kbit/s on the shared device, "
         "for candump, cansend, Wireshark"));
  BtnSlcanShare = new QPushButton(this);
  BtnSlcanShare->setObjectName(QStringLiteral("BtnSlcanShare"));

  auto* form = new QFormLayout;
  form->addRow(tr("Device:"), EditSlcanPath);
  form->addRow(tr("Host:"), LabSlcanState);
  form->addRow(tr("Traffic:"), LabSlcanCounters);
  form->addRow(tr("SocketCAN:"), EditSlcanHint);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BtnSlcanShare);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
  setMinimumWidth(520);

  connect(BtnSlcanShare, &QPushButton::clicked, this, [this] {
    if (m_share->Running()) {
      m_stopped = tr("Sharing stopped.");
      stop();
    } else {
      start();
    }
  });
  // The bridge's thread says the pseudo-terminal broke; the window stops on its own thread.
  m_failureWake = std::make_unique<OwnerWake>([this] {
    QString why;
    {
      std::lock_guard lock(m_failureMutex);
      why.swap(m_failure);
    }
    if (!why.isEmpty()) failed(why);
  });
  m_share->SetOnFailure([this](const std::string& why) {
    {
      std::lock_guard lock(m_failureMutex);
      m_failure = QString::fromStdString(why);
    }
    m_failureWake->Wake();
  });
  m_refresh.setInterval(kRefreshMs);
  connect(&m_refresh, &QTimer::timeout, this, &SlcanShareWindow::refresh);
  refresh();
}

SlcanShareWindow::~SlcanShareWindow() { m_share->Stop(); }

void SlcanShareWindow::start() {
  std::string error;
  if (m_share->Start(error)) {
    m_stopped.clear();
    m_refresh.start();
  } else {
    m_stopped = tr("Could not share: ") + QString::fromStdString(error);
  }
  refresh();
}

void SlcanShareWindow::stop() {
  m_share->Stop();
  m_refresh.stop();
  refresh();
}

void SlcanShareWindow::failed(const QString& why) {
  m_stopped = tr("Sharing stopped: ") + why;
  stop();
}

void SlcanShareWindow::closeEvent(QCloseEvent* event) {
  m_stopped.clear();
  stop();
  QWidget::closeEvent(event);
}

void SlcanShareWindow::refresh() {
  const bool running = m_share->Running();
  const QString path = QString::fromStdString(m_share->Path());
  EditSlcanPath->setText(running ? path : QString());
  EditSlcanHint->setText(running ? QStringLiteral("slcand -o -c -s6 %1 slcan0 && ip link set "
                                                  "slcan0 up")
                                       .arg(path)
                                 : QString());
  if (!running) {
    LabSlcanState->setText(m_stopped.isEmpty() ? tr("Not shared.") : m_stopped);
  } else {
    LabSlcanState->setText(m_share->ChannelOpen()
                               ? tr("Channel open: bus frames go to the host.")
                               : tr("Waiting for the host to open the channel (O or L)."));
  }
  const BridgeStats s = m_share->Stats();
  LabSlcanCounters->setText(tr("%1 frames to the host, %2 dropped (the host did not read)\n"
                               "%3 frames sent for the host, %4 failed; %5 commands refused")
                                .arg(s.framesToHost)
                                .arg(s.framesDropped)
                                .arg(s.framesSent)
                                .arg(s.sendsFailed)
                                .arg(s.commandsRefused));
  BtnSlcanShare->setText(running ? tr("Stop sharing") : tr("Share"));
}

}  // namespace velqor
