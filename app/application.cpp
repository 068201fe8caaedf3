#include "app/application.h"

#include <cstdio>
#include <exception>

namespace velqor {

VelqorApplication::VelqorApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Velqor"));
  setApplicationDisplayName(QStringLiteral("Velqor"));
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
  if (m_boxes != nullptr) m_boxes->Show(text, "Velqor", MessageBoxes::Icon::Error);
}

}  // namespace velqor
