#pragma once
// The received-frame list of the "Receive" page: one row per identifier text, each new frame
// of an identifier overwriting its row (time, ide, DLC, data), a new identifier appended at
// the bottom. Rows are found through a hash from identifier text to row, which gives what a
// walk over all rows comparing texts would, since no two rows ever hold the same text.
//
// The view is told about changes at display rate, not per frame: new rows become visible in
// one beginInsertRows per batch and updated rows in one dataChanged over the touched range,
// both on a timer (kRepaintIntervalMs). flush() does the same at once.
//
// GUI thread only.

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QTime>
#include <QTimer>
#include <functional>
#include <vector>

#include "traffic/rx_frame.h"

namespace velqor {

class ReceivedFrameModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kTime = 0, kIde = 1, kId = 2, kDlc = 3, kData = 4, kColumnCount = 5 };
  // RxDispFormat item indexes.
  static constexpr int kHex = 0;
  static constexpr int kDec = 1;
  static constexpr int kRepaintIntervalMs = 25;  // 40 Hz

  using Clock = std::function<QTime()>;

  // `clock` gives the local time of day a frame is processed at (the frame has no time
  // stamp of its own); QTime::currentTime when empty.
  explicit ReceivedFrameModel(Clock clock = {}, QObject* parent = nullptr);

  // Updates or appends the row of `frame`'s identifier text. `displayFormat` is the item
  // index of RxDispFormat: 0 shows the data in hexadecimal, any other index in decimal.
  // Rows already shown keep their format until their identifier's next frame.
  void ShowReceivedFrame(const RxFrame& frame, int displayFormat);

  // "Clear": removes every row. SortColumn stays.
  void Clear();

  // A click on column header `column` (0..4): stores it in SortColumn and sorts every row
  // once, ascending, with ListViewCompare. Rows that compare equal keep their order. Rows
  // added later are appended unsorted.
  void ListViewColumnClick(int column);
  int SortColumn() const { return m_sortColumn; }

  // The comparison used while sorting by SortColumn: negative, 0 or positive.
  int ListViewCompare(int row1, int row2) const;

  // The two texts read as decimal numbers: 0 when equal or when either is not a decimal
  // number, 1 when a is greater, otherwise -1.
  static int CompareAsNumbers(const QString& a, const QString& b);

  // Tells the view about everything pending now.
  void flush();
  bool hasPendingChanges() const;

  // The text of a cell, visible or still pending; for tests and the log.
  QString text(int row, int column) const;
  // Every row held, pending ones included.
  int heldRowCount() const { return static_cast<int>(m_rows.size()); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // The column widths the list shows, in pixels.
  static int columnWidth(int column);

 private:
  struct Row {
    QString time;
    QString ide;
    QString id;  // the row's key
    QString dlc;
    QString data;
  };
  static const QString& cell(const Row& row, int column);
  void schedule();
  void rebuildIndex();

  Clock m_clock;
  std::vector<Row> m_rows;
  QHash<QString, int> m_rowById;
  int m_visibleRows = 0;  // rows the view knows of; the rest are pending inserts
  int m_dirtyFirst = -1;  // range of visible rows changed since the last flush
  int m_dirtyLast = -1;
  int m_sortColumn = 0;
  QTimer m_repaint;
};

}  // namespace velqor
