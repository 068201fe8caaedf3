#pragma once
// Captures of known frames as the simulated adapter renders them, for the decoder's tests.

#include <chrono>
#include <vector>

#include "sim/can_bitstream.h"
#include "sim/waveform.h"
#include "wave/bit_decoder.h"

namespace velqor::test {

struct SimCapture {
  CaptureTrace trace;
  double startOfFrameNs = 0;  // where the frame's first edge lies in the trace
};

struct CaptureOptions {
  std::uint32_t bitRate = 500000;
  std::uint8_t phase = 0;  // the trigger edge lies phase/256 of an interval after sample 20
  bool terminatorOn = true;
  double noiseVolts = kLineNoiseVolts;
  CapturePort port = CapturePort::Differential;
  std::uint64_t seed = 1;
};

// The bits of `bits` on the bus from the trigger on, sampled as the adapter does.
inline SimCapture Capture(std::span<const std::uint8_t> bits, const CaptureOptions& o) {
  const std::chrono::nanoseconds start(1'000'000);
  const BusSegment segment = MakeSegment(bits, start, 1'000'000'000u / o.bitRate);
  CaptureSetup setup;
  setup.port = static_cast<std::uint8_t>(o.port);
  setup.terminatorOn = o.terminatorOn;
  setup.triggerTime = start;
  setup.triggerPhase = o.phase;
  setup.noiseVolts = o.noiseVolts;
  SimRandom random(o.seed);
  const WaveformBlock block = RenderWaveform(setup, std::span(&segment, 1), random);
  std::vector<float> counts(block.samples.begin(), block.samples.end());
  SimCapture c;
  c.trace = TraceFromCounts(counts, block.interval, o.port);
  c.startOfFrameNs = (kPreTriggerSamples + o.phase / 256.0) * block.interval;
  return c;
}

inline SimCapture Capture(const BusFrame& frame, const CaptureOptions& o) {
  const CanBitStream stream = BuildCanBitStream(frame);
  return Capture(stream.Bits(), o);
}

}  // namespace velqor::test
