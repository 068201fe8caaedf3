// The terminal window's receive pane at a full bus: 64-byte reports at about 5 000 a second
// (three frames each at 1 Mbit/s). The window's thread takes what the reader staged about 30
// times a second, so one batch is about 170 reports; it must cost far less than the 33 ms
// between batches for the window to stay responsive. The reader's side is one ShowReceived
// per report.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "terminal/terminal_window.h"

namespace {

class NoBoxes : public velqor::MessageBoxes {
 public:
  void Show(const std::string&, const std::string&, Icon) override {}
  bool Confirm(const std::string&, const std::string&, Icon) override { return false; }
};

class NoSender : public velqor::DeviceSender {
 public:
  using DeviceSender::SendToDevice;
  bool SendToDevice(const std::uint8_t*, std::size_t) override { return true; }
};

struct Window {
  Window() {
    velqor::TFrmTTY::Options options;
    options.settingsPath = std::filesystem::temp_directory_path() / "velqor-bench-terminal.INI";
    tty = std::make_unique<velqor::TFrmTTY>(sender, boxes, options);
    tty->resize(500, 600);  // the widest pane: the most text per line
    tty->show();
    QApplication::processEvents();
  }
  ~Window() {
    tty.reset();
    std::error_code ec;
    std::filesystem::remove(std::filesystem::temp_directory_path() / "velqor-bench-terminal.INI",
                            ec);
  }
  NoBoxes boxes;
  NoSender sender;
  std::unique_ptr<velqor::TFrmTTY> tty;
};

std::vector<std::uint8_t> Report(int n) {
  std::vector<std::uint8_t> report(64, 0);
  for (int f = 0; f < 3; ++f) {
    std::uint8_t* p = report.data() + f * 19;
    p[0] = 0xFC;
    p[1] = 0x11;
    p[2] = 0x02;
    p[3] = 0x02;
    p[8] = static_cast<std::uint8_t>(n + f);
  }
  return report;
}

// One batch of `reports` reports into a pane that is already full to just below 500 lines,
// so that every batch also pays for the 500-line rule.
void BM_ReceiveBatch(benchmark::State& state) {
  Window window;
  const int reports = static_cast<int>(state.range(0));
  const std::vector<std::uint8_t> report = Report(1);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (int i = 0; i < reports; ++i) window.tty->ShowReceived(report.data(), report.size());
    window.tty->flushPending();
    bytes += reports * static_cast<std::int64_t>(report.size());
  }
  state.SetBytesProcessed(bytes);
  state.counters["reports/s"] =
      benchmark::Counter(static_cast<double>(bytes / 64), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReceiveBatch)->Arg(1)->Arg(170)->Arg(1000)->Unit(benchmark::kMillisecond);

// What the USB reader pays per report: staging under the mutex, one post per batch. Each
// iteration is one batch of 170 calls, as a full bus brings them between two hand-overs;
// the window's thread takes the batch outside the timing. A fixed number of iterations
// keeps the untimed pane work from stretching the run without end.
void BM_ShowReceivedCall(benchmark::State& state) {
  Window window;
  const std::vector<std::uint8_t> report = Report(2);
  constexpr int kCallsPerBatch = 170;
  for (auto _ : state) {
    for (int i = 0; i < kCallsPerBatch; ++i) {
      window.tty->ShowReceived(report.data(), report.size());
    }
    state.PauseTiming();
    window.tty->flushPending();
    QApplication::processEvents();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kCallsPerBatch);
}
BENCHMARK(BM_ShowReceivedCall)->Iterations(400);

// A script sending without waits: blocks and progress lines into the transmit pane.
void BM_TransmitBatch(benchmark::State& state) {
  Window window;
  const std::vector<std::uint8_t> frame = {0xFC, 0x02, 0x01, 0x09};
  for (auto _ : state) {
    for (int i = 0; i < 100; ++i) {
      window.tty->ShowSent(frame.data(), frame.size());
      window.tty->ShowProgress("送信：FC020109");
    }
    window.tty->flushPending();
    state.PauseTiming();
    window.tty->ClearBuffClick();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 100);
}
BENCHMARK(BM_TransmitBatch)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
