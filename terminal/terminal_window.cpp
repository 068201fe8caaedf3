#include "terminal/terminal_window.h"

namespace velqor {

TFrmTTY::TFrmTTY(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("FrmTTY"));
  setWindowTitle(QStringLiteral("FrmTTY"));
  setGeometry(718, 628, 406, 337);
  // Closing the main window ends the program even while this window is showing.
  setAttribute(Qt::WA_QuitOnClose, false);
}

// The panes that show these blocks are not built yet.
void TFrmTTY::ShowReceived(const std::uint8_t*, std::size_t) {}
void TFrmTTY::ShowSent(const std::uint8_t*, std::size_t) {}

}  // namespace velqor
