#include "traffic/cyclic_tx_rows.h"

#include <algorithm>

namespace velqor {

namespace {

std::string RowName(int row) { return "Row " + std::to_string(row); }

std::size_t Index(int row) { return static_cast<std::size_t>(row - 1); }

bool ValidRow(int row) { return row >= 1 && row <= kTxMailboxCount; }

// A text the field's validator let through but outside the range: the nearest value in it.
int NearestCycle(const std::string& text) {
  if (const std::optional<int> ms = ParseCycleText(text)) return *ms;
  std::uint64_t value = 0;
  bool digits = false;
  for (const char c : text) {
    if (c < '0' || c > '9') continue;
    digits = true;
    value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(c - '0'), kMaxCycleMs);
  }
  return digits && value > 0 ? static_cast<int>(value) : 0;
}

std::string StateDetail(const RowCounters& c) {
  std::string text = "every " + std::to_string(c.cycleMs) + " ms, ";
  text += c.count == 0 ? std::string("until stopped") : std::to_string(c.count) + " frames";
  text += "\nsent " + std::to_string(c.sent) + ": answered sent " + std::to_string(c.confirmed) +
          ", failed " + std::to_string(c.failed) + "; refused by the link " +
          std::to_string(c.unsent) + "; cycles left out (the machine was late) " +
          std::to_string(c.skipped);
  if (!c.running && c.stop != RowStop::None) text += "\n" + std::string(RowStopText(c.stop));
  return text;
}

}  // namespace

TxRowText CyclicTxRows::RowText(int row) const {
  const TxMailboxRow r = m_view.TxMailbox(row - 1);
  return TxRowText{r.id, r.dlc, r.ide, r.data};
}

void CyclicTxRows::ToggleClick(int row) {
  if (!ValidRow(row)) return;
  m_held[Index(row)] = false;
  if (const std::optional<RowCounters> c = m_scheduler.Counters(row); c && c->running) {
    m_scheduler.Stop(row);
    Poll();
    return;
  }
  const CyclicTxEntry entry = m_view.CyclicEntry(row - 1);
  const std::optional<int> cycle = ParseCycleText(entry.cycle);
  const std::optional<std::uint64_t> count = ParseCountText(entry.count);
  if (!cycle || *cycle == 0) {
    m_boxes.Show(RowName(row) + ": the cycle time \"" + entry.cycle +
                     "\" is not a number of milliseconds from 1 to 60000. (Empty: the row is "
                     "sent by SEND only.)",
                 kCaption, MessageBoxes::Icon::Warning);
  } else if (!count) {
    m_boxes.Show(RowName(row) + ": the count \"" + entry.count +
                     "\" is not a number of frames from 0 to 999999999 (0: until stopped).",
                 kCaption, MessageBoxes::Icon::Warning);
  } else {
    // Data too short starts nothing: the scheduler queues the stop, Poll shows its box.
    m_scheduler.Start(row, RowText(row), *cycle, *count);
  }
  Poll();
}

void CyclicTxRows::StopAllClick() {
  m_scheduler.StopAll();
  m_held.fill(false);
  Poll();
}

void CyclicTxRows::RowChanged(int row, bool inRow) {
  if (!ValidRow(row)) return;
  const std::optional<RowCounters> c = m_scheduler.Counters(row);
  if (!c || !c->running) {
    m_held[Index(row)] = false;
    return;
  }
  const TxRowText text = RowText(row);
  if (inRow && ParseTxRow(text).missingItem) {
    m_held[Index(row)] = true;  // being typed: taken when the focus leaves the row
    return;
  }
  m_held[Index(row)] = false;
  m_scheduler.Edit(row, text);
}

void CyclicTxRows::RowLeft(int row) {
  if (!ValidRow(row) || !m_held[Index(row)]) return;
  m_held[Index(row)] = false;
  m_scheduler.Edit(row, RowText(row));  // ignored when the row no longer runs
}

void CyclicTxRows::LinkClosed() {
  std::string rows;
  for (int row = 1; row <= kTxMailboxCount; ++row) {
    const std::optional<RowCounters> c = m_scheduler.Counters(row);
    if (!c || !c->running) continue;
    rows += (rows.empty() ? "" : ", ") + std::to_string(row);
  }
  m_scheduler.StopAll();
  m_held.fill(false);
  Poll();  // what happened before comes first
  if (!rows.empty()) {
    m_view.SetCyclicStatus("Disconnected: cyclic sending stopped (row " + rows + ").");
    m_view.SetResultText("Cyclic sending stopped");
  }
}

void CyclicTxRows::ShowStop(int row, RowStop why, int missingItem) {
  if (why == RowStop::BadData) {
    m_boxes.Show(TxMailboxes::ListIndexErrorText(missingItem), TxMailboxes::kErrorCaption,
                 MessageBoxes::Icon::Error);
  }
  // One line of the page: the scheduler's sentence for a failing bus, shorter (the row's
  // counters carry the long one).
  const std::string reason =
      why == RowStop::Failing
          ? "stopped after " + std::to_string(kFailuresToStop) +
                " failed sends in a row: no other node acknowledges (bit rate? termination?)"
          : std::string(RowStopText(why));
  m_view.SetCyclicStatus(RowName(row) + " " + reason + ".");
}

bool CyclicTxRows::Poll() {
  for (const RowEvent& e : m_scheduler.TakeEvents()) {
    if (ValidRow(e.row)) ShowStop(e.row, e.why, e.missingItem);
  }
  bool any = false;
  for (int row = 1; row <= kTxMailboxCount; ++row) {
    CyclicTxRowState state;
    if (const std::optional<RowCounters> c = m_scheduler.Counters(row); c && c->cycleMs > 0) {
      state.running = c->running;
      state.sent = std::to_string(c->sent);
      state.failed = std::to_string(c->failed + c->unsent);
      state.detail = StateDetail(*c);
    }
    any = any || state.running;
    if (state == m_shown[Index(row)]) continue;
    m_shown[Index(row)] = state;
    m_view.SetCyclicState(row - 1, state);
  }
  return any;
}

CyclicTxSettings CyclicTxRows::Settings() const {
  CyclicTxSettings settings;
  for (int row = 1; row <= kTxMailboxCount; ++row) {
    const CyclicTxEntry entry = m_view.CyclicEntry(row - 1);
    CyclicTxRowSettings& s = settings.rows[Index(row)];
    s.cycleMs = NearestCycle(entry.cycle);
    s.count = ParseCountText(entry.count).value_or(0);
  }
  return settings;
}

void CyclicTxRows::Load(const CyclicTxSettings& settings) {
  for (int row = 1; row <= kTxMailboxCount; ++row) {
    const CyclicTxRowSettings& s = settings.rows[Index(row)];
    m_view.SetCyclicEntry(row - 1, {s.cycleMs > 0 ? std::to_string(s.cycleMs) : std::string(),
                                    std::to_string(std::min(s.count, kMaxCyclicCount))});
  }
}

}  // namespace velqor
