#include "tools/message_text.h"

#include <cstdio>

namespace velqor::cli {

namespace {

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

const char* BitRateName(std::uint8_t index) {
  return index < kBitRateCount ? kBitRateNames[index] : "?";
}

std::string ResultText(std::uint8_t result, const char* ok) {
  switch (result) {
    case kResultOk:
      return ok;
    case kResultFailed:
      return "failed";
    case kResultOutOfRange:
      return "out of range";
    default:
      return "result " + std::to_string(result);
  }
}

}  // namespace

std::string CandumpLine(const CanFrame& frame, std::string_view interface) {
  const long long us = frame.time.wallUs;
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "(%lld.%06lld) ", static_cast<long long>(us / 1000000),
                static_cast<long long>(us % 1000000));
  std::string line = stamp;
  line += interface;
  line += ' ';
  line += frame.extended() ? Hex(frame.id, 8) : Hex(frame.id, 3);
  line += '#';
  for (int i = 0; i < frame.length(); ++i) line += Hex(frame.data[i], 2);
  return line;
}

std::string MessageText(int code, const DeviceMessage& m) {
  const std::uint8_t* d = m.Data;
  switch (code) {
    case MsgCode::Answer01:
    case MsgCode::Answer02:
    case MsgCode::Answer04:
      return "answer 1/0x0" + std::to_string(code - 100);
    case MsgCode::SetRxMailboxDone:
      return "receive mailbox set";
    case MsgCode::GetRxMailboxDone:
      return "receive mailbox request answered";
    case MsgCode::RxMailboxContents: {
      const auto r = RxMailboxRecord::Decode(std::span<const std::uint8_t, 12>(d, 12));
      return "receive mailbox " + std::to_string(r.index) + ": " +
             (r.enable ? "enabled" : "disabled") + (r.ide ? ", extended" : ", standard") + " id " +
             Hex(r.id, r.ide ? 8 : 3) + " mask " + Hex(r.mask, r.ide ? 8 : 3);
    }
    case MsgCode::SetTerminatorDone:
      return "terminator set";
    case MsgCode::TerminatorState:
      return std::string("terminator ") + (d[0] == kTerminatorOn ? "on" : "off");
    case MsgCode::BitTiming:
      return std::string("bit timing: ") + BitRateName(d[0]) + ", sample-timing index " +
             std::to_string(d[1]);
    case MsgCode::SetBitTimingDone:
      return "bit timing set";
    case MsgCode::TimingTable: {
      std::string text = std::string("sample timings for ") + BitRateName(d[0]) + ":";
      for (int i = 0; i < d[1] && i < 30; ++i) text += " " + std::to_string(d[2 + i]);
      return text;
    }
    case MsgCode::SetConsoleFormatDone:
      return "console format set";
    case MsgCode::ConsoleFormat:
      if (d[0] == kConsoleNormal) return "console format: Normal Mode";
      if (d[0] == kConsoleCanUsb) return "console format: CAN-USB Mode";
      return "console format: " + std::to_string(d[0]);
    case MsgCode::CaptureState:
      if (d[0] == kCaptureStop) return "capture: stopped";
      if (d[0] == kCaptureSingle) return "capture: armed";
      if (d[0] == kCaptureContinuous) return "capture: continuous";
      return "capture: state " + std::to_string(d[0]);
    case MsgCode::Waveform:
      return "waveform: 200 samples, " + std::to_string((static_cast<unsigned>(d[2]) << 8) | d[3]) +
             " ns apart";
    case MsgCode::StoreResult:
      return "store parameters: " + ResultText(d[0], "success");
    case MsgCode::FirmwareVersion:
      return std::string("firmware version: ") + m.Text;
    case MsgCode::DeviceName:
      return std::string("device name: ") + m.Text;
    case MsgCode::BusError:
      return std::string("bus error: ") + (m.Text[0] ? m.Text : "(no text)") +
             " (transmit errors " + std::to_string(d[1]) + ", receive errors " +
             std::to_string(d[2]) + ")";
    case MsgCode::SendResult:
      return "send result: " + ResultText(d[0], "sent");
    default:
      return "message " + std::to_string(code);
  }
}

std::optional<TxRecord> ParseFrameText(std::string_view text, bool extended, std::string& error) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  const auto hash = text.find('#');
  if (hash == std::string_view::npos) {
    error = "'" + std::string(text) + "' is not <ID>#<DATA> (no '#')";
    return std::nullopt;
  }
  const std::string_view id = text.substr(0, hash);
  const std::string_view data = text.substr(hash + 1);
  if (id.empty() || id.size() > 8) {
    error = "the identifier '" + std::string(id) + "' needs 1 to 8 hexadecimal digits";
    return std::nullopt;
  }
  TxRecord record;
  for (std::size_t i = 0; i < id.size(); ++i) {
    const int v = digit(id[i]);
    if (v < 0) {
      error = "the identifier '" + std::string(id) + "' has a character that is not " +
              "hexadecimal: '" + std::string(1, id[i]) + "'";
      return std::nullopt;
    }
    record.id = (record.id << 4) | static_cast<std::uint32_t>(v);
  }
  record.ide = extended || id.size() > 3 ? 1 : 0;

  int pending = -1;  // first digit of a pair
  for (std::size_t i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c == '.' && pending < 0) continue;
    const int v = digit(c);
    if (v < 0) {
      error = "the data '" + std::string(data) + "' has a character that is not hexadecimal " +
              "at position " + std::to_string(i + 1) + ": '" + std::string(1, c) + "'";
      return std::nullopt;
    }
    if (pending < 0) {
      pending = v;
      continue;
    }
    if (record.dlc == 8) {
      error = "the data '" + std::string(data) + "' has more than 8 bytes";
      return std::nullopt;
    }
    record.data[record.dlc++] = static_cast<std::uint8_t>((pending << 4) | v);
    pending = -1;
  }
  if (pending >= 0) {
    error = "the data '" + std::string(data) + "' ends in half a byte (an odd number of digits)";
    return std::nullopt;
  }
  return record;
}

}  // namespace velqor::cli
