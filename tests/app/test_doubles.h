#pragma once
// Recording stand-ins for the message boxes and the terminal window.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "terminal/terminal_monitor.h"
#include "tests/support/recorders.h"

namespace velqor::test {

// The one message-box recorder of all the tests.
using RecordingBoxes = velqor::testing::RecordingBoxes;

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
