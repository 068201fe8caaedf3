#include "traffic/trace_table.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <QWheelEvent>
#include <algorithm>

#include "trace/trace_text.h"
#include "traffic/fixed_text_delegate.h"
#include "widgets/fonts.h"

namespace velqor {

namespace {

constexpr std::uint64_t kNoSeq = ~std::uint64_t{0};

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Paints a row's background (its kind, or the selection) and then its text as the list does,
// one glyph run a cell.
class TraceDelegate : public FixedTextDelegate {
 public:
  using FixedTextDelegate::FixedTextDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem plain(option);
    plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    const QVariant background = index.data(Qt::BackgroundRole);
    if (background.isValid()) painter->fillRect(option.rect, background.value<QBrush>());
    const QVariant foreground = index.data(Qt::ForegroundRole);
    if (foreground.isValid()) plain.palette.setBrush(QPalette::Text, foreground.value<QBrush>());
    FixedTextDelegate::paint(painter, plain, index);
  }
};

}  // namespace

TracePageModel::TracePageModel(const TraceRecorder& recorder, const TraceSelection& selection,
                               QObject* parent)
    : QAbstractTableModel(parent), m_recorder(recorder), m_selection(selection) {}

void TracePageModel::setPage(std::size_t top, int rows) {
  m_top = top;
  if (rows > m_rows) {
    beginInsertRows(QModelIndex(), m_rows, rows - 1);
    m_rows = rows;
    endInsertRows();
  } else if (rows < m_rows) {
    beginRemoveRows(QModelIndex(), rows, m_rows - 1);
    m_rows = rows;
    endRemoveRows();
  }
}

void TracePageModel::repaint() {
  if (m_rows > 0) emit dataChanged(index(0, 0), index(m_rows - 1, kColumnCount - 1));
}

std::uint64_t TracePageModel::seqAt(int pageRow) const {
  return m_recorder.view().seqAt(m_top + static_cast<std::size_t>(pageRow));
}

void TracePageModel::setWallClock(bool wallClock) {
  if (wallClock == m_wallClock) return;
  m_wallClock = wallClock;
  emit headerDataChanged(Qt::Horizontal, kTime, kTime);
  repaint();
}

QString TracePageModel::cell(std::uint64_t seq, int column) const {
  const TraceStore& store = m_recorder.store();
  const TraceRecord& r = store.at(seq);
  switch (column) {
    case kTime:
      return Latin1(m_wallClock ? TraceWallTimeText(store.wallUs(seq))
                                : TraceRelativeTimeText(store.relativeUs(seq)));
    case kDirection:
      return Latin1(TraceDirectionText(r));
    case kType:
      return Latin1(TraceTypeText(r));
    case kId:
      return Latin1(TraceIdText(r));
    case kDlc:
      return Latin1(TraceDlcText(r));
    case kData:
      return Latin1(TraceDataText(r));
    case kName:
      if (!m_namer || !r.isFrame()) return QString();
      ++m_namerCalls;
      return m_namer(*store.asFrame(seq));
    default:
      return QString();
  }
}

QString TracePageModel::text(std::size_t row, int column) const {
  if (row >= m_recorder.view().count()) return QString();
  return cell(m_recorder.view().seqAt(row), column);
}

int TracePageModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_rows;
}

int TracePageModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TracePageModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_rows) return QVariant();
  const std::uint64_t seq = seqAt(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return cell(seq, index.column());
    case Qt::BackgroundRole: {
      if (m_selection.contains(seq)) return QApplication::palette().brush(QPalette::Highlight);
      const TraceRecord& r = m_recorder.store().at(seq);
      switch (r.kind()) {
        case TraceRowKind::Can:
          return r.tx() ? QVariant(QColor(0xE3, 0xEE, 0xFF)) : QVariant();
        case TraceRowKind::BusError:
        case TraceRowKind::SendFailed:
        case TraceRowKind::FramesLost:
          return QColor(0xFF, 0xE0, 0xE0);
        default:
          return QColor(0xEC, 0xEC, 0xEC);
      }
    }
    case Qt::ForegroundRole: {
      if (m_selection.contains(seq)) {
        return QApplication::palette().brush(QPalette::HighlightedText);
      }
      const TraceRecord& r = m_recorder.store().at(seq);
      if (r.isFrame()) return QVariant();
      return r.kind() == TraceRowKind::BusError || r.kind() == TraceRowKind::SendFailed ||
                     r.kind() == TraceRowKind::FramesLost
                 ? QColor(0xA0, 0x00, 0x00)
                 : QColor(0x50, 0x50, 0x50);
    }
    default:
      return QVariant();
  }
}

QVariant TracePageModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return QVariant();
  if (role == Qt::ToolTipRole && section == kTime) {
    return m_wallClock ? tr("Local time of day the frame reached the program")
                       : tr("Seconds since the connection (microseconds)");
  }
  if (role != Qt::DisplayRole) return QVariant();
  switch (section) {
    case kTime:
      return m_wallClock ? tr("Time of day") : tr("Time (s)");
    case kDirection:
      return tr("Dir");
    case kType:
      return tr("Type");
    case kId:
      return tr("ID");
    case kDlc:
      return tr("DLC");
    case kData:
      return tr("Data");
    case kName:
      return tr("Message");
    default:
      return QVariant();
  }
}

TraceTable::TraceTable(const TraceRecorder& recorder, QWidget* parent)
    : QWidget(parent), m_recorder(recorder) {
  m_model = new TracePageModel(recorder, m_selection, this);
  m_view = new QTableView(this);
  m_view->setObjectName(QStringLiteral("TraceView"));
  m_view->setModel(m_model);
  m_view->setFont(MakeFont(QString::fromUtf8(kFontGothic), 13, true));
  m_view->setItemDelegate(new TraceDelegate(m_view));
  m_view->setSelectionMode(QAbstractItemView::NoSelection);
  m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_view->setAutoScroll(false);
  m_view->setTabKeyNavigation(false);
  m_view->setWordWrap(false);
  m_view->setShowGrid(false);
  m_view->setCornerButtonEnabled(false);
  m_view->setFocusPolicy(Qt::StrongFocus);
  m_view->verticalHeader()->hide();
  m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_view->verticalHeader()->setMinimumSectionSize(12);
  m_view->verticalHeader()->setDefaultSectionSize(QFontMetrics(m_view->font()).height() + 3);
  QHeaderView* header = m_view->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setHighlightSections(false);
  header->setStretchLastSection(true);
  static const int kWidths[TracePageModel::kColumnCount] = {120, 46, 40, 80, 36, 190, 160};
  for (int c = 0; c < TracePageModel::kColumnCount; ++c) m_view->setColumnWidth(c, kWidths[c]);
  m_view->setColumnHidden(TracePageModel::kName, true);  // until a namer is set
  m_view->installEventFilter(this);
  m_view->viewport()->installEventFilter(this);

  m_scrollBar = new QScrollBar(Qt::Vertical, this);
  m_scrollBar->setObjectName(QStringLiteral("TraceScrollBar"));
  connect(m_scrollBar, &QScrollBar::valueChanged, this, [this](int value) {
    if (!m_settingScrollBar) scrolledByUser(static_cast<std::size_t>(value));
  });

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_view);
  layout->addWidget(m_scrollBar);
  m_goneSeen = recorder.rowsGoneFromView();
}

int TraceTable::fullRows() const {
  const int rowHeight = std::max(1, m_view->verticalHeader()->defaultSectionSize());
  return std::max(1, m_view->viewport()->height() / rowHeight);
}

std::size_t TraceTable::maxTop() const {
  const auto full = static_cast<std::size_t>(fullRows());
  return m_limit > full ? m_limit - full : 0;
}

std::size_t TraceTable::rowsBehind() const {
  const std::size_t count = m_recorder.view().count();
  return count > m_limit ? count - m_limit : 0;
}

