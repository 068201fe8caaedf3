#pragma once
// The one path for outgoing bytes. The main window implements it: each call writes the bytes
// as one USB output report and then echoes them to the terminal window's transmit monitor.
// Pages and scripts get a DeviceSender instead of reaching for the window.

#include <cstddef>
#include <cstdint>
#include <span>

namespace velqor {

class DeviceSender {
 public:
  // Callable from any thread; one call is one report. True when the block went out; the
  // pages do not look: a closed link swallows their bytes. A script says when a block of it
  // did not go out (no link, or longer than one report, which is refused whole: cut, it
  // would leave the adapter waiting for the rest of a frame).
  virtual bool SendToDevice(const std::uint8_t* bytes, std::size_t length) = 0;

  bool SendToDevice(std::span<const std::uint8_t> bytes) {
    return SendToDevice(bytes.data(), bytes.size());
  }

 protected:
  ~DeviceSender() = default;
};

}  // namespace velqor
