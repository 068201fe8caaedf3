// Feeds arbitrary bytes to the DBC parser as a file's contents and checks what must hold for
// any file: nothing crashes; a file that does not load says where (line and column from 1)
// and what was expected; a file that loads can be described, and every signal of it, on a
// payload taken from the input, reads the same bits both ways, writes back exactly its own
// bits, and (where its scaling is exact) gives its bits back from the text of its value.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "signals/dbc_parser.h"
#include "signals/dbc_summary.h"
#include "signals/frame_decoder.h"

namespace {

using namespace velqor::dbc;

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const DbcResult r = parseDbc(text, "fuzz.dbc");
  if (!r.ok()) {
    require(r.error.line >= 1 && r.error.column >= 1);
    require(r.error.message.rfind("expected ", 0) == 0 || !r.error.message.empty());
    return 0;
  }
  (void)describeDatabase(*r.database);

  // A payload from the input's last bytes.
  std::uint8_t payload[64] = {};
  for (std::size_t i = 0; i < 64 && i < size; ++i) payload[i] = data[size - 1 - i];
  std::uint64_t little = 0;
  std::uint64_t big = 0;
  for (int i = 0; i < 8; ++i) {
    little |= std::uint64_t{payload[i]} << (8 * i);
    big = big << 8 | payload[i];
  }

  const FrameDecoder decoder({r.database});
  for (std::uint32_t i = 0; i < decoder.signalCount(); ++i) {
    const SignalCodec& codec = decoder.signal(i).codec;
    const Signal& s = codec.signal();
    require(codec.bytesNeeded() <= 64);
    const std::uint64_t mask =
        s.length == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << s.length) - 1;
    const std::uint64_t bits = codec.extract(payload);
    require((bits & ~mask) == 0);
    if (codec.within8()) require(codec.extract8(little, big) == bits);

    // Writing back what was read changes nothing; writing other bits changes only the field.
    std::uint8_t copy[64];
    std::memcpy(copy, payload, sizeof copy);
    codec.insert(bits, copy);
    require(std::memcmp(copy, payload, sizeof copy) == 0);
    codec.insert(~bits, copy);
    require(codec.extract(copy) == (~bits & mask));
    codec.insert(bits, copy);
    require(std::memcmp(copy, payload, sizeof copy) == 0);

    (void)codec.physical(bits);
    (void)codec.text(bits);
    char buffer[SignalCodec::kTextSize];
    require(codec.formatRaw(bits, buffer) <= SignalCodec::kTextSize);
    const std::size_t n = codec.formatPhysical(bits, buffer);
    require(n > 0 && n <= SignalCodec::kTextSize);
    const SignalCodec::Encoded back = codec.fromText(std::string_view(buffer, n));
    if (codec.exactScaling() && s.factor.mantissa != 0) require(back.ok() && back.bits == bits);
  }

  DecodedFrame out;
  for (std::uint32_t m = 0; m < decoder.messageCount(); ++m) {
    const Message& message = *decoder.message(m).message;
    if (!message.extended && message.id > 0x7FF) continue;  // no frame has such an identifier
    require(decoder.decode(message.id, message.extended, payload, size % 65, out));
    require(out.message == m);
    for (const DecodedSignal& v : out.values) {
      require(decoder.signal(v.index).message == m);
      require(decoder.signal(v.index).codec.bytesNeeded() <= size % 65);
    }
  }
  return 0;
}
