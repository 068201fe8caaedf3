#include "transmit/transmit_clock.h"

#include <poll.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

namespace velqor {

MonotonicClock::MonotonicClock()
    : m_timer(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)) {
  if (m_timer < 0) throw std::system_error(errno, std::generic_category(), "timerfd_create");
}

MonotonicClock::~MonotonicClock() { ::close(m_timer); }

std::chrono::nanoseconds MonotonicClock::Now() const {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);  // cannot fail for this clock
  return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

void MonotonicClock::WaitUntil(std::chrono::nanoseconds deadline) {
  itimerspec when{};  // all zero: disarmed
  if (deadline != kNever) {
    // A deadline already past (or zero, which would disarm) fires at once.
    const std::int64_t ns = std::max<std::int64_t>(deadline.count(), 1);
    when.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    when.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
  }
  if (::timerfd_settime(m_timer, TFD_TIMER_ABSTIME, &when, nullptr) < 0) {
    throw std::system_error(errno, std::generic_category(), "timerfd_settime");
  }
  pollfd fds[2] = {{m_timer, POLLIN, 0}, {m_wake.Descriptor(), POLLIN, 0}};
  while (::poll(fds, 2, -1) < 0) {
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
  }
  if (fds[0].revents & POLLIN) {
    std::uint64_t expirations = 0;
    while (::read(m_timer, &expirations, sizeof expirations) < 0 && errno == EINTR) {
    }
  }
  if (fds[1].revents & POLLIN) m_wake.Drain();
}

}  // namespace velqor
