#include "traffic/received_frame_model.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "traffic/frame_text.h"

namespace velqor {

namespace {

// A decimal number as the list reads an identifier text when sorting: an optional sign,
// digits, an optional fraction, an optional exponent, nothing else (no blanks, no
// hexadecimal floats, no inf or nan). False also when the value does not fit a double.
bool ReadDecimal(const QString& text, double& value) {
  const QByteArray bytes = text.toLatin1();
  const char* p = bytes.constData();
  const char* const begin = p;
  if (*p == '+' || *p == '-') ++p;
  const char* digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  if (p == digits) return false;
  if (*p == '.') {
    ++p;
    while (*p >= '0' && *p <= '9') ++p;
  }
  if (*p == 'e' || *p == 'E') {
    ++p;
    if (*p == '+' || *p == '-') ++p;
    const char* expDigits = p;
    while (*p >= '0' && *p <= '9') ++p;
    if (p == expDigits) return false;
  }
  if (static_cast<qsizetype>(p - begin) != bytes.size() || bytes.size() != text.size())
    return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(begin, &end);
  if (end != p) return false;
  return !(errno == ERANGE && std::isinf(value));
}

// Stable merge sort of [first, last) with a three-way comparison. Unlike std::sort it stays
// within the range and terminates whatever the comparison answers, which matters here: the
// list's comparison calls texts that are not numbers equal to everything, so it is not a
// strict weak ordering.
template <typename Compare>
void MergeSort(std::vector<int>& order, std::vector<int>& scratch, std::size_t first,
               std::size_t last, const Compare& compare) {
  if (last - first < 2) return;
  const std::size_t mid = first + (last - first) / 2;
  MergeSort(order, scratch, first, mid, compare);
  MergeSort(order, scratch, mid, last, compare);
  std::size_t i = first, j = mid, k = first;
  while (i < mid && j < last) {
    // The right element goes first only when it is strictly smaller: equal ones keep order.
    if (compare(order[j], order[i]) < 0) {
      scratch[k++] = order[j++];
    } else {
      scratch[k++] = order[i++];
    }
  }
  while (i < mid) scratch[k++] = order[i++];
  while (j < last) scratch[k++] = order[j++];
  for (std::size_t n = first; n < last; ++n) order[n] = scratch[n];
}

}  // namespace

ReceivedFrameModel::ReceivedFrameModel(Clock clock, QObject* parent)
    : QAbstractTableModel(parent), m_clock(std::move(clock)) {
  if (!m_clock) m_clock = [] { return QTime::currentTime(); };
  m_repaint.setInterval(kRepaintIntervalMs);
  m_repaint.setSingleShot(true);
  connect(&m_repaint, &QTimer::timeout, this, &ReceivedFrameModel::flush);
}

void ReceivedFrameModel::ShowReceivedFrame(const RxFrame& frame, int displayFormat) {
  const int dlc = frame.Dlc <= 8 ? frame.Dlc : 0;
  const QString time = FormatRxTime(m_clock());
  const QString data = FormatRxData(frame.Data.data(), dlc, displayFormat == kHex);
  const QString id = FormatRxId(frame.Id);
  const QString ide = QString::number(frame.Ide);
  const QString dlcText = QString::number(dlc);

  const auto found = m_rowById.constFind(id);
  if (found != m_rowById.constEnd()) {
    const int r = found.value();
    Row& row = m_rows[static_cast<std::size_t>(r)];
    row.ide = ide;
    row.dlc = dlcText;
    row.time = time;
    row.data = data;
    if (r < m_visibleRows) {
      if (m_dirtyFirst < 0 || r < m_dirtyFirst) m_dirtyFirst = r;
      if (r > m_dirtyLast) m_dirtyLast = r;
    }
  } else {
    m_rowById.insert(id, static_cast<int>(m_rows.size()));
    m_rows.push_back(Row{time, ide, id, dlcText, data});
  }
  schedule();
}

void ReceivedFrameModel::Clear() {
  m_repaint.stop();
  beginResetModel();
  m_rows.clear();
  m_rowById.clear();
  m_visibleRows = 0;
  m_dirtyFirst = m_dirtyLast = -1;
  endResetModel();
}

void ReceivedFrameModel::ListViewColumnClick(int column) {
  m_sortColumn = column;
  flush();
  const std::size_t n = m_rows.size();
  std::vector<int> order(n), scratch(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
  MergeSort(order, scratch, 0, n, [this](int a, int b) { return ListViewCompare(a, b); });

  emit layoutAboutToBeChanged();
  std::vector<Row> sorted;
  sorted.reserve(n);
  for (int i : order) sorted.push_back(std::move(m_rows[static_cast<std::size_t>(i)]));
  m_rows = std::move(sorted);
  rebuildIndex();
  // Persistent indexes (a selection, the current cell) follow their rows.
  const QModelIndexList persistent = persistentIndexList();
  std::vector<int> newRowOf(n);
  for (std::size_t to = 0; to < n; ++to)
    newRowOf[static_cast<std::size_t>(order[to])] = static_cast<int>(to);
  QModelIndexList moved;
  moved.reserve(persistent.size());
  for (const QModelIndex& index : persistent) {
    moved.push_back(this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column()));
  }
  changePersistentIndexList(persistent, moved);
  emit layoutChanged();
}

int ReceivedFrameModel::ListViewCompare(int row1, int row2) const {
  const Row& a = m_rows[static_cast<std::size_t>(row1)];
  const Row& b = m_rows[static_cast<std::size_t>(row2)];
  switch (m_sortColumn) {
    case kTime:
      return QString::compare(a.time, b.time, Qt::CaseInsensitive);
    case kIde:
    case kId:
      return CompareAsNumbers(cell(a, m_sortColumn), cell(b, m_sortColumn));
    default:  // DLC and Data do not order the rows
      return 0;
  }
}

int ReceivedFrameModel::CompareAsNumbers(const QString& a, const QString& b) {
  double x = 0, y = 0;
  if (!ReadDecimal(a, x) || !ReadDecimal(b, y)) return 0;
  if (x == y) return 0;
  return x > y ? 1 : -1;
}

void ReceivedFrameModel::flush() {
  m_repaint.stop();
  const int held = static_cast<int>(m_rows.size());
  if (m_dirtyFirst >= 0) {
    const int first = m_dirtyFirst, last = m_dirtyLast;
    m_dirtyFirst = m_dirtyLast = -1;
    emit dataChanged(index(first, 0), index(last, kColumnCount - 1), {Qt::DisplayRole});
  }
  if (held > m_visibleRows) {
    beginInsertRows(QModelIndex(), m_visibleRows, held - 1);
    m_visibleRows = held;
    endInsertRows();
  }
}

bool ReceivedFrameModel::hasPendingChanges() const {
  return m_dirtyFirst >= 0 || static_cast<int>(m_rows.size()) > m_visibleRows;
}

void ReceivedFrameModel::schedule() {
  if (!m_repaint.isActive()) m_repaint.start();
}

void ReceivedFrameModel::rebuildIndex() {
  m_rowById.clear();
  m_rowById.reserve(static_cast<qsizetype>(m_rows.size()));
  for (std::size_t i = 0; i < m_rows.size(); ++i)
    m_rowById.insert(m_rows[i].id, static_cast<int>(i));
}

const QString& ReceivedFrameModel::cell(const Row& row, int column) {
  switch (column) {
    case kTime:
      return row.time;
    case kIde:
      return row.ide;
    case kId:
      return row.id;
    case kDlc:
      return row.dlc;
    default:
      return row.data;
  }
}

QString ReceivedFrameModel::text(int row, int column) const {
  if (row < 0 || row >= heldRowCount() || column < 0 || column >= kColumnCount) return QString();
  return cell(m_rows[static_cast<std::size_t>(row)], column);
}

int ReceivedFrameModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : m_visibleRows;
}

int ReceivedFrameModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant ReceivedFrameModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= m_visibleRows) return QVariant();
  if (role == Qt::DisplayRole)
    return cell(m_rows[static_cast<std::size_t>(index.row())], index.column());
  return QVariant();
}

QVariant ReceivedFrameModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
  static const char* const kCaptions[kColumnCount] = {"Time", "ide", "ID(hex)", "DLC", "Data"};
  if (section < 0 || section >= kColumnCount) return QVariant();
  return QString::fromLatin1(kCaptions[section]);
}

int ReceivedFrameModel::columnWidth(int column) {
  static const int kWidths[kColumnCount] = {90, 40, 70, 50, 300};
  return column >= 0 && column < kColumnCount ? kWidths[column] : 0;
}

}  // namespace velqor
