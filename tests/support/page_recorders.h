#pragma once
// Recording stand-ins for the one send path and the message boxes, for the page tests.

#include <cstdint>
#include <string>
#include <vector>

#include "common/message_boxes.h"
#include "link/device_sender.h"

namespace velqor::test {

using Bytes = std::vector<std::uint8_t>;

class SentFrames : public DeviceSender {
 public:
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
    frames.emplace_back(bytes, bytes + length);
    return true;
  }
  using DeviceSender::SendToDevice;

  std::vector<Bytes> frames;
};

class BoxRecorder : public MessageBoxes {
 public:
  struct Box {
    std::string text;
    std::string caption;
    Icon icon = Icon::None;
    bool confirm = false;  // OK and Cancel
    bool operator==(const Box&) const = default;
  };

  void Show(const std::string& text, const std::string& caption, Icon icon) override {
    boxes.push_back({text, caption, icon, false});
  }
  bool Confirm(const std::string& text, const std::string& caption, Icon icon) override {
    boxes.push_back({text, caption, icon, true});
    return answerOk;
  }

  std::vector<Box> boxes;
  bool answerOk = true;
};

}  // namespace velqor::test
