#pragma once
// A message's payload from the values of its signals, as a transmit mailbox that sends by
// signals needs it: each value is a decimal number or one of the signal's value-table texts;
// a signal without a value takes its start value (the GenSigStartValue attribute, raw) or 0.
// For a multiplexed message only the multiplexor and the signals its value selects are
// written; a value for another group's signal is an error, not silently dropped.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "signals/dbc.h"

namespace velqor::dbc {

struct EncodedMessage {
  std::vector<std::uint8_t> data;   // the message's size in bytes
  std::vector<std::string> errors;  // one line per value that could not be written
  bool ok() const { return errors.empty(); }
};

// `values`: signal name and value text.
EncodedMessage encodeMessage(const Message& message,
                             const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace velqor::dbc
