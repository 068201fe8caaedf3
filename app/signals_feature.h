#pragma once
// The main window's "&Signals" menu and what hangs on it:
// - the DBC files: "Load DBC file(s)..." adds files, each file's own entry reloads or unloads
//   it; the list is kept in the settings file ([SIGNALS]) and loaded at start. Files load on a
//   thread of their own (DbcLoadJob), whole or not at all; the files that did not load are
//   said once per load, in one box (what and where), and stay listed, marked, so that a later
//   start (or "Reload") tries again;
// - "Signal view" and "Plot", windows over a SignalMonitor that takes every received frame
//   from the receive path (a FrameConsumer: one decoding per frame, nothing formatted);
// - "Mailbox from signals...": a transmit mailbox row of the "TxSet" page filled from the
//   signal values of a message (also from a context menu on the row: a right click on its
//   number, ide box, SEND button or the space between them);
// - messageNamer(): the message name of a frame's identifier for other views (the trace). The
//   namer follows the files as they load and unload (messageNamerChanged says when its
//   answers change, for a view to repaint), and stays callable after this object is gone
//   (it then names nothing).
//
// GUI thread only.

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/ini_file.h"
#include "common/message_boxes.h"
#include "link/frame_consumer.h"
#include "sigmon/dbc_set.h"
#include "sigmon/signal_monitor.h"

class QAction;
class QDialog;
class QMenu;
class QWidget;

namespace velqor {

class OwnerWake;
class ReceivePath;
class SignalPlotWindow;
class SignalViewWindow;
class TxSetPage;

class SignalsFeature : public QObject, private FrameConsumer {
  Q_OBJECT

 public:
  // Everything given must outlive this object; `window` parents the menu, the windows and the
  // dialogs; `runModal` shows a dialog modally.
  SignalsFeature(QWidget& window, MessageBoxes& boxes, ReceivePath& receivePath, TxSetPage& txSet,
                 std::function<void(QDialog&)> runModal);
  ~SignalsFeature() override;

  QMenu* menu() const { return m_menu; }

  // [SIGNALS]: the files of the list start loading; saved as the list stands (files still
  // loading included).
  void loadSettings(const IniFile& ini);
  void saveSettings(IniFile& ini) const;

  // Adds the files (or loads them again, in their place); they load on a thread.
  void loadFiles(const QStringList& paths);
  void unloadFile(const QString& path);
  // Files are being read.
  bool loading() const { return m_job != nullptr; }
  // Where "Load DBC file(s)..." gets its files; a file dialog when not set.
  void setFileChooser(std::function<QStringList()> choose) { m_chooseFiles = std::move(choose); }

  const DbcSet& dbcSet() const { return m_set; }
  SignalMonitor& monitor() { return m_monitor; }

  // The windows, made when first shown.
  SignalViewWindow* showSignalView();
  SignalPlotWindow* showPlot();
  SignalViewWindow* signalView() const { return m_view; }
  SignalPlotWindow* plotWindow() const { return m_plot; }

  // "Mailbox from signals..." on mailbox row `row` (1..8).
  void editMailbox(int row);

  // The name of the message a frame's identifier and IDE name in the files loaded at the time
  // of the call, or an empty text. For the GUI thread (where the files change).
  std::function<QString(const CanFrame&)> messageNamer() const;

 signals:
  // The loaded files changed (a load finished, a file was unloaded).
  void messageNamerChanged();

 private:
  void OnFrames(std::span<const CanFrame> frames) override;
  void startNextJob();
  void jobFinished();
  void applyFiles();
  void rebuildFileEntries();
  void showTxSetMenu(const QPoint& pos);

  QWidget& m_window;
  MessageBoxes& m_boxes;
  ReceivePath& m_receivePath;
  TxSetPage& m_txSet;
  std::function<void(QDialog&)> m_runModal;
  std::function<QStringList()> m_chooseFiles;

  DbcSet m_set;
  // The decoder the namers ask: the set's, replaced on each change, emptied on destruction.
  std::shared_ptr<std::shared_ptr<const dbc::FrameDecoder>> m_namerDecoder;
  SignalMonitor m_monitor;
  std::vector<std::string> m_waiting;  // paths to load after the running job
  std::unique_ptr<OwnerWake> m_jobWake;
  std::unique_ptr<DbcLoadJob> m_job;  // after the wake it signals: goes first

  QMenu* m_menu;        // the window's menu bar shows it; ours to delete
  QAction* m_filesEnd;  // the separator after the file entries
  std::vector<QAction*> m_fileEntries;
  // Ours to delete (the window only parents them), before the monitor they show.
  SignalViewWindow* m_view = nullptr;
  SignalPlotWindow* m_plot = nullptr;
};

}  // namespace velqor
