#pragma once
// Texts of the live commands: received frames in candump's log style, other device messages
// as one short readable line, and the frame argument of `send` in cansend's style.

#include <optional>
#include <string>
#include <string_view>

#include "link/can_frame.h"
#include "link/interpreter.h"
#include "link/protocol.h"

namespace velqor::cli {

// "(<epoch seconds>.<6-digit microseconds>) <interface> <ID>#<DATA>": the frame's arrival on
// the wall clock, 3 hexadecimal digits for an 11-bit identifier, 8 for a 29-bit one, the data
// as upper-case pairs (at most 8 bytes, as many as the DLC says).
std::string CandumpLine(const CanFrame& frame, std::string_view interface = "usb");

// A short line for any message other than a received frame, e.g. "send result: sent",
// "bus error: ACK_ERROR (transmit errors 8, receive errors 0)".
std::string MessageText(int code, const DeviceMessage& message);

// "<ID>#<DATA>": 1 to 8 hexadecimal digits of identifier (extended when more than 3, or when
// `extended`), then 0 to 8 data bytes as hexadecimal pairs, optionally separated by dots.
// The identifier's range is left to the adapter (it answers "out of range"). Nullopt and
// `error` set when the text is not of that form.
std::optional<TxRecord> ParseFrameText(std::string_view text, bool extended, std::string& error);

}  // namespace velqor::cli
