#pragma once
// LogReader: frames from a log file, one at a time, in the file's order, in constant memory
// whatever the file's size.
//
// Every reader yields CanFrame values: identifier (11 or 29 bits; for an error frame its
// SocketCAN class bits), ide, DLC as recorded, the data bytes (zero beyond the DLC), the
// flags kRtr / kTx / kError, and the recorded time as wall-clock microseconds since 1970 UTC
// in time.wallUs; time.steadyUs carries the same value, so that intervals between frames of
// a file can be taken from either. Formats that count their times from a local date and
// time (ASC, BLF) are read in the process's time zone, as the tools that wrote them meant.
//
// What a reader cannot carry over (CAN FD frames: the program handles classic CAN only; a
// date the format does not record) is skipped or assumed, counted and said in Notes().
// A malformed file throws LogError with the file name, the line (text formats) or byte
// offset (BLF) and what was expected there.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "canlog/log_error.h"
#include "canlog/log_format.h"
#include "link/can_frame.h"

namespace velqor {

class LogReader {
 public:
  virtual ~LogReader() = default;

  // The next frame; false at the end of the file. Throws LogError.
  virtual bool Next(CanFrame& frame) = 0;

  // Progress: bytes of the file taken so far and its size (0 when unknown: a pipe).
  virtual std::uint64_t Position() const = 0;
  virtual std::uint64_t Size() const = 0;

  // What the reader could not carry over or had to assume, one sentence each; complete once
  // Next() has returned false.
  virtual std::vector<std::string> Notes() const { return {}; }
};

// Opens `path` as a log of `format`. Throws LogError (a file that cannot be opened; a header
// that does not belong to the format).
std::unique_ptr<LogReader> OpenLogReader(const std::filesystem::path& path, LogFormat format);
// The format from the file's extension; LogError(Usage) when the extension names none.
std::unique_ptr<LogReader> OpenLogReader(const std::filesystem::path& path);

}  // namespace velqor
