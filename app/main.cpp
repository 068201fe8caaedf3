// velqor: the main window, the terminal window and the About box, then the event loop.

#include "app/application.h"
#include "app/main_window.h"
#include "app/qt_message_boxes.h"
#include "dialogs/about_box.h"
#include "terminal/terminal_window.h"

int main(int argc, char** argv) {
  velqor::VelqorApplication app(argc, argv);
  velqor::QtMessageBoxes boxes;
  app.setMessageBoxes(&boxes);

  velqor::TFrmMain frmMain(boxes);
  boxes.setParent(&frmMain);
  velqor::TFrmTTY frmTty(frmMain, boxes);  // hidden until "&TTY"
  frmMain.setTerminal(&frmTty, &frmTty);
  velqor::TFrmAbout frmAbout;  // hidden
  frmMain.show();

  app.exec();
  frmMain.setTerminal(nullptr, nullptr);
  return 0;
}
