// The slcan bridge at 21 277 frames/s, the figure often quoted for a full 1 Mbit/s bus (the
// simulated flood is taken off the bus timing so that it arrives at exactly that rate): the
// simulated adapter's reports go through its HID backend, TUsbif's reader thread and the
// frame interpreter into SlcanBridge, whose serving thread writes them on the pseudo-terminal,
// where a host thread reads the lines as slcand or python-can would.
//
// BM_SlcanFullBus, with a host that reads: frames per second reaching the host, frames lost
// anywhere (must be 0), CPU per frame of the bridge's serving thread and of the whole process,
// and the latency from the report's arrival (the time the interpreter stamps on the frame) to
// the host reading the frame's line: p50, p99, max.
// BM_SlcanHostNotReading: the host opens the channel and never reads. The adapter's reader
// must keep up all the same (nothing lost before the bridge); the bridge drops and counts.
// BM_HostFrameQueuePush: what handing one frame to the bridge costs the reader thread.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "bridge/slcan_bridge.h"
#include "link/interpreter.h"
#include "link/usbif.h"
#include "sim/sim_hid.h"
#include "sim/sim_runner.h"

namespace velqor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kRate = 21277;
constexpr std::size_t kMaxSequence = 1 << 20;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::int64_t SteadyUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
      .count();
}

std::uint64_t SequenceOf(const std::uint8_t* data) {
  std::uint64_t n = 0;
  for (int i = 0; i < 8; ++i) n = (n << 8) | data[i];
  return n;
}

// On the reader thread: notes when each flood frame arrived, then hands it to the bridge.
struct StampingSink : DeviceMessageSink {
  explicit StampingSink(SlcanBridge& b) : bridge(b), arrival(kMaxSequence) {}
  void OnReceivedFrame(const CanFrame& f) override {
    const std::uint64_t n = SequenceOf(f.data.data());
    if (n < kMaxSequence) arrival[n].store(f.time.steadyUs, std::memory_order_relaxed);
    frames.fetch_add(1, std::memory_order_relaxed);
    bridge.OnReceivedFrame(f);
  }
  void OnDeviceMessage(int code, const DeviceMessage& m) override {
    bridge.OnDeviceMessage(code, m);
  }

  SlcanBridge& bridge;
  std::vector<std::atomic<std::int64_t>> arrival;
  std::atomic<std::uint64_t> frames{0};
};

struct UsbSender : DeviceSender {
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
    return usb->Write(bytes, length);
  }
  TUsbif* usb = nullptr;
};

// The host: reads the terminal and notes when each frame's line came.
class ReadingHost {
 public:
  ReadingHost(const std::string& path, bool reads) : m_reads(reads) {
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0) std::abort();
    if (::write(m_fd, "O\r", 2) != 2) std::abort();
    if (m_reads) m_thread = std::jthread([this](std::stop_token stop) { Read(stop); });
  }
  ~ReadingHost() {
    m_thread = {};
    ::close(m_fd);
  }
  std::uint64_t Lines() const { return m_lines.load(); }
  // Latencies in microseconds, after the thread has stopped.
  std::vector<std::int64_t> Stop(const StampingSink& sink) {
    m_thread.request_stop();
    if (m_thread.joinable()) m_thread.join();
    std::vector<std::int64_t> latency;
    for (const auto& [n, readUs] : m_seen) {
      const std::int64_t a = sink.arrival[n].load(std::memory_order_relaxed);
      if (a > 0) latency.push_back(readUs - a);
    }
    std::sort(latency.begin(), latency.end());
    return latency;
  }

 private:
  void Read(std::stop_token stop) {
    std::string line;
    char buffer[65536];
    while (!stop.stop_requested()) {
      pollfd p = {m_fd, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
      if (n <= 0) continue;
      const std::int64_t now = SteadyUs();
      for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] != '\r') {
          line += buffer[i];
          continue;
        }
        // t<3 id><DLC 8><16 data digits> or T<8 id>8<16 data digits>
        const std::size_t data = line.size() == 21 ? 5 : line.size() == 26 ? 10 : 0;
        if (data != 0) {
          std::uint8_t bytes[8];
          for (int b = 0; b < 8; ++b) {
            bytes[b] = static_cast<std::uint8_t>(
                std::stoul(line.substr(data + 2 * static_cast<std::size_t>(b), 2), nullptr, 16));
          }
          const std::uint64_t seq = SequenceOf(bytes);
          if (seq < kMaxSequence) m_seen.emplace_back(seq, now);
          m_lines.fetch_add(1);
        }
        line.clear();
      }
    }
  }

  const bool m_reads;
  int m_fd = -1;
  std::atomic<std::uint64_t> m_lines{0};
  std::vector<std::pair<std::uint64_t, std::int64_t>> m_seen;  // the host thread's
  std::jthread m_thread;
};

QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "bench_slcan";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  return app;
}

void RunFlood(benchmark::State& state, bool hostReads) {
  App();
  for (auto _ : state) {
    SimOptions o;
    o.profileEnabled = false;
    o.console = false;
    SimRunner runner(o);
    auto hid = std::make_shared<SimHidPlatform>(runner);
    UsbSender sender;
    SlcanBridge bridge(sender);
    StampingSink sink(bridge);
    TMsgInterpret interpreter(&sink);
    TUsbif usb(hid);
    sender.usb = &usb;
    usb.SetRxEventType(TUsbifEventType::Direct);
    usb.OnUsbReceive = [&](TUsbif*, const std::uint8_t* buffer, int size) {
      interpreter.Feed(buffer, static_cast<std::uint32_t>(size));
    };
    std::string error;
    if (!bridge.Start(error) || !usb.Open(0x4242, 0xEE02)) {
      state.SkipWithError(error.empty() ? usb.LastError().text.c_str() : error.c_str());
      return;
    }
    runner.Start();
    runner.Write(SetBitTiming(2, 0));  // 1 Mbit/s
    ReadingHost host(bridge.Path(), hostReads);
    for (int i = 0; i < 5000 && !bridge.ChannelOpen(); ++i) std::this_thread::sleep_for(1ms);

    const double cpuBefore = CpuSeconds();
    const auto servingBefore = bridge.ServingCpuTime();
    const auto start = Clock::now();
    FloodOptions flood;
    flood.framesPerSecond = kRate;
    flood.identifiers = 2000;
    flood.dlc = 8;
    flood.busLimited = false;
    runner.SetFlood(flood);
    std::this_thread::sleep_for(3s);
    runner.SetFlood(FloodOptions{});
    // Until everything the model sent has been read, decoded and (with a reading host)
    // written and read.
    std::uint64_t last = ~std::uint64_t{0};
    for (int i = 0; i < 1000; ++i) {
      std::this_thread::sleep_for(10ms);
      const SimStats s = runner.Stats();
      const SimHidCounters c = hid->Counters();
      const BridgeStats b = bridge.Stats();
      const bool read = s.reports == c.reportsQueued + c.reportsDropped + c.reportsDiscarded &&
                        usb.GetCounters().reportsRead == c.reportsQueued;
      const bool written = !hostReads || host.Lines() + b.framesDropped == sink.frames.load();
      if (read && written && s.reports == last) break;
      last = s.reports;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    const double serving =
        std::chrono::duration<double>(bridge.ServingCpuTime() - servingBefore).count();
    usb.Close();
    const std::vector<std::int64_t> latency = host.Stop(sink);
    bridge.Stop();
    runner.Stop();

    const SimStats s = runner.Stats();
    const BridgeStats b = bridge.Stats();
    const double decoded = static_cast<double>(sink.frames.load());
    const double toHost = static_cast<double>(hostReads ? host.Lines() : b.framesToHost);
    state.counters["frames_per_s"] = toHost / wall;
    state.counters["frames"] = decoded;
    state.counters["lost_before_bridge"] =
        static_cast<double>(s.framesReported + s.framesDropped) - decoded;
    state.counters["bridge_dropped"] = static_cast<double>(b.framesDropped);
    state.counters["backend_dropped"] = static_cast<double>(hid->Counters().reportsDropped);
    state.counters["serving_cpu_us_per_frame"] = serving / decoded * 1e6;
    state.counters["process_cpu_us_per_frame"] = cpu / decoded * 1e6;
    if (!latency.empty()) {
      auto at = [&](double q) {
        return static_cast<double>(latency[static_cast<std::size_t>(q * (latency.size() - 1))]) /
               1000.0;
      };
      state.counters["latency_p50_ms"] = at(0.5);
      state.counters["latency_p99_ms"] = at(0.99);
      state.counters["latency_max_ms"] = at(1.0);
    }
  }
}

void BM_SlcanFullBus(benchmark::State& state) { RunFlood(state, true); }
void BM_SlcanHostNotReading(benchmark::State& state) { RunFlood(state, false); }

BENCHMARK(BM_SlcanFullBus)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlcanHostNotReading)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_HostFrameQueuePush(benchmark::State& state) {
  HostFrameQueue queue(8192);
  queue.SetAccepting(true);
  std::vector<CanFrame> batch;
  CanFrame frame;
  frame.dlc = 8;
  std::size_t n = 0;
  for (auto _ : state) {
    queue.Push(frame);
    if (++n % 64 == 0) {  // the serving thread takes batches
      queue.TakeAll(batch);
      queue.DrainWake();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HostFrameQueuePush);

}  // namespace
}  // namespace velqor

BENCHMARK_MAIN();
