#pragma once
// A frame consumer that keeps a copy of every frame it is handed, and the size of each batch.

#include <cstdint>
#include <span>
#include <vector>

#include "link/frame_consumer.h"

namespace velqor::test {

class FrameRecorder : public FrameConsumer {
 public:
  void OnFrames(std::span<const CanFrame> batch) override {
    frames.insert(frames.end(), batch.begin(), batch.end());
    batches.push_back(batch.size());
  }
  std::vector<std::uint32_t> ids() const {
    std::vector<std::uint32_t> out;
    for (const CanFrame& f : frames) out.push_back(f.id);
    return out;
  }

  std::vector<CanFrame> frames;
  std::vector<std::size_t> batches;
};

}  // namespace velqor::test
