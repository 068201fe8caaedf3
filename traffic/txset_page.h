#pragma once
// The "TxSet" page: the group "Transmit Mail Box" with eight rows (MBox n, EditIdTx n,
// CSpinDLC n, ChkTxIde n, MaskEdit n, BtnSend n), BtnAllSend and a hidden memo. The page
// builds and places its rows, holds them in its row arrays (index i is row i + 1; each
// control's "Tag" property holds its row number), binds them to its logic (TxMailboxes) and
// loads and saves their settings. What the logic reports goes to the status bar through
// `resultText`.

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string_view>

#include "common/message_boxes.h"
#include "common/settings.h"
#include "link/device_sender.h"
#include "traffic/tx_mailboxes.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace velqor {

class MaskedEdit;

class TxSetPage : public QWidget, private TxSetView {
  Q_OBJECT

 public:
  static constexpr int kRows = kTxMailboxCount;
  // Row i (0-based): edits at kEditTop + kRowStep * i, check boxes at kCheckTop + kRowStep * i.
  static constexpr int kEditTop = 37;
  static constexpr int kCheckTop = 41;
  static constexpr int kRowStep = 21;

  // `sender` and `boxes` must outlive the page; `resultText` shows a text in ResultPanel.
  TxSetPage(DeviceSender& sender, MessageBoxes& boxes,
            std::function<void(std::string_view)> resultText, QWidget* parent = nullptr);
  ~TxSetPage() override;

  // Handlers: "SEND" of row `row` (1..8, the button's Tag), "ALL SEND", and the DLC of row
  // `row` changed.
  void BtnSendClick(int row);
  void BtnAllSendClick();
  void CSpinDLCChange(int row);

  // The rows' settings (TXCONF), loaded in the order they have always been read: per row the
  // box, the identifier, the DLC (which sets the data mask), the ide, then the data.
  void loadMailboxes(const std::array<TxMailboxSettings, kTxMailboxCount>& rows);
  void saveMailboxes(std::array<TxMailboxSettings, kTxMailboxCount>& rows) const;

  QGroupBox* group() const { return m_group; }

  // Row arrays, index i = row i + 1.
  std::array<MaskedEdit*, kRows> MaskEdit{};
  std::array<QCheckBox*, kRows> MBox{};
  std::array<QCheckBox*, kRows> ChkTxIde{};
  std::array<QPushButton*, kRows> BtnSend{};
  std::array<QLineEdit*, kRows> EditIdTx{};
  std::array<QSpinBox*, kRows> CSpinDLC{};
  QPushButton* BtnAllSend = nullptr;

 private:
  // TxSetView.
  TxMailboxRow TxMailbox(int index) const override;
  void SetTxDataMask(int index, std::string_view editMask) override;
  void SetResultText(std::string_view text) override;

  std::unique_ptr<TxMailboxes> m_mailboxes;
  std::function<void(std::string_view)> m_resultText;
  QGroupBox* m_group;
};

}  // namespace velqor
