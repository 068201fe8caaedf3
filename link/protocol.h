#pragma once
// The device frame protocol spoken with the adapter.
//
// Both directions use one layout: 0xFC, length (category + command + payload), category,
// command, payload. No checksum, no escaping; multi-byte numbers are big-endian. The
// protocol is fire-and-forget: an answer carries the category and command of the command it
// answers (except the contents asked for by GetRxMailbox, which arrive as command 0x06) and
// is recognised by that pair alone.
//
// Everything here is plain data and pure functions over the C++ library.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/adapter_limits.h"
#include "common/ui_text.h"

namespace velqor {

inline constexpr std::uint8_t kFrameStart = 0xFC;
// Header bytes before the payload: start, length, category, command.
inline constexpr std::size_t kFrameHeaderSize = 4;
// The length byte counts category + command + payload, so the payload is at most 253 bytes.
inline constexpr std::size_t kMaxPayload = 255 - 2;
inline constexpr std::size_t kMaxFrameSize = kMaxPayload + kFrameHeaderSize;

// Categories of frames.
namespace Category {
inline constexpr std::uint8_t Config = 1;
inline constexpr std::uint8_t Can = 2;
inline constexpr std::uint8_t Wave = 3;
}  // namespace Category

// Command numbers of the program's commands and of the adapter's messages. Where a
// message answers a command it has the command's number.
namespace Cmd {
// Category 1, configuration.
inline constexpr std::uint8_t Answer01 = 0x01;  // answer without data; no command sends 1
inline constexpr std::uint8_t Answer02 = 0x02;  // answer without data; no command sends 2
inline constexpr std::uint8_t SetRxMailbox = 0x03;
inline constexpr std::uint8_t Answer04 = 0x04;  // answer without data; no command sends 4
inline constexpr std::uint8_t GetRxMailbox = 0x05;
inline constexpr std::uint8_t RxMailboxContents = 0x06;  // the answer to GetRxMailbox
inline constexpr std::uint8_t SetTerminator = 0x08;
inline constexpr std::uint8_t GetTerminator = 0x09;
inline constexpr std::uint8_t GetTimingTable = 0x0A;
inline constexpr std::uint8_t GetBitTiming = 0x0B;
inline constexpr std::uint8_t SetBitTiming = 0x0C;
inline constexpr std::uint8_t SetConsoleFormat = 0x0D;
inline constexpr std::uint8_t GetConsoleFormat = 0x0E;
inline constexpr std::uint8_t StoreParams = 0x10;
inline constexpr std::uint8_t GetFirmwareVersion = 0x20;
inline constexpr std::uint8_t GetDeviceName = 0x21;
inline constexpr std::uint8_t BusErrorStatus = 0xFF;  // sent by the adapter on its own
// Category 2, CAN traffic.
inline constexpr std::uint8_t SendCanFrame = 0x01;
inline constexpr std::uint8_t ReceivedCanFrame = 0x02;  // sent by the adapter on its own
// Category 3, waveform capture.
inline constexpr std::uint8_t SetTrigger = 0x01;
inline constexpr std::uint8_t SetCaptureMode = 0x02;
inline constexpr std::uint8_t WaveformBlock = 0x03;  // sent by the adapter on its own
}  // namespace Cmd

// Message codes the frame interpreter announces (106 and 111 never occur).
namespace MsgCode {
inline constexpr int Answer01 = 101;
inline constexpr int Answer02 = 102;
inline constexpr int SetRxMailboxDone = 103;
inline constexpr int Answer04 = 104;
inline constexpr int GetRxMailboxDone = 105;
inline constexpr int RxMailboxContents = 107;
inline constexpr int SetTerminatorDone = 108;
inline constexpr int TerminatorState = 109;
inline constexpr int BitTiming = 110;
inline constexpr int SetBitTimingDone = 112;
inline constexpr int TimingTable = 113;
inline constexpr int SetConsoleFormatDone = 114;
inline constexpr int ConsoleFormat = 115;
inline constexpr int CaptureState = 116;
inline constexpr int Waveform = 117;
inline constexpr int StoreResult = 118;
inline constexpr int FirmwareVersion = 119;
inline constexpr int DeviceName = 120;
inline constexpr int BusError = 200;
inline constexpr int SendResult = 201;
inline constexpr int ReceivedFrame = 202;
}  // namespace MsgCode

// Bit-rate index: 0 = 250 kbit/s, 1 = 500 kbit/s, 2 = 1 Mbit/s.
inline constexpr std::array<const char*, kBitRateCount> kBitRateNames = {"250kbps", "500kbps",
                                                                         "1Mbps"};
inline constexpr std::array<int, kBitRateCount> kBitRatesPerSecond = {250000, 500000, 1000000};
// Console output format index.
inline constexpr int kConsoleNormal = 0;  // "Normal Mode"
inline constexpr int kConsoleCanUsb = 1;  // "CAN-USB Mode"
// Terminator value on the wire: 0 = terminator on, 1 = off (the inverse of the check box).
inline constexpr std::uint8_t kTerminatorOn = 0;
inline constexpr std::uint8_t kTerminatorOff = 1;
// Capture port and capture mode.
inline constexpr std::uint8_t kPortCanL = 0;
inline constexpr std::uint8_t kPortCanH = 1;
inline constexpr std::uint8_t kPortDifferential = 2;
inline constexpr std::uint8_t kCaptureStop = 0;
inline constexpr std::uint8_t kCaptureSingle = 1;
inline constexpr std::uint8_t kCaptureContinuous = 2;
// Result bytes of StoreParams (1/0x10) and SendCanFrame (2/0x01).
inline constexpr std::uint8_t kResultOk = 0;
inline constexpr std::uint8_t kResultFailed = 1;
inline constexpr std::uint8_t kResultOutOfRange = 2;

using Frame = std::vector<std::uint8_t>;

// Receive mailbox record: payload of SetRxMailbox and of the mailbox contents (1/0x06).
struct RxMailboxRecord {
  static constexpr std::size_t kSize = 12;
  std::uint8_t index = 0;   // 0..15
  std::uint8_t enable = 0;  // 1 = mailbox enabled
  std::uint8_t ide = 0;     // 1 = 29-bit identifier
  std::uint32_t id = 0;
  std::uint32_t mask = 0;
  std::uint8_t spare = 0;  // 0 when sent; not interpreted when received

