#include "link/can_frame.h"

#include <time.h>

namespace velqor {

namespace {
std::int64_t Microseconds(clockid_t clock) {
  timespec now{};
  ::clock_gettime(clock, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}
}  // namespace

CanTime CanTime::Now() { return {Microseconds(CLOCK_MONOTONIC), Microseconds(CLOCK_REALTIME)}; }

}  // namespace velqor
