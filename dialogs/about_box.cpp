#include "dialogs/about_box.h"

namespace velqor {

TFrmAbout::TFrmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmAbout"));
  setWindowTitle(QStringLiteral("About Velqor"));
  setFixedSize(318, 199);
  setAttribute(Qt::WA_QuitOnClose, false);
}

}  // namespace velqor
