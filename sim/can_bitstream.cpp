#include "sim/can_bitstream.h"

namespace velqor {

std::uint16_t CanCrc15(std::span<const std::uint8_t> bits) {
  std::uint16_t crc = 0;
  for (const std::uint8_t bit : bits) {
    const bool next = ((bit & 1u) != 0) != ((crc & 0x4000u) != 0);
    crc = static_cast<std::uint16_t>((crc << 1) & 0x7FFFu);
    if (next) crc ^= kCanCrcPolynomial;
  }
  return crc;
}

namespace {

// SOF..CRC without stuff bits: at most 1 + 32 + 3 + 4 + 64 + 15 = 118 bits (extended).
constexpr std::size_t kMaxUnstuffed = 120;

struct BitWriter {
  std::array<std::uint8_t, kMaxUnstuffed> bits{};
  std::size_t n = 0;
  void Put(std::uint32_t value, int width) {
    for (int i = width - 1; i >= 0; --i) bits[n++] = static_cast<std::uint8_t>((value >> i) & 1u);
  }
};

}  // namespace

CanBitStream BuildCanBitStream(const BusFrame& frame, bool acknowledged) {
  BitWriter w;
  w.Put(kDominant, 1);  // SOF
  if (frame.extended) {
    const std::uint32_t id = frame.id & 0x1FFFFFFFu;
    w.Put(id >> 18, 11);       // base identifier
    w.Put(kRecessive, 1);      // SRR
    w.Put(kRecessive, 1);      // IDE
    w.Put(id & 0x3FFFFu, 18);  // identifier extension
    w.Put(kDominant, 1);       // RTR: data frame
    w.Put(0, 2);               // r1, r0
  } else {
    w.Put(frame.id & 0x7FFu, 11);
    w.Put(kDominant, 1);  // RTR: data frame
    w.Put(kDominant, 1);  // IDE
    w.Put(0, 1);          // r0
  }
  w.Put(frame.dlc & 0x0Fu, 4);
  for (std::size_t i = 0; i < frame.DataBytes(); ++i) w.Put(frame.data[i], 8);

  CanBitStream out;
  out.crc = CanCrc15({w.bits.data(), w.n});
  w.Put(out.crc, 15);
  out.unstuffedBits = static_cast<std::uint16_t>(w.n);

  // Bit stuffing over SOF..CRC: after five equal bits in a row the sender inserts one of the
  // opposite value, and that stuff bit starts the next run.
  std::size_t n = 0;
  std::uint8_t last = 2;
  int run = 0;
  for (std::size_t i = 0; i < w.n; ++i) {
    const std::uint8_t b = w.bits[i];
    out.bits[n++] = b;
    run = (b == last) ? run + 1 : 1;
    last = b;
    if (run == 5) {
      const std::uint8_t stuff = b ^ 1u;
      out.bits[n++] = stuff;
      last = stuff;
      run = 1;
    }
  }
  out.stuffedEnd = static_cast<std::uint16_t>(n);
  out.stuffBits = static_cast<std::uint16_t>(n - w.n);

  out.bits[n++] = kRecessive;  // CRC delimiter
  out.ackSlot = static_cast<std::uint16_t>(n);
  out.bits[n++] = acknowledged ? kDominant : kRecessive;
  out.bits[n++] = kRecessive;                              // ACK delimiter
  for (int i = 0; i < 7; ++i) out.bits[n++] = kRecessive;  // EOF
  out.size = static_cast<std::uint16_t>(n);
  return out;
}

}  // namespace velqor
