#include "widgets/key_filter.h"

#include <QKeyEvent>

namespace velqor {

KeyFilter::KeyFilter(std::function<bool(QChar)> accepts, QObject* parent)
    : QObject(parent), m_accepts(std::move(accepts)) {}

bool KeyFilter::HexDigitOrBackspace(QChar c) {
  const char16_t u = c.unicode();
  return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F') || u == '\b';
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    QString text = key->text();
    if (key->key() == Qt::Key_Backspace) text = QStringLiteral("\b");
    if (!text.isEmpty()) {
      for (QChar c : text) {
        // Control characters other than Backspace (Ctrl+C, Ctrl+V, Tab) are shortcuts, not
        // typed text: they pass.
        if (c != QLatin1Char('\b') && !c.isPrint()) continue;
        if (!m_accepts(c)) return true;  // the character is dropped
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace velqor
