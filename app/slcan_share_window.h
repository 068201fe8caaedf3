#pragma once
// The window of "&Tools" > "Share as slcan device...": the connected adapter served as an
// slcan device on a pseudo-terminal (SlcanShare) while the main window keeps working. It shows
// the path to give the host, whether the host has the channel open, what went each way, the
// command that makes a SocketCAN interface of it, and a start/stop toggle. Sharing lasts while
// the window is open: closing it stops sharing and the pseudo-terminal goes away.
//
// GUI thread. The bridge's failure (the pseudo-terminal broke) comes from its thread and is
// handed over by an OwnerWake.

#include <QTimer>
#include <QWidget>
#include <memory>
#include <mutex>
#include <string>

#include "app/slcan_share.h"
#include "link/owner_wake.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velqor {

class SlcanShareWindow : public QWidget {
  Q_OBJECT

 public:
  // How often the counters are brought up to date while sharing.
  static constexpr int kRefreshMs = 250;

  // `share` is owned by the window.
  explicit SlcanShareWindow(std::unique_ptr<SlcanShare> share, QWidget* parent = nullptr);
  ~SlcanShareWindow() override;

  // Starts sharing (when it does not run) and says how that went.
  void start();
  void stop();
  SlcanShare& share() { return *m_share; }

  QLineEdit* EditSlcanPath = nullptr;
  QLabel* LabSlcanState = nullptr;
  QLabel* LabSlcanCounters = nullptr;
  QLineEdit* EditSlcanHint = nullptr;
  QPushButton* BtnSlcanShare = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void refresh();
  void failed(const QString& why);

  std::unique_ptr<SlcanShare> m_share;
  QString m_stopped;  // why sharing stopped, until it starts again
  QTimer m_refresh;
  std::mutex m_failureMutex;
  QString m_failure;  // guarded by m_failureMutex
  std::unique_ptr<OwnerWake> m_failureWake;
};

}  // namespace velqor
