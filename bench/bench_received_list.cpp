// The receive path on the GUI side: received frames from the queue to their rows in the list,
// with 2048 identifiers on the bus, in the batches the path hands over (85 frames: 4 ms of a
// full bus); the texts of the rows a view shows, made when it paints; and the queue itself
// (feed on one side, drain on the other). The bus at 1 Mbit/s carries at most 21 277
// frames/s; items/s here say how far the GUI thread is from that limit.

#include <benchmark/benchmark.h>

#include <vector>

#include "app/receive_path.h"
#include "link/protocol.h"
#include "traffic/received_frame_model.h"

namespace {

constexpr std::uint32_t kBatch = 85;

velqor::CanFrame Frame(std::uint32_t i) {
  velqor::CanFrame f;
  f.id = i % 4 == 0 ? 0x18FF0000u + (i % 2048) : i % 2048;
  f.ide = i % 4 == 0;
  f.dlc = 8;
  for (std::size_t k = 0; k < 8; ++k) f.data[k] = static_cast<std::uint8_t>(i + k);
  return f;
}

// Batches of frames into the list; the view is told every 532 frames (25 ms at the bus
// limit).
void BM_ShowReceivedFrames(benchmark::State& state) {
  velqor::ReceivedFrameModel model([] { return QTime(12, 0); });
  const int format = static_cast<int>(state.range(0));
  std::vector<velqor::CanFrame> batch(kBatch);
  std::uint32_t i = 0;
  for (auto _ : state) {
    for (velqor::CanFrame& f : batch) f = Frame(i++);
    model.ShowReceivedFrames(batch, format);
    if (i % 532 < kBatch) model.flush();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.counters["rows"] = model.heldRowCount();
}
BENCHMARK(BM_ShowReceivedFrames)
    ->Arg(velqor::ReceivedFrameModel::kHex)
    ->Arg(velqor::ReceivedFrameModel::kDec);

// The texts of 20 rows (what the list shows at once), as a repaint asks for them.
void BM_PaintTwentyRows(benchmark::State& state) {
  velqor::ReceivedFrameModel model([] { return QTime(12, 0); });
  for (std::uint32_t i = 0; i < 2048; ++i) model.ShowReceivedFrame(Frame(i), 0);
  model.flush();
  std::size_t chars = 0;
  for (auto _ : state) {
    for (int r = 0; r < 20; ++r)
      for (int c = 0; c < velqor::ReceivedFrameModel::kColumnCount; ++c)
        chars += static_cast<std::size_t>(model.data(model.index(r, c)).toString().size());
  }
  state.SetItemsProcessed(state.iterations() * 20);
  benchmark::DoNotOptimize(chars);
}
BENCHMARK(BM_PaintTwentyRows);

class CountingSink : public velqor::DeviceMessageHandler, public velqor::FrameConsumer {
 public:
  void OnDeviceMessage(int, const velqor::DeviceMessage&) override {}
  void OnFrames(std::span<const velqor::CanFrame> frames) override {
    for (const velqor::CanFrame& f : frames) sum += f.id;
  }
  std::uint64_t sum = 0;
};

// Bytes of a 64-byte report stream into the interpreter, the messages through the queue and
// out on the draining side.
void BM_ReceivePathFeedAndDrain(benchmark::State& state) {
  CountingSink sink;
  velqor::ReceivePath path(sink, nullptr);
  path.addFrameConsumer(sink);
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
