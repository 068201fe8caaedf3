#pragma once
// The bit stream of a classical CAN data frame (ISO 11898-1) as it appears on the wire:
// SOF, arbitration field (11-bit, or 29-bit with SRR and IDE), control field, data, CRC-15,
// all of them bit-stuffed, then CRC delimiter, ACK slot, ACK delimiter and end of frame.
//
// The simulated bus uses it to know how long a frame occupies the bus; the waveform capture
// turns it into line voltages. Pure functions over the C++ library, no allocation.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velqor {

// A data frame on the simulated bus.
struct BusFrame {
  std::uint32_t id = 0;   // 11 or 29 significant bits
  bool extended = false;  // 29-bit identifier
  std::uint8_t dlc = 0;   // 0..15 on the wire; a DLC above 8 still carries 8 data bytes
  std::array<std::uint8_t, 8> data{};

  std::size_t DataBytes() const { return dlc > 8 ? 8 : dlc; }
  bool operator==(const BusFrame&) const = default;
};

// Bus levels as bit values: a dominant bit is 0, a recessive bit is 1.
inline constexpr std::uint8_t kDominant = 0;
inline constexpr std::uint8_t kRecessive = 1;

// The CAN generator polynomial x^15 + x^14 + x^10 + x^8 + x^7 + x^4 + x^3 + 1.
inline constexpr std::uint16_t kCanCrcPolynomial = 0x4599;
// Bits of bus idle that every frame is followed by before the next may start.
inline constexpr int kIntermissionBits = 3;
// Longest frame: extended identifier, 8 data bytes, the most stuff bits possible (157 bits).
inline constexpr std::size_t kMaxFrameBits = 160;

struct CanBitStream {
  std::array<std::uint8_t, kMaxFrameBits> bits{};  // kDominant / kRecessive, in bus order
  std::uint16_t size = 0;                          // SOF up to and including the last EOF bit
  std::uint16_t stuffedEnd = 0;     // bits[0, stuffedEnd) is SOF..CRC with its stuff bits
  std::uint16_t unstuffedBits = 0;  // length of SOF..CRC without stuff bits
  std::uint16_t stuffBits = 0;      // stuffedEnd - unstuffedBits
  std::uint16_t crc = 0;            // the 15-bit CRC sent in the frame
  std::uint16_t ackSlot = 0;        // index of the ACK slot in bits

  std::span<const std::uint8_t> Bits() const { return {bits.data(), size}; }
};

// CRC-15 of a bit sequence (values 0/1, in transmission order), initial value 0.
std::uint16_t CanCrc15(std::span<const std::uint8_t> bits);

// The frame as sent on the bus. `acknowledged` decides the ACK slot: dominant when some
// receiver acknowledged, recessive when nobody did.
CanBitStream BuildCanBitStream(const BusFrame& frame, bool acknowledged = true);

// Bus time of a frame in bits, intermission included.
inline int FrameSlotBits(const CanBitStream& stream) { return stream.size + kIntermissionBits; }

}  // namespace velqor
