#pragma once
// Frames for the trace's tests.

#include <cstdint>
#include <initializer_list>

#include "link/can_frame.h"

namespace velqor::test {

// A frame at `steadyUs` on the steady clock and `steadyUs + offsetUs` on the wall clock.
inline CanFrame TraceFrame(std::int64_t steadyUs, std::uint32_t id,
                           std::initializer_list<std::uint8_t> data = {}, std::uint8_t flags = 0,
                           bool extended = false, std::int64_t offsetUs = 1'700'000'000'000'000) {
  CanFrame f;
  f.time = {steadyUs, steadyUs + offsetUs};
  f.id = id;
  f.ide = extended ? 1 : 0;
  f.flags = flags;
  std::size_t i = 0;
  for (std::uint8_t b : data) f.data[i++] = b;
  f.dlc = static_cast<std::uint8_t>(data.size());
  return f;
}

}  // namespace velqor::test
