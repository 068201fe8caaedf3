#pragma once
// The application object. An exception that escapes an event handler is shown in a message
// box captioned with the application's title, and the event loop carries on; an exception
// that is not a std::exception is shown with an empty text.

#include <QApplication>

#include "common/message_boxes.h"

namespace velqor {

class VelqorApplication : public QApplication {
  Q_OBJECT

 public:
  VelqorApplication(int& argc, char** argv);

  // Where exceptions are shown; none until set (they are then only written to stderr).
  void setMessageBoxes(MessageBoxes* boxes) { m_boxes = boxes; }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  void showException(const std::string& text);

  MessageBoxes* m_boxes = nullptr;
};

}  // namespace velqor
