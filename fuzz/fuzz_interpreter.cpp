// Fuzzes TMsgInterpret::Feed: any byte stream, cut into chunks whose sizes the input also
// chooses. Besides the sanitizers' checks, it traps when
//  - more than one incomplete frame (256 bytes) stays buffered between feeds, or
//  - the messages differ from those of the same stream fed in one piece.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/interpreter.h"

namespace {

struct Seen {
  int code;
  velqor::DeviceMessage message;
  velqor::CanFrame frame;  // code 202
};

// Field by field: the record has padding bytes, which copies need not preserve.
bool Same(const velqor::DeviceMessage& a, const velqor::DeviceMessage& b) {
  return a.Valid == b.Valid && a.Ide == b.Ide && a.Id == b.Id && a.Dlc == b.Dlc &&
         std::memcmp(a.Data, b.Data, sizeof a.Data) == 0 &&
         std::memcmp(a.Text, b.Text, sizeof a.Text) == 0;
}

// Everything but the arrival time, which differs between the two runs.
bool Same(const velqor::CanFrame& a, const velqor::CanFrame& b) {
  return a.id == b.id && a.ide == b.ide && a.dlc == b.dlc && a.flags == b.flags && a.data == b.data;
}

class Recorder : public velqor::DeviceMessageSink {
 public:
  void OnDeviceMessage(int code, const velqor::DeviceMessage& m) override {
    if (m.Valid != 1) __builtin_trap();
    if (std::memchr(m.Text, 0, sizeof m.Text) == nullptr) __builtin_trap();
    seen.push_back({code, m, {}});
  }
  void OnReceivedFrame(const velqor::CanFrame& f) override {
    if (f.flags != 0) __builtin_trap();  // a received frame says nothing of RTR or errors
    seen.push_back({202, {}, f});
  }
  std::vector<Seen> seen;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // First byte: the chunk size (1..256); the rest: the stream, at most one buffer's worth so
  // that feeding it whole keeps every byte.
  const std::size_t chunk = static_cast<std::size_t>(data[0]) + 1;
  const std::uint8_t* stream = data + 1;
  const std::size_t n = std::min<std::size_t>(size - 1, velqor::TMsgInterpret::kBufferCapacity);

  Recorder chunked;
  {
    velqor::TMsgInterpret interpreter(&chunked);
    for (std::size_t at = 0; at < n; at += chunk) {
      interpreter.Feed(stream + at, static_cast<std::uint32_t>(std::min(chunk, n - at)));
      if (interpreter.BufferedBytes() > 256) __builtin_trap();
    }
  }
  Recorder whole;
  {
    velqor::TMsgInterpret interpreter(&whole);
    interpreter.Feed(stream, static_cast<std::uint32_t>(n));
  }
  if (chunked.seen.size() != whole.seen.size()) __builtin_trap();
  for (std::size_t i = 0; i < whole.seen.size(); ++i) {
    if (chunked.seen[i].code != whole.seen[i].code ||
        !Same(chunked.seen[i].message, whole.seen[i].message) ||
        !Same(chunked.seen[i].frame, whole.seen[i].frame)) {
      __builtin_trap();
    }
  }
  return 0;
}
