#include "traffic/signal_view_window.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

#include "traffic/fixed_text_delegate.h"
#include "widgets/fonts.h"

namespace velqor {

namespace {

QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The shortest text that reads back as the same double.
QString Number(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return QString::fromLatin1(buf, static_cast<qsizetype>(r.ptr - buf));
}

}  // namespace

SignalTableModel::SignalTableModel(SignalMonitor& monitor, QObject* parent)
    : QAbstractTableModel(parent),
      m_monitor(monitor),
      m_utcOffsetMs(std::int64_t{QDateTime::currentDateTime().offsetFromUtc()} * 1000) {}

void SignalTableModel::rebuild() {
  beginResetModel();
  m_rows.clear();
  for (std::uint32_t i = 0; i < m_monitor.signalCount(); ++i) {
    if (m_monitor.state(i).count != 0) m_rows.push_back(i);
  }
  m_shownFrames = m_monitor.framesDecoded();
  endResetModel();
}

void SignalTableModel::refresh() {
  m_utcOffsetMs = std::int64_t{QDateTime::currentDateTime().offsetFromUtc()} * 1000;
  std::vector<std::uint32_t> seen = m_monitor.takeNewlySeen();
  if (!seen.empty()) {
    std::sort(seen.begin(), seen.end());
    if (m_rows.empty() || seen.size() > 64) {
      // The first frames of a bus, or a burst: all at once.
      beginResetModel();
      std::vector<std::uint32_t> rows;
      std::set_union(m_rows.begin(), m_rows.end(), seen.begin(), seen.end(),
                     std::back_inserter(rows));
      m_rows = std::move(rows);
      endResetModel();
    } else {
      for (const std::uint32_t signal : seen) {
        const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), signal);
        if (at != m_rows.end() && *at == signal) continue;
        const int row = static_cast<int>(at - m_rows.begin());
        beginInsertRows({}, row, row);
        m_rows.insert(at, signal);
        endInsertRows();
      }
    }
  }
  if (m_monitor.framesDecoded() != m_shownFrames && !m_rows.empty()) {
    m_shownFrames = m_monitor.framesDecoded();
    emit dataChanged(index(0, kValue), index(rowCount() - 1, kMaximum), {Qt::DisplayRole});
  }
}

int SignalTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int SignalTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QString SignalTableModel::text(std::uint32_t signal, int column) const {
  const dbc::FrameDecoder& decoder = m_monitor.decoder();
  const dbc::FrameDecoder::SignalEntry& entry = decoder.signal(signal);
  const SignalState& state = m_monitor.state(signal);
  switch (column) {
    case kMessage:
      return Utf8(decoder.message(entry.message).message->name);
    case kSignal:
      return Utf8(entry.signal->name);
    case kValue: {
      char buf[dbc::SignalCodec::kTextSize];
      const std::size_t n = entry.codec.formatPhysical(state.bits, buf);
      return QString::fromLatin1(buf, static_cast<qsizetype>(n));
    }
    case kUnit:
      return Utf8(entry.signal->unit);
    case kText: {
      const std::string* valueText = entry.codec.text(state.bits);
      return valueText != nullptr ? Utf8(*valueText) : QString();
    }
    case kTime: {
      // The local time of day, from the zone's offset worked out once a repaint.
      const std::int64_t ms = state.time.wallUs / 1000 + m_utcOffsetMs;
      const std::int64_t day = ((ms % 86400000) + 86400000) % 86400000;
      char buf[16];
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(day / 3600000),
                    static_cast<int>(day / 60000 % 60), static_cast<int>(day / 1000 % 60),
                    static_cast<int>(day % 1000));
      return QString::fromLatin1(buf);
    }
    case kMinimum:
      return std::isinf(state.minimum) ? QString() : Number(state.minimum);
    case kMaximum:
      return std::isinf(state.maximum) ? QString() : Number(state.maximum);
    default:
      return {};
  }
}

QVariant SignalTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const std::uint32_t signal = m_rows[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return text(signal, index.column());
    case kNameRole:
      return Utf8(m_monitor.qualifiedName(signal));
    case Qt::TextAlignmentRole:
      if (index.column() == kValue || index.column() == kMinimum || index.column() == kMaximum)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case Qt::ToolTipRole: {
      if (index.column() != kMessage && index.column() != kSignal) return {};
      const dbc::FrameDecoder& decoder = m_monitor.decoder();
      const dbc::FrameDecoder::SignalEntry& entry = decoder.signal(signal);
      const dbc::FrameDecoder::MessageEntry& message = decoder.message(entry.message);
      const QString id = QStringLiteral("%1").arg(
          message.message->id, message.message->extended ? 8 : 3, 16, QLatin1Char('0'));
      QString tip = QStringLiteral("%1 (%2%3) in %4")
                        .arg(Utf8(message.message->name), id.toUpper(),
                             message.message->extended ? QStringLiteral(" ext") : QString(),
                             Utf8(message.database->fileName));
      const std::string& comment =
          index.column() == kSignal ? entry.signal->comment : message.message->comment;
      if (!comment.empty()) tip += QLatin1Char('\n') + Utf8(comment);
      return tip;
    }
    default:
      return {};
  }
}

