#pragma once
// TFrmTTY, the terminal window: created hidden at start, shown and hidden from the main
// window's menu. For now an empty window; its panes, menu and scripts come later, and until
// then the blocks handed to it are not shown.

#include <QWidget>

#include "terminal/terminal_monitor.h"

namespace velqor {

class TFrmTTY : public QWidget, public TerminalMonitor {
  Q_OBJECT

 public:
  explicit TFrmTTY(QWidget* parent = nullptr);

  void ShowReceived(const std::uint8_t* bytes, std::size_t length) override;
  void ShowSent(const std::uint8_t* bytes, std::size_t length) override;
};

}  // namespace velqor
