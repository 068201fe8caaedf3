#pragma once
// Waveform capture: the line voltages of the simulated bus, sampled the way the adapter's
// converter does (200 eight-bit samples of 5/256 V) around the start of a frame.

#include <array>
#include <chrono>
#include <cstdint>
#include <span>

#include "link/protocol.h"
#include "sim/can_bitstream.h"
#include "sim/sim_random.h"

namespace velqor {

// What the bus carried from `start` on: `size` bits of `bitTimeNs` each. A frame, or a frame
// cut short by an error flag. Before and after a segment the bus is idle (recessive).
inline constexpr std::size_t kMaxSegmentBits = 176;
struct BusSegment {
  std::chrono::nanoseconds start{0};
  std::uint32_t bitTimeNs = 1000;
  std::array<std::uint8_t, kMaxSegmentBits> bits{};
  std::uint16_t size = 0;

  std::chrono::nanoseconds End() const {
    return start + std::chrono::nanoseconds(std::int64_t{size} * bitTimeNs);
  }
};

// Nominal line voltages. With the adapter's terminator on the bus sees 60 ohm and the usual
// levels; with it off only the far end terminates and the dominant levels spread a little.
struct LineLevels {
  double recessive = 2.5;  // CAN_H and CAN_L alike
  double dominantH = 3.5;
  double dominantL = 1.5;
};
LineLevels BusLevels(bool terminatorOn);

// Nominal voltage of a capture port (kPortCanL, kPortCanH, kPortDifferential) for a bit level.
double PortVolts(std::uint8_t port, std::uint8_t bit, const LineLevels& levels);

// True when an edge from recessive to dominant passes the trigger level (level byte =
// volts x 10) on the port: the level lies between the recessive level (included) and the
// dominant level (excluded). Such a level catches every frame; any other level none.
bool TriggerCrossed(std::uint8_t port, std::uint8_t levelByte, const LineLevels& levels);

inline constexpr int kPreTriggerSamples = 20;
inline constexpr std::chrono::nanoseconds kCaptureSpan = std::chrono::microseconds(100);

// The sample interval for a bit time: a whole fraction of a bit, so that 200 samples span
// about 100 us (500 ns at 250 kbit/s, 500 kbit/s and 1 Mbit/s).
std::uint16_t SampleIntervalNs(std::uint32_t bitTimeNs);

struct CaptureSetup {
  std::uint8_t port = kPortDifferential;
  bool terminatorOn = true;
  std::uint16_t intervalNs = 500;
  std::chrono::nanoseconds triggerTime{0};  // the start of frame that triggered
  std::uint8_t triggerPhase = 0;  // the edge lies phase/256 of an interval after its sample
  std::uint8_t sequence = 0;      // running number of the capture
};

// Samples i = 0..199 are taken at triggerTime - (kPreTriggerSamples + phase/256) x interval
// + i x interval. The block carries: head = {pre-trigger samples, port}, the interval, the
// samples and tail = {trigger phase, sequence}.
WaveformBlock RenderWaveform(const CaptureSetup& setup, std::span<const BusSegment> segments,
                             SimRandom& random);

}  // namespace velqor
