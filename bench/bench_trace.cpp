// The trace: frames into the store in the batches the receive path hands over (85 frames:
// 4 ms of a full bus); a filter over a full store of 2 000 000 rows, from the first slice to
// the last; the trace window over that store scrolled to a place and repainted at once; the
// resident memory a row costs.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTableView>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "trace/trace_filter.h"
#include "trace/trace_recorder.h"
#include "traffic/trace_window.h"

namespace {

constexpr std::uint32_t kBatch = 85;
constexpr std::size_t kRows = 2'000'000;

velqor::CanFrame Frame(std::uint32_t i) {
  velqor::CanFrame f;
  f.id = i % 4 == 0 ? 0x18FF0000u + (i % 2048) : i % 2048;
  f.ide = i % 4 == 0;
  f.dlc = 8;
  f.time = {static_cast<std::int64_t>(i) * 47, 1'700'000'000'000'000 + i * 47LL};
  if (i % 97 == 0) f.flags = velqor::CanFrame::kTx;
  for (std::size_t k = 0; k < 8; ++k) f.data[k] = static_cast<std::uint8_t>(i + k);
  return f;
}

long RssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return 0;
}

// A full store of 2 000 000 rows, made once.
velqor::TraceRecorder& FullRecorder() {
  static std::unique_ptr<velqor::TraceRecorder> recorder = [] {
    const long before = RssKb();
    auto r = std::make_unique<velqor::TraceRecorder>(kRows);
    std::vector<velqor::CanFrame> batch(kBatch);
    for (std::uint32_t i = 0; i < kRows; i += kBatch) {
      for (std::uint32_t k = 0; k < kBatch; ++k) batch[k] = Frame(i + k);
      r->OnFrames(batch);
    }
    std::fprintf(stderr, "trace: %zu rows kept, %.1f bytes of resident memory per row\n",
                 r->store().size(),
                 static_cast<double>(RssKb() - before) * 1024 / static_cast<double>(kRows));
    return r;
  }();
  return *recorder;
}

// Batches into a recorder that keeps 2 000 000 rows (wrapping after that).
void BM_RecordBatches(benchmark::State& state) {
  velqor::TraceRecorder recorder(kRows);
  std::vector<velqor::CanFrame> batch(kBatch);
  std::uint32_t i = 0;
  for (auto _ : state) {
    for (velqor::CanFrame& f : batch) f = Frame(i++);
    recorder.OnFrames(batch);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_RecordBatches);

// A filter as typed, over the whole full store, every slice until done.
void BM_FilterTwoMillionRows(benchmark::State& state) {
  static const char* const kLines[] = {"7E0-7EF 100 200", "18FF0000/1FFF0000 tx",
                                       "!0-3FF #?? 1? ?? 1?"};
  const char* line = kLines[state.range(0)];
  velqor::TraceRecorder& recorder = FullRecorder();
  const velqor::TraceFilter::Parse parse = velqor::TraceFilter::parse(line);
  if (!parse.ok) state.SkipWithError(parse.error.c_str());
  std::size_t shown = 0;
  for (auto _ : state) {
    recorder.setFilter(parse.filter);
    while (!recorder.scan(20'000)) {
    }
    shown = recorder.view().count();
  }
  state.SetLabel(line);
  state.counters["shown"] = static_cast<double>(shown);
  recorder.setFilter({});
}
BENCHMARK(BM_FilterTwoMillionRows)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

// The window over the full store: a jump to a place (as the scroll bar or find makes it) and
// the repaint of the table, done at once.
void BM_ScrollAndRepaint(benchmark::State& state) {
  velqor::TraceRecorder& recorder = FullRecorder();
  velqor::bench::PrintingBoxes boxes;
  velqor::TraceWindow window(recorder, boxes);
  window.resize(860, 560);
  window.show();
  QApplication::processEvents();
  window.refresh();
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> place(0, kRows - 1);
  QWidget* viewport = window.table()->view()->viewport();
  for (auto _ : state) {
    window.table()->scrollTo(place(random));
    viewport->repaint();
  }
  state.counters["rows shown"] = window.table()->fullRows();
}
BENCHMARK(BM_ScrollAndRepaint)->Unit(benchmark::kMillisecond);

}  // namespace
