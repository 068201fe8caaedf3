#pragma once
// TMsgInterpret cuts the byte stream that comes from the adapter into device frames and
// announces each known frame, as a message code with the decoded record DeviceMessage, to
// its target. Both links (USB and serial) feed the same interpreter.
//
// The interpreter has no lock: the owner serialises the calls of Feed. Each announcement is
// a synchronous call on the feeding thread; the record is only valid during that call and is
// overwritten by the next frame.

#include <cstdint>
#include <memory>

#include "link/ring_buffer.h"

namespace velqor {

// The window message that carried an announcement to the main window; the name and number
// stay as the message's identity (wParam the code, lParam the record).
inline constexpr unsigned WM_USER = 0x0400;
inline constexpr unsigned WM_DEVICE_MESSAGE = WM_USER + 301;  // 1325

// The decoded record, reused for every message: a field that a message does not set keeps
// the value of an earlier message.
struct DeviceMessage {
  std::uint16_t Valid = 0;  // set to 1 just before each announcement
  std::uint8_t Ide = 0;     // received CAN frame: identifier-extension flag
  std::uint32_t Id = 0;     // received CAN frame: identifier
  std::uint8_t Dlc = 0;     // received CAN frame: data length code as received
  std::uint8_t Data[255] = {};
  char Text[128] = {};  // version, device name or error text, zero-terminated
};

// The target of the announcements (the main window, or a tool).
class DeviceMessageSink {
 public:
  // Called on the thread that runs Feed, once per recognised frame, in the order in which
  // the frames' start bytes arrived. `message` is valid only during the call.
  virtual void OnDeviceMessage(int code, const DeviceMessage& message) = 0;

 protected:
  ~DeviceMessageSink() = default;
};

class TMsgInterpret {
 public:
  static constexpr std::uint32_t kBufferCapacity = 4096;
  static constexpr std::size_t kScratchSize = 256;

  // `target` must outlive the interpreter.
  explicit TMsgInterpret(DeviceMessageSink* target);
  virtual ~TMsgInterpret();
  TMsgInterpret(const TMsgInterpret&) = delete;
  TMsgInterpret& operator=(const TMsgInterpret&) = delete;

  // Appends the bytes to the buffer (bytes beyond its capacity are dropped) and announces
  // every complete frame. Returns the room left after the append, before any frame was
  // consumed.
  std::uint32_t Feed(const std::uint8_t* bytes, std::uint32_t length);

  // Consumes and announces every complete frame held in the buffer.
  virtual void Interpret();

  // Bytes held: at most one incomplete frame between calls of Feed.
  std::int32_t BufferedBytes() const { return Buffer->GetCount(); }

 private:
  void Announce(std::uint8_t category, std::uint8_t command);

  DeviceMessageSink* Target;
  std::unique_ptr<TRingBuf<unsigned char>> Buffer;
  DeviceMessage Message;
  std::uint8_t m_payload[kScratchSize] = {};
};

}  // namespace velqor
