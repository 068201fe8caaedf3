#pragma once
// A transmit row as its text reads (identifier text, DLC, ide box, data text), and the one
// set of rules that turns it into a SendCanFrame request: the rules of a mailbox's "SEND",
// shared by the page's SEND and by the periodic scheduler.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/protocol.h"

namespace velqor {

struct TxRowText {
  std::string id;  // hexadecimal text
  int dlc = 0;     // 0..8; beyond reads as the nearest end
  bool ide = false;
  std::string data;  // data pairs as the masked edit's text reads: "11 22 33"

  friend bool operator==(const TxRowText&, const TxRowText&) = default;
};

// Fills data[0 .. dlc-1] from a data text: the text is split into items as a comma text is,
// and item j, read by HexTextToValue and cut to its low 8 bits, is byte j. The bytes from dlc
// on are left as they are. With fewer items than dlc, returns the index of the first missing
// item (the bytes before it are filled). A DLC of 0 reads nothing, whatever the text holds.
std::optional<int> ReadTxDataBytes(std::string_view text, int dlc, std::span<std::uint8_t, 8> data);

// The request "SEND" makes of a row: a fresh record (data bytes from the DLC on are 0), the
// identifier by HexTextToValue (not hexadecimal: all 32 bits set), ide, DLC and data bytes.
struct TxRowRequest {
  TxRecord record;
  std::optional<int> missingItem;  // set: too few data pairs, nothing may be sent
};
TxRowRequest ParseTxRow(const TxRowText& row);

}  // namespace velqor
