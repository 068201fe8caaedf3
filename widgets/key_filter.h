#pragma once
// KeyFilter: discards typed characters that a field does not take, as a key-press handler
// of the form library does by clearing the key. Only typed characters are looked at:
// movement and editing keys (arrows, Delete, Home) and control characters such as Ctrl+C and
// Ctrl+V pass, and a pasted text is not filtered.

#include <QObject>
#include <functional>

namespace velqor {

class KeyFilter : public QObject {
  Q_OBJECT

 public:
  // `accepts` decides for each typed character (Backspace arrives as '\b').
  explicit KeyFilter(std::function<bool(QChar)> accepts, QObject* parent = nullptr);

  // '0'-'9', 'A'-'F', 'a'-'f' and Backspace: the identifier and mask fields.
  static bool HexDigitOrBackspace(QChar c);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<bool(QChar)> m_accepts;
};

}  // namespace velqor
