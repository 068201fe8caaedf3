#include "terminal/terminal_window.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "common/hex_text.h"
#include "common/settings.h"
#include "widgets/fonts.h"

namespace velqor {

namespace {

constexpr int kDrainIntervalMs = 33;  // batches at display rate, not per block
constexpr char kErrorCaption[] = "Velqor";
// The panes' font: a fixed-pitch Japanese font, as the hex columns have always been shown.
constexpr char kFontMincho[] = "ＭＳ 明朝";

QString fromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Display lines of a pane, wrapped lines counted; lays out what is not laid out yet.
int displayLineCount(QPlainTextEdit* pane) {
  QTextDocument* doc = pane->document();
  int lines = 0;
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    doc->documentLayout()->blockBoundingRect(block);  // lays the block out
    lines += std::max(1, block.layout()->lineCount());
  }
  return lines;
}

// The character position where display line `line` (0-based) starts.
int lineStart(QPlainTextEdit* pane, int line) {
  QTextDocument* doc = pane->document();
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    doc->documentLayout()->blockBoundingRect(block);
    const int count = std::max(1, block.layout()->lineCount());
    if (line < count) {
      const int inBlock =
          block.layout()->lineCount() > 0 ? block.layout()->lineAt(line).textStart() : 0;
      return block.position() + inBlock;
    }
    line -= count;
  }
  return doc->characterCount() - 1;
}

bool lastLineEmpty(QPlainTextEdit* pane) { return pane->document()->lastBlock().length() <= 1; }

QPlainTextEdit* makePane(const char* name, QWidget* parent) {
  auto* pane = new QPlainTextEdit(parent);
  pane->setObjectName(QString::fromLatin1(name));
  QPalette palette = pane->palette();
  palette.setColor(QPalette::Base, Qt::black);
  palette.setColor(QPalette::Text, Qt::white);
  pane->setPalette(palette);
  pane->setFont(MakeFont(QString::fromUtf8(kFontMincho), 15, true));
  pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  pane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // Files dropped on a pane go to the window, which plays scripts.
  pane->setAcceptDrops(false);
  pane->viewport()->setAcceptDrops(false);
  return pane;
}

}  // namespace