void TraceTable::applyPage() {
  std::size_t top = std::min(m_model->top(), maxTop());
  if (m_follow) top = maxTop();
  const std::size_t available = m_limit - std::min(top, m_limit);
  m_model->setPage(top, static_cast<int>(std::min<std::size_t>(available, fullRows() + 1)));
  updateScrollBar();
}

void TraceTable::updateScrollBar() {
  m_settingScrollBar = true;
  m_scrollBar->setRange(0, static_cast<int>(maxTop()));
  m_scrollBar->setPageStep(fullRows());
  m_scrollBar->setValue(static_cast<int>(m_model->top()));
  m_settingScrollBar = false;
}

void TraceTable::refresh() {
  const TraceView& view = m_recorder.view();
  const std::uint64_t gone = m_recorder.rowsGoneFromView();
  const std::size_t lost = static_cast<std::size_t>(gone - m_goneSeen);
  m_goneSeen = gone;
  m_limit = m_paused ? view.lowerBound(m_pauseSeq) : view.count();
  // The rows that went from the front: the page keeps showing the same rows.
  const std::size_t top = m_model->top();
  m_model->setPage(top > lost ? top - lost : 0, m_model->rowCount());
  if (m_centerOnCurrent && !view.scanning()) {
    m_centerOnCurrent = false;
    if (const std::optional<std::size_t> row = currentRow()) {
      const auto half = static_cast<std::size_t>(fullRows() / 2);
      m_model->setPage(*row > half ? *row - half : 0, m_model->rowCount());
    }
  }
  applyPage();
  m_model->repaint();
}

void TraceTable::viewReplaced() {
  m_goneSeen = m_recorder.rowsGoneFromView();
  m_limit = 0;
  m_model->setPage(0, 0);
  m_centerOnCurrent = !m_follow && m_current != kNoSeq;
  refresh();
}

void TraceTable::setPaused(bool paused) {
  m_paused = paused;
  m_pauseSeq = m_recorder.store().endSeq();
  refresh();
}

void TraceTable::scrollTo(std::size_t top) {
  m_model->setPage(std::min(top, maxTop()), m_model->rowCount());
  m_follow = m_model->top() >= maxTop();
  applyPage();
  m_model->repaint();
}

void TraceTable::scrolledByUser(std::size_t top) { scrollTo(top); }

std::optional<std::size_t> TraceTable::currentRow() const {
  if (m_current == kNoSeq) return std::nullopt;
  const TraceView& view = m_recorder.view();
  const std::size_t row = view.lowerBound(m_current);
  if (row >= m_limit || view.seqAt(row) != m_current) return std::nullopt;
  return row;
}

void TraceTable::moveTo(std::size_t row, bool extend, bool toggle) {
  if (m_limit == 0) return;
  row = std::min(row, m_limit - 1);
  const std::uint64_t seq = m_recorder.view().seqAt(row);
  if (toggle) {
    m_selection.toggle(seq);
    m_anchor = seq;
  } else if (extend && m_anchor != kNoSeq) {
    m_selection.set(m_anchor, seq);
  } else {
    m_selection.set(seq, seq);
    m_anchor = seq;
  }
  m_current = seq;
  // Into sight.
  std::size_t top = m_model->top();
  const auto full = static_cast<std::size_t>(fullRows());
  if (row < top) top = row;
  if (row >= top + full) top = row - full + 1;
  scrollTo(top);
  emit currentChanged();
}

void TraceTable::goToRow(std::size_t row) {
  if (row >= m_limit) return;
  moveTo(row, false, false);
  const auto half = static_cast<std::size_t>(fullRows() / 2);
  m_model->setPage(std::min(row > half ? row - half : 0, maxTop()), m_model->rowCount());
  m_follow = false;  // the row found stays in sight
  applyPage();
  m_model->repaint();
}

