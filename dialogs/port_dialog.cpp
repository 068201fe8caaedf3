#include "dialogs/port_dialog.h"

namespace velqor {

TFrmOption::TFrmOption(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmOption"));
  setWindowTitle(QStringLiteral("serialport set"));
  setFixedSize(188, 137);
}

}  // namespace velqor
