#pragma once
// "Signals": a window listing every signal decoded so far, a row each, in the order of the
// DBC files: message, signal, physical value, unit, value-table text, the time of its last
// value, the lowest and highest value seen. The rows show a SignalMonitor's states; their
// texts are made when the view paints them, and the view is told about changes on a timer at
// display rate (kRefreshIntervalMs, only while the window shows), never per frame.
//
// GUI thread only. The monitor must outlive the window.

#include <QAbstractTableModel>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "sigmon/signal_monitor.h"

class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;
class QTimer;

namespace velqor {

class SignalTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kMessage, kSignal, kValue, kUnit, kText, kTime, kMinimum, kMaximum, kColumnCount };
  // The role that holds "Message.Signal" (the filter looks there).
  static constexpr int kNameRole = Qt::UserRole + 1;

  explicit SignalTableModel(SignalMonitor& monitor, QObject* parent = nullptr);

  // The monitor's decoder changed: every signal seen so far, again.
  void rebuild();
  // New signals become rows; the values of the others are repainted if frames came.
  void refresh();

  std::uint32_t signalAt(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  QString text(std::uint32_t signal, int column) const;

  SignalMonitor& m_monitor;
  std::vector<std::uint32_t> m_rows;  // signal numbers, ascending
  std::uint64_t m_shownFrames = 0;    // the monitor's framesDecoded at the last repaint
  std::int64_t m_utcOffsetMs;         // the local time zone's, at the last repaint
};

class SignalViewWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRefreshIntervalMs = 40;  // 25 Hz

  SignalViewWindow(SignalMonitor& monitor, QWidget* parent = nullptr);

  // After the monitor's decoder changed.
  void rebuild();
  // What the timer does.
  void refresh();

  SignalTableModel* model() const { return m_model; }
  QTableView* table() const { return m_table; }

 signals:
  // "Plot selected": the signals of the selected rows.
  void plotRequested(const std::vector<std::uint32_t>& signalNumbers);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void showCounts();

  SignalMonitor& m_monitor;
  SignalTableModel* m_model;
  QSortFilterProxyModel* m_filter;
  QTableView* m_table;
  QLineEdit* m_filterEdit;
  QLabel* m_counts;
  QTimer* m_timer;
};

}  // namespace velqor
