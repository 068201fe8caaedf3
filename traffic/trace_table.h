#pragma once
// The trace's table: a QTableView ("TraceView") that shows one page of a TraceView's rows, the
// rows that fit, with a scroll bar of its own ("TraceScrollBar") over all of them.
//
// Why a page: a QTableView keeps a header section per row (8 bytes each) and goes over all of
// them when rows come and go, which at millions of rows and a full bus costs more than the
// trace itself. Its model here (TracePageModel) holds only the page, from view row `top` on;
// scrolling changes `top` and repaints the page, whatever the number of rows. The table takes
// over what the view would have done for all rows: the scroll bar, the wheel, the keys that
// move through the rows, and the selection, which it keeps as rows of the store
// (TraceSelection), not of the page.
//
// Following: while the last row is in sight the table follows the newest rows (auto-scroll);
// scrolling up stops that, scrolling back to the bottom starts it again. Pause freezes the
// rows shown while recording goes on; rowsBehind() counts what came since. Texts are made for
// the painted rows only, the message name (setMessageNamer) too.
//
// GUI thread.

#include <QAbstractTableModel>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "trace/trace_recorder.h"
#include "trace/trace_selection.h"

class QScrollBar;
class QTableView;

namespace velqor {

class TracePageModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kTime, kDirection, kType, kId, kDlc, kData, kName, kColumnCount };
  using Namer = std::function<QString(const CanFrame&)>;

  TracePageModel(const TraceRecorder& recorder, const TraceSelection& selection,
                 QObject* parent = nullptr);

  // Shows `rows` view rows from `top` on (fewer at the end of the view).
  void setPage(std::size_t top, int rows);
  std::size_t top() const { return m_top; }
  std::uint64_t seqAt(int pageRow) const;
  // The page's contents changed (new texts, selection): repaint it.
  void repaint();

  void setWallClock(bool wallClock);
  bool wallClock() const { return m_wallClock; }
  void setNamer(Namer namer) { m_namer = std::move(namer); }
  bool hasNamer() const { return static_cast<bool>(m_namer); }
  // Calls of the namer so far (it is asked only for the painted rows).
  std::uint64_t namerCalls() const { return m_namerCalls; }

  // The text of a cell of view row `row` (any row, shown or not).
  QString text(std::size_t row, int column) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  QString cell(std::uint64_t seq, int column) const;

  const TraceRecorder& m_recorder;
  const TraceSelection& m_selection;
  std::size_t m_top = 0;
  int m_rows = 0;
  bool m_wallClock = false;
  Namer m_namer;
  mutable std::uint64_t m_namerCalls = 0;
};

class TraceTable : public QWidget {
  Q_OBJECT

 public:
  explicit TraceTable(const TraceRecorder& recorder, QWidget* parent = nullptr);

  // Takes what the recorder's view did since the last time: rows that left its front (the
  // page keeps its rows), new rows (followed while following); then repaints.
  void refresh();
  // The view was replaced (a new filter): the page goes to the current row once the filter
  // found it, or stays at the bottom while following.
  void viewReplaced();

  void setPaused(bool paused);
  bool paused() const { return m_paused; }
  // Rows of the view that came since the pause and are not shown.
  std::size_t rowsBehind() const;
  // Rows the table shows (all of the view's unless paused).
  std::size_t rowCount() const { return m_limit; }
  bool following() const { return m_follow; }

  // The first row shown and how many fit; scrolling as the scroll bar does.
  std::size_t top() const { return m_model->top(); }
  int fullRows() const;
  void scrollTo(std::size_t top);
  // Makes `row` the current row, selected alone, shown in the middle of the page.
  void goToRow(std::size_t row);
  // The current row (the last clicked or moved to), if it is in the view.
  std::optional<std::size_t> currentRow() const;

  const TraceSelection& selection() const { return m_selection; }
  void selectAll();
  // The selected rows of the view, in order: their seqs, at most `limit` (and whether there
  // were more).
  std::vector<std::uint64_t> selectedSeqs(std::size_t limit, bool* more = nullptr) const;

  TracePageModel* model() const { return m_model; }
  QTableView* view() const { return m_view; }

 signals:
  // The user moved through the rows (the window's status and find start from there).
  void currentChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::size_t maxTop() const;
  void applyPage();
  void updateScrollBar();
  void scrolledByUser(std::size_t top);
  // Clicks and keys: `row` of the view becomes current; with `extend` the selection runs
  // from the anchor to it, with `toggle` it is added or taken away, else it is selected alone.
  void moveTo(std::size_t row, bool extend, bool toggle);
  std::optional<std::size_t> rowAt(int y) const;
  bool keyPress(QKeyEvent* event);

  const TraceRecorder& m_recorder;
  TraceSelection m_selection;
  TracePageModel* m_model;
  QTableView* m_view;
  QScrollBar* m_scrollBar;
  std::size_t m_limit = 0;  // rows shown: the view's count, or frozen while paused
  bool m_follow = true;
  bool m_paused = false;
  bool m_settingScrollBar = false;
  std::uint64_t m_pauseSeq = 0;  // rows from this seq on came after the pause
  std::uint64_t m_goneSeen = 0;  // the recorder's rowsGoneFromView at the last refresh
  std::uint64_t m_current = ~std::uint64_t{0};  // seq of the current row
  std::uint64_t m_anchor = ~std::uint64_t{0};
  bool m_centerOnCurrent = false;  // once the filter has found the current row
  bool m_dragging = false;
};

}  // namespace velqor
