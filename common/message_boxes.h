#pragma once
// Message boxes as the logic sees them. The program shows them with QMessageBox; tests put a
// recorder in their place, so nothing ever waits for a person during a test.

#include <string>

namespace velqor {

class MessageBoxes {
 public:
  enum class Icon { None, Information, Warning, Error };

  // A box with a single OK button; returns when it is closed.
  virtual void Show(const std::string& text, const std::string& caption, Icon icon) = 0;
  // A box with OK and Cancel; true for OK.
  virtual bool Confirm(const std::string& text, const std::string& caption, Icon icon) = 0;

 protected:
  ~MessageBoxes() = default;
};

}  // namespace velqor
