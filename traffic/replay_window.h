#pragma once
// The replay window ("&Tools" > "Replay..."): a recorded log of any format sent onto the bus
// through the adapter with its recorded timing (speed x0.25 to x4, or as fast as the link
// allows), once or in a loop, all frames or only chosen identifiers; a progress bar, Start
// and Stop. The logic is ReplaySession's; this window binds its controls to it.
//
// Controls (objectName): EditReplayFile and BtnReplayOpen (the log), CmbReplayFormat (from
// the extension, or a format named), CmbReplaySpeed, ChkReplayLoop, EditReplayIds,
// ReplayProgress, LabReplayStatus, BtnReplayStart, BtnReplayStop.
//
// The replay runs on a thread of its own and sends through the window's send path, so that
// its frames reach the frame path as sent frames; the GUI thread only starts, stops and
// shows. The end of a replay (also by an error: a file that does not read says its file and
// line here) is handed over by an OwnerWake; progress is looked at ten times a second. A link
// that closes while the replay runs stops it.

#include <QWidget>
#include <functional>
#include <memory>

#include "traffic/replay_session.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace velqor {

class OwnerWake;

class ReplayWindow : public QWidget {
  Q_OBJECT

 public:
  struct Hooks {
    // Whether the adapter's link is open (a replay into a closed link sends nothing).
    std::function<bool()> linkOpen;
    // The bus's bit rate in bits/s (the Config page's choice), which spaces the frames when
    // no send results come back.
    std::function<int()> bitRate;
    // Whether the adapter's answers to the replay's frames are handed to session() (through
    // the owner of the send results); without them nothing waits for an answer.
    bool sendResults = false;
  };

  // The formats CmbReplayFormat offers after its first item, "from the extension".
  static constexpr LogFormat kFormats[] = {LogFormat::Candump, LogFormat::Asc, LogFormat::Blf,
                                           LogFormat::Csv, LogFormat::DataLog};

  // `out` must outlive the window; it is called on the replay thread.
  ReplayWindow(DeviceSender& out, Hooks hooks, QWidget* parent = nullptr);
  ~ReplayWindow() override;  // stops a replay that runs

  ReplaySession& session() { return m_session; }
  bool Running() const { return m_running; }

  void OpenClick();
  void StartClick();
  void StopClick();

 private:
  void showProgress();
  void finished();  // GUI thread, after the replay thread ended
  void setRunning(bool running);
  void setStatus(const QString& text, bool error = false);

  Hooks m_hooks;
  ReplaySession m_session;
  std::unique_ptr<OwnerWake> m_finishedWake;
  bool m_running = false;
  bool m_stopped = false;  // by Stop or a closed link, not by the end of the log
  QString m_stopReason;

  QLineEdit* m_file = nullptr;
  QPushButton* m_open = nullptr;
  QComboBox* m_format = nullptr;
  QComboBox* m_speed = nullptr;
  QCheckBox* m_loop = nullptr;
  QLineEdit* m_ids = nullptr;
  QProgressBar* m_progress = nullptr;
  QLabel* m_status = nullptr;
  QPushButton* m_start = nullptr;
  QPushButton* m_stop = nullptr;
  QTimer* m_timer = nullptr;
};

}  // namespace velqor
