#pragma once
// The logic of the "TxSet" page: the eight transmit mailboxes, what "SEND" and "ALL SEND"
// put on the link, and the data field that follows a row's DLC. Plain logic: the rows are
// reached through TxSetView, so tests drive it with plain records and the window binds its
// widgets.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/adapter_limits.h"
#include "common/message_boxes.h"
#include "common/ui_text.h"
#include "link/device_sender.h"
#include "link/protocol.h"

namespace velqor {

// One transmit mailbox row as the page shows it.
struct TxMailboxRow {
  bool boxChecked = false;  // MBox n: takes part in "ALL SEND"
  std::string id;           // EditIdTx n, hexadecimal text
  int dlc = 0;              // CSpinDLC n, 0..8
  bool ide = false;         // ChkTxIde n: extended identifier
  // MaskEdit n as its text() reads: the pairs with the blanks between them. A pair the user
  // left unfilled is missing from the text (Qt drops unfilled positions where the form
  // library showed blanks); both split into the same items.
  std::string data;

  friend bool operator==(const TxMailboxRow&, const TxMailboxRow&) = default;
};

// The controls of the page. Row indexes are 0-based (index i is row i + 1) and always lie
// within 0 .. kTxMailboxCount - 1 when the logic calls.
class TxSetView {
 public:
  virtual TxMailboxRow TxMailbox(int index) const = 0;
  // MaskEdit n: cleared, then given the edit mask (the form library's mask language).
  virtual void SetTxDataMask(int index, std::string_view editMask) = 0;
  virtual void SetResultText(std::string_view text) = 0;  // the status bar's ResultPanel

 protected:
  ~TxSetView() = default;
};

class TxMailboxes {
 public:
  // The list error a row with too few data pairs raises; %d is the missing item's index.
  static constexpr char kListIndexError[] =
      VELQOR_TRANSLATE_NOOP("TxMailboxes", "リストのインデックスが範囲を超えています (%d)");
  // The error is shown as the application shows an error that escapes a handler.
  static constexpr char kErrorCaption[] = "Velqor";

  // Everything given must outlive this object.
  TxMailboxes(DeviceSender& sender, MessageBoxes& boxes, TxSetView& view)
      : m_sender(sender), m_boxes(boxes), m_view(view) {}

  // "SEND" of the row whose button carries Tag `row` (1..8; others are ignored): a fresh
  // request (data bytes from the DLC on are 0), sent whether or not the row's box is ticked,
  // then "Cmd Request!".
  void BtnSendClick(int row);
  // "ALL SEND": every ticked row, 1 to 8, from one request buffer for the whole click; a
  // row's data bytes from its DLC on keep what an earlier row of the same click wrote (0 if
  // none did). Then "Cmd Request!", also when no row is ticked. A row with too few data
  // pairs shows the list error; it and the rows after it are not sent, and no "Cmd Request!".
  void BtnAllSendClick();
  // The DLC of row `row` (the spin edit's Tag, 1..8) changed to `dlc`: its data field is
  // emptied and takes MaskByDlc[dlc] (a DLC outside 0..8 reads as the nearest end).
  void CSpinDLCChange(int row, int dlc);

  // Fills data[0 .. dlc-1] from a data text: the text is split into items as a comma text
  // is, and item j, read by HexTextToValue and cut to its low 8 bits, is byte j. The bytes
  // from dlc on are left as they are. With fewer items than dlc, returns the index of the
  // first missing item (the bytes before it are filled).
  static std::optional<int> ReadDataBytes(std::string_view text, int dlc,
                                          std::span<std::uint8_t, 8> data);

  // The text of the list error for a missing item.
  static std::string ListIndexErrorText(int index);

 private:
  // Fills ide, identifier, DLC and the data bytes of `row` into `record` and sends it.
  // False (nothing sent, the error shown) when the data text has too few pairs.
  bool sendRow(const TxMailboxRow& row, TxRecord& record);

  DeviceSender& m_sender;
  MessageBoxes& m_boxes;
  TxSetView& m_view;
};

}  // namespace velqor
