// Interpreter throughput on the stream the USB link delivers: 64-byte reports holding
// 19-byte received-frame records, either three to a report with zero padding or packed
// back to back with frames spanning reports.

#include <benchmark/benchmark.h>

#include <vector>

#include "link/interpreter.h"
#include "link/protocol.h"

namespace {

using velqor::DeviceMessage;

class CountingSink : public velqor::DeviceMessageSink {
 public:
  void OnReceivedFrame(const velqor::CanFrame& f) override {
    ++frames;
    checksum += f.id;
  }
  void OnDeviceMessage(int, const DeviceMessage&) override {}
  std::uint64_t frames = 0;
  std::uint64_t checksum = 0;
};

velqor::Frame Rx(std::uint32_t i) {
  velqor::ReceivedCanFrame f;
  f.ide = i % 4 == 0;
  f.id = f.ide ? 0x18FF0000 + (i % 2048) : i % 2048;
  f.dlc = 8;
  for (int k = 0; k < 8; ++k) f.data[k] = static_cast<std::uint8_t>(i + k);
  const auto payload = f.Encode();
  return velqor::MakeFrame(velqor::Category::Can, velqor::Cmd::ReceivedCanFrame, payload);
}

// 1024 reports of 64 bytes.
std::vector<std::uint8_t> Reports(bool packed, std::uint64_t* framesInStream) {
  std::vector<std::uint8_t> stream;
  std::uint32_t i = 0;
  *framesInStream = 0;
  if (packed) {
    while (stream.size() < 1024 * 64) {
      const auto f = Rx(i++);
      stream.insert(stream.end(), f.begin(), f.end());
      ++*framesInStream;
    }
    // The frame cut by the end of the last report is completed by nothing (the stream is fed
    // again from its start), so it is not counted.
    stream.resize(1024 * 64);
    *framesInStream = stream.size() / 19;
  } else {
    for (int r = 0; r < 1024; ++r) {
      for (int k = 0; k < 3; ++k) {
        const auto f = Rx(i++);
        stream.insert(stream.end(), f.begin(), f.end());
        ++*framesInStream;
      }
      stream.insert(stream.end(), 64 - 57, 0);
    }
  }
  return stream;
}

void Interpret(benchmark::State& state) {
  const bool packed = state.range(0) != 0;
  std::uint64_t perStream = 0;
  const auto stream = Reports(packed, &perStream);
  CountingSink sink;
  velqor::TMsgInterpret interpreter(&sink);
  for (auto _ : state) {
    for (std::size_t at = 0; at < stream.size(); at += 64) {
      interpreter.Feed(stream.data() + at, 64);
    }
  }
  benchmark::DoNotOptimize(sink.checksum);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(sink.frames), benchmark::Counter::kIsRate);
  state.SetLabel(packed ? "packed back to back" : "3 frames per report + padding");
}
BENCHMARK(Interpret)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
