#include "tools/monitor_output.h"

#include "canlog/candump_log.h"
#include "canlog/error_frames.h"

namespace velqor::cli {

CanFrame ErrorFrameFromMessage(const DeviceMessage& message, const CanTime& time) {
  // The adapter's index is known here by its text only; an unknown text is a bus error
  // without more detail (index 10, the empty text).
  const std::uint8_t index = ErrorIndexFromText(message.Text).value_or(10);
  return BusErrorFrame(index, message.Data[1], message.Data[2], time);
}

std::string MonitorCandumpLine(const CanFrame& frame) {
  std::string line;
  AppendCandumpLine(line, frame, "usb");
  line.pop_back();  // the '\n'
  return line;
}

MonitorOutput::MonitorOutput(const std::string& path)
    : m_path(path), m_writer(MakeLogWriterFor(path, {.interfaceName = "usb"})) {
  m_writer->Open(path);
}

void MonitorOutput::Write(const CanFrame& frame) {
  if (!m_writer) return;
  try {
    m_writer->Write(frame);
    ++m_frames;
  } catch (const LogError& e) {
    m_error = e.what();
    m_writer.reset();  // the unfinished file goes; nothing more is written
  }
}

bool MonitorOutput::Close(std::string& error) {
  if (!m_writer && m_error.empty()) return true;  // closed before
  if (m_writer) {
    try {
      m_writer->Close();
      m_writer.reset();
      return true;
    } catch (const LogError& e) {
      m_error = e.what();
    }
  }
  error = m_error;
  return false;
}

}  // namespace velqor::cli
