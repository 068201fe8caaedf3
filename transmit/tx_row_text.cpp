#include "transmit/tx_row_text.h"

#include <algorithm>
#include <vector>

#include "common/adapter_limits.h"
#include "common/comma_text.h"
#include "common/hex_text.h"

namespace velqor {

std::optional<int> ReadTxDataBytes(std::string_view text, int dlc,
                                   std::span<std::uint8_t, 8> data) {
  const int count = std::clamp(dlc, 0, kMaxDlc);
  if (count == 0) return std::nullopt;  // nothing is read, whatever the field holds
  const std::vector<std::string> items = splitCommaText(text);
  for (int j = 0; j < count; ++j) {
    if (static_cast<std::size_t>(j) >= items.size()) return j;
    data[static_cast<std::size_t>(j)] =
        static_cast<std::uint8_t>(HexTextToValue(items[static_cast<std::size_t>(j)]));
  }
  return std::nullopt;
}

TxRowRequest ParseTxRow(const TxRowText& row) {
  TxRowRequest r;
  const int dlc = std::clamp(row.dlc, 0, kMaxDlc);
  r.record.ide = row.ide ? 1 : 0;
  r.record.id = HexTextToValue(row.id);
  r.record.dlc = static_cast<std::uint8_t>(dlc);
  r.missingItem = ReadTxDataBytes(row.data, dlc, r.record.data);
  return r;
}

}  // namespace velqor
