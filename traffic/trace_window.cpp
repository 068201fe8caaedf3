#include "traffic/trace_window.h"

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <filesystem>

#include "canlog/log_format.h"
#include "trace/trace_filter.h"
#include "trace/trace_text.h"

namespace velqor {

namespace {

constexpr int kScanSliceMs = 8;           // of filtering per turn of the event loop
constexpr std::size_t kScanStep = 20000;  // rows between looks at the clock
constexpr int kStatusEvery = 3;           // refreshes between status lines

// 1234567 -> "1 234 567".
QString Grouped(std::uint64_t n) {
  QString digits = QString::number(n);
  for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(' '));
  return digits;
}

const char kSaveFilters[] =
    "candump log (*.log);;Vector ASC (*.asc);;Vector BLF (*.blf);;CSV, python-can (*.csv)";

}  // namespace

TraceWindow::TraceWindow(TraceRecorder& recorder, MessageBoxes& boxes, Options options,
                         QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_recorder(recorder),
      m_boxes(boxes),
      m_options(std::move(options)) {
  setObjectName(QStringLiteral("FrmTrace"));
  setWindowTitle(tr("Trace"));
  resize(900, 560);

  m_pause = new QPushButton(tr("Pause"), this);
  m_pause->setObjectName(QStringLiteral("BtnTracePause"));
  m_pause->setCheckable(true);
  m_pause->setShortcut(QKeySequence(Qt::Key_Pause));
  m_pause->setToolTip(tr("Keep the rows shown as they are; recording goes on (Pause key)"));
  m_clear = new QPushButton(tr("Clear"), this);
  m_clear->setObjectName(QStringLiteral("BtnTraceClear"));
  m_clear->setToolTip(tr("Let every row of the trace go"));

  m_filter = new QLineEdit(this);
  m_filter->setObjectName(QStringLiteral("EditTraceFilter"));
  m_filter->setClearButtonEnabled(true);
  m_filter->setPlaceholderText(tr("7E0-7EF !7DF ext tx #11 ?? 3?"));
  const QString syntax = QStringLiteral(
      "Identifiers in hexadecimal: 7DF, ranges 7E0-7EF, id/mask 18DA00F1/1FFF00FF,\n"
      "!7DF leaves one out; std or ext; rx or tx; err (bus errors, failed sends,\n"
      "lost frames); evt (connected, adapter lost ...);\n"
      "#11 ?? 3? after '#': the first data bytes, '?' for any digit.");
  m_filter->setToolTip(tr("Show only the rows that match.\n") + syntax);
  m_find = new QLineEdit(this);
  m_find->setObjectName(QStringLiteral("EditTraceFind"));
  m_find->setClearButtonEnabled(true);
  m_find->setPlaceholderText(tr("find, e.g. 7E8 #03"));
  m_find->setToolTip(tr("Find the next row that matches (Enter, F3; Shift+F3 back).\n") + syntax);
  m_findPrevious = new QToolButton(this);
  m_findPrevious->setObjectName(QStringLiteral("BtnFindPrevious"));
  m_findPrevious->setText(QStringLiteral("<"));
  m_findPrevious->setToolTip(tr("Previous match (Shift+F3)"));
  m_findNext = new QToolButton(this);
  m_findNext->setObjectName(QStringLiteral("BtnFindNext"));
  m_findNext->setText(QStringLiteral(">"));
  m_findNext->setToolTip(tr("Next match (F3)"));

  m_time = new QComboBox(this);
  m_time->setObjectName(QStringLiteral("CmbTraceTime"));
  m_time->addItems({tr("Since connect"), tr("Time of day")});
  m_time->setToolTip(
      tr("The time column: seconds since the connection, or the "
         "local time of day"));
  m_copy = new QPushButton(tr("Copy"), this);
  m_copy->setObjectName(QStringLiteral("BtnTraceCopy"));
  m_copy->setToolTip(tr("The selected rows as candump log lines (Ctrl+C)"));
  m_save = new QToolButton(this);
  m_save->setObjectName(QStringLiteral("BtnTraceSave"));
  m_save->setText(tr("Save"));
  m_save->setPopupMode(QToolButton::InstantPopup);
  m_save->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto* saveMenu = new QMenu(m_save);
  QAction* saveAll = saveMenu->addAction(tr("Save all rows..."));
  saveAll->setObjectName(QStringLiteral("ActTraceSaveAll"));
  QAction* saveShown = saveMenu->addAction(tr("Save the rows shown..."));
  saveShown->setObjectName(QStringLiteral("ActTraceSaveShown"));
  m_save->setMenu(saveMenu);
  m_save->setToolTip(tr("Save to a log file: candump .log, .asc, .blf or .csv"));

  m_message = new QLabel(this);
  m_message->setObjectName(QStringLiteral("LabTraceMessage"));
  m_message->setWordWrap(true);
  m_message->hide();
  m_table = new TraceTable(recorder, this);
  m_status = new QLabel(this);
  m_status->setObjectName(QStringLiteral("LabTraceStatus"));
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_status->setWordWrap(true);  // a narrow window shows all of it on two lines

  auto* bar = new QHBoxLayout;
  bar->addWidget(m_pause);
  bar->addWidget(m_clear);
  bar->addSpacing(8);
  bar->addWidget(new QLabel(tr("Filter:"), this));
  bar->addWidget(m_filter, 3);
  bar->addSpacing(8);
  bar->addWidget(new QLabel(tr("Find:"), this));
  bar->addWidget(m_find, 2);
  bar->addWidget(m_findPrevious);
  bar->addWidget(m_findNext);
  bar->addSpacing(8);
  bar->addWidget(m_time);
  bar->addWidget(m_copy);
  bar->addWidget(m_save);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 4);
  layout->setSpacing(4);
  layout->addLayout(bar);
  layout->addWidget(m_message);
  layout->addWidget(m_table, 1);
  layout->addWidget(m_status);

  connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
    m_table->setPaused(paused);
    m_pause->setText(paused ? tr("Resume") : tr("Pause"));
    updateStatus();
  });
  connect(m_clear, &QPushButton::clicked, this, &TraceWindow::clearRows);
  connect(m_filter, &QLineEdit::textChanged, this, &TraceWindow::filterTextChanged);
  connect(m_find, &QLineEdit::returnPressed, this, [this] { findNext(true); });
  connect(m_findNext, &QToolButton::clicked, this, [this] { findNext(true); });
  connect(m_findPrevious, &QToolButton::clicked, this, [this] { findNext(false); });
  connect(m_time, &QComboBox::currentIndexChanged, this,
          [this](int index) { m_table->model()->setWallClock(index == 1); });
  connect(m_copy, &QPushButton::clicked, this, &TraceWindow::copySelection);
  connect(saveAll, &QAction::triggered, this, [this] { save(false); });
  connect(saveShown, &QAction::triggered, this, [this] { save(true); });
  connect(m_table, &TraceTable::currentChanged, this, [this] { updateStatus(); });

  auto shortcut = [this](const QKeySequence& keys, auto slot) {
    auto* s = new QShortcut(keys, this);
    s->setContext(Qt::WindowShortcut);
    connect(s, &QShortcut::activated, this, slot);
  };
  shortcut(QKeySequence::Find, [this] {
    m_find->setFocus();
    m_find->selectAll();
  });
  shortcut(QKeySequence::FindNext, [this] { findNext(true); });
  shortcut(QKeySequence::FindPrevious, [this] { findNext(false); });
  shortcut(QKeySequence::Save, [this] { save(false); });
  auto* copyKeys = new QShortcut(QKeySequence::Copy, m_table);
  copyKeys->setContext(Qt::WidgetWithChildrenShortcut);
  connect(copyKeys, &QShortcut::activated, this, &TraceWindow::copySelection);

  m_refresh = new QTimer(this);
  m_refresh->setInterval(kRefreshIntervalMs);
  connect(m_refresh, &QTimer::timeout, this, &TraceWindow::refresh);
  m_scan = new QTimer(this);
  m_scan->setInterval(0);
  connect(m_scan, &QTimer::timeout, this, &TraceWindow::scanSlice);
  m_exportPoll = new QTimer(this);
  m_exportPoll->setInterval(100);
  connect(m_exportPoll, &QTimer::timeout, this, &TraceWindow::pollExport);
  updateStatus();
}

