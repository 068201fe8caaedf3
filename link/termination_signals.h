#pragma once
// SIGINT and SIGTERM end the program in order, not at once: the program closes its main
// window as the close box does (settings saved, log and links closed), velqor-cli ends the
// command that runs. The signal handler only writes to an eventfd, which is
// async-signal-safe; the event loop of the thread that made this object sees it and runs
// `close` there.
//
// `close` runs once, at the first signal. Later signals while the program is closing are
// taken and ignored, so a second Ctrl-C cannot cut the shutdown short. After disarm() (the
// event loop has ended and the window is going down) signals are still taken and ignored.
// The previous dispositions come back when this object is destroyed.
//
// One object at a time in a process.

#include <csignal>
#include <functional>

#include "link/owner_wake.h"

namespace velqor {

class TerminationSignals {
 public:
  // Construct on the GUI thread, which must run a Qt event loop for `close` to run.
  explicit TerminationSignals(std::function<void()> close);
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // From now on a signal does nothing.
  void disarm() { m_armed = false; }
  // Signals seen by the event loop so far (two close together may count as one).
  int handled() const { return m_handled; }

 private:
  void Woken();

  std::function<void()> m_close;
  bool m_armed = true;
  bool m_closing = false;
  int m_handled = 0;
  OwnerWake m_wake;
  struct sigaction m_oldInt {};
  struct sigaction m_oldTerm {};
};

}  // namespace velqor
