#pragma once
// The logic of the TxSet page's cyclic sending. Beside each transmit mailbox: a cycle time
// (kMinCycleMs .. kMaxCycleMs; empty: the row goes out by SEND and ALL SEND only, as it always
// did), a count (0 = until stopped), a start/stop toggle and the row's counters (sent,
// failed); and "Stop all". The rows run on the TransmitScheduler, which the window owns: a row
// starts from its text by the rules of SEND, and each change of its text reaches the
// scheduler, so the next frame carries it. SEND and ALL SEND are not touched by any of this.
//
// What is said, and where:
// - a row whose data has fewer pairs than its DLC (at its start, or by an edit while it runs)
//   stops, and SEND's list error box is shown for it once;
// - a row that stops on its own (its count went out, 10 failed sends in a row, an answer "out
//   of range", 10 frames the link refused) says why on the page's status line;
// - a cycle time or count that is not a number in range is refused with a box that names the
//   row, the text and the range;
// - a disconnect stops the running rows and says which, on the status line and in the status
//   bar's ResultPanel.
//
// Editing a running row. A change of a row's identifier, DLC, ide or data reaches the
// scheduler at once, with one exception: while the technician is in the row (one of its
// controls has the focus), data with fewer pairs than the DLC is held back: a pair half typed,
// a field emptied to be typed anew, the empty field a DLC change leaves. The row meanwhile
// keeps sending its last complete frame; when the focus leaves the row, the data it has then
// is taken, and still too short it stops the row with the list error.
//
// Plain logic: the page binds its widgets through CyclicTxView; tests drive it with records.
// GUI thread only: the scheduler's thread is reached through the scheduler's own locks, its
// stops are drained by Poll when the owner's wake-up (or display timer) calls it.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/message_boxes.h"
#include "traffic/cyclic_tx_settings.h"
#include "traffic/tx_mailboxes.h"
#include "transmit/transmit_scheduler.h"

namespace velqor {

// A row's cyclic controls as typed.
struct CyclicTxEntry {
  std::string cycle;  // ms; "" for none
  std::string count;  // "" or "0": until stopped
};

// What a row's cyclic controls show.
struct CyclicTxRowState {
  bool running = false;
  std::string sent;    // frames written to the adapter ("" before the row first ran)
  std::string failed;  // frames the adapter answered "failed"/"out of range", or the link refused
  std::string detail;  // the counters in full and the last stop's reason, for a tooltip
  friend bool operator==(const CyclicTxRowState&, const CyclicTxRowState&) = default;
};

class CyclicTxView {
 public:
  // Row indexes are 0-based (index i is row i + 1).
  virtual TxMailboxRow TxMailbox(int index) const = 0;
  virtual CyclicTxEntry CyclicEntry(int index) const = 0;
  virtual void SetCyclicEntry(int index, const CyclicTxEntry& entry) = 0;
  virtual void SetCyclicState(int index, const CyclicTxRowState& state) = 0;
  virtual void SetCyclicStatus(std::string_view text) = 0;  // the page's status line
  virtual void SetResultText(std::string_view text) = 0;    // the status bar's ResultPanel

 protected:
  ~CyclicTxView() = default;
};

class CyclicTxRows {
 public:
  static constexpr char kCaption[] = "Velqor";

  // Everything given must outlive this object. The scheduler's rows 1..8 are this page's.
  CyclicTxRows(TransmitScheduler& scheduler, MessageBoxes& boxes, CyclicTxView& view)
      : m_scheduler(scheduler), m_boxes(boxes), m_view(view) {}

  // The toggle of row `row` (1..8): starts the row when it is not running, else stops it.
  void ToggleClick(int row);
  void StopAllClick();
  // Row `row`'s identifier, DLC, ide or data changed; `inRow`: one of its controls has the
  // focus.
  void RowChanged(int row, bool inRow);
  // The focus left row `row`.
  void RowLeft(int row);
  // The link to the adapter closed (the switch released, the adapter unplugged): the running
  // rows stop, and the page and the status bar say so.
  void LinkClosed();

  // Shows the stops the scheduler decided since the last call and every row's counters and
  // state. True while any row runs (the page's display timer keeps going).
  bool Poll();

  // The cycle times and counts as typed, for the settings file (texts out of range kept as
  // the nearest value of the range), and back.
  CyclicTxSettings Settings() const;
  void Load(const CyclicTxSettings& settings);

 private:
  TxRowText RowText(int row) const;
  void ShowStop(int row, RowStop why, int missingItem);

  TransmitScheduler& m_scheduler;
  MessageBoxes& m_boxes;
  CyclicTxView& m_view;
  std::array<bool, kTxMailboxCount> m_held{};  // short data held back while the row is edited
  std::array<CyclicTxRowState, kTxMailboxCount> m_shown{};
};

}  // namespace velqor
