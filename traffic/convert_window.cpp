#include "traffic/convert_window.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
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
constexpr const char* kFormatNames[] = {"candump (.log)", "ASC (.asc)", "BLF (.blf)", "CSV (.csv)",
                                        "Velqor data log (.txt)"};
static_assert(std::size(kFormatNames) == std::size(ConvertWindow::kFormats));

const QString kLogFilter = QStringLiteral("Logs (*.log *.asc *.blf *.csv *.txt);;All files (*)");

// The format a combo box names: nothing for its first item, "from the extension".
std::optional<LogFormat> Chosen(const QComboBox& box) {
  const int index = box.currentIndex();
  if (index < 1 || index > static_cast<int>(std::size(ConvertWindow::kFormats))) return {};
  return ConvertWindow::kFormats[static_cast<std::size_t>(index - 1)];
}

// `file` with the extension of `format` in place of its own.
QString WithExtension(const QString& file, LogFormat format) {
  const QFileInfo info(file);
  const QString base =
      info.suffix().isEmpty() ? file : file.left(file.size() - info.suffix().size() - 1);
  return base + QString::fromLatin1(LogFormatExtension(format));
}

QString PathText(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

}  // namespace

ConvertWindow::ConvertWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("FrmConvert"));
  setWindowTitle(QStringLiteral("Convert a log"));
  m_finishedWake = std::make_unique<OwnerWake>([this] { finished(); });

  auto* grid = new QGridLayout(this);
  auto label = [this](const char* text) { return new QLabel(QString::fromUtf8(text), this); };
  auto formats = [this](const char* name, bool writableOnly) {
    auto* box = new QComboBox(this);
    box->setObjectName(QString::fromLatin1(name));
    box->addItem(QStringLiteral("From the extension"));
    for (std::size_t i = 0; i < std::size(kFormats); ++i)
      if (!writableOnly || LogFormatWritable(kFormats[i]))
        box->addItem(QString::fromLatin1(kFormatNames[i]));
    return box;
  };

  m_in = new QLineEdit(this);
  m_in->setObjectName(QStringLiteral("EditConvertIn"));
  m_in->setPlaceholderText(QStringLiteral("a candump, ASC, BLF, CSV or Velqor log"));
  m_in->setMinimumWidth(300);
  m_inButton = new QPushButton(QStringLiteral("&Open..."), this);
  m_inButton->setObjectName(QStringLiteral("BtnConvertIn"));
  connect(m_inButton, &QPushButton::clicked, this, &ConvertWindow::InClick);
  grid->addWidget(label("Log file"), 0, 0);
  grid->addWidget(m_in, 0, 1, 1, 2);
  grid->addWidget(m_inButton, 0, 3);
  m_from = formats("CmbConvertFrom", false);
  grid->addWidget(label("From"), 1, 0);
  grid->addWidget(m_from, 1, 1);

  m_out = new QLineEdit(this);
  m_out->setObjectName(QStringLiteral("EditConvertOut"));
  m_out->setPlaceholderText(QStringLiteral("the file to write"));
  m_outButton = new QPushButton(QStringLiteral("Save &as..."), this);
  m_outButton->setObjectName(QStringLiteral("BtnConvertOut"));
  connect(m_outButton, &QPushButton::clicked, this, &ConvertWindow::OutClick);
  grid->addWidget(label("Write to"), 2, 0);
  grid->addWidget(m_out, 2, 1, 1, 2);
  grid->addWidget(m_outButton, 2, 3);
  m_to = formats("CmbConvertTo", true);
  connect(m_to, &QComboBox::currentIndexChanged, this, &ConvertWindow::toChanged);
  grid->addWidget(label("To"), 3, 0);
  grid->addWidget(m_to, 3, 1);

  m_progress = new QProgressBar(this);
  m_progress->setObjectName(QStringLiteral("ConvertProgress"));
  m_progress->setRange(0, kProgressSteps);
  m_progress->setValue(0);
  grid->addWidget(m_progress, 4, 0, 1, 4);

  m_status = new QLabel(this);
  m_status->setObjectName(QStringLiteral("LabConvertStatus"));
  m_status->setWordWrap(true);
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_status->setMinimumHeight(3 * fontMetrics().height());
  grid->addWidget(m_status, 5, 0, 1, 4);

  m_start = new QPushButton(QStringLiteral("&Convert"), this);
  m_start->setObjectName(QStringLiteral("BtnConvertStart"));
  m_cancel = new QPushButton(QStringLiteral("C&ancel"), this);
  m_cancel->setObjectName(QStringLiteral("BtnConvertCancel"));
  connect(m_start, &QPushButton::clicked, this, &ConvertWindow::StartClick);
  connect(m_cancel, &QPushButton::clicked, this, &ConvertWindow::CancelClick);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_start);
  buttons->addWidget(m_cancel);
  grid->addLayout(buttons, 6, 0, 1, 4);
  grid->setColumnStretch(1, 1);

  m_timer = new QTimer(this);
  m_timer->setInterval(kProgressIntervalMs);
  connect(m_timer, &QTimer::timeout, this, &ConvertWindow::showProgress);
  setRunning(false);
}

