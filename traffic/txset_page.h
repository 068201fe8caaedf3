#pragma once
// The "TxSet" page: the group "Transmit Mail Box" with eight rows (MBox n, EditIdTx n,
// CSpinDLC n, ChkTxIde n, MaskEdit n, BtnSend n), BtnAllSend and a hidden memo.
// The page only lays the controls out; the main window gathers them into its row arrays by
// name, places the rows and attaches their handlers.

#include <QWidget>

class QGroupBox;

namespace velqor {

class TxSetPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRows = 8;
  // Row i (0-based): edits at kEditTop + kRowStep * i, check boxes kCheckOffset lower.
  static constexpr int kEditTop = 37;
  static constexpr int kCheckTop = 41;
  static constexpr int kRowStep = 21;

  explicit TxSetPage(QWidget* parent = nullptr);

  QGroupBox* group() const { return m_group; }

 private:
  QGroupBox* m_group;
};

}  // namespace velqor
