// The simulated adapter under a flood at the 1 Mbit/s bus limit:
// - BM_SimFloodModelCost: the model's own cost per frame (bus, filtering, reports, console).
// - BM_SimFloodSimulatedVsWall: simulated frames per second of wall time, and the factor by which
//   the model outruns real time.
// - BM_SimRunnerLive: the real-time runner for two seconds at 21 300 frames/s requested: how busy
//   its thread is and its longest step.

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "sim/sim_adapter.h"
#include "sim/sim_runner.h"

namespace velqor {
namespace {

using namespace std::chrono_literals;

constexpr FloodOptions kFlood = {21277, 2000, 0};

SimAdapter FloodedModel(bool console) {
  SimOptions o;
  o.profileEnabled = false;
  o.console = console;
  SimAdapter sim(o);
  sim.Write(SetBitTiming(2, 0));  // 1 Mbit/s
  sim.AdvanceTo(1ms);
  sim.SetFlood(kFlood);
  return sim;
}

std::uint64_t Drain(SimAdapter& sim) {
  InputReport r;
  std::uint64_t n = 0;
  while (sim.TakeInputReport(r)) ++n;
  std::string console;
  sim.TakeConsoleOutput(console);
  return n;
}

void BM_SimFloodModelCost(benchmark::State& state) {
  SimAdapter sim = FloodedModel(state.range(0) != 0);
  const std::uint64_t before = sim.Stats().busFrames;
  for (auto _ : state) {
    sim.AdvanceTo(sim.Now() + 10ms);
    benchmark::DoNotOptimize(Drain(sim));
  }
  const auto frames = static_cast<double>(sim.Stats().busFrames - before);
  state.SetItemsProcessed(static_cast<std::int64_t>(frames));
  // Seconds of CPU time per frame (shown with an SI prefix: 500n = 500 ns).
  state.counters["time_per_frame"] =
      benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SimFloodModelCost)->ArgName("console")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_SimFloodSimulatedVsWall(benchmark::State& state) {
  double frames = 0;
  double simulated = 0;
  for (auto _ : state) {
    SimAdapter sim = FloodedModel(true);
    const auto start = sim.Now();
    const std::uint64_t before = sim.Stats().busFrames;
    while (sim.Now() - start < 10s) {
      sim.AdvanceTo(sim.Now() + 1ms);  // the runner's step
      Drain(sim);
    }
    frames += static_cast<double>(sim.Stats().busFrames - before);
    simulated += std::chrono::duration<double>(sim.Now() - start).count();
  }
  state.counters["bus_frames_per_sim_s"] = frames / simulated;
  state.counters["sim_frames_per_wall_s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["realtime_factor"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SimFloodSimulatedVsWall)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SimRunnerLive(benchmark::State& state) {
  for (auto _ : state) {
    SimOptions o;
    o.profileEnabled = false;
    SimRunner runner(o);
    std::uint64_t reports = 0;  // runner thread only until Stop()
    runner.SetOnInputReport(
        [&reports](std::span<const std::uint8_t, kInputReportSize>) { ++reports; });
    runner.SetOnConsoleOutput([](std::span<const std::uint8_t>) {});
    runner.Start();
    runner.Write(SetBitTiming(2, 0));
    runner.SetFlood({21300, 2000, 0});
    std::this_thread::sleep_for(2s);
    runner.Stop();
    const RunnerStats t = runner.Timing();
    const SimStats s = runner.Stats();
    state.counters["frames_per_s"] =
        static_cast<double>(s.busFrames) / std::chrono::duration<double>(t.modelTime).count();
    state.counters["busy_fraction"] = std::chrono::duration<double>(t.busy).count() /
                                      std::chrono::duration<double>(t.modelTime).count();
    state.counters["longest_step_us"] = static_cast<double>(t.longestStep.count()) / 1000.0;
    state.counters["steps"] = static_cast<double>(t.steps);
    state.counters["reports"] = static_cast<double>(reports);
  }
}
BENCHMARK(BM_SimRunnerLive)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velqor

BENCHMARK_MAIN();
