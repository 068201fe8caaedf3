#pragma once
// Waveform capture: the line voltages of the simulated bus, sampled the way the adapter's
// converter does (200 eight-bit samples of 5/256 V) around the start of a frame.
//
// The model of the capture channels:
// - CAN_L and CAN_H are the line voltages against ground: both 2.5 V while the bus is
//   recessive; dominant CAN_H 3.5 V and CAN_L 1.5 V with the adapter's terminator on (60 ohm
//   on the bus), 3.65 V and 1.35 V with it off (only the far end's 120 ohm).
// - Differential is CAN_H - CAN_L measured about the converter's mid-scale of 2.5 V:
//   volts = 2.5 + (CAN_H - CAN_L). A recessive bus reads 2.5 V, a dominant bit 4.5 V
//   (4.8 V without the terminator); a negative differential voltage reads below 2.5 V, and
//   beyond +2.48 V the converter clips at 4.98 V. So the chart's 0 ... 5 V axis shows every
//   channel, and the default trigger level (2.5 V) lies on each channel's recessive level.
// - The trigger fires on the first edge of a frame (its start of frame, after bus idle) when
//   the level lies between the channel's recessive level (included) and its dominant level
//   (excluded): the edge from recessive to dominant passes it. Any other level never fires.
// - Edges settle exponentially: the transmitter drives the dominant level (time constant
//   40 ns); the return to recessive is passive, through the termination (60 ns, 120 ns
//   without the adapter's terminator, where only half the load discharges the bus).
// - The converter runs from its own clock: one sample every kSampleIntervalNs at every bit
//   rate, about 97 us per block. A bit is not a whole number of intervals, so the edges of a
//   frame fall at every phase of the sample clock, as they do with a real sender.
// - Each line carries triangular noise of +-25 mV (independent on CAN_H and CAN_L).

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

// Nominal line voltages (see above).
struct LineLevels {
  double recessive = 2.5;  // CAN_H and CAN_L alike
  double dominantH = 3.5;
  double dominantL = 1.5;
};
LineLevels BusLevels(bool terminatorOn);

// Nominal voltage of a capture port (kPortCanL, kPortCanH, kPortDifferential) for a bit level,
// as the converter reads it (the differential port about its 2.5 V mid-scale).
double PortVolts(std::uint8_t port, std::uint8_t bit, const LineLevels& levels);

// True when an edge from recessive to dominant passes the trigger level (level byte =
// volts x 10) on the port: the level lies between the recessive level (included) and the
// dominant level (excluded). Such a level catches every frame; any other level none.
bool TriggerCrossed(std::uint8_t port, std::uint8_t levelByte, const LineLevels& levels);

// The mid-scale the differential channel is measured about.
inline constexpr double kDifferentialOffsetVolts = 2.5;
inline constexpr int kPreTriggerSamples = 20;
inline constexpr std::uint16_t kSampleIntervalNs = 486;
inline constexpr double kLineNoiseVolts = 0.025;

struct CaptureSetup {
  std::uint8_t port = kPortDifferential;
  bool terminatorOn = true;
  std::uint16_t intervalNs = kSampleIntervalNs;
  std::chrono::nanoseconds triggerTime{0};  // the start of frame that triggered
  std::uint8_t triggerPhase = 0;        // the edge lies phase/256 of an interval after its sample
  std::uint8_t sequence = 0;            // running number of the capture
  double noiseVolts = kLineNoiseVolts;  // peak of the triangular noise on each line
};

// A segment of `bits` (at most kMaxSegmentBits) from `start` on.
BusSegment MakeSegment(std::span<const std::uint8_t> bits, std::chrono::nanoseconds start,
                       std::uint32_t bitTimeNs);

// Samples i = 0..199 are taken at triggerTime - (kPreTriggerSamples + phase/256) x interval
// + i x interval. The block carries: head = {pre-trigger samples, port}, the interval, the
// samples and tail = {trigger phase, sequence}.
WaveformBlock RenderWaveform(const CaptureSetup& setup, std::span<const BusSegment> segments,
                             SimRandom& random);

}  // namespace velqor
