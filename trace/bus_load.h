#pragma once
// How busy the bus is: frames a second and the share of the bit rate they take.
//
// A classical CAN data frame takes 44 bits with a standard identifier (SOF, 11 identifier
// bits, RTR, IDE, r0, 4 DLC bits, 15 CRC bits, CRC delimiter, ACK slot and delimiter, 7 EOF
// bits) and 64 with an extended one (SRR, IDE, 18 more identifier bits, r1), plus 8 bits a
// data byte (none for a remote frame), plus the 3 bits of intermission before the next. The
// transmitter stuffs a bit after five equal ones from SOF to the end of the CRC: at most one
// in four of those bits, about one in thirty for random data, more for data with long runs
// of 0 or 1 (unused bytes of 00 or FF). The frame's bits are not known here (only its DLC and
// IDE are looked at, to stay cheap at a full bus), so the stuff bits are estimated as one in
// ten of that stretch, rounded down; for the simulated vehicle's traffic the estimate lies
// within 5 % of the bits its frames really took.
//
// BusLoadMeter counts the frames of the last whole second by their arrival times, in ten
// slices of 100 ms, so a reading lags the bus by at most 0.1 s. GUI thread; not thread-safe.

#include <array>
#include <cstdint>
#include <span>

#include "link/can_frame.h"

namespace velqor {

// Bits a frame takes on the bus with the 3 bits of intermission, stuff bits estimated.
int EstimatedFrameBits(bool extended, std::uint8_t dlc, bool remote);
inline int EstimatedFrameBits(const CanFrame& f) {
  return EstimatedFrameBits(f.extended(), f.dlc, f.rtr());
}

class BusLoadMeter {
 public:
  static constexpr std::int64_t kSliceUs = 100'000;
  static constexpr int kSlices = 10;

  struct Reading {
    double framesPerSecond = 0;
    double bitsPerSecond = 0;
    // The share of `bitRate` (bits/s) the frames take, in percent; negative without a rate.
    double loadPercent(int bitRate) const {
      return bitRate > 0 ? 100.0 * bitsPerSecond / bitRate : -1.0;
    }
  };

  // Frames as they arrive (steady times about in order; a frame older than the last second
  // is not counted).
  void add(std::span<const CanFrame> frames);
  // The second before the slice `nowSteadyUs` falls in.
  Reading reading(std::int64_t nowSteadyUs) const;
  void clear();

 private:
  struct Slice {
    std::int64_t number = -1;  // steadyUs / kSliceUs
    std::uint32_t frames = 0;
    std::uint64_t bits = 0;
  };
  std::array<Slice, kSlices + 1> m_slices{};  // by number modulo kSlices + 1
};

}  // namespace velqor
