#pragma once
// Helpers for driving a SimAdapter in tests: send builder frames, run the model, and read
// back what it sent, as raw device frames or as interpreter messages.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "link/interpreter.h"
#include "link/protocol.h"
#include "sim/sim_adapter.h"

namespace velqor::test {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// A quiet bus: only what the test sends is on it.
inline SimOptions Quiet() {
  SimOptions o;
  o.profileEnabled = false;
  return o;
}

// Cuts the byte stream of input reports into whole device frames (padding skipped).
class FrameSplitter {
 public:
  void Feed(std::span<const std::uint8_t> bytes) {
    for (const auto b : bytes) {
      if (m_cur.empty() && b != kFrameStart) continue;
      m_cur.push_back(b);
      if (m_cur.size() >= 2 && m_cur.size() == std::size_t{m_cur[1]} + 2) {
        frames.push_back(std::move(m_cur));
        m_cur.clear();
      }
    }
  }
  std::vector<Bytes> frames;

 private:
  Bytes m_cur;
};

// One decoded message as the program would see it: a received frame (code 202) or another
// message with its record.
struct Seen {
  int code;
  DeviceMessage message;
  CanFrame frame;
};

class Collector : public DeviceMessageSink {
 public:
  void OnReceivedFrame(const CanFrame& frame) override {
    seen.push_back({MsgCode::ReceivedFrame, {}, frame});
  }
  void OnDeviceMessage(int code, const DeviceMessage& message) override {
    seen.push_back({code, message, {}});
  }
  std::vector<Seen> seen;
};

// Runs `sim` for `span` of simulated time and returns the frames it sent.
inline std::vector<Bytes> RunFor(SimAdapter& sim, std::chrono::nanoseconds span = 20ms) {
  sim.AdvanceTo(sim.Now() + span);
  FrameSplitter splitter;
  InputReport report;
  while (sim.TakeInputReport(report)) splitter.Feed(report);
  return splitter.frames;
}

// Sends one command and returns the frames sent in answer within 20 ms.
inline std::vector<Bytes> Ask(SimAdapter& sim, const Frame& command) {
  sim.Write(command);
  return RunFor(sim);
}

inline Bytes Hex(std::initializer_list<int> values) {
  Bytes b;
  for (int v : values) b.push_back(static_cast<std::uint8_t>(v));
  return b;
}

}  // namespace velqor::test