TraceWindow::~TraceWindow() = default;  // a save under way is cancelled and waited for

void TraceWindow::setMessageNamer(std::function<QString(const CanFrame&)> namer) {
  const bool named = static_cast<bool>(namer);
  m_table->model()->setNamer(std::move(namer));
  m_table->view()->setColumnHidden(TracePageModel::kName, !named);
  m_table->model()->repaint();
}

void TraceWindow::setWallClock(bool wallClock) { m_time->setCurrentIndex(wallClock ? 1 : 0); }

bool TraceWindow::wallClock() const { return m_time->currentIndex() == 1; }

void TraceWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refresh();
  m_refresh->start();
}

void TraceWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  m_refresh->stop();
}

void TraceWindow::refresh() {
  m_table->refresh();
  if (++m_statusTick >= kStatusEvery) updateStatus();
}

QString TraceWindow::busText() const {
  const BusLoadMeter::Reading r = m_recorder.meter().reading(CanTime::Now().steadyUs);
  const int bitRate = m_options.bitRate ? m_options.bitRate() : 0;
  QString text = tr("%1 frames/s, ").arg(Grouped(static_cast<std::uint64_t>(r.framesPerSecond)));
  if (bitRate > 0) {
    text += tr("load %1 % at %2 kbit/s").arg(r.loadPercent(bitRate), 0, 'f', 1).arg(bitRate / 1000);
  } else {
    text += tr("load unknown (no bit rate chosen)");
  }
  text += tr(", %1 bus errors since connect").arg(Grouped(m_recorder.errorFramesSinceConnect()));
  return text;
}

