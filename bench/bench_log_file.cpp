// What logging costs per received frame: formatting the line and writing it to a real file in
// a scratch folder, with the once-a-second flush (write + fdatasync) included in its share.
// A CAN bus at 1 Mbit/s carries at most about 21 300 frames/s.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "traffic/log_file.h"

namespace {

namespace fs = std::filesystem;

struct NoBoxes : velqor::MessageBoxes {
  void Show(const std::string&, const std::string&, Icon) override { std::abort(); }
  bool Confirm(const std::string&, const std::string&, Icon) override { return false; }
};

struct NoPage : velqor::LogFileView {
  void SetSaveFileName(std::string_view) override {}
  void SetLogChecked(bool) override {}
};

// Formatting alone.
void BM_FormatLogLine(benchmark::State& state) {
  const std::array<std::uint8_t, 8> data = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  std::string line;
  std::uint16_t time = 0;
  for (auto _ : state) {
    line.clear();
    velqor::DataLog::AppendLogLine(line, ++time, 1, 0x18FF1234, 8, data);
    benchmark::DoNotOptimize(line.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatLogLine);

// Lines into a file, flushed (and synced) every 21 277 lines: one second of a full bus.
void BM_WriteLogLine(benchmark::State& state) {
  velqor::bench::ScratchFolder folder;
  velqor::IniFile ini(folder.path() / "Velqor.INI");
  NoBoxes boxes;
  NoPage page;
  velqor::LogEnvironment env;
  std::uint64_t tick = 0;
  env.today = [] {
    return std::chrono::year_month_day{std::chrono::year(2026), std::chrono::month(12),
                                       std::chrono::day(7)};
  };
  env.tickCountMs = [&tick] { return tick; };
  env.workingDirectory = [&folder] { return folder.path(); };
  velqor::DataLog log(ini, boxes, page, env, 0);
  log.OpenLogFile();
  const std::array<std::uint8_t, 8> data = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  int sinceFlush = 0;
  for (auto _ : state) {
    ++tick;
    log.WriteLogLine(1, 0x18FF1234, 8, data);
    if (++sinceFlush == 21277) {
      log.Flush();
      sinceFlush = 0;
    }
  }
  log.Close();
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(
      static_cast<std::int64_t>(fs::file_size(folder.path() / "261207CAN001.txt")));
}
BENCHMARK(BM_WriteLogLine);

}  // namespace

BENCHMARK_MAIN();
