#pragma once
// SunkenPanel: the form library's panel with a lowered bevel and a centred caption.

#include <QLabel>

namespace velqor {

class SunkenPanel : public QLabel {
  Q_OBJECT

 public:
  explicit SunkenPanel(const QString& caption = QString(), QWidget* parent = nullptr);
};

}  // namespace velqor
