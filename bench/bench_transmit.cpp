// Periodic transmit on time: rows of the transmit scheduler (its own thread on the real clock)
// through the USB path to the simulated adapter, whose bus times are the truth: each own
// frame's start of frame as the model put it on the bus.
//
// Scenarios (each VELQOR_BENCH_SECONDS long, default 60):
// - eight rows at 10 ms: period mean per row (worst row), deviation of the bus intervals from
//   10 ms at the 99th percentile (all rows), CPU of the scheduler's thread;
// - one row at 1 ms: deviation p99, and drift: where the last frame started against its
//   deadline, less the row's median lateness (the offset between the model's clock and the
//   host's, and the model's latency).
// Deviation: a frame's spacing from the one before on the bus, against the spacing of their
// deadlines (one cycle; more where the scheduler left out cycles it woke too late for).
// The model's own latency (it answers commands one at a time, 200 us each) and arbitration
// against the simulated vehicle's traffic are part of what the bus shows.

#include <benchmark/benchmark.h>
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>

#include "tools/link_transmitter.h"

namespace velqor::cli {
namespace {

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

int Seconds() {
  const char* text = std::getenv("VELQOR_BENCH_SECONDS");
  const int s = text ? std::atoi(text) : 0;
  return s > 0 ? s : 60;
}

class BusLog {
 public:
  void Add(const SimBusRecord& r) {
    if (!r.own) return;
    std::lock_guard lock(m_mutex);
    m_starts[r.frame.id].push_back(r.start);
  }
  std::map<std::uint32_t, std::vector<nanoseconds>> Take() {
    std::lock_guard lock(m_mutex);
    return m_starts;
  }

 private:
  std::mutex m_mutex;
  std::map<std::uint32_t, std::vector<nanoseconds>> m_starts;
};

double Ms(nanoseconds t) { return std::chrono::duration<double, std::milli>(t).count(); }

double P99(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(v.size())));
  return v[std::max<std::size_t>(rank, 1) - 1];
}

void RunRows(benchmark::State& state, int rows, int cycleMs) {
  const bool realtime = state.range(0) != 0;
  const bool everything = state.range(0) == 2;
  const int seconds = Seconds();
  const std::uint64_t count = static_cast<std::uint64_t>(seconds) * 1000 / cycleMs + 1;
  for (auto _ : state) {
    // Threads inherit the scheduling of the thread that makes them: the simulated adapter's,
    // the USB reader's and the scheduler's alike.
    sched_param param{};
    param.sched_priority = everything ? 1 : 0;
    if (everything && ::sched_setscheduler(0, SCHED_FIFO, &param) != 0) {
      state.SkipWithError("real-time priority not permitted here");
      return;
    }
    BusLog bus;
    LinkOptions options;
    options.sim = true;
    options.busObserver = [&bus](const SimBusRecord& r) { bus.Add(r); };
    LinkTransmitter transmitter(options, realtime);
    std::string error;
    if (!transmitter.Open(error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    // Row kRow last (the other keys are below it): due with the others or after them, and
    // packed after them, so that its last answer comes after theirs.
    for (int row = 1; row <= rows; ++row) {
      TxRecord record;
      record.id = 0x100 + static_cast<std::uint32_t>(row);
      record.dlc = 8;
      record.data = {1, 2, 3, 4, 5, 6, 7, static_cast<std::uint8_t>(row)};
      transmitter.Scheduler().Start(row == rows ? kRow : row - rows, record, cycleMs, count);
    }
    const LinkTransmitter::Outcome outcome = transmitter.Run(kRow, 2s);
    auto starts = bus.Take();
    param.sched_priority = 0;
    ::sched_setscheduler(0, SCHED_OTHER, &param);

    // Each row's frames as sent (with their deadlines) and as the bus saw them, in order.
    std::map<int, std::vector<const SentFrame*>> sent;
    for (const SentFrame& f : outcome.frames) sent[f.row].push_back(&f);
    std::vector<double> deviations;
    double worstMeanError = 0;
    double drift = 0;
    std::uint64_t frames = 0;
    std::uint64_t unpaired = 0;
    std::uint64_t skipped = 0;
    for (int row = 1; row <= rows; ++row) {
      const int key = row == rows ? kRow : row - rows;
      const std::vector<nanoseconds>& bus = starts[0x100 + static_cast<std::uint32_t>(row)];
      const std::vector<const SentFrame*>& due = sent[key];
      frames += bus.size();
      if (bus.size() != due.size() || bus.size() < 2) {
        unpaired += std::max(bus.size(), due.size()) - std::min(bus.size(), due.size());
        continue;
      }
      // A frame's spacing on the bus against the spacing of its deadlines (one cycle, or
      // more where cycles were skipped).
      for (std::size_t i = 1; i < bus.size(); ++i) {
        const nanoseconds grid = due[i]->deadline - due[i - 1]->deadline;
        if (grid > std::chrono::milliseconds(cycleMs)) ++skipped;
        deviations.push_back(std::abs(Ms(bus[i] - bus[i - 1]) - Ms(grid)));
      }
      const nanoseconds gridSpan = due.back()->deadline - due.front()->deadline;
      const double cycles = Ms(gridSpan) / cycleMs;
      const double mean = Ms(bus.back() - bus.front()) / cycles;
      worstMeanError = std::max(worstMeanError, std::abs(mean - cycleMs) / cycleMs * 100);
      // Drift: how far the last frame is from where the row's usual lateness (bus time less
      // deadline: the clocks' offset, the model's latency) puts it.
      std::vector<double> lateness;
      for (std::size_t i = 0; i < bus.size(); ++i)
        lateness.push_back(Ms(bus[i] - due[i]->deadline));
      std::vector<double> sorted = lateness;
      std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
      const double d = lateness.back() - sorted[sorted.size() / 2];
      if (std::abs(d) > std::abs(drift)) drift = d;
    }
    state.counters["realtime"] = transmitter.Scheduler().Realtime() ? 1 : 0;
    state.counters["unpaired"] = static_cast<double>(unpaired);
    state.counters["skipped"] = static_cast<double>(skipped);
    state.counters["frames_on_bus"] = static_cast<double>(frames);
    state.counters["frames_expected"] =
        static_cast<double>(count * static_cast<std::uint64_t>(rows));
    state.counters["failed"] = static_cast<double>(outcome.totals.failed + outcome.totals.unsent);
    state.counters["mean_err_pct"] = worstMeanError;
    state.counters["dev_p99_ms"] = P99(deviations);
    state.counters["dev_max_ms"] =
        deviations.empty() ? 0 : *std::max_element(deviations.begin(), deviations.end());
    state.counters["drift_ms"] = drift;
    state.counters["sched_cpu_pct"] = Ms(outcome.schedulerCpu) / (seconds * 1000.0) * 100;
    const PeriodStats host = MeasurePeriod(outcome.frames, std::chrono::milliseconds(cycleMs));
    state.counters["host_dev_p99_ms"] = host.p99DeviationMs;
  }
}

void BM_EightRowsAt10ms(benchmark::State& state) { RunRows(state, 8, 10); }
void BM_OneRowAt1ms(benchmark::State& state) { RunRows(state, 1, 1); }

// Argument: 0 = the scheduler's thread runs as any thread; 1 = it asks for real-time priority
// (as velqor-cli's does); 2 = the simulated adapter's and the USB reader's threads have it
// too, as if the adapter kept its own time (a real one does) and the host were idle.
BENCHMARK(BM_EightRowsAt10ms)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(BM_OneRowAt1ms)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace velqor::cli

BENCHMARK_MAIN();
