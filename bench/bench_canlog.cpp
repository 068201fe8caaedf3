// The log formats' speed on one core: each writer and each reader over a million frames of a
// busy bus (standard and extended identifiers, 8 data bytes, 47 us apart), to and from a real
// file in a scratch folder.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "canlog/log_reader.h"
#include "canlog/log_writer.h"

namespace {

using velqor::CanFrame;
using velqor::LogFormat;

constexpr int kFrames = 1000000;

CanFrame BusFrame(int i) {
  CanFrame f;
  f.time.wallUs = 1700000000000000 + std::int64_t{47} * i;
  f.time.steadyUs = f.time.wallUs;
  const int slot = i % 200;
  f.ide = slot >= 150 ? 1 : 0;
  f.id = f.ide ? 0x18FF0000u + static_cast<std::uint32_t>(slot)
               : 0x100u + static_cast<std::uint32_t>(slot);
  f.dlc = 8;
  for (int b = 0; b < 8; ++b) f.data[b] = static_cast<std::uint8_t>(i >> (b % 4 * 8));
  return f;
}

std::string FileName(const velqor::bench::ScratchFolder& folder, LogFormat format) {
  return (folder.path() / (std::string("trace") + velqor::LogFormatExtension(format))).string();
}

void BM_Write(benchmark::State& state) {
  const auto format = static_cast<LogFormat>(state.range(0));
  velqor::bench::ScratchFolder folder;
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    auto writer = velqor::MakeLogWriter(format);
    writer->Open(FileName(folder, format));
    for (int i = 0; i < kFrames; ++i) writer->Write(BusFrame(i));
    bytes = writer->BytesWritten();
    writer->Close();
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
  state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
  state.SetLabel(velqor::LogFormatName(format));
}

void BM_Read(benchmark::State& state) {
  const auto format = static_cast<LogFormat>(state.range(0));
  velqor::bench::ScratchFolder folder;
  {
    auto writer = velqor::MakeLogWriter(format);
    writer->Open(FileName(folder, format));
    for (int i = 0; i < kFrames; ++i) writer->Write(BusFrame(i));
    writer->Close();
  }
  for (auto _ : state) {
    auto reader = velqor::OpenLogReader(FileName(folder, format), format);
    CanFrame f;
    int n = 0;
    while (reader->Next(f)) ++n;
    if (n != kFrames) state.SkipWithError("frames lost");
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
  state.SetLabel(velqor::LogFormatName(format));
}

void Formats(benchmark::internal::Benchmark* b) {
  for (const LogFormat f : {LogFormat::Candump, LogFormat::Asc, LogFormat::Blf, LogFormat::Csv}) {
    b->Arg(static_cast<int>(f));
  }
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Write)->Apply(Formats);
BENCHMARK(BM_Read)->Apply(Formats);

}  // namespace

BENCHMARK_MAIN();
