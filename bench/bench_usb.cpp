// The USB receive path at 21 277 frames/s, the figure often quoted for a full 1 Mbit/s bus
// (the simulated flood is taken off the bus timing so that it arrives at exactly that rate):
// the simulated adapter's runner thread sends its input reports through the simulator's HID
// backend, TUsbif's reader thread reads them and feeds the frame interpreter, which announces
// every received frame to a counting sink.
//
// Counters: frames delivered per second of wall time, frames lost (reported by the model but
// never decoded, or dropped anywhere; must be 0), reports dropped by the backend's queue, and
// CPU time per frame: of the whole process (model, transport and decoding) and of the reader
// thread alone (transport and decoding).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <atomic>
#include <thread>

#include "link/interpreter.h"
#include "link/usbif.h"
#include "sim/sim_hid.h"
#include "sim/sim_runner.h"

namespace velqor {
namespace {

using namespace std::chrono_literals;

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs on the reader thread.
class CountingSink : public DeviceMessageSink {
 public:
  void OnDeviceMessage(int, const DeviceMessage&) override {}
  void OnReceivedFrame(const CanFrame&) override {
    const std::uint64_t n = m_frames.load(std::memory_order_relaxed) + 1;
    m_frames.store(n, std::memory_order_relaxed);
    if (n == 1) m_readerCpuStart = CpuSeconds(RUSAGE_THREAD);
    if (n % 1024 == 0) m_readerCpu.store(CpuSeconds(RUSAGE_THREAD) - m_readerCpuStart);
  }
  std::uint64_t Frames() const { return m_frames.load(); }
  double ReaderCpu() const { return m_readerCpu.load(); }

 private:
  std::atomic<std::uint64_t> m_frames{0};
  double m_readerCpuStart = 0;
  std::atomic<double> m_readerCpu{0};
};

void BM_UsbReceivePath(benchmark::State& state) {
  static int argc = 1;
  static char name[] = "bench_usb";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);

  const auto packing =
      state.range(0) == 0 ? ReportPacking::Packed : ReportPacking::OneFramePerReport;
  for (auto _ : state) {
    SimOptions o;
    o.profileEnabled = false;
    o.console = false;
    o.packing = packing;
    SimRunner runner(o);
    auto hid = std::make_shared<SimHidPlatform>(runner);
    CountingSink sink;
    TMsgInterpret interpreter(&sink);
    TUsbif usb(hid);
    usb.SetRxEventType(TUsbifEventType::Direct);
    usb.OnUsbReceive = [&](TUsbif*, const std::uint8_t* buffer, int size) {
      interpreter.Feed(buffer, static_cast<std::uint32_t>(size));
    };
    if (!usb.Open(0x4242, 0xEE02)) {
      state.SkipWithError(usb.LastError().text.c_str());
      return;
    }
    runner.Start();
    runner.Write(SetBitTiming(2, 0));  // 1 Mbit/s
    std::this_thread::sleep_for(20ms);

    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const std::uint64_t framesBefore = sink.Frames();
    const auto start = std::chrono::steady_clock::now();
    FloodOptions flood;
    flood.framesPerSecond = 21277;
    flood.identifiers = 2000;
    flood.dlc = 8;
    flood.busLimited = false;
    runner.SetFlood(flood);
    std::this_thread::sleep_for(3s);
    runner.SetFlood(FloodOptions{});
    // Until everything the model sent has been read.
    std::uint64_t last = ~std::uint64_t{0};
    for (int i = 0; i < 500; ++i) {
      std::this_thread::sleep_for(10ms);
      const SimStats s = runner.Stats();
      const SimHidCounters c = hid->Counters();
      if (s.reports == c.reportsQueued + c.reportsDropped + c.reportsDiscarded &&
          usb.GetCounters().reportsRead == c.reportsQueued && s.reports == last)
        break;
      last = s.reports;
    }
    usb.Close();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    runner.Stop();

    const SimStats s = runner.Stats();
    const SimHidCounters c = hid->Counters();
    const double frames = static_cast<double>(sink.Frames() - framesBefore);
    const auto reported = static_cast<double>(s.framesReported);
    state.counters["frames_per_s"] = frames / wall;
    state.counters["frames"] = frames;
    state.counters["lost"] =
        reported - static_cast<double>(sink.Frames()) + static_cast<double>(s.framesDropped);
    state.counters["reports_per_s"] = static_cast<double>(c.reportsQueued) / wall;
    state.counters["backend_dropped"] = static_cast<double>(c.reportsDropped);
    state.counters["cpu_us_per_frame"] = cpu / frames * 1e6;
    state.counters["reader_cpu_us_per_frame"] = sink.ReaderCpu() / frames * 1e6;
  }
}
BENCHMARK(BM_UsbReceivePath)
    ->ArgName("one_frame_per_report")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velqor

BENCHMARK_MAIN();