TFrmTTY::TFrmTTY(DeviceSender& sender, MessageBoxes& boxes, Options options, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_sender(sender),
      m_boxes(boxes),
      m_options(std::move(options)),
      m_settings(m_options.settingsPath),
      m_sleeper(m_options.sleeper != nullptr ? m_options.sleeper : &m_systemSleeper) {
  setObjectName(QStringLiteral("FrmTTY"));
  setWindowTitle(tr("FrmTTY"));
  setFont(MakeFont(QString::fromUtf8(kFontPGothic), 12));
  setMinimumSize(200, 100);
  setMaximumSize(500, 900);
  // Closing the main window ends the program even while this window is showing.
  setAttribute(Qt::WA_QuitOnClose, false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* menu = new QMenuBar(this);
  menu->setObjectName(QStringLiteral("MainMenu1"));
  layout->setMenuBar(menu);

  m_splitter = new QSplitter(Qt::Vertical, this);
  m_splitter->setObjectName(QStringLiteral("Splitter1"));
  m_splitter->setHandleWidth(2);
  m_splitter->setChildrenCollapsible(false);
  m_memoRx = makePane("MemoRX", m_splitter);
  m_memoTx = makePane("MemoTX", m_splitter);
  m_splitter->addWidget(m_memoRx);
  m_splitter->addWidget(m_memoTx);
  m_splitter->setStretchFactor(0, 1);
  m_splitter->setStretchFactor(1, 0);
  layout->addWidget(m_splitter);
  buildMenu(menu);

  resize(406, 337);
  placeOnScreen();

  connect(m_memoRx, &QPlainTextEdit::textChanged, this, &TFrmTTY::MemoRXChange);
  m_memoTx->installEventFilter(this);
  setAcceptDrops(true);  // FormCreate: a drop target

  // Other threads hand over through these: one wake-up per batch, and one when a script ends.
  m_drainWake = std::make_unique<OwnerWake>([this] { scheduleDrain(); });
  m_reapWake = std::make_unique<OwnerWake>([this] { reapScripts(); });
  m_drainTimer = new QTimer(this);
  m_drainTimer->setSingleShot(true);
  connect(m_drainTimer, &QTimer::timeout, this, &TFrmTTY::drain);
  m_sinceDrain.start();

  const TtySettings tty = loadTtySettings(m_settings);
  m_txMonitor->setChecked(tty.txMonitor);
  m_txPacketUnit->setChecked(tty.txPacketUnit);
}

TFrmTTY::~TFrmTTY() {
  // The program is ending: every script stops now, a wait is cut short.
  m_scripts.clear();
  m_runningScript = nullptr;
  if (isVisible()) {
    try {
      saveTtyKeys();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "velqor: %s\n", e.what());
    }
  }
}

void TFrmTTY::buildMenu(QMenuBar* menu) {
  auto* exit = menu->addAction(tr("&Exit"));
  exit->setObjectName(QStringLiteral("Exit1"));
  connect(exit, &QAction::triggered, this, &TFrmTTY::Exit1Click);

  auto* script = menu->addAction(tr("ｽｸﾘﾌﾟﾄ実行"));
  script->setObjectName(QStringLiteral("N1"));
  connect(script, &QAction::triggered, this, &TFrmTTY::N1Click);

  QMenu* option = menu->addMenu(tr("&Option"));
  option->setObjectName(QStringLiteral("Option1"));
  m_txMonitor = option->addAction(tr("送信ｼﾘｱﾙﾓﾆﾀ (&M)"));
  m_txMonitor->setObjectName(QStringLiteral("TXmonitor"));
  // A checkable item inverts its own check mark when chosen, which is all its handler does.
  m_txMonitor->setCheckable(true);
  m_txPacketUnit = option->addAction(tr("ﾊﾟｹｯﾄ毎に折り返す"));
  m_txPacketUnit->setObjectName(QStringLiteral("TxPacketUnit"));
  m_txPacketUnit->setCheckable(true);

  auto* clear = menu->addAction(tr("画面クリア"));
  clear->setObjectName(QStringLiteral("ClearBuff"));
  connect(clear, &QAction::triggered, this, &TFrmTTY::ClearBuffClick);
}

void TFrmTTY::placeOnScreen() {
  QRect frame(718, 628, width(), height());
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    frame.moveLeft(std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width())));
    frame.moveTop(std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height())));
  }
  move(frame.topLeft());
}

bool TFrmTTY::txMonitor() const { return m_txMonitor->isChecked(); }
bool TFrmTTY::txPacketUnit() const { return m_txPacketUnit->isChecked(); }

// --- hand-over from other threads ---

void TFrmTTY::ShowReceived(const std::uint8_t* bytes, std::size_t length) {
  if (!m_showing.load() || length == 0) return;
  if (m_staging.AddReceived({bytes, length})) post();
}

void TFrmTTY::ShowSent(const std::uint8_t* bytes, std::size_t length) {
  if (m_staging.AddSent({bytes, length})) post();
}

void TFrmTTY::ShowProgress(const std::string& text) {
  if (m_staging.AddProgress(text)) post();
}

void TFrmTTY::post() { m_drainWake->Wake(); }

void TFrmTTY::scheduleDrain() {
  const qint64 elapsed = m_sinceDrain.elapsed();
  if (elapsed >= kDrainIntervalMs) {
    drain();
  } else if (!m_drainTimer->isActive()) {
    m_drainTimer->start(static_cast<int>(kDrainIntervalMs - elapsed));
  }
}

void TFrmTTY::flushPending() {
  m_drainTimer->stop();
  drain();
}