void TraceWindow::updateStatus() {
  m_statusTick = 0;
  const TraceStore& store = m_recorder.store();
  const TraceView& view = m_recorder.view();
  QString text =
      tr("Rows: %1 of %2 kept, %3 discarded")
          .arg(Grouped(store.size()), Grouped(store.capacity()), Grouped(store.discarded()));
  if (store.capacity() == 0) text = tr("Rows: the trace is off ([TRACE] CAPACITY=0)");
  if (view.filtered()) {
    text += tr(" | shown: %1").arg(Grouped(view.count()));
    if (view.scanning()) {
      text += tr(" (filtering, %1 %)").arg(static_cast<int>(view.scanProgress() * 100));
    }
  }
  if (m_table->paused()) {
    text += tr(" | paused: %1 behind").arg(Grouped(m_table->rowsBehind()));
  }
  text += QStringLiteral(" | ") + busText();
  if (text != m_status->text()) m_status->setText(text);
}

QString TraceWindow::statusText() const { return m_status->text(); }

QString TraceWindow::messageText() const {
  return m_message->isHidden() ? QString() : m_message->text();
}

void TraceWindow::setMessage(const QString& text, bool error) {
  m_message->setText(text);
  m_message->setStyleSheet(error ? QStringLiteral("color: #a00000;") : QString());
  m_message->setVisible(!text.isEmpty());
}

void TraceWindow::setFilterText(const QString& text) { m_filter->setText(text); }

void TraceWindow::filterTextChanged(const QString& text) {
  const TraceFilter::Parse parse = TraceFilter::parse(text.toStdString());
  m_filter->setStyleSheet(parse.ok ? QString() : QStringLiteral("color: #a00000;"));
  if (!parse.ok) {
    // The rows stay as the last filter that was one shows them.
    setMessage(
        tr("Filter, column %1: %2").arg(parse.errorAt + 1).arg(QString::fromStdString(parse.error)),
        true);
    return;
  }
  setMessage(QString(), false);
  m_recorder.setFilter(parse.filter);
  m_table->viewReplaced();
  if (m_recorder.view().scanning()) {
    m_scan->start();
  } else {
    m_scan->stop();
  }
  updateStatus();
}

void TraceWindow::scanSlice() {
  QElapsedTimer time;
  time.start();
  bool done = false;
  while (!done && time.elapsed() < kScanSliceMs) done = m_recorder.scan(kScanStep);
  if (done) m_scan->stop();
  m_table->refresh();
  updateStatus();
}

bool TraceWindow::findNext(bool forward) {
  const QString text = m_find->text();
  const TraceFilter::Parse parse = TraceFilter::parse(text.toStdString());
  if (!parse.ok) {
    setMessage(
        tr("Find, column %1: %2").arg(parse.errorAt + 1).arg(QString::fromStdString(parse.error)),
        true);
    return false;
  }
  const std::size_t rows = m_table->rowCount();
  if (rows == 0) {
    setMessage(tr("No rows to search"), false);
    return false;
  }
  const TraceView& view = m_recorder.view();
  const std::optional<std::size_t> current = m_table->currentRow();
  std::optional<std::size_t> found;
  bool wrapped = false;
  const auto within = [rows](std::optional<std::size_t> row) {
    return row && *row < rows ? row : std::nullopt;
  };
  if (forward) {
    const std::size_t from = current ? *current + 1 : m_table->top();
    if (from < rows) found = within(view.find(parse.filter, from, true));
    if (!found) {
      found = within(view.find(parse.filter, 0, true));
      wrapped = true;
    }
  } else {
    const std::size_t from = current ? *current : m_table->top() + 1;
    if (from > 0) found = within(view.find(parse.filter, std::min(from - 1, rows - 1), false));
    if (!found) {
      found = within(view.find(parse.filter, rows - 1, false));
      wrapped = true;
    }
  }
  if (!found) {
    setMessage(tr("No row matches \"%1\"").arg(text), false);
    return false;
  }
  m_table->goToRow(*found);
  setMessage(wrapped
                 ? (forward ? tr("Found from the top again") : tr("Found from the bottom again"))
                 : QString(),
             false);
  return true;
}

