#pragma once
// TFrmAbout, the About box. For now its caption and size; the picture and the figures come
// later.

#include <QDialog>

namespace velqor {

class TFrmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TFrmAbout(QWidget* parent = nullptr);
};

}  // namespace velqor
