#include "tools/message_json.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "link/protocol.h"

namespace velqor::cli {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

namespace {

void AppendBytes(std::string& out, const char* name, const std::uint8_t* bytes, std::size_t n) {
  out += ",\"";
  out += name;
  out += "\":[";
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) out += ',';
    out += std::to_string(bytes[i]);
  }
  out += ']';
}

void AppendNumber(std::string& out, const char* name, unsigned long long value) {
  out += ",\"";
  out += name;
  out += "\":";
  out += std::to_string(value);
}

void AppendText(std::string& out, const char* name, const char* text) {
  out += ",\"";
  out += name;
  out += "\":";
  out += JsonString(text);
}

}  // namespace

std::string FrameJson(const CanFrame& frame) {
  std::string out = "{\"code\":" + std::to_string(MsgCode::ReceivedFrame);
  AppendNumber(out, "ide", frame.ide);
  AppendNumber(out, "id", frame.id);
  AppendNumber(out, "dlc", frame.dlc);
  AppendBytes(out, "data", frame.data.data(), frame.data.size());
  out += '}';
  return out;
}

std::string MessageJson(int code, const DeviceMessage& m) {
  std::string out = "{\"code\":" + std::to_string(code);
  switch (code) {
    case MsgCode::Waveform:
      AppendNumber(out, "interval", static_cast<unsigned>(m.Data[2] << 8 | m.Data[3]));
      AppendBytes(out, "samples", m.Data + 4, WaveformBlock::kSamples);
      break;
    case MsgCode::FirmwareVersion:
    case MsgCode::DeviceName:
      AppendText(out, "text", m.Text);
      break;
    case MsgCode::BusError:
      AppendText(out, "text", m.Text);
      AppendNumber(out, "tx", m.Data[1]);
      AppendNumber(out, "rx", m.Data[2]);
      break;
    case MsgCode::RxMailboxContents:
      AppendBytes(out, "data", m.Data, RxMailboxRecord::kSize);
      break;
    case MsgCode::BitTiming:
      AppendBytes(out, "data", m.Data, 2);
      break;
    case MsgCode::TimingTable:
      // The count byte may claim more values than the record holds.
      AppendBytes(out, "data", m.Data, std::min<std::size_t>(2u + m.Data[1], sizeof m.Data));
      break;
    case MsgCode::SetTerminatorDone:
    case MsgCode::TerminatorState:
    case MsgCode::SetConsoleFormatDone:
    case MsgCode::ConsoleFormat:
    case MsgCode::CaptureState:
    case MsgCode::StoreResult:
    case MsgCode::SendResult:
      AppendBytes(out, "data", m.Data, 1);
      break;
    default:
      break;
  }
  out += '}';
  return out;
}

}  // namespace velqor::cli
