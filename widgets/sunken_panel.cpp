#include "widgets/sunken_panel.h"

namespace velqor {

SunkenPanel::SunkenPanel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setAlignment(Qt::AlignCenter);
}

}  // namespace velqor
