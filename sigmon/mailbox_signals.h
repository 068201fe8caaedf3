#pragma once
// A transmit mailbox that takes its data from the signal values of a DBC message: the values
// (numbers or value-table texts) are encoded into the message's bytes, which become the row's
// identifier, IDE, DLC and data text, exactly what a person would have typed; "SEND", "ALL
// SEND" and periodic sending then send the row as any other. The way back gives the values a
// row holds, so that the row can be edited by its signals again.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "signals/dbc.h"
#include "signals/frame_decoder.h"
#include "transmit/tx_row_text.h"

namespace velqor {

using SignalValueTexts = std::vector<std::pair<std::string, std::string>>;  // name, value text

struct MailboxEncoding {
  TxRowText row;  // identifier in upper-case hexadecimal, DLC = the message's size, ide, pairs
  std::vector<std::string> errors;  // one line per value that could not be written
  bool ok() const { return errors.empty(); }
};

// Encodes `values` into `message` (signals without a value take their start value or 0; for a
// multiplexed message only the multiplexor's group). A message longer than 8 bytes does not
// fit a mailbox: that is an error too.
MailboxEncoding encodeMailboxRow(const dbc::Message& message, const SignalValueTexts& values);

// The message a row's identifier and ide name in `decoder`, if any.
std::optional<std::uint32_t> mailboxMessage(const dbc::FrameDecoder& decoder, const TxRowText& row);

// The values the row's data bytes give for message `message` of `decoder`: for each signal the
// frame carries (the multiplexor's group), its value-table text where the raw value has one,
// else its physical value as an exact decimal. Bytes the row's text lacks read as 0.
SignalValueTexts mailboxSignalValues(const dbc::FrameDecoder& decoder, std::uint32_t message,
                                     const TxRowText& row);

// Which of the message's signals a frame carries when its multiplexor holds the value of
// `multiplexorText` (every one for a message without multiplexing; the always-present ones
// and the multiplexor when the text is no valid value).
std::vector<bool> signalsSent(const dbc::Message& message, std::string_view multiplexorText);

}  // namespace velqor
