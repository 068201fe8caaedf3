#include "link/interpreter.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "link/protocol.h"

namespace velqor {

TMsgInterpret::TMsgInterpret(DeviceMessageSink* target)
    : Target(target), Buffer(std::make_unique<TRingBuf<unsigned char>>(kBufferCapacity)) {}

TMsgInterpret::~TMsgInterpret() = default;

std::uint32_t TMsgInterpret::Feed(const std::uint8_t* bytes, std::uint32_t length) {
  return Feed(bytes, length, CanTime::Now());
}

std::uint32_t TMsgInterpret::Feed(const std::uint8_t* bytes, std::uint32_t length,
                                  const CanTime& arrival) {
  m_arrival = arrival;
  const std::uint32_t room = Buffer->Write(bytes, length);
  Interpret();
  return room;
}

void TMsgInterpret::Interpret() {
  while (Buffer->GetCount() > 0) {
    // The only resynchronisation: stray bytes are dropped one at a time until a start byte
    // stands at the head.
    if (Buffer->Peek(0) != kFrameStart) {
      Buffer->DropUntil(kFrameStart);  // the stray bytes up to the next start byte
      continue;
    }
    const std::uint32_t length = Buffer->Peek(1);
    // A frame is complete with length + 2 bytes. The four header bytes go whatever the
    // length says, so a frame that claims length 0 or 1 also waits for all four: otherwise
    // the bytes after it would be swallowed or not depending on how the stream was cut into
    // chunks.
    const std::uint32_t needed = std::max<std::uint32_t>(length + 2, kFrameHeaderSize);
    if (static_cast<std::uint32_t>(Buffer->GetCount()) < needed) return;  // incomplete

    Buffer->Pop();
    Buffer->Pop();
    const std::uint8_t category = Buffer->Pop();
    const std::uint8_t command = Buffer->Pop();
    const std::uint32_t payloadLength = length >= 2 ? length - 2 : 0;
    for (std::uint32_t i = 0; i < payloadLength; ++i) m_payload[i] = Buffer->Pop();

    Announce(category, command);
  }
}

namespace {

// Text of a version or name payload, as the protocol reads it (at most 15 characters, so
// it fits the record and its string needs no allocation).
void CopyTextPayload(char (&text)[128], const std::uint8_t* payload) {
  const std::string t = TextPayload(std::span<const std::uint8_t>(payload, kTextPayloadSize));
  std::memcpy(text, t.data(), t.size());
  text[t.size()] = '\0';
}

int CodeOf(std::uint8_t category, std::uint8_t command) {
  switch (category) {
    case Category::Config:
      switch (command) {
        case Cmd::Answer01:
          return MsgCode::Answer01;
        case Cmd::Answer02:
          return MsgCode::Answer02;
        case Cmd::SetRxMailbox:
          return MsgCode::SetRxMailboxDone;
        case Cmd::Answer04:
          return MsgCode::Answer04;
        case Cmd::GetRxMailbox:
          return MsgCode::GetRxMailboxDone;
        case Cmd::RxMailboxContents:
          return MsgCode::RxMailboxContents;
        case Cmd::SetTerminator:
          return MsgCode::SetTerminatorDone;
        case Cmd::GetTerminator:
          return MsgCode::TerminatorState;
        case Cmd::GetTimingTable:
          return MsgCode::TimingTable;
        case Cmd::GetBitTiming:
          return MsgCode::BitTiming;
        case Cmd::SetBitTiming:
          return MsgCode::SetBitTimingDone;
        case Cmd::SetConsoleFormat:
          return MsgCode::SetConsoleFormatDone;
        case Cmd::GetConsoleFormat:
          return MsgCode::ConsoleFormat;
        case Cmd::StoreParams:
          return MsgCode::StoreResult;
        case Cmd::GetFirmwareVersion:
          return MsgCode::FirmwareVersion;
        case Cmd::GetDeviceName:
          return MsgCode::DeviceName;
        case Cmd::BusErrorStatus:
          return MsgCode::BusError;
        default:
          return 0;
      }
    case Category::Can:
      switch (command) {
        case Cmd::SendCanFrame:
          return MsgCode::SendResult;
        case Cmd::ReceivedCanFrame:
          return MsgCode::ReceivedFrame;
        default:
          return 0;
      }
    case Category::Wave:
      switch (command) {
        case Cmd::SetCaptureMode:
          return MsgCode::CaptureState;
        case Cmd::WaveformBlock:
          return MsgCode::Waveform;
        default:
          return 0;
      }
    default:
      return 0;
  }
}

}  // namespace

void TMsgInterpret::Announce(std::uint8_t category, std::uint8_t command) {
  const int code = CodeOf(category, command);
  if (code == 0) return;  // not a message of the adapter: consumed without a trace

  // The copies take a fixed number of bytes whatever the frame's length says; for a shorter
  // payload the bytes beyond it are left-overs of the scratch buffer and carry no meaning.
  const std::uint8_t* p = m_payload;
  DeviceMessage& m = Message;
  switch (code) {
    case MsgCode::RxMailboxContents:
      std::memcpy(m.Data, p, RxMailboxRecord::kSize);
      break;
    case MsgCode::SetTerminatorDone:
    case MsgCode::TerminatorState:
    case MsgCode::SetConsoleFormatDone:
    case MsgCode::ConsoleFormat:
    case MsgCode::StoreResult:
    case MsgCode::SendResult:
    case MsgCode::CaptureState:
      m.Data[0] = p[0];
      break;
    case MsgCode::TimingTable: {
      m.Data[0] = p[0];
      m.Data[1] = p[1];
      // The count byte may claim up to 255 values; the record holds 253 after the two
      // leading bytes, so the copy stops there.
      const std::size_t n = std::min<std::size_t>(p[1], sizeof m.Data - 2);
      std::memcpy(m.Data + 2, p + 2, n);
      break;
    }
    case MsgCode::BitTiming:
      m.Data[0] = p[0];
      m.Data[1] = p[1];
      break;
    case MsgCode::FirmwareVersion:
    case MsgCode::DeviceName:
      CopyTextPayload(m.Text, p);
      break;
    case MsgCode::BusError: {
      const char* text = ErrorText(p[0]);
      std::strncpy(m.Text, text, sizeof m.Text - 1);
      m.Text[sizeof m.Text - 1] = '\0';
      m.Data[1] = p[1];
      m.Data[2] = p[2];
      break;
    }
    case MsgCode::ReceivedFrame: {
      const ReceivedCanFrame record = ReceivedCanFrame::Decode(
          std::span<const std::uint8_t, ReceivedCanFrame::kSize>(p, ReceivedCanFrame::kSize));
      CanFrame frame;
      frame.id = record.id;
      frame.ide = record.ide;
      frame.dlc = record.dlc;
      frame.data = record.data;
      frame.time = m_arrival;
      if (Target != nullptr) Target->OnReceivedFrame(frame);
      return;
    }
    case MsgCode::Waveform:
      std::memcpy(m.Data, p, WaveformBlock::kSize);
      break;
    default:  // answers without data
      break;
  }
  m.Valid = 1;
  if (Target != nullptr) Target->OnDeviceMessage(code, m);
}

}  // namespace velqor