void TraceTable::selectAll() {
  if (m_limit == 0) return;
  const TraceView& view = m_recorder.view();
  m_selection.set(view.seqAt(0), view.seqAt(m_limit - 1));
  m_model->repaint();
}

std::vector<std::uint64_t> TraceTable::selectedSeqs(std::size_t limit, bool* more) const {
  std::vector<std::uint64_t> seqs;
  if (more != nullptr) *more = false;
  const TraceView& view = m_recorder.view();
  for (const auto& [first, last] : m_selection.ranges()) {
    for (std::size_t row = view.lowerBound(first); row < m_limit; ++row) {
      const std::uint64_t seq = view.seqAt(row);
      if (seq > last) break;
      if (seqs.size() == limit) {
        if (more != nullptr) *more = true;
        return seqs;
      }
      seqs.push_back(seq);
    }
  }
  return seqs;
}

std::optional<std::size_t> TraceTable::rowAt(int y) const {
  const int pageRow = m_view->rowAt(y);
  if (pageRow < 0) return std::nullopt;
  return m_model->top() + static_cast<std::size_t>(pageRow);
}

bool TraceTable::keyPress(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const std::optional<std::size_t> current = currentRow();
  const std::size_t here = current ? *current : m_model->top();
  const auto page = static_cast<std::size_t>(std::max(1, fullRows() - 1));
  switch (event->key()) {
    case Qt::Key_Up:
      moveTo(current && here > 0 ? here - 1 : here, shift, false);
      return true;
    case Qt::Key_Down:
      moveTo(current ? here + 1 : here, shift, false);
      return true;
    case Qt::Key_PageUp:
      moveTo(here > page ? here - page : 0, shift, false);
      return true;
    case Qt::Key_PageDown:
      moveTo(here + page, shift, false);
      return true;
    case Qt::Key_Home:
      moveTo(0, shift, false);
      return true;
    case Qt::Key_End:
      moveTo(m_limit > 0 ? m_limit - 1 : 0, shift, false);
      return true;
    default:
      if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return true;
      }
      return false;
  }
}

bool TraceTable::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_view && event->type() == QEvent::KeyPress) {
    return keyPress(static_cast<QKeyEvent*>(event));
  }
  if (watched != m_view->viewport()) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Resize:
      applyPage();
      m_model->repaint();
      return false;
    case QEvent::Wheel: {
      const auto* wheel = static_cast<QWheelEvent*>(event);
      const int steps = wheel->angleDelta().y() / 120 * QApplication::wheelScrollLines();
      const std::size_t top = m_model->top();
      if (steps > 0) {
        scrollTo(top > static_cast<std::size_t>(steps) ? top - static_cast<std::size_t>(steps) : 0);
      } else if (steps < 0) {
        scrollTo(top + static_cast<std::size_t>(-steps));
      }
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      m_view->setFocus(Qt::MouseFocusReason);
      if (mouse->button() != Qt::LeftButton) return false;
      if (const std::optional<std::size_t> row = rowAt(mouse->position().toPoint().y())) {
        moveTo(*row, mouse->modifiers() & Qt::ShiftModifier,
               mouse->modifiers() & Qt::ControlModifier);
        m_dragging = true;
      }
      return true;
    }
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (!m_dragging || !(mouse->buttons() & Qt::LeftButton)) return false;
      const int y = mouse->position().toPoint().y();
      const std::size_t top = m_model->top();
      if (y < 0) {
        moveTo(top > 0 ? top - 1 : 0, true, false);
      } else if (y >= m_view->viewport()->height()) {
        moveTo(top + static_cast<std::size_t>(fullRows()), true, false);
      } else if (const std::optional<std::size_t> row = rowAt(y)) {
        moveTo(*row, true, false);
      }
      return true;
    }
    case QEvent::MouseButtonRelease:
      m_dragging = false;
      return true;
    default:
      return QWidget::eventFilter(watched, event);
  }
}

void TraceTable::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  applyPage();
  m_model->repaint();
}

}  // namespace velqor
