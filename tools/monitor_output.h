#pragma once
// What `monitor --output FILE` and `monitor --errors` add: the frames (and bus errors as
// SocketCAN error frames) written to a log file in the format of its extension, and the bus
// errors as candump error frames on standard output.

#include <cstdint>
#include <memory>
#include <string>

#include "canlog/log_writer.h"
#include "link/interpreter.h"

namespace velqor::cli {

// A bus error report (message 1/0xFF) as an error frame: its text names the error, data
// bytes 1 and 2 carry the error counters.
CanFrame ErrorFrameFromMessage(const DeviceMessage& message, const CanTime& time);
// The candump line of a frame as monitor prints it (interface "usb"), without the line end.
std::string MonitorCandumpLine(const CanFrame& frame);

// The log file; used on the adapter's reader thread only.
class MonitorOutput {
 public:
  // Throws LogError when the extension names no writable format or the file cannot be made.
  explicit MonitorOutput(const std::string& path);
  // A write that fails ends the writing; Close() then says why.
  void Write(const CanFrame& frame);
  // Finishes the file; false with `error` when it could not be written.
  bool Close(std::string& error);
  std::uint64_t Frames() const { return m_frames; }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
  std::unique_ptr<LogWriter> m_writer;  // none once closed or failed
  std::uint64_t m_frames = 0;
  std::string m_error;
};

}  // namespace velqor::cli
