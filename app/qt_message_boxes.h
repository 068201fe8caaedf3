#pragma once
// MessageBoxes shown with QMessageBox.
//
// A stop request (SIGINT, SIGTERM; see ProgramStop in app/application.h) calls stopAsking():
// from then on nothing waits for a person. What is open at that moment closes as its Cancel
// would (a box with OK only: as its OK): every menu, message box and modal dialog, innermost
// first. Boxes asked for later are not shown: their text goes to standard error, and a
// question is answered Cancel.
//
// GUI thread only.

#include <QWidget>

#include "common/message_boxes.h"

namespace velqor {

class QtMessageBoxes : public MessageBoxes {
 public:
  // `parent` may be null: the box then belongs to no window.
  explicit QtMessageBoxes(QWidget* parent = nullptr) : m_parent(parent) {}
  void setParent(QWidget* parent) { m_parent = parent; }

  void Show(const std::string& text, const std::string& caption, Icon icon) override;
  bool Confirm(const std::string& text, const std::string& caption, Icon icon) override;

  void stopAsking();
  bool stopped() const { return m_stopped; }

 private:
  QWidget* m_parent;
  bool m_stopped = false;
};

}  // namespace velqor
