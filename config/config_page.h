#pragma once
// The "Config" page: the group "Receive Mail Box" with sixteen rows (Chrx n, EditIdRx n,
// EditRxMask n, ChkRxIde n, and the hidden SpinRxDlc n and MaskEditRx n), the bit rate and
// sample timing, the console format, the terminator, the three parameter buttons, the device
// information and the data-log controls. The page lays the controls out; the main window
// gathers the rows into its arrays by name, places them, orders them and attaches handlers.

#include <QWidget>

class QGroupBox;

namespace velqor {

class ConfigPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRows = 16;
  static constexpr int kEditTop = 37;
  static constexpr int kCheckTop = 40;
  static constexpr int kRowStep = 21;

  explicit ConfigPage(QWidget* parent = nullptr);

  QGroupBox* mailboxGroup() const { return m_mailboxes; }

 private:
  QGroupBox* m_mailboxes;
};

}  // namespace velqor
