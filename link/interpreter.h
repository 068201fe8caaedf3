#pragma once
// TMsgInterpret cuts the byte stream that comes from the adapter into device frames and
// announces each known frame to its target: a CAN frame seen on the bus (message code 202)
// as a CanFrame stamped with the time its bytes were fed, every other message as a message
// code with the decoded record DeviceMessage. Each byte stream (a link) has an interpreter
// of its own, so that a frame cut across two reports is never interleaved with bytes of
// another link.
//
// The interpreter has no lock: the owner serialises the calls of Feed. Each announcement is
// a synchronous call on the feeding thread; what it passes is only valid during that call.

#include <cstdint>
#include <memory>

#include "link/can_frame.h"
#include "link/ring_buffer.h"

namespace velqor {

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

// The target of the announcements (the main window's receive path, or a tool). Both are
// called on the thread that runs Feed, once per recognised frame, in the order in which the
// frames' start bytes arrived; what they pass is valid only during the call.
class DeviceMessageSink {
 public:
  // A CAN frame seen on the bus (message code 202), stamped with the arrival given to Feed.
  virtual void OnReceivedFrame(const CanFrame& frame) = 0;
  // Every other message, with the decoded record.
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
  // every complete frame; received CAN frames carry `arrival` (the clocks now when not
  // given). Returns the room left after the append, before any frame was consumed.
  std::uint32_t Feed(const std::uint8_t* bytes, std::uint32_t length);
  std::uint32_t Feed(const std::uint8_t* bytes, std::uint32_t length, const CanTime& arrival);

  // Consumes and announces every complete frame held in the buffer; received CAN frames
  // carry the time of the last Feed.
  virtual void Interpret();

  // Bytes held: at most one incomplete frame between calls of Feed.
  std::int32_t BufferedBytes() const { return Buffer->GetCount(); }

 private:
  void Announce(std::uint8_t category, std::uint8_t command);

  DeviceMessageSink* Target;
  std::unique_ptr<TRingBuf<unsigned char>> Buffer;
  DeviceMessage Message;
  std::uint8_t m_payload[kScratchSize] = {};
  CanTime m_arrival;
};

}  // namespace velqor
