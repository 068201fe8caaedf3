#pragma once
// The LAWICEL (slcan) ASCII protocol as text: what a host's command line means, and how a CAN
// frame is written for the host. Plain functions over the C++ library.
//
// A command is one line ending in CR, at most kMaxCommandLength characters before the CR:
// the longest command is an extended data frame, 'T', 8 identifier digits, the DLC and 16
// data digits. Hexadecimal digits may be either case; we write upper case, as the kernel's
// slcan driver does.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "link/can_frame.h"

namespace velqor::slcan {

inline constexpr char kOk = '\r';
inline constexpr char kBell = '\a';
inline constexpr std::size_t kMaxCommandLength = 26;
// 'T', 8 identifier digits, DLC, 16 data digits, 4 timestamp digits, CR.
inline constexpr std::size_t kMaxFrameLineLength = 31;
// The timestamp counter: milliseconds 0..59999, wrapping every minute.
inline constexpr unsigned kTimestampPeriodMs = 60000;

enum class CommandKind {
  Empty,            // a bare CR: hosts send a few to flush a half-written command
  Open,             // O
  ListenOnly,       // L
  Close,            // C
  BitRate,          // Sn, value n 0..9
  BitTimingRegs,    // sxxyy: SJA1000 bus timing registers
  Transmit,         // t, T: a data frame
  TransmitRemote,   // r, R: a remote frame
  Status,           // F
  Version,          // V
  DetailedVersion,  // v
  SerialNumber,     // N
  Timestamps,       // Zn, value 0 or 1
  AutoPoll,         // Xn, value 0 or 1
  PollOne,          // P
  PollAll,          // A
  AcceptanceCode,   // Mxxxxxxxx, word the code
  AcceptanceMask,   // mxxxxxxxx, word the mask
  Mode,             // M0 / M1: normal or silent mode, as CANable-style hosts send it
  UartSpeed,        // Un, value 0..6
  Invalid,          // unknown command, wrong length or a character out of place
};

struct Command {
  CommandKind kind = CommandKind::Invalid;
  unsigned value = 0;
  std::uint32_t word = 0;
  CanFrame frame;  // Transmit and TransmitRemote: id, ide, dlc, data (rtr flag for r/R)
};

// What a line (without its CR) asks for. Frames are checked against the CAN limits: an 11-bit
// identifier up to 7FF, a 29-bit one up to 1FFFFFFF, a DLC digit 0..8 and exactly as many data
// byte pairs as it says.
Command ParseCommand(std::string_view line);

// Writes the line of a frame for the host into `out`, CR included, and returns its length:
// t/T for data frames, r/R for remote frames, upper-case hexadecimal, the identifier cut to
// its 11 or 29 bits, a DLC above 8 written as 8 (classic CAN carries 8 bytes then), and with
// `timestamp` the receive time's milliseconds within the minute as 4 hex digits. An error
// frame has no slcan line: 0.
std::size_t FormatFrame(const CanFrame& frame, bool timestamp, char* out);

// Milliseconds 0..59999 of the frame's receive time (wall clock) within its minute.
unsigned TimestampMs(const CanTime& time);

// The four decimal digits V and v answer for a firmware version text: its first number as
// the first two digits, its second number (0 without one) as the last two, each at most 99.
// "1.07" gives 0107. Nothing when the text holds no digit.
std::optional<std::array<char, 4>> VersionDigits(std::string_view firmware);

}  // namespace velqor::slcan
