// One captured trace (200 samples of the simulated adapter, a frame with many edges) at each
// bit rate: BM_DecodeBits (edges, bit grid, bits, fields) and BM_MeasureLine (edge shapes,
// levels, verdicts). The page runs both on its GUI thread for every trace, at most ten a
// second in continuous capture.

#include <benchmark/benchmark.h>

#include "sim/waveform.h"
#include "wave/line_measurements.h"

namespace velqor {
namespace {

CaptureTrace Trace(std::uint32_t bitRate) {
  const CanBitStream stream =
      BuildCanBitStream({0x2AA, false, 8, {0x55, 0x33, 0x55, 0x33, 0x55, 0x33, 0x55, 0x33}});
  const BusSegment segment =
      MakeSegment(stream.Bits(), std::chrono::microseconds(100), 1'000'000'000u / bitRate);
  CaptureSetup setup;
  setup.triggerTime = segment.start;
  setup.triggerPhase = 77;
  SimRandom random(1);
  const WaveformBlock block = RenderWaveform(setup, std::span(&segment, 1), random);
  const std::vector<float> counts(block.samples.begin(), block.samples.end());
  return TraceFromCounts(counts, block.interval, CapturePort::Differential);
}

void BM_DecodeBits(benchmark::State& state) {
  const auto bitRate = static_cast<std::uint32_t>(state.range(0));
  const CaptureTrace trace = Trace(bitRate);
  for (auto _ : state) benchmark::DoNotOptimize(DecodeBits(trace, {bitRate, 72}));
}
BENCHMARK(BM_DecodeBits)->Arg(250000)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_MeasureLine(benchmark::State& state) {
  const auto bitRate = static_cast<std::uint32_t>(state.range(0));
  const CaptureTrace trace = Trace(bitRate);
  const BitDecoding decoding = DecodeBits(trace, {bitRate, 72});
  for (auto _ : state) benchmark::DoNotOptimize(MeasureLine(trace, decoding));
}
BENCHMARK(BM_MeasureLine)->Arg(250000)->Arg(500000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velqor

BENCHMARK_MAIN();