void TFrmTTY::drain() {
  m_sinceDrain.restart();
  TerminalStaging::Batch batch = m_staging.Take();
  m_receivedSkipped += batch.receivedSkipped;
  if (!batch.received.empty()) appendRx(fromUtf8(ReceivedText(batch.received)));

  if (batch.transmitSkipped > 0) {
    addTxLine(tr("(%1 blocks not shown)").arg(batch.transmitSkipped).toStdString());
  }
  // The check marks are read once per batch, on this thread.
  const bool monitor = txMonitor();
  const bool packetUnit = txPacketUnit();
  QString pending;  // runs of sent blocks are appended in one go
  const auto flush = [&] {
    if (!pending.isEmpty()) appendTx(pending);
    pending.clear();
  };
  for (const TerminalStaging::TransmitItem& item : batch.transmit) {
    if (item.kind == TerminalStaging::TransmitItem::Kind::Sent) {
      if (monitor) pending += fromUtf8(SentText(item.bytes));
      if (packetUnit) pending += QLatin1Char('\n');
    } else {
      flush();
      addTxLine(item.text);
    }
  }
  flush();
}

// --- panes ---

namespace {
// Appends at the end of a pane, whatever the caret and the selection are, and keeps the view
// at the bottom when it was there.
void appendAtEnd(QPlainTextEdit* pane, const QString& text) {
  QScrollBar* bar = pane->verticalScrollBar();
  const bool atBottom = bar->value() >= bar->maximum();
  QTextCursor cursor(pane->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text);
  if (atBottom) bar->setValue(bar->maximum());
}
}  // namespace

void TFrmTTY::appendRx(const QString& text) {
  m_draining = true;
  appendAtEnd(m_memoRx, text);
  keepRxWithinLimit();
  m_draining = false;
}

void TFrmTTY::appendTx(const QString& text) { appendAtEnd(m_memoTx, text); }

void TFrmTTY::addTxLine(const std::string& line) {
  appendTx(fromUtf8(LinesAddText(lastLineEmpty(m_memoTx), line)));
}

