#pragma once
// The received-frame list of the "Receive" page: one row per identifier text, each new frame
// of an identifier overwriting its row (time, ide, DLC, data), a new identifier appended at
// the bottom. Rows are found through a hash from identifier to row, which gives what a walk
// over all rows comparing identifier texts would: the text (lower-case hexadecimal without
// leading zeros) and the value determine each other, and no two rows ever hold the same.
//
// A row keeps the values of its last frame (identifier, ide, DLC, data, the time of day it
// was processed and the display format chosen then), not texts: its five texts are made when
// the view asks for them, that is for the rows being painted, at display rate. So a frame
// costs a lookup and a copy, and a row keeps the format it was shown in until its
// identifier's next frame, as it always did.
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
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "link/can_frame.h"

namespace velqor {

class ReceivedFrameModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kTime = 0, kIde = 1, kId = 2, kDlc = 3, kData = 4, kColumnCount = 5 };
  // RxDispFormat item indexes.
  static constexpr int kHex = 0;
  static constexpr int kDec = 1;
  static constexpr int kRepaintIntervalMs = 20;  // 50 Hz

  using Clock = std::function<QTime()>;

  // `clock` gives the local time of day a frame is processed at (the frame has no time
  // stamp of its own); QTime::currentTime when empty.
  explicit ReceivedFrameModel(Clock clock = {}, QObject* parent = nullptr);

  // Updates or appends the row of each frame's identifier text, in order; all of them are
  // processed now (one reading of the clock). `displayFormat` is the item index of
  // RxDispFormat: 0 shows the data in hexadecimal, any other index in decimal. Rows already
  // shown keep their format until their identifier's next frame.
  void ShowReceivedFrames(std::span<const CanFrame> frames, int displayFormat);
  void ShowReceivedFrame(const CanFrame& frame, int displayFormat) {
    ShowReceivedFrames({&frame, 1}, displayFormat);
  }

  // "Clear": removes every row. SortColumn stays.
  void Clear();

  // A click on column header `column` (0..4): stores it in SortColumn and sorts every row
  // once, ascending, with ListViewCompare. Rows that compare equal keep their order. Rows
  // added later are appended unsorted.
  void ListViewColumnClick(int column);
  int SortColumn() const { return m_sortColumn; }

  // The comparison used while sorting by SortColumn: negative, 0 or positive. Time by its
  // text, ide by its number (CompareAsNumbers), ID(hex) by the identifier's value, standard
  // before extended when the values are equal; DLC and Data compare equal.
  int ListViewCompare(int row1, int row2) const;

  // The two texts read as decimal numbers: 0 when equal or when either is not a decimal
  // number, 1 when a is greater, otherwise -1.
  static int CompareAsNumbers(const QString& a, const QString& b);

  // Tells the view about everything pending now.
  void flush();
  bool hasPendingChanges() const;

  // The text of a cell, visible or still pending.
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
    std::uint32_t id = 0;     // the row's key
    std::int32_t timeMs = 0;  // milliseconds since midnight when the frame was processed
    std::uint8_t ide = 0;
    std::uint8_t dlc = 0;  // 0..8: a DLC above 8 is shown as 0
    bool hex = true;
    std::array<std::uint8_t, 8> data{};
  };
  // What the sort compares a row by in SortColumn: a number, then `tie` between equal ones,
  // or none (a row that compares equal to every row: DLC and Data).
  struct SortKey {
    bool valid = false;
    double value = 0;
    int tie = 0;
  };
  static QString cell(const Row& row, int column);
  SortKey sortKey(const Row& row) const;
  static int compareKeys(const SortKey& a, const SortKey& b);
  void schedule();
  void rebuildIndex();

  Clock m_clock;
  std::vector<Row> m_rows;
  QHash<std::uint32_t, int> m_rowById;
  int m_visibleRows = 0;  // rows the view knows of; the rest are pending inserts
  int m_dirtyFirst = -1;  // range of visible rows changed since the last flush
  int m_dirtyLast = -1;
  int m_sortColumn = 0;
  QTimer m_repaint;
};

}  // namespace velqor
