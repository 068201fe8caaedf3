#include "traffic/replay_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <initializer_list>
#include <iterator>

#include "link/owner_wake.h"

namespace velqor {

namespace {

constexpr int kProgressSteps = 1000;
constexpr int kProgressIntervalMs = 100;

QString Count(std::uint64_t n) { return QString::number(n); }

QString Milliseconds(std::int64_t us) {
  return QString::number(static_cast<double>(us) / 1000.0, 'f', 1) + QStringLiteral(" ms");
}

}  // namespace

ReplayWindow::ReplayWindow(DeviceSender& out, Hooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window), m_hooks(std::move(hooks)), m_session(out) {
  setObjectName(QStringLiteral("FrmReplay"));
  setWindowTitle(QStringLiteral("Replay"));
  m_finishedWake = std::make_unique<OwnerWake>([this] { finished(); });

  auto* grid = new QGridLayout(this);
  auto label = [this](const char* text) { return new QLabel(QString::fromUtf8(text), this); };

  m_file = new QLineEdit(this);
  m_file->setObjectName(QStringLiteral("EditReplayFile"));
  m_file->setPlaceholderText(QStringLiteral("a candump, ASC, BLF, CSV or Velqor log"));
  m_file->setMinimumWidth(300);
  m_open = new QPushButton(QStringLiteral("&Open..."), this);
  m_open->setObjectName(QStringLiteral("BtnReplayOpen"));
  connect(m_open, &QPushButton::clicked, this, &ReplayWindow::OpenClick);
  grid->addWidget(label("Log file"), 0, 0);
  grid->addWidget(m_file, 0, 1, 1, 2);
  grid->addWidget(m_open, 0, 3);

  m_format = new QComboBox(this);
  m_format->setObjectName(QStringLiteral("CmbReplayFormat"));
  m_format->addItem(QStringLiteral("From the extension"));
  static constexpr const char* kFormatNames[] = {"candump (.log)", "ASC (.asc)", "BLF (.blf)",
                                                 "CSV (.csv)", "Velqor data log (.txt)"};
  static_assert(std::size(kFormatNames) == std::size(kFormats));
  for (const char* name : kFormatNames) m_format->addItem(QString::fromLatin1(name));
  grid->addWidget(label("Format"), 1, 0);
  grid->addWidget(m_format, 1, 1);

  m_speed = new QComboBox(this);
  m_speed->setObjectName(QStringLiteral("CmbReplaySpeed"));
  for (const double speed : ReplaySession::kSpeeds) {
    m_speed->addItem(speed == 0 ? QStringLiteral("As fast as the link allows")
                                : QStringLiteral("\u00D7") + QString::number(speed));
  }
  m_speed->setCurrentIndex(2);  // x1
  m_loop = new QCheckBox(QStringLiteral("&Loop"), this);
  m_loop->setObjectName(QStringLiteral("ChkReplayLoop"));
  grid->addWidget(label("Speed"), 2, 0);
  grid->addWidget(m_speed, 2, 1);
  grid->addWidget(m_loop, 2, 2);

  m_ids = new QLineEdit(this);
  m_ids->setObjectName(QStringLiteral("EditReplayIds"));
  m_ids->setPlaceholderText(QStringLiteral("all; or e.g. 123,18FEF100"));
  m_ids->setToolTip(
      QStringLiteral("Hexadecimal identifiers separated by commas; more than three digits "
                     "make an extended one"));
  grid->addWidget(label("Only identifiers"), 3, 0);
  grid->addWidget(m_ids, 3, 1, 1, 3);

  m_progress = new QProgressBar(this);
  m_progress->setObjectName(QStringLiteral("ReplayProgress"));
  m_progress->setRange(0, kProgressSteps);
  m_progress->setValue(0);
  grid->addWidget(m_progress, 4, 0, 1, 4);

  m_status = new QLabel(this);
  m_status->setObjectName(QStringLiteral("LabReplayStatus"));
  m_status->setWordWrap(true);
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_status->setMinimumHeight(2 * fontMetrics().height());
  grid->addWidget(m_status, 5, 0, 1, 4);

  m_start = new QPushButton(QStringLiteral("&Start"), this);
  m_start->setObjectName(QStringLiteral("BtnReplayStart"));
  m_stop = new QPushButton(QStringLiteral("S&top"), this);
  m_stop->setObjectName(QStringLiteral("BtnReplayStop"));
  connect(m_start, &QPushButton::clicked, this, &ReplayWindow::StartClick);
  connect(m_stop, &QPushButton::clicked, this, &ReplayWindow::StopClick);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_start);
  buttons->addWidget(m_stop);
  grid->addLayout(buttons, 6, 0, 1, 4);
  grid->setColumnStretch(1, 1);

  m_timer = new QTimer(this);
  m_timer->setInterval(kProgressIntervalMs);
  connect(m_timer, &QTimer::timeout, this, &ReplayWindow::showProgress);
  setRunning(false);
}

ReplayWindow::~ReplayWindow() {
  // The replay thread goes before the wake-up it would signal.
  m_session.Stop();
}

void ReplayWindow::OpenClick() {
  const QString file = QFileDialog::getOpenFileName(
      this, QStringLiteral("Replay a log"), m_file->text(),
      QStringLiteral("Logs (*.log *.asc *.blf *.csv *.txt);;All files (*)"));
  if (!file.isEmpty()) m_file->setText(file);
}