void TraceWindow::copySelection() {
  bool more = false;
  const std::vector<std::uint64_t> seqs = m_table->selectedSeqs(kCopyLimit, &more);
  if (seqs.empty()) {
    setMessage(tr("Select the rows to copy first (click, Shift+click, Ctrl+A)"), false);
    return;
  }
  if (more) {
    setMessage(tr("More than %1 rows are selected: Copy takes at most that many; "
                  "Save writes any number")
                   .arg(Grouped(kCopyLimit)),
               true);
    return;
  }
  std::string text;
  text.reserve(seqs.size() * 48);
  for (std::uint64_t seq : seqs) AppendTraceCandumpLine(text, m_recorder.store(), seq);
  QApplication::clipboard()->setText(QString::fromStdString(text));
  setMessage(tr("%1 rows copied as candump lines").arg(Grouped(seqs.size())), false);
}

void TraceWindow::save(bool shownOnly) {
  if (m_export) {
    setMessage(tr("A save is under way"), false);
    return;
  }
  QString chosenFilter;
  const QString filters = QString::fromLatin1(kSaveFilters);
  QString path = m_options.chooseSaveFile
                     ? m_options.chooseSaveFile(this, filters, &chosenFilter)
                     : QFileDialog::getSaveFileName(this, tr("Save the trace"), QString(), filters,
                                                    &chosenFilter);
  if (path.isEmpty()) return;
  std::optional<LogFormat> format = LogFormatFromPath(path.toStdString());
  if (!format) {
    // No extension of a log format: the one of the chosen filter.
    format = LogFormat::Candump;
    for (LogFormat f : {LogFormat::Candump, LogFormat::Asc, LogFormat::Blf, LogFormat::Csv}) {
      const QString pattern = QStringLiteral("*") + QString::fromLatin1(LogFormatExtension(f));
      if (chosenFilter.contains(pattern)) format = f;
    }
    path += QString::fromLatin1(LogFormatExtension(*format));
  }
  if (!LogFormatWritable(*format)) {
    m_boxes.Show(tr("%1: the program's data log is not written here; save as .log, .asc, .blf "
                    "or .csv")
                     .arg(path)
                     .toStdString(),
                 tr("Trace").toStdString(), MessageBoxes::Icon::Error);
    return;
  }
  TraceExportRows rows = CollectExportRows(m_recorder.store(), m_recorder.view(),
                                           shownOnly && m_recorder.view().filtered());
  const std::uint64_t total = rows.frames.size();
  m_export = std::make_unique<TraceExport>(std::move(rows), path.toStdString(), *format);
  m_progress = new QProgressDialog(tr("Saving %1 frames to %2").arg(Grouped(total), path),
                                   tr("Cancel"), 0, 1000, this);
  m_progress->setObjectName(QStringLiteral("TraceSaveProgress"));
  m_progress->setWindowTitle(tr("Trace"));
  m_progress->setWindowModality(Qt::WindowModal);
  m_progress->setMinimumDuration(300);
  m_progress->setValue(0);
  connect(m_progress, &QProgressDialog::canceled, this, [this] {
    if (m_export) m_export->cancel();
  });
  m_exportPoll->start();
}

void TraceWindow::pollExport() {
  if (!m_export) return;
  const std::uint64_t total = m_export->total();
  if (!m_export->done()) {
    if (m_progress != nullptr && total > 0) {
      m_progress->setValue(static_cast<int>(m_export->written() * 1000 / total));
    }
    return;
  }
  m_exportPoll->stop();
  if (m_progress != nullptr) {
    m_progress->blockSignals(true);  // closing it is not a cancel
    m_progress->close();
    m_progress->deleteLater();
    m_progress = nullptr;
  }
  const std::unique_ptr<TraceExport> done = std::move(m_export);
  const TraceExportResult& result = done->result();
  const QString path = QString::fromStdString(done->path().string());
  if (result.ok) {
    QString text = tr("%1 frames saved to %2").arg(Grouped(result.written), path);
    if (done->leftOut() != 0) {
      text += tr("; %1 rows that are no frame (failed sends, events) left out")
                  .arg(Grouped(done->leftOut()));
    }
    for (const std::string& note : result.notes)
      text += QStringLiteral("; ") + QString::fromStdString(note);
    setMessage(text, false);
  } else if (result.cancelled) {
    setMessage(tr("Save cancelled: %1 was not written").arg(path), false);
  } else {
    setMessage(QString::fromStdString(result.error), true);
    m_boxes.Show(result.error, tr("Trace").toStdString(), MessageBoxes::Icon::Error);
  }
}

void TraceWindow::clearRows() {
  m_recorder.clear();
  m_table->refresh();
  updateStatus();
}

}  // namespace velqor
