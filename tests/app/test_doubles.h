#pragma once
// Recording stand-ins for the message boxes and the terminal window.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/message_boxes.h"
#include "terminal/terminal_monitor.h"

namespace velqor::test {

class RecordingBoxes : public MessageBoxes {
 public:
  struct Box {
    std::string text, caption;
    Icon icon;
  };
  void Show(const std::string& text, const std::string& caption, Icon icon) override {
    shown.push_back({text, caption, icon});
  }
  bool Confirm(const std::string& text, const std::string& caption, Icon icon) override {
    shown.push_back({text, caption, icon});
    return confirmAnswer;
  }
  std::vector<Box> shown;
  bool confirmAnswer = false;
};

class RecordingTerminal : public TerminalMonitor {
 public:
  using Block = std::vector<std::uint8_t>;
  bool IsShowing() const override { return showing.load(); }
  void ShowReceived(const std::uint8_t* bytes, std::size_t length) override {
    std::lock_guard lock(m_mutex);
    m_received.emplace_back(bytes, bytes + length);
  }
  void ShowSent(const std::uint8_t* bytes, std::size_t length) override {
    std::lock_guard lock(m_mutex);
    m_sent.emplace_back(bytes, bytes + length);
  }
  std::vector<Block> received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
  }
  std::vector<Block> sent() const {
    std::lock_guard lock(m_mutex);
    return m_sent;
  }
  std::atomic<bool> showing{false};  // as a window that starts hidden

 private:
  mutable std::mutex m_mutex;
  std::vector<Block> m_received, m_sent;
};

}  // namespace velqor::test