void ReplayWindow::StartClick() {
  if (m_running) return;
  const QString file = m_file->text().trimmed();
  if (file.isEmpty()) {
    setStatus(QStringLiteral("Choose a log file to replay."), true);
    return;
  }
  ReplaySession::Request request;
  request.file = file.toStdString();
  const int format = m_format->currentIndex();
  if (format >= 1 && format <= static_cast<int>(std::size(kFormats)))
    request.format = kFormats[static_cast<std::size_t>(format - 1)];
  std::string error;
  const QString ids = m_ids->text().trimmed();
  if (!ids.isEmpty()) {
    const auto parsed = ParseReplayIds(ids.toStdString(), error);
    if (!parsed) {
      setStatus(QStringLiteral("Only identifiers: ") + QString::fromStdString(error), true);
      return;
    }
    request.options.identifiers = *parsed;
  }
  if (m_hooks.linkOpen && !m_hooks.linkOpen()) {
    setStatus(QStringLiteral("The adapter is not connected: connect it with the switch of the "
                             "main window first."),
              true);
    return;
  }
  const int speed = std::max(0, m_speed->currentIndex());
  request.options.speed = ReplaySession::kSpeeds[static_cast<std::size_t>(
      std::min<int>(speed, static_cast<int>(std::size(ReplaySession::kSpeeds)) - 1))];
  request.options.loop = m_loop->isChecked();
  request.options.awaitResults = m_hooks.sendResults;
  if (!m_hooks.sendResults)
    request.options.minInterval =
        ReplaySession::LeastInterval(m_hooks.bitRate ? m_hooks.bitRate() : 0);

  m_stopped = false;
  m_stopReason.clear();
  OwnerWake* wake = m_finishedWake.get();
  if (!m_session.Start(
          std::move(request), [wake] { wake->Wake(); }, error)) {
    setStatus(QString::fromStdString(error), true);
    return;
  }
  m_progress->setValue(0);
  m_progress->setFormat(QStringLiteral("%p%"));
  setStatus(QStringLiteral("Replaying ") + file + QStringLiteral(" ..."));
  setRunning(true);
}

void ReplayWindow::StopClick() {
  if (!m_running) return;
  m_stopped = true;
  if (m_stopReason.isEmpty()) m_stopReason = QStringLiteral("Stopped");
  m_session.Stop();  // the end is shown by finished()
}

void ReplayWindow::setRunning(bool running) {
  m_running = running;
  for (QWidget* w :
       std::initializer_list<QWidget*>{m_file, m_open, m_format, m_speed, m_loop, m_ids, m_start})
    w->setEnabled(!running);
  m_stop->setEnabled(running);
  if (running) {
    m_timer->start();
  } else {
    m_timer->stop();
  }
}

void ReplayWindow::setStatus(const QString& text, bool error) {
  m_status->setStyleSheet(error ? QStringLiteral("color: #b00000;") : QString());
  m_status->setText(text);
}

void ReplayWindow::showProgress() {
  if (!m_running) return;
  if (m_hooks.linkOpen && !m_hooks.linkOpen()) {
    m_stopReason = QStringLiteral("Stopped: the adapter was disconnected");
    StopClick();
    return;
  }
  const ReplayStats s = m_session.Stats();
  m_progress->setValue(static_cast<int>(s.passFraction * kProgressSteps));
  if (m_session.request().options.loop) {
    m_progress->setFormat(QStringLiteral("pass %1: %p%").arg(s.passes + 1));
  }
  QString text = Count(s.sent) + QStringLiteral(" frames sent");
  if (m_hooks.sendResults)
    text += QStringLiteral(" (") + Count(s.succeeded) + QStringLiteral(" on the bus, ") +
            Count(s.failed) + QStringLiteral(" failed)");
  if (m_session.request().options.speed != 0)
    text += QStringLiteral("; the last one ") + Milliseconds(s.lateUs) +
            QStringLiteral(" after its time");
  setStatus(text);
}

void ReplayWindow::finished() {
  if (!m_running || !m_session.Finished()) return;
  setRunning(false);
  const ReplayStats s = m_session.Stats();
  if (const std::string error = m_session.Error(); !error.empty()) {
    setStatus(QString::fromStdString(error) + QStringLiteral("\nThe replay stopped after ") +
                  Count(s.sent) + QStringLiteral(" frames."),
              true);
    return;
  }
  m_progress->setValue(static_cast<int>(s.passFraction * kProgressSteps));
  QString text = (m_stopped ? m_stopReason + QStringLiteral(" after ") : QStringLiteral("Done: "));
  text += Count(s.sent) + QStringLiteral(" frames sent");
  if (m_hooks.sendResults)
    text += QStringLiteral(" (") + Count(s.succeeded) + QStringLiteral(" on the bus, ") +
            Count(s.failed) + QStringLiteral(" failed)");
  else if (s.failed > 0)
    text += QStringLiteral(", ") + Count(s.failed) + QStringLiteral(" not taken by the link");
  text += QStringLiteral("; ") + Count(s.passes) +
          (s.passes == 1 ? QStringLiteral(" pass") : QStringLiteral(" passes"));
  if (s.passedOver > 0)
    text += QStringLiteral("; ") + Count(s.passedOver) +
            QStringLiteral(" remote or error frames passed over (the adapter sends neither)");
  if (s.notSelected > 0)
    text += QStringLiteral("; ") + Count(s.notSelected) + QStringLiteral(" not selected");
  if (m_session.request().options.speed != 0)
    text += QStringLiteral("; at most ") + Milliseconds(s.maxLateUs) +
            QStringLiteral(" after a frame's time");
  text += QStringLiteral(".");
  setStatus(text, m_stopped && m_stopReason != QStringLiteral("Stopped"));
}

}  // namespace velqor
