#pragma once
// TFrmOption, the serial port dialog. For now its caption and size; the port choice comes
// later.

#include <QDialog>

namespace velqor {

class TFrmOption : public QDialog {
  Q_OBJECT

 public:
  explicit TFrmOption(QWidget* parent = nullptr);
};

}  // namespace velqor
