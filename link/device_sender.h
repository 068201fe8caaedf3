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
  // Callable from any thread; one call is one report. The result of the write is not
  // examined: a closed link swallows the bytes.
  virtual void SendToDevice(const std::uint8_t* bytes, std::size_t length) = 0;

  void SendToDevice(std::span<const std::uint8_t> bytes) {
    SendToDevice(bytes.data(), bytes.size());
  }

 protected:
  ~DeviceSender() = default;
};

}  // namespace velqor
