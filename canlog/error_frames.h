#pragma once
// The adapter's bus error reports (message 1/0xFF: an error index and the two error
// counters) as SocketCAN error frames, the form candump, python-can and the log formats
// know. The class always includes CAN_ERR_BUSERROR (0x80): python-can 4.1 reads a candump
// error frame only with that bit, and takes any other for a data frame. CAN_ERR_CRTL's
// counters (0x200) carry the transmit and receive error counts in data bytes 6 and 7.

#include <cstdint>
#include <optional>
#include <string_view>

#include "link/can_frame.h"

namespace velqor {

// SocketCAN error classes (linux/can/error.h).
inline constexpr std::uint32_t kCanErrLostArbitration = 0x002;
inline constexpr std::uint32_t kCanErrController = 0x004;
inline constexpr std::uint32_t kCanErrProtocol = 0x008;
inline constexpr std::uint32_t kCanErrAck = 0x020;
inline constexpr std::uint32_t kCanErrBusOff = 0x040;
inline constexpr std::uint32_t kCanErrBusError = 0x080;
inline constexpr std::uint32_t kCanErrCounters = 0x200;

// The error frame for the adapter's error index (1..10 as in the error texts; 0 and anything
// else: "Receive Buffer Full") with its counters.
CanFrame BusErrorFrame(std::uint8_t errorIndex, std::uint8_t transmitErrors,
                       std::uint8_t receiveErrors, const CanTime& time);

// The error index whose text (kErrorTexts) is `text`; nothing for an unknown text.
std::optional<std::uint8_t> ErrorIndexFromText(std::string_view text);

}  // namespace velqor
