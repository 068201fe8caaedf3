#pragma once
// Stand-ins for the program's edges that record what reaches them: the send path and the
// message boxes, for every test folder. Safe to use from several threads.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/message_boxes.h"
#include "link/device_sender.h"

namespace velqor::testing {

using Block = std::vector<std::uint8_t>;

class RecordingSender : public DeviceSender {
 public:
  using DeviceSender::SendToDevice;
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
    std::lock_guard lock(m_mutex);
    m_blocks.emplace_back(bytes, bytes + length);
    return true;
  }
  std::vector<Block> blocks() const {
    std::lock_guard lock(m_mutex);
    return m_blocks;
  }
  void clear() {
    std::lock_guard lock(m_mutex);
    m_blocks.clear();
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<Block> m_blocks;
};

struct ShownBox {
  std::string text;
  std::string caption;
  MessageBoxes::Icon icon = MessageBoxes::Icon::None;
  bool confirm = false;  // asked with OK and Cancel
  bool operator==(const ShownBox&) const = default;
};

// Every box shown or question asked, in order; a question is answered with confirmAnswer.
class RecordingBoxes : public MessageBoxes {
 public:
  void Show(const std::string& text, const std::string& caption, Icon icon) override {
    std::lock_guard lock(m_mutex);
    m_shown.push_back({text, caption, icon, false});
  }
  bool Confirm(const std::string& text, const std::string& caption, Icon icon) override {
    std::lock_guard lock(m_mutex);
    m_shown.push_back({text, caption, icon, true});
    return confirmAnswer;
  }
  std::vector<ShownBox> shown() const {
    std::lock_guard lock(m_mutex);
    return m_shown;
  }
  void clear() {
    std::lock_guard lock(m_mutex);
    m_shown.clear();
  }

  std::atomic<bool> confirmAnswer{true};

 private:
  mutable std::mutex m_mutex;
  std::vector<ShownBox> m_shown;
};

}  // namespace velqor::testing
