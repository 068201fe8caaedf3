#pragma once
// The TxSet page's cyclic sending on screen (its logic is CyclicTxRows). The specified rows
// stay where they are; the new controls take the free space of the page:
// - right of each row, level with it: the cycle time in ms (EditCycleTx n) and the start/stop
//   toggle (BtnCycleTx n); below them, level with "ALL SEND", "Stop all" (BtnStopAllTx);
// - below the group "Transmit Mail Box", a group "Cyclic transmit" (GroupCyclicTx) with per
//   row the count (EditCountTx n) and the counters sent (LabSentTx n) and failed (LabFailedTx
//   n), rows 1-4 and 5-8 side by side, and a status line (LabCyclicStatus) that says why a row
//   stopped.
// They come after the specified controls in the focus chain: the rows' tab order is theirs.
// The cycle and count of a running row are locked until it stops.
//
// The panel is a QObject child of the page; its controls are the page's children. GUI thread.

#include <QObject>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string_view>

#include "common/message_boxes.h"
#include "traffic/cyclic_tx_rows.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace velqor {

class TxSetPage;

class CyclicTxPanel : public QObject, private CyclicTxView {
  Q_OBJECT

 public:
  static constexpr int kRows = kTxMailboxCount;
  // How often the counters are brought up to date while a row runs.
  static constexpr int kDisplayIntervalMs = 100;

  // `scheduler` and `boxes` must outlive the panel; `resultText` shows a text in ResultPanel.
  CyclicTxPanel(TxSetPage& page, TransmitScheduler& scheduler, MessageBoxes& boxes,
                std::function<void(std::string_view)> resultText);
  ~CyclicTxPanel() override;

  // The scheduler queued a stop (its owner's wake-up calls this): shown now.
  void poll();
  // The link to the adapter closed: running rows stop, and the page says so.
  void linkClosed();

  CyclicTxSettings settings() const { return m_logic->Settings(); }
  void load(const CyclicTxSettings& settings) { m_logic->Load(settings); }
  CyclicTxRows& logic() { return *m_logic; }

  // Row arrays, index i = row i + 1.
  std::array<QLineEdit*, kRows> EditCycleTx{};
  std::array<QPushButton*, kRows> BtnCycleTx{};
  std::array<QLineEdit*, kRows> EditCountTx{};
  std::array<QLabel*, kRows> LabSentTx{};
  std::array<QLabel*, kRows> LabFailedTx{};
  QPushButton* BtnStopAllTx = nullptr;
  QGroupBox* GroupCyclicTx = nullptr;
  QLabel* LabCyclicStatus = nullptr;

 private:
  // CyclicTxView.
  TxMailboxRow TxMailbox(int index) const override;
  CyclicTxEntry CyclicEntry(int index) const override;
  void SetCyclicEntry(int index, const CyclicTxEntry& entry) override;
  void SetCyclicState(int index, const CyclicTxRowState& state) override;
  void SetCyclicStatus(std::string_view text) override;
  void SetResultText(std::string_view text) override;

  void buildStrip();
  void buildGroup();
  void bindRows();
  // The row (1..8) whose specified or cyclic controls hold `widget`; 0 for none.
  int rowOf(const QWidget* widget) const;
  void updateToggle(int index);
  void afterChange();  // a row may have started: keep the display timer going

  TxSetPage& m_page;
  std::function<void(std::string_view)> m_resultText;
  std::unique_ptr<CyclicTxRows> m_logic;
  std::array<bool, kRows> m_running{};
  QTimer m_display;
};

}  // namespace velqor
