#include "trace/bus_load.h"

namespace velqor {

int EstimatedFrameBits(bool extended, std::uint8_t dlc, bool remote) {
  const int dataBits = remote ? 0 : 8 * (dlc > 8 ? 8 : dlc);
  const int stuffed = (extended ? 54 : 34) + dataBits;  // SOF to the end of the CRC
  constexpr int kIntermission = 3;
  return (extended ? 64 : 44) + dataBits + kIntermission + stuffed / 10;
}

void BusLoadMeter::add(std::span<const CanFrame> frames) {
  for (const CanFrame& f : frames) {
    const std::int64_t number = f.time.steadyUs / kSliceUs;
    constexpr std::int64_t n = kSlices + 1;
    Slice& s = m_slices[static_cast<std::size_t>((number % n + n) % n)];
    if (s.number != number) {
      if (s.number > number) continue;  // older than the slices kept
      s = Slice{number, 0, 0};
    }
    ++s.frames;
    s.bits += static_cast<std::uint64_t>(EstimatedFrameBits(f));
  }
}

BusLoadMeter::Reading BusLoadMeter::reading(std::int64_t nowSteadyUs) const {
  const std::int64_t current = nowSteadyUs / kSliceUs;
  Reading r;
  for (const Slice& s : m_slices) {
    if (s.number >= current - kSlices && s.number < current) {
      r.framesPerSecond += s.frames;
      r.bitsPerSecond += static_cast<double>(s.bits);
    }
  }
  return r;  // the kSlices slices make one second
}

void BusLoadMeter::clear() { m_slices = {}; }

}  // namespace velqor
