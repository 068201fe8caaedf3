#include "traffic/tx_mailboxes.h"

#include <algorithm>

#include "common/dlc_tables.h"
#include "common/hex_text.h"
#include "transmit/tx_row_text.h"

namespace velqor {

std::optional<int> TxMailboxes::ReadDataBytes(std::string_view text, int dlc,
                                              std::span<std::uint8_t, 8> data) {
  return ReadTxDataBytes(text, dlc, data);  // the rules the periodic rows read by as well
}

std::string TxMailboxes::ListIndexErrorText(int index) {
  std::string text = UiText("TxMailboxes", kListIndexError);
  if (const std::size_t at = text.find("%d"); at != std::string::npos)
    text.replace(at, 2, std::to_string(index));
  return text;
}

bool TxMailboxes::sendRow(const TxMailboxRow& row, TxRecord& record) {
  const int dlc = std::clamp(row.dlc, 0, kMaxDlc);
  record.ide = row.ide ? 1 : 0;
  record.id = HexTextToValue(row.id);
  record.dlc = static_cast<std::uint8_t>(dlc);
  if (const std::optional<int> missing = ReadDataBytes(row.data, dlc, record.data)) {
    m_boxes.Show(ListIndexErrorText(*missing), kErrorCaption, MessageBoxes::Icon::Error);
    return false;
  }
  m_sender.SendToDevice(SendCanFrame(record));
  return true;
}

void TxMailboxes::BtnSendClick(int row) {
  if (row < 1 || row > kTxMailboxCount) return;
  TxRecord record;  // fresh: all data bytes 0
  if (!sendRow(m_view.TxMailbox(row - 1), record)) return;
  m_view.SetResultText(UiText("Status", "Cmd Request!"));
}

void TxMailboxes::BtnAllSendClick() {
  TxRecord record;  // one buffer for the whole click
  for (int i = 0; i < kTxMailboxCount; ++i) {
    const TxMailboxRow row = m_view.TxMailbox(i);
    if (!row.boxChecked) continue;
    if (!sendRow(row, record)) return;
  }
  m_view.SetResultText(UiText("Status", "Cmd Request!"));
}

void TxMailboxes::CSpinDLCChange(int row, int dlc) {
  if (row < 1 || row > kTxMailboxCount) return;
  m_view.SetTxDataMask(row - 1, MaskByDlc[static_cast<std::size_t>(std::clamp(dlc, 0, kMaxDlc))]);
}

}  // namespace velqor