QVariant SignalTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const names[kColumnCount] = {"Message",    "Signal", "Value", "Unit",
                                                  "Value text", "Last",   "Min",   "Max"};
  return section >= 0 && section < kColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}

SignalViewWindow::SignalViewWindow(SignalMonitor& monitor, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_monitor(monitor),
      m_model(new SignalTableModel(monitor, this)),
      m_filter(new QSortFilterProxyModel(this)),
      m_table(new QTableView(this)),
      m_filterEdit(new QLineEdit(this)),
      m_counts(new QLabel(this)),
      m_timer(new QTimer(this)) {
  setObjectName(QStringLiteral("SignalView"));
  setWindowTitle(QStringLiteral("Signals"));

  m_filter->setSourceModel(m_model);
  m_filter->setFilterRole(SignalTableModel::kNameRole);
  m_filter->setFilterKeyColumn(SignalTableModel::kMessage);
  m_filter->setFilterCaseSensitivity(Qt::CaseInsensitive);
  m_filter->setDynamicSortFilter(false);  // names never change: values need no re-filtering

  m_table->setObjectName(QStringLiteral("SignalTable"));
  // The received-frame list's font and painter: digits line up, and a repaint of the rows
  // shown costs little at display rate.
  m_table->setFont(MakeFont(QString::fromUtf8(kFontGothic), 13, true));
  m_table->setItemDelegate(new FixedTextDelegate(m_table));
  m_table->setModel(m_filter);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setWordWrap(false);
  m_table->verticalHeader()->hide();
  m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
  m_table->horizontalHeader()->setStretchLastSection(true);
  const int widths[SignalTableModel::kColumnCount] = {130, 170, 100, 50, 100, 90, 90, 90};
  for (int c = 0; c < SignalTableModel::kColumnCount; ++c) m_table->setColumnWidth(c, widths[c]);

  m_filterEdit->setObjectName(QStringLiteral("SignalFilter"));
  m_filterEdit->setPlaceholderText(QStringLiteral("Filter: message or signal name"));
  m_filterEdit->setClearButtonEnabled(true);
  connect(m_filterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
    m_filter->setFilterFixedString(text);
    showCounts();
  });
  auto* reset = new QPushButton(QStringLiteral("Reset min/max"), this);
  reset->setObjectName(QStringLiteral("BtnResetMinMax"));
  connect(reset, &QPushButton::clicked, this, [this] {
    m_monitor.resetExtremes();
    emit m_model->dataChanged(m_model->index(0, SignalTableModel::kMinimum),
                              m_model->index(m_model->rowCount() - 1, SignalTableModel::kMaximum));
  });
  auto* plot = new QPushButton(QStringLiteral("Plot selected"), this);
  plot->setObjectName(QStringLiteral("BtnPlotSelected"));
  connect(plot, &QPushButton::clicked, this, [this] {
    std::vector<std::uint32_t> chosen;
    for (const QModelIndex& row : m_table->selectionModel()->selectedRows()) {
      chosen.push_back(m_model->signalAt(m_filter->mapToSource(row).row()));
    }
    std::sort(chosen.begin(), chosen.end());
    if (!chosen.empty()) emit plotRequested(chosen);
  });
  m_counts->setObjectName(QStringLiteral("SignalCounts"));

  auto* bar = new QHBoxLayout;
  bar->addWidget(m_filterEdit, 1);
  bar->addWidget(reset);
  bar->addWidget(plot);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addLayout(bar);
  layout->addWidget(m_table, 1);
  layout->addWidget(m_counts);
  resize(900, 520);

  m_timer->setInterval(kRefreshIntervalMs);
  connect(m_timer, &QTimer::timeout, this, &SignalViewWindow::refresh);
  rebuild();
}

void SignalViewWindow::rebuild() {
  m_model->rebuild();
  showCounts();
}

void SignalViewWindow::refresh() {
  const int rows = m_model->rowCount();
  m_model->refresh();
  if (rows != m_model->rowCount()) showCounts();
}

void SignalViewWindow::showCounts() {
  const dbc::FrameDecoder& decoder = m_monitor.decoder();
  QString text;
  if (decoder.messageCount() == 0) {
    text = QStringLiteral("No DBC file loaded: Signals > Load DBC file...");
  } else {
    text = QStringLiteral("%1 of %2 signals seen (%3 messages defined)")
               .arg(m_model->rowCount())
               .arg(decoder.signalCount())
               .arg(decoder.messageCount());
    if (m_filter->rowCount() != m_model->rowCount())
      text += QStringLiteral(", %1 shown").arg(m_filter->rowCount());
  }
  m_counts->setText(text);
}

void SignalViewWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refresh();
  m_timer->start();
}

void SignalViewWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  m_timer->stop();
}

}  // namespace velqor
