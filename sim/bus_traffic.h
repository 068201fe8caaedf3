#pragma once
// What the other nodes on the simulated bus send: periodic messages whose data changes like
// real signals, a default profile that looks like a small vehicle network, and a flood
// generator for load tests.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/can_bitstream.h"
#include "sim/sim_random.h"

namespace velqor {

// One signal inside a periodic message's data. A field of up to 8 bits lies inside byte
// `byte` from bit `bit` (0 = least significant) on; a wider field (16 or 32 bits) takes whole
// bytes from `byte` on, most significant first when `bigEndian`, else least significant first.
struct Signal {
  enum class Kind : std::uint8_t {
    Constant,  // always `min`
    Counter,   // increases by `step` with every frame, wrapping at the field width
    Sine,      // swings between min and max over `period`, like an engine speed
    Ramp,      // rises from min to max over `period`, then starts again
    Toggle,    // min and max take turns every `period` (a blinking lamp, a switch)
    Noise,     // a random value between min and max for every frame
    Checksum,  // 8 bits: 0xFF minus the low byte of the sum of the identifier bytes and
               // every other data byte; computed after all other signals
  };
  Kind kind = Kind::Constant;
  std::uint8_t byte = 0;
  std::uint8_t bit = 0;
  std::uint8_t width = 8;  // 1..8, 16 or 32
  bool bigEndian = true;
  double min = 0;
  double max = 0;
  std::uint32_t step = 1;
  std::chrono::nanoseconds period{std::chrono::seconds(1)};
};

// A message that some node sends every `cycle`, first at `phase` after the start.
struct PeriodicMessage {
  std::string name;
  std::uint32_t id = 0;
  bool extended = false;
  std::uint8_t dlc = 8;
  std::chrono::nanoseconds cycle{std::chrono::milliseconds(100)};
  std::chrono::nanoseconds phase{0};
  std::array<std::uint8_t, 8> data{};  // bytes that no signal covers keep these values
  std::vector<Signal> fields;
};

// Fills `frame` with the message as sent for the `count`-th time (from 0) at time `t`.
void ComposeFrame(const PeriodicMessage& message, std::uint64_t count, std::chrono::nanoseconds t,
                  SimRandom& random, BusFrame& frame);

// A small vehicle network: 21 identifiers, standard and a few extended (J1939-like), cycle
// times from 10 ms to 1 s, with engine speed, wheel speeds, counters, toggling lamps,
// slowly changing temperatures and checksums.
std::vector<PeriodicMessage> DefaultVehicleProfile();

// A load generator: one node that sends `framesPerSecond` frames (0 = off), cycling through
// `identifiers` distinct identifiers (standard 0x000..0x7FF first, then extended ones from
// 0x18000000 + 0x800 on). The first `dlc` data bytes carry the low bytes of the frame's
// sequence number, most significant first, so a receiver can see every frame once.
//
// With `busLimited` (the default) the flood's frames take their place on the simulated bus
// like any node's, so a 1 Mbit/s bus carries at most about 20 800 of them a second. Load
// tests that want a margin above any real bus turn it off: the frames then arrive at exactly
// the requested rate, reported as if the bus had carried them, without occupying it.
struct FloodOptions {
  double framesPerSecond = 0;
  std::uint32_t identifiers = 1000;
  std::uint8_t dlc = 0;
  bool busLimited = true;
};

inline constexpr std::uint32_t kFloodExtendedBase = 0x18000000u;

// The frame with sequence number `sequence` of a flood.
BusFrame FloodFrame(const FloodOptions& options, std::uint64_t sequence);

// Arbitration priority of a frame: a lower key wins the bus. It follows the bits sent before
// the control field: base identifier, then RTR/SRR, IDE and the identifier extension, so a
// standard frame beats an extended one with the same base identifier.
std::uint32_t ArbitrationKey(const BusFrame& frame);

}  // namespace velqor
