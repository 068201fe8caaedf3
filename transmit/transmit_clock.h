#pragma once
// The scheduler's clock and sleeper, behind an interface so that tests run the scheduler on
// a clock of their own and need no real time.
//
// MonotonicClock is the real one: CLOCK_MONOTONIC, and waits in poll on a timerfd armed with
// the absolute deadline (TFD_TIMER_ABSTIME, so a late wake never shifts later deadlines) and
// an eventfd that Wake() signals. It never spins.

#include <chrono>

#include "link/wake_fd.h"

namespace velqor {

class TransmitClock {
 public:
  static constexpr std::chrono::nanoseconds kNever = std::chrono::nanoseconds::max();

  virtual ~TransmitClock() = default;
  // Time on a steady clock.
  virtual std::chrono::nanoseconds Now() const = 0;
  // Blocks until Now() has reached `deadline` (kNever: no deadline), or until Wake() has been
  // called since the last return. May return early; the caller looks at the time again.
  virtual void WaitUntil(std::chrono::nanoseconds deadline) = 0;
  // Any thread: the waiting thread returns (a wake before the wait is kept).
  virtual void Wake() = 0;
};

class MonotonicClock final : public TransmitClock {
 public:
  // Throws std::system_error when the kernel refuses a timerfd or an eventfd.
  MonotonicClock();
  ~MonotonicClock() override;
  MonotonicClock(const MonotonicClock&) = delete;
  MonotonicClock& operator=(const MonotonicClock&) = delete;

  std::chrono::nanoseconds Now() const override;
  void WaitUntil(std::chrono::nanoseconds deadline) override;
  void Wake() override { m_wake.Signal(); }

 private:
  int m_timer = -1;
  WakeFd m_wake;
};

}  // namespace velqor