  std::array<std::uint8_t, kSize> Encode() const;
  static RxMailboxRecord Decode(std::span<const std::uint8_t, kSize> bytes);
  bool operator==(const RxMailboxRecord&) const = default;
};

// Transmit record: payload of SendCanFrame. Unlike the received frame it has no leading
// byte before ide.
struct TxRecord {
  static constexpr std::size_t kSize = 14;
  std::uint8_t ide = 0;
  std::uint32_t id = 0;
  std::uint8_t dlc = 0;
  std::array<std::uint8_t, 8> data{};  // all eight are sent; bytes beyond the DLC should be 0

  std::array<std::uint8_t, kSize> Encode() const;
  static TxRecord Decode(std::span<const std::uint8_t, kSize> bytes);
  bool operator==(const TxRecord&) const = default;
};

// A frame seen on the bus: payload of 2/0x02.
struct ReceivedCanFrame {
  static constexpr std::size_t kSize = 15;
  std::uint8_t head = 0;  // byte 0, the adapter's own; the program does not interpret it
  std::uint8_t ide = 0;
  std::uint32_t id = 0;
  std::uint8_t dlc = 0;  // as received, not limited to 8
  std::array<std::uint8_t, 8> data{};

  std::array<std::uint8_t, kSize> Encode() const;
  static ReceivedCanFrame Decode(std::span<const std::uint8_t, kSize> bytes);
  bool operator==(const ReceivedCanFrame&) const = default;
};

// One captured waveform: payload of 3/0x03.
struct WaveformBlock {
  static constexpr std::size_t kSize = 206;
  static constexpr std::size_t kSamples = 200;
  // Volts per sample count: 5 / 256.
  static constexpr double kVoltsPerCount = 5.0 / 256.0;
  std::array<std::uint8_t, 2> head{};  // the adapter's own, not used for display
  std::uint16_t interval = 0;          // nanoseconds between samples
  std::array<std::uint8_t, kSamples> samples{};
  std::array<std::uint8_t, 2> tail{};  // not interpreted

