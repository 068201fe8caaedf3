#include "app/qt_message_boxes.h"

#include <QMessageBox>

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
}  // namespace

void QtMessageBoxes::Show(const std::string& text, const std::string& caption, Icon icon) {
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok, m_parent);
  box.exec();
}

bool QtMessageBoxes::Confirm(const std::string& text, const std::string& caption, Icon icon) {
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok | QMessageBox::Cancel, m_parent);
  return box.exec() == QMessageBox::Ok;
}

}  // namespace velqor
