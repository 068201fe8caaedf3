#include "app/application.h"

#include <cstdio>
#include <exception>

namespace velqor {

VelqorApplication::VelqorApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The application's title. Not set as the display name as well: Qt would append that to
  // every window title ("Velqor - COM1 - — Velqor") on X11.
  setApplicationName(QStringLiteral("Velqor"));
  setApplicationVersion(QStringLiteral("3.1.0"));
}

bool VelqorApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    showException(e.what());
  } catch (...) {
    showException(std::string());
  }
  return false;
}

void VelqorApplication::showException(const std::string& text) {
  std::fprintf(stderr, "velqor: %s\n", text.c_str());
  // A presenter that no longer asks would only write the text a second time.
  if (const auto* qt = dynamic_cast<const QtMessageBoxes*>(m_boxes); qt && qt->stopped()) return;
  if (m_boxes != nullptr) m_boxes->Show(text, "Velqor", MessageBoxes::Icon::Error);
}

ProgramStop::ProgramStop(QtMessageBoxes& boxes)
    : m_boxes(boxes), m_signals([this] { request(); }) {}

void ProgramStop::request() {
  m_requested = true;
  m_boxes.stopAsking();
  if (m_mainWindow) m_mainWindow->close();
}

}  // namespace velqor
