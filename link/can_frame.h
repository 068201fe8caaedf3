#pragma once
// CanFrame: one CAN frame as every part of the program sees it, from where it enters (the
// frame interpreter for frames seen on the bus, the send path for frames the program sent,
// a log reader for recorded frames) to every consumer (the received-frame list, the data log,
// the trace, the log formats, signal decoding, the slcan bridge). A plain value of 32 bytes,
// passed by const reference; nobody keeps a pointer to one that is not their own.
//
// Times: each frame carries the instant it reached the host twice, once on the steady clock
// (CLOCK_MONOTONIC, for intervals: cycle times, the trace's relative time) and once on the
// wall clock (CLOCK_REALTIME, for logs and exports). Both are microseconds. A received frame
// is stamped on the reader thread as its report arrives; a frame completed by a later report
// takes that report's time.

#include <array>
#include <cstdint>

namespace velqor {

// One instant on both clocks, in microseconds.
struct CanTime {
  std::int64_t steadyUs = 0;  // CLOCK_MONOTONIC
  std::int64_t wallUs = 0;    // CLOCK_REALTIME, since 1970-01-01 00:00 UTC

  // Both clocks read now, one right after the other.
  static CanTime Now();
  bool operator==(const CanTime&) const = default;
};

struct CanFrame {
  // Bits of `flags`.
  static constexpr std::uint8_t kRtr = 0x01;    // a remote frame (known from logs and hosts;
                                                // the adapter's received frame never says so)
  static constexpr std::uint8_t kTx = 0x02;     // sent by this program, not received
  static constexpr std::uint8_t kError = 0x04;  // an error frame (from logs); id holds its class

  std::uint32_t id = 0;  // all 32 bits as received
  std::uint8_t ide = 0;  // as received: 0 = 11-bit identifier, 1 = 29-bit
  std::uint8_t dlc = 0;  // as received, not limited to 8
  std::uint8_t flags = 0;
  std::uint8_t reserved = 0;
  std::array<std::uint8_t, 8> data{};  // all eight as received, whatever the DLC
  CanTime time;

  bool extended() const { return ide != 0; }
  bool rtr() const { return (flags & kRtr) != 0; }
  bool tx() const { return (flags & kTx) != 0; }
  bool error() const { return (flags & kError) != 0; }
  // The data bytes the DLC names: at most 8.
  std::uint8_t length() const { return dlc <= 8 ? dlc : 8; }

  bool operator==(const CanFrame&) const = default;
};

static_assert(sizeof(CanFrame) == 32, "a frame stays small enough to pass around freely");

}  // namespace velqor
