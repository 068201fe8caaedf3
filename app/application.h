#pragma once
// The application object. An exception that escapes an event handler is shown in a message
// box captioned with the application's title, and the event loop carries on; an exception
// that is not a std::exception is shown with an empty text.
//
// ProgramStop: what SIGINT and SIGTERM do in the program.

#include <QApplication>
#include <QPointer>

#include "app/qt_message_boxes.h"
#include "common/message_boxes.h"
#include "link/termination_signals.h"

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

// A stop request (SIGINT, SIGTERM) ends the program in order, whatever is open: the boxes,
// dialogs and menus open then close as their Cancel (or their one OK) would, nothing asks a
// person any more (QtMessageBoxes::stopAsking: later boxes go to standard error), and the
// main window closes as its close box does, which ends the event loop; the window's shutdown
// then saves, closes the log and the links. A request that comes before the main window is
// given (the start-up settings warning box is shown while the window is made) is kept:
// requested() then tells the program not to start its event loop.
//
// The handlers stay in place for the life of this object, which the program makes before its
// windows and destroys after them: a signal during the shutdown still closes a box the
// shutdown shows. Later signals after the first are taken and ignored (TerminationSignals).
//
// GUI thread, which runs the event loops in which the request is seen. One at a time.
class ProgramStop {
 public:
  explicit ProgramStop(QtMessageBoxes& boxes);

  // The window a request closes; null when it is gone (or not to be closed any more).
  void setMainWindow(QWidget* window) { m_mainWindow = window; }
  bool requested() const { return m_requested; }
  // What a signal does.
  void request();
  // Signals seen so far.
  int signalsHandled() const { return m_signals.handled(); }

 private:
  QtMessageBoxes& m_boxes;
  QPointer<QWidget> m_mainWindow;
  bool m_requested = false;
  TerminationSignals m_signals;  // last: its handler uses the rest
};

}  // namespace velqor
