// The receive path on the GUI side: a received frame from the queue to its row in the list,
// with 2048 identifiers on the bus, and the queue itself (feed on one side, drain on the
// other). The bus at 1 Mbit/s carries at most 21 277 frames/s; items/s here say how far the
// GUI thread is from that limit.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <vector>

#include "app/receive_path.h"
#include "link/protocol.h"
#include "traffic/received_frame_model.h"

namespace {

velqor::RxFrame Frame(std::uint32_t i) {
  velqor::RxFrame f;
  f.Id = i % 4 == 0 ? 0x18FF0000u + (i % 2048) : i % 2048;
  f.Ide = i % 4 == 0;
  f.Dlc = 8;
  for (std::size_t k = 0; k < 8; ++k) f.Data[k] = static_cast<std::uint8_t>(i + k);
  return f;
}

// One frame into the list; the view is told every 532 frames (25 ms at the bus limit).
void BM_ShowReceivedFrame(benchmark::State& state) {
  velqor::ReceivedFrameModel model([] { return QTime(12, 0); });
  const int format = static_cast<int>(state.range(0));
  std::uint32_t i = 0;
  for (auto _ : state) {
    model.ShowReceivedFrame(Frame(i), format);
    if (++i % 532 == 0) model.flush();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["rows"] = model.heldRowCount();
}
BENCHMARK(BM_ShowReceivedFrame)
    ->Arg(velqor::ReceivedFrameModel::kHex)
    ->Arg(velqor::ReceivedFrameModel::kDec);

class CountingSink : public velqor::DeviceMessageSink {
 public:
  void OnDeviceMessage(int, const velqor::DeviceMessage& m) override { sum += m.Id; }
  std::uint64_t sum = 0;
};

// Bytes of a 64-byte report stream into the interpreter, the messages through the queue and
// out on the draining side.
void BM_ReceivePathFeedAndDrain(benchmark::State& state) {
  CountingSink sink;
  velqor::ReceivePath path(sink, nullptr);
  std::vector<std::uint8_t> stream;
  for (std::uint32_t i = 0; i < 1024; ++i) {
    velqor::ReceivedCanFrame f;
    f.id = i % 2048;
    f.dlc = 8;
    const auto payload = f.Encode();
    const velqor::Frame frame =
        velqor::MakeFrame(velqor::Category::Can, velqor::Cmd::ReceivedCanFrame, payload);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  for (auto _ : state) {
    for (std::size_t at = 0; at < stream.size(); at += 64)
      path.Feed(stream.data() + at, std::min<std::size_t>(64, stream.size() - at));
    path.drainAll();
  }
  state.SetItemsProcessed(state.iterations() * 1024);
  benchmark::DoNotOptimize(sink.sum);
}
BENCHMARK(BM_ReceivePathFeedAndDrain);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
