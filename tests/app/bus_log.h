#pragma once
// What the window's own sends leave behind: on the simulated bus (BusLog, fed by the adapter's
// bus observer on its runner thread) and on the window's frame path (SentFrames, the frames a
// trace gets marked sent).

#include <chrono>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "link/frame_consumer.h"
#include "sim/sim_adapter.h"

namespace velqor::test {

// The adapter's own frames completed on the simulated bus, from the runner thread.
class BusLog {
 public:
  struct Frame {
    std::chrono::nanoseconds start;
    std::uint32_t id;
    std::uint8_t data0;
  };
  void Add(const SimBusRecord& r) {
    if (!r.own) return;
    std::lock_guard lock(m_mutex);
    m_frames.push_back({r.start, r.frame.id, r.frame.data[0]});
  }
  std::vector<Frame> Frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<Frame> m_frames;
};

// The program's own frames as the trace gets them (marked sent), GUI thread.
struct SentFrames final : FrameConsumer {
  void OnFrames(std::span<const CanFrame> frames) override {
    for (const CanFrame& f : frames) {
      if (f.flags & CanFrame::kTx) ids.push_back(f.id);
    }
  }
  std::vector<std::uint32_t> ids;
};

}  // namespace velqor::test