ConvertWindow::~ConvertWindow() {
  // The job's thread goes before the wake-up it would signal.
  m_job.Cancel();
  m_job.Wait();
}

void ConvertWindow::InClick() {
  const QString file =
      QFileDialog::getOpenFileName(this, QStringLiteral("Convert a log"), m_in->text(), kLogFilter);
  if (file.isEmpty()) return;
  m_in->setText(file);
  if (m_out->text().trimmed().isEmpty()) {
    // Beside the log, in the format chosen, else in candump (ASC for a candump log).
    const std::optional<LogFormat> from =
        Chosen(*m_from) ? Chosen(*m_from) : LogFormatFromPath(file.toStdString());
    const LogFormat to =
        Chosen(*m_to).value_or(from == LogFormat::Candump ? LogFormat::Asc : LogFormat::Candump);
    m_out->setText(WithExtension(file, to));
  }
}

void ConvertWindow::OutClick() {
  const QString file = QFileDialog::getSaveFileName(
      this, QStringLiteral("Write the log as"), m_out->text(),
      QStringLiteral("candump (*.log);;ASC (*.asc);;BLF (*.blf);;CSV (*.csv);;All files (*)"));
  if (!file.isEmpty()) m_out->setText(file);
}

void ConvertWindow::toChanged() {
  const std::optional<LogFormat> to = Chosen(*m_to);
  const QString out = m_out->text().trimmed();
  if (to && !out.isEmpty()) m_out->setText(WithExtension(out, *to));
}

void ConvertWindow::StartClick() {
  if (m_running) return;
  ConvertRequest request;
  request.in = m_in->text().trimmed().toStdString();
  request.from = Chosen(*m_from);
  request.out = m_out->text().trimmed().toStdString();
  request.to = Chosen(*m_to);
  std::string error;
  if (!ResolveConvert(request, error)) {
    setStatus(QString::fromStdString(error), true);
    return;
  }
  const QString text = QStringLiteral("Converting ") + PathText(request.in) +
                       QStringLiteral(" to ") + PathText(request.out) + QStringLiteral(" ...");
  OwnerWake* wake = m_finishedWake.get();
  m_job.Start(std::move(request), [wake] { wake->Wake(); });
  m_progress->setValue(0);
  setStatus(text);
  setRunning(true);
}

void ConvertWindow::CancelClick() {
  if (m_running) m_job.Cancel();  // the end is shown by finished()
}

void ConvertWindow::setRunning(bool running) {
  m_running = running;
  for (QWidget* w :
       std::initializer_list<QWidget*>{m_in, m_inButton, m_from, m_out, m_outButton, m_to, m_start})
    w->setEnabled(!running);
  m_cancel->setEnabled(running);
  if (running) {
    m_timer->start();
  } else {
    m_timer->stop();
  }
}

void ConvertWindow::setStatus(const QString& text, bool error) {
  m_status->setStyleSheet(error ? QStringLiteral("color: #b00000;") : QString());
  m_status->setText(text);
}

void ConvertWindow::showProgress() {
  if (!m_running) return;
  const ConvertProgress p = m_job.Progress();
  if (p.size > 0)
    m_progress->setValue(static_cast<int>(static_cast<double>(p.position) /
                                          static_cast<double>(p.size) * kProgressSteps));
  m_progress->setFormat(QStringLiteral("%p%: ") + QString::number(p.frames) +
                        QStringLiteral(" frames"));
}

void ConvertWindow::finished() {
  if (!m_running || !m_job.Finished()) return;
  m_job.Wait();
  setRunning(false);
  const ConvertOutcome outcome = m_job.Outcome();
  m_progress->setFormat(QStringLiteral("%p%"));
  if (outcome.result.cancelled) {
    m_progress->setValue(0);
    setStatus(QStringLiteral("Cancelled: no file was written."));
    return;
  }
  if (!outcome.ok) {
    m_progress->setValue(0);
    setStatus(QString::fromStdString(outcome.error) + QStringLiteral("\nNo file was written."),
              true);
    return;
  }
  m_progress->setValue(kProgressSteps);
  QString text = QStringLiteral("Done: ") + QString::number(outcome.result.frames) +
                 QStringLiteral(" frames written to ") + m_out->text().trimmed() +
                 QStringLiteral(".");
  for (const std::string& note : outcome.result.notes)
    text += QStringLiteral("\n") + QString::fromStdString(note);
  setStatus(text);
}

}  // namespace velqor
