#pragma once
// OwnerWake: hands work from worker threads to the thread that owns a component. Any thread
// calls Wake(); the owner's event loop then runs the handler once for all the wakes so far
// (one hand-over per batch). The worker never waits for the owner.
//
// The hand-over is an eventfd watched by a QSocketNotifier in the owner's event loop: the
// worker shares nothing with the owner but the state the handler reads under its own locks
// or atomics, which keeps the hand-over visible to ThreadSanitizer (Qt's own posted-event
// queue synchronises through futexes it cannot see).

#include <QObject>
#include <functional>
#include <memory>

#include "link/wake_fd.h"

class QSocketNotifier;

namespace velqor {

class OwnerWake {
 public:
  // Construct on the owner's thread, which must run a Qt event loop for the handler to run.
  explicit OwnerWake(std::function<void()> handler);
  ~OwnerWake();
  OwnerWake(const OwnerWake&) = delete;
  OwnerWake& operator=(const OwnerWake&) = delete;

  void Wake() const { m_fd.Signal(); }
  // The eventfd itself, for a signal handler (a write to it is async-signal-safe).
  int Descriptor() const { return m_fd.Descriptor(); }

 private:
  WakeFd m_fd;
  std::function<void()> m_handler;
  std::unique_ptr<QSocketNotifier> m_notifier;
};

}  // namespace velqor
