#include "app/qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace velqor {

namespace {
QMessageBox::Icon ToQt(MessageBoxes::Icon icon) {
  switch (icon) {
    case MessageBoxes::Icon::Information:
      return QMessageBox::Information;
    case MessageBoxes::Icon::Warning:
      return QMessageBox::Warning;
    case MessageBoxes::Icon::Error:
      return QMessageBox::Critical;
    default:
      return QMessageBox::NoIcon;
  }
}

// A box nobody will see: its text for whoever reads the program's error output.
void ToStandardError(const std::string& text) {
  std::fprintf(stderr, "velqor: %s\n", text.c_str());
}

}  // namespace

void QtMessageBoxes::Show(const std::string& text, const std::string& caption, Icon icon) {
  if (m_stopped) {
    ToStandardError(text);
    return;
  }
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok, m_parent);
  box.exec();
}

bool QtMessageBoxes::Confirm(const std::string& text, const std::string& caption, Icon icon) {
  if (m_stopped) {
    ToStandardError(text);
    return false;
  }
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok | QMessageBox::Cancel, m_parent);
  return box.exec() == QMessageBox::Ok;
}

void QtMessageBoxes::stopAsking() {
  m_stopped = true;
  // A menu's own loop first, then the modal windows from the top: a box over a dialog goes
  // before the dialog. Closing a message box presses its escape button (Cancel, or the only
  // OK); closing a dialog rejects it. A window that that stays open ends the walk.
  QWidget* previous = nullptr;
  while (QWidget* popup = QApplication::activePopupWidget()) {
    if (popup == previous) break;
    previous = popup;
    popup->close();
  }
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (modal == previous) break;
    previous = modal;
    modal->close();
  }
}

}  // namespace velqor
