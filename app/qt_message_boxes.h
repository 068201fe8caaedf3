#pragma once
// MessageBoxes shown with QMessageBox.

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

 private:
  QWidget* m_parent;
};

}  // namespace velqor