void TFrmTTY::keepRxWithinLimit() {
  // As if the bytes came one by one: whenever the pane would go past 500 lines it is emptied
  // and the bytes that open the next line start it again. So only the last, partly filled
  // page of 500 lines stays.
  const int lines = displayLineCount(m_memoRx);
  if (lines <= kMaxRxLines) return;
  const int keepFrom = (lines - 1) / kMaxRxLines * kMaxRxLines;
  const int position = lineStart(m_memoRx, keepFrom);
  QTextCursor cursor(m_memoRx->document());
  cursor.setPosition(0);
  cursor.setPosition(position, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
  QScrollBar* bar = m_memoRx->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void TFrmTTY::MemoRXChange() {
  if (m_draining) return;  // the batch keeps the rule itself
  if (displayLineCount(m_memoRx) > kMaxRxLines) m_memoRx->clear();
}

void TFrmTTY::ClearBuffClick() {
  m_memoRx->clear();
  m_memoTx->clear();
}

void TFrmTTY::TXmonitorClick() { m_txMonitor->setChecked(!m_txMonitor->isChecked()); }
void TFrmTTY::TxPacketUnitClick() { m_txPacketUnit->setChecked(!m_txPacketUnit->isChecked()); }

// --- typing ---

void TFrmTTY::SendHexText(std::string_view text) {
  const std::vector<std::uint8_t> bytes = HexTextToBytes(text);
  if (bytes.empty()) return;
  m_sender.SendToDevice(bytes.data(), bytes.size());
}

bool TFrmTTY::MemoTXKeyPress(QChar typed) {
  const HexTyping::Outcome outcome = m_typing.Key(typed.unicode(), txMonitor());
  if (!outcome.sendText.empty()) SendHexText(outcome.sendText);
  switch (outcome.action) {
    case HexTyping::Action::Discard:
      return false;
    case HexTyping::Action::BlankThenPass:
      m_memoTx->textCursor().insertText(QStringLiteral(" "));
      return true;
    case HexTyping::Action::Pass:
      return true;
  }
  return false;
}

bool TFrmTTY::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_memoTx && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    // Shortcuts (copy, select all) and keys that type nothing (arrows, Delete) pass.
    if ((key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) != 0) return false;
    if (key->key() == Qt::Key_Delete || key->text().isEmpty()) return false;
    const QString text = key->text();
    if (text.size() == 1 && MemoTXKeyPress(text.front())) return false;
    return true;
  }
  if (watched == m_memoTx && event->type() == QEvent::InputMethod) {
    // An input method (Japanese input) hands over committed text as one event instead of key
    // presses: each of its characters is typed as a key would be. No composition is shown,
    // since the pane takes hexadecimal digits only.
    const QString committed = static_cast<QInputMethodEvent*>(event)->commitString();
    for (const QChar c : committed) {
      if (MemoTXKeyPress(c)) m_memoTx->textCursor().insertText(QString(c));
    }
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

// --- scripts ---

void TFrmTTY::StartScript(const std::filesystem::path& path) {
  reapScripts();
  auto script = std::make_unique<TSendFileSerial>(path, m_sender, *this, *m_sleeper,
                                                  [this](TSendFileSerial&) { m_reapWake->Wake(); });
  m_runningScript = script.get();
  m_scripts.push_back(std::move(script));
}

void TFrmTTY::reapScripts() {
  std::erase_if(m_scripts, [this](const std::unique_ptr<TSendFileSerial>& script) {
    if (script->Running()) return false;
    if (script.get() == m_runningScript) m_runningScript = nullptr;
    return true;
  });
}

TSendFileSerial* TFrmTTY::runningScript() const {
  return m_runningScript != nullptr && m_runningScript->Running() ? m_runningScript : nullptr;
}

void TFrmTTY::N1Click() {
  const QString filter = fromUtf8(QtFileFilter(tr(kScriptFilter).toStdString()));
  const QString file = m_options.chooseScriptFile
                           ? m_options.chooseScriptFile(this, filter)
                           : QFileDialog::getOpenFileName(this, QString(), QString(), filter);
  if (file.isEmpty()) return;
  StartScript(std::filesystem::path(QFile::encodeName(file).toStdString()));
}

void TFrmTTY::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFrmTTY::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  event->acceptProposedAction();
  // Only the first file counts; another extension is ignored without a word.
  if (urls.isEmpty() || !urls.front().isLocalFile()) return;
  const QByteArray path = QFile::encodeName(urls.front().toLocalFile());
  if (IsScriptFileName(std::string_view(path.constData(), static_cast<std::size_t>(path.size())))) {
    StartScript(std::filesystem::path(path.toStdString()));
  }
}

// --- showing and hiding ---

void TFrmTTY::Exit1Click() { close(); }

void TFrmTTY::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;  // restored from the task bar
  if (!m_sized) {
    // MemoTX keeps its 82 pixels at the bottom; MemoRX takes the rest.
    m_sized = true;
    m_splitter->setSizes(
        {std::max(1, m_splitter->height() - m_splitter->handleWidth() - kTxPaneHeight),
         kTxPaneHeight});
  }
  m_showing.store(true);
  m_memoRx->clear();
  m_memoTx->clear();
}

void TFrmTTY::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (event->spontaneous()) return;  // minimised
  m_showing.store(false);
  if (TSendFileSerial* script = runningScript()) script->RequestStop();
  try {
    saveTtyKeys();
  } catch (const std::exception& e) {
    m_boxes.Show(e.what(), kErrorCaption, MessageBoxes::Icon::Error);
  }
}

void TFrmTTY::saveTtyKeys() {
  saveTtySettings(m_settings, TtySettings{txMonitor(), txPacketUnit()});
}

}  // namespace velqor
