#pragma once
// IdStatistics: per identifier, how many frames were received and sent, and the intervals
// between the received ones (the last, and the mean of the last ten), from the frames' own
// arrival times (steady clock). An identifier is its 32 bits, as the received-frame list
// keys its rows: a standard and an extended frame of the same value count together.
//
// Times come from the host's clock as the USB reports arrived: frames that came in one report
// share its time, so a single interval can be off by the time reports gather (a few
// milliseconds); the mean of ten is off by a tenth of that.
//
// GUI thread (a frame consumer); not thread-safe.

#include <array>
#include <cstdint>
#include <span>
#include <unordered_map>

#include "link/can_frame.h"

namespace velqor {

class IdStatistics {
 public:
  static constexpr int kMeanOf = 10;  // intervals the mean is taken over

  struct Entry {
    std::uint64_t count = 0;    // received frames
    std::uint64_t txCount = 0;  // frames this program sent
    // Arrival times of the last kMeanOf + 1 received frames, a ring; the newest at `newest`.
    std::array<std::int64_t, kMeanOf + 1> times{};
    int newest = 0;

    // The last interval and the mean of the last kMeanOf (fewer until that many came), in
    // microseconds; negative until two frames were received.
    std::int64_t lastIntervalUs() const;
    double meanIntervalUs() const;
  };

  // Every frame: received ones count and time, sent ones (CanFrame::kTx) count as sent.
  void add(std::span<const CanFrame> frames);
  void add(const CanFrame& frame) { add({&frame, 1}); }
  // "Clear": forgets everything.
  void clear() { m_entries.clear(); }

  // Nothing for an identifier not seen since the last clear.
  const Entry* find(std::uint32_t id) const;
  std::size_t size() const { return m_entries.size(); }

 private:
  std::unordered_map<std::uint32_t, Entry> m_entries;
};

}  // namespace velqor
