#pragma once
// The "Trace" window: every frame on the bus and every frame the program sent, in the order
// they came, with the adapter's bus errors, failed sends and the program's events as rows of
// their own (a TraceRecorder fills the store; this window shows it and never changes it but
// for Clear and the filter).
//
// Controls, top to bottom: "Pause" (the rows shown stay, recording goes on, the status says
// how many rows are behind), "Clear", the filter ("EditTraceFilter", applied to every row kept
// as it is typed; trace/trace_filter.h has its syntax), find ("EditTraceFind", same syntax,
// with "<" and ">": the previous and next row it matches, from the current row, round the
// end), the time column's clock ("CmbTraceTime": since the connection or time of day),
// "Copy" (the selected rows as candump lines), "Save" (all rows or the shown ones, in the
// format of the file's extension: .log, .asc, .blf, .csv), a line for what went wrong with
// the filter or find, the table (traffic/trace_table.h), and the status line (rows kept,
// discarded, shown; frames/s, bus load, error frames since connect; rows behind).
//
// Saving runs on a thread of its own (trace/trace_export.h) with a progress dialog that can
// cancel it; what went wrong is shown in a message box naming the file.
//
// The message name column stays hidden until setMessageNamer gives it a namer, which is asked
// only for the rows being painted.
//
// GUI thread.

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "common/message_boxes.h"
#include "trace/trace_export.h"
#include "trace/trace_recorder.h"
#include "traffic/trace_table.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QTimer;
class QToolButton;

namespace velqor {

struct TraceWindowOptions {
  // The file to save to, and the name filter chosen among `filters` (";;"-separated); a file
  // dialog when empty. An empty path cancels.
  std::function<QString(QWidget* parent, const QString& filters, QString* chosenFilter)>
      chooseSaveFile;
  // The bus's bit rate in bits/s for the bus load, 0 when none is chosen.
  std::function<int()> bitRate;
};

class TraceWindow : public QWidget {
  Q_OBJECT

 public:
  using Options = TraceWindowOptions;
  // 10 repaints a second at most while rows come: at a full bus the rows pass faster than
  // anyone reads them, and the table costs the GUI thread half as much as at 20.
  static constexpr int kRefreshIntervalMs = 100;
  // Rows that Copy puts on the clipboard at most; Save takes any number.
  static constexpr std::size_t kCopyLimit = 100'000;

  // `recorder` and `boxes` must outlive the window.
  TraceWindow(TraceRecorder& recorder, MessageBoxes& boxes, Options options = {},
              QWidget* parent = nullptr);
  ~TraceWindow() override;

  // The message name of a frame for the "Message" column; an empty function hides the column.
  void setMessageNamer(std::function<QString(const CanFrame&)> namer);

  void setWallClock(bool wallClock);
  bool wallClock() const;

  // Takes the recorder's new rows into the table and the status line now (the window does it
  // on a timer while it is shown).
  void refresh();
  // The bus's rates as the status line and the main window's hint give them.
  QString busText() const;

  // The actions of the buttons.
  void setFilterText(const QString& text);
  bool findNext(bool forward);
  void copySelection();
  // Asks for a file and saves all rows or (`shownOnly`) the rows the filter shows.
  void save(bool shownOnly);
  // A save under way, for tests; null when none.
  const TraceExport* exportInProgress() const { return m_export.get(); }

  TraceTable* table() const { return m_table; }
  const TraceRecorder& recorder() const { return m_recorder; }
  QString statusText() const;
  QString messageText() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void filterTextChanged(const QString& text);
  void scanSlice();
  void clearRows();
  void setMessage(const QString& text, bool error);
  void updateStatus();
  void pollExport();

  TraceRecorder& m_recorder;
  MessageBoxes& m_boxes;
  Options m_options;
  TraceTable* m_table;
  QPushButton* m_pause;
  QPushButton* m_clear;
  QLineEdit* m_filter;
  QLineEdit* m_find;
  QToolButton* m_findPrevious;
  QToolButton* m_findNext;
  QComboBox* m_time;
  QPushButton* m_copy;
  QToolButton* m_save;
  QLabel* m_message;
  QLabel* m_status;
  QTimer* m_refresh;
  QTimer* m_scan;  // the filter's slices, one per turn of the event loop
  std::unique_ptr<TraceExport> m_export;
  QProgressDialog* m_progress = nullptr;
  QTimer* m_exportPoll;
  int m_statusTick = 0;
};

}  // namespace velqor
