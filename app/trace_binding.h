#pragma once
// The trace in the main window: the recorder on the window's frame path (every frame received
// and sent, and the other device messages as an observer), the program's own events as rows
// (the connect switch, the adapter unplugged and back by itself, frames the receive queue
// lost), the "Trace" window, the bus's rates as the status bar's hint, and the settings of the
// trace and of the received-frame list's optional columns ([TRACE], [RXCOLUMNS]).
//
// GUI thread. Destroy it before the window's receive path.

#include <QObject>
#include <QTimer>
#include <memory>

#include "common/ini_file.h"
#include "common/message_boxes.h"
#include "trace/trace_recorder.h"
#include "traffic/trace_window.h"

namespace velqor {

class TFrmMain;

class TraceBinding : public QObject {
  Q_OBJECT

 public:
  static constexpr int kHintIntervalMs = 1000;

  // Reads its sections from `settings` (inside the window's batch).
  TraceBinding(TFrmMain& main, MessageBoxes& boxes, const IniFile& settings,
               TraceWindowOptions options = {});
  ~TraceBinding() override;

  void saveSettings(IniFile& settings) const;

  TraceRecorder& recorder() { return *m_recorder; }
  TraceWindow& window() { return *m_window; }
  // The bus's rates now, as the status bar's hint shows them.
  QString hintText() const;

 private:
  void updateHint();

  TFrmMain& m_main;
  std::unique_ptr<TraceRecorder> m_recorder;
  std::unique_ptr<TraceWindow> m_window;
  QTimer m_hint;
  quint64 m_lostSeen = 0;
};

}  // namespace velqor