  std::array<std::uint8_t, kSize> Encode() const;
  static WaveformBlock Decode(std::span<const std::uint8_t, kSize> bytes);
  bool operator==(const WaveformBlock&) const = default;
};

// Builds a whole frame. The payload must be at most kMaxPayload bytes (longer payloads are
// cut there: a frame cannot say more).
Frame MakeFrame(std::uint8_t category, std::uint8_t command,
                std::span<const std::uint8_t> payload = {});

// Builders for every command the program sends, producing the exact bytes.
Frame SetRxMailbox(const RxMailboxRecord& record);
Frame GetRxMailbox(std::uint8_t index);
Frame SetTerminator(std::uint8_t value);
Frame GetTerminator();
Frame GetTimingTable(std::uint8_t bitRateIndex);
Frame GetBitTiming();
Frame SetBitTiming(std::uint8_t bitRateIndex, std::uint8_t sampleTimingIndex);
Frame SetConsoleFormat(std::uint8_t format);
Frame GetConsoleFormat();
Frame StoreParams();
Frame GetFirmwareVersion();
Frame GetDeviceName();
Frame SendCanFrame(const TxRecord& record);
// The records of the SendCanFrame commands a block of outgoing bytes carries whole (each as
// SendCanFrame builds it: start byte, length, category 2, command 0x01, the 14 bytes of the
// record), walking the block frame by frame from its start; empty for any other block.
std::vector<TxRecord> SentCanFrameRecords(std::span<const std::uint8_t> block);
Frame SetTrigger(std::uint8_t port, std::uint8_t level);
Frame SetCaptureMode(std::uint8_t mode);

// The trigger level byte: volts x 10 truncated toward zero, low eight bits
// (2.5 -> 25, 0.25 -> 2, 26 -> 4). Computed in extended precision so that decimal texts
// such as 2.3 give 23 rather than the 22 a double product (22.999...) would truncate to.
std::uint8_t TriggerLevelByte(long double volts);

// Error texts of the bus error status (1/0xFF byte 0). Indexes 1..10 are looked up as they
// are; 0 and every index above 10 read as entry 0, "Receive Buffer Full".
// The texts a person reads are their translations filed under kBusErrorContext
// (common/ui_text.h); these stay what log files and the slcan bridge carry.
inline constexpr char kBusErrorContext[] = "BusErrors";
inline constexpr std::array<const char*, 11> kErrorTexts = {
    VELQOR_TRANSLATE_NOOP("BusErrors", "Receive Buffer Full"),
    VELQOR_TRANSLATE_NOOP("BusErrors", "CRC_ERROR"),
    VELQOR_TRANSLATE_NOOP("BusErrors", "ARBITRATION_LOS"),
    VELQOR_TRANSLATE_NOOP("BusErrors", "OVERLOAD_ERROR"),
    VELQOR_TRANSLATE_NOOP("BusErrors", "BIT_ERROR"),
    VELQOR_TRANSLATE_NOOP("BusErrors", "STUFF_ERROR"),
    VELQOR_TRANSLATE_NOOP("BusErrors", "ACK_ERROR"),
    VELQOR_TRANSLATE_NOOP("BusErrors", "FORM_ERROR"),
    VELQOR_TRANSLATE_NOOP("BusErrors", "BUS_OFF_ERROR"),
    VELQOR_TRANSLATE_NOOP("BusErrors", "RX_MSG_LOST_ERROR"),
    "",
};
constexpr int ErrorTextIndex(std::uint8_t errorIndex) {
  return errorIndex >= 1 && errorIndex <= 10 ? errorIndex : 0;
}
constexpr const char* ErrorText(std::uint8_t errorIndex) {
  return kErrorTexts[ErrorTextIndex(errorIndex)];
}

// Text payload of the firmware version (1/0x20) and device name (1/0x21): the first 15
// payload bytes, ending at the first zero byte; 15 characters when none of them is zero.
inline constexpr std::size_t kTextPayloadSize = 15;
std::string TextPayload(std::span<const std::uint8_t> payload);

// Big-endian helpers.
constexpr std::uint32_t ReadBe32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}
constexpr void WriteBe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

}  // namespace velqor
