// The main window with "データログを保存する" ticked while the simulated adapter floods a
// 1 Mbit/s bus (21 277 frames/s requested; with DLC 0 the bus carries what it can, about
// 20 400/s): the adapter's reports go straight into the window's receive path from the runner
// thread, as the USB reader thread will hand them over. After five seconds the counters say how
// many frames the adapter reported, how many the window lost, and how many lines the log holds.
//
// Counters: frames (reported by the adapter), frames_per_s, lost (receive queue overflow),
// adapter_dropped (the adapter's own report queue), logged (frame lines in the log).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/main_window.h"
#include "bench/bench_support.h"
#include "sim/sim_runner.h"

namespace velqor {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

void BM_FullBusWithLogging(benchmark::State& state) {
  for (auto _ : state) {
    bench::ScratchFolder folder;
    bench::PrintingBoxes boxes;
    TFrmMain::Options options;
    options.settingsPath = (folder.path() / "Velqor.INI").string();
    options.logDirectory = [&folder] { return folder.path(); };
    auto window = std::make_unique<TFrmMain>(boxes, options);
    window->findChild<QCheckBox*>(QStringLiteral("ChkLog"))->setChecked(true);
    window->OpenLogFileOnConnect();
    const fs::path log = folder.path() / window->dataLog().Namer().ShortName().substr(1);

    SimOptions sim;
    sim.profileEnabled = false;
    sim.console = false;
    SimRunner runner(sim);
    TFrmMain* target = window.get();
    runner.SetOnInputReport([target](std::span<const std::uint8_t, kInputReportSize> report) {
      target->Feed(report.data(), report.size());
    });
    runner.SetOnConsoleOutput([](std::span<const std::uint8_t>) {});
    runner.Start();
    runner.Write(SetBitTiming(2, 0));  // 1 Mbit/s
    runner.SetFlood({21277, 2000, static_cast<std::uint8_t>(state.range(0))});

    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    runner.Stop();
    // What was queued before the stop is handled, then the window closes the log.
    while (window->receivePath().queuedCount() != 0)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    const std::uint64_t lost = window->receivePath().lostCount();
    window.reset();

    const SimStats stats = runner.Stats();
    const double seconds = std::chrono::duration<double>(runner.Timing().modelTime).count();
    state.counters["frames"] = static_cast<double>(stats.framesReported);
    state.counters["frames_per_s"] = static_cast<double>(stats.framesReported) / seconds;
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["adapter_dropped"] = static_cast<double>(stats.framesDropped);
    state.counters["logged"] = static_cast<double>(bench::CountLines(log) - 1);  // less the header
  }
}
// DLC 0: the most frames a 1 Mbit/s bus carries; DLC 8: the longest lines at about 8 000/s.
BENCHMARK(BM_FullBusWithLogging)
    ->ArgName("dlc")
    ->Arg(0)
    ->Arg(8)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velqor
