#include "traffic/received_frame_model.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

#include "traffic/frame_text.h"

namespace velqor {

namespace {

// A decimal number as CompareAsNumbers reads a text: an optional sign,
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
// within the range and terminates whatever the comparison answers, and it keeps rows that
// compare equal (every row, by DLC or Data) in their order.
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

void ReceivedFrameModel::ShowReceivedFrames(std::span<const CanFrame> frames, int displayFormat) {
  if (frames.empty()) return;
  const std::int32_t timeMs = m_clock().msecsSinceStartOfDay();
  const bool hex = displayFormat == kHex;
  for (const CanFrame& frame : frames) {
    Row row;
    row.id = frame.id;
    row.timeMs = timeMs;
    row.ide = frame.ide;
    row.dlc = frame.dlc <= 8 ? frame.dlc : 0;
    row.hex = hex;
    row.data = frame.data;
    const auto found = m_rowById.constFind(frame.id);
    if (found != m_rowById.constEnd()) {
      const int r = found.value();
      m_rows[static_cast<std::size_t>(r)] = row;
      if (r < m_visibleRows) {
        if (m_dirtyFirst < 0 || r < m_dirtyFirst) m_dirtyFirst = r;
        if (r > m_dirtyLast) m_dirtyLast = r;
      }
    } else {
      m_rowById.insert(frame.id, static_cast<int>(m_rows.size()));
      m_rows.push_back(row);
    }
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
  // The keys are taken once per row, not once per comparison.
  std::vector<SortKey> keys(n);
  for (std::size_t i = 0; i < n; ++i) keys[i] = sortKey(m_rows[i]);
  std::vector<int> order(n), scratch(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
  MergeSort(order, scratch, 0, n, [&keys](int a, int b) {
    return compareKeys(keys[static_cast<std::size_t>(a)], keys[static_cast<std::size_t>(b)]);
  });

  emit layoutAboutToBeChanged();
  std::vector<Row> sorted;
  sorted.reserve(n);
  for (int i : order) sorted.push_back(m_rows[static_cast<std::size_t>(i)]);
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
  return compareKeys(sortKey(m_rows[static_cast<std::size_t>(row1)]),
                     sortKey(m_rows[static_cast<std::size_t>(row2)]));
}

ReceivedFrameModel::SortKey ReceivedFrameModel::sortKey(const Row& row) const {
  switch (m_sortColumn) {
    case kTime:
      // The captions have one fixed layout of digits ("hh:mm:ss.cc"), so their text order,
      // letter case aside, is the order of the hundredths they show.
      return {true, static_cast<double>(row.timeMs / 10)};
    case kIde:
      return {true, static_cast<double>(row.ide)};  // its decimal text read as a number
    case kId:
      // The identifier's value, not its hexadecimal text read as a decimal number (which
      // left c0 or 7ff unordered among the rest); a standard identifier before an extended
      // one of the same value.
      return {true, static_cast<double>(row.id), row.ide != 0 ? 1 : 0};
    default:  // DLC and Data do not order the rows
      return {};
  }
}

int ReceivedFrameModel::compareKeys(const SortKey& a, const SortKey& b) {
  if (!a.valid || !b.valid) return 0;
  if (a.value != b.value) return a.value > b.value ? 1 : -1;
  return a.tie - b.tie;
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

QString ReceivedFrameModel::cell(const Row& row, int column) {
  switch (column) {
    case kTime:
      return FormatRxTime(QTime::fromMSecsSinceStartOfDay(row.timeMs));
    case kIde:
      return QString::number(row.ide);
    case kId:
      return FormatRxId(row.id);
    case kDlc:
      return QString::number(row.dlc);
    default:
      return FormatRxData(row.data.data(), row.dlc, row.hex);
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
