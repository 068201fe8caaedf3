#pragma once
// LogWriter: frames into a log file of one format.
//
//   auto writer = MakeLogWriter(LogFormat::Blf);   // or MakeLogWriterFor("trace.blf")
//   writer->Open("trace.blf");
//   for (...) writer->Write(frame);
//   writer->Close();
//
// The file appears under its name only at Close(): until then the frames go to a temporary
// file beside it, which is removed when the writer is destroyed without Close() (an error, a
// cancelled export), so that nothing is ever half-written under the name. An existing file
// of that name is replaced at Close().
//
// Live mode (for the data log, which is read while it grows): the file is created under its
// own name (it must not exist yet), Flush() hands everything written so far to the system and
// the file stays readable at any time; destroying the writer without Close() keeps it.
//
// A frame no bus carries (an identifier wider than its IDE allows, 11 bits for ide 0 and 29
// for ide 1, or a DLC above 15: the adapter's stream garbled it, and the frame keeps what was
// received) is written with the identifier's low bits and a DLC of 15, so that the file stays
// valid for every reader; Notes() counts such frames.
//
// Times: each frame's time.wallUs (microseconds since 1970 UTC) is written; ASC and BLF count
// from the first frame's local date and time, to the microsecond. What a format cannot carry
// (a DLC above 8 in candump, the direction in CSV, an error frame's class in ASC and BLF) is
// left out; Notes() counts the frames concerned where that changes a frame.
//
// Every failure throws LogError. One thread at a time.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "canlog/log_error.h"
#include "canlog/log_format.h"
#include "canlog/log_io.h"
#include "link/can_frame.h"

namespace velqor {

struct LogWriterOptions {
  bool live = false;
  // candump: the interface name on every line.
  std::string interfaceName = "can0";
  // ASC and BLF: the channel number on every frame (from 1).
  int channel = 1;
  // BLF: zlib level, -1 (zlib's default, 6) to 9; 0 stores the containers uncompressed.
  int compressionLevel = -1;
};

class LogWriter {
 public:
  explicit LogWriter(LogWriterOptions options) : m_options(std::move(options)) {}
  virtual ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // Creates the (temporary or live) file. Throws LogError(Open).
  void Open(const std::filesystem::path& path);
  void Write(const CanFrame& frame);
  // Live mode: everything written so far reaches the system (a BLF file is complete and
  // readable after each Flush). Otherwise only frees the buffer.
  void Flush();
  // Live mode: Flush(), then the file's data goes to the disk. Throws LogError(Write).
  void Sync();
  // Finishes the file and gives it its name. Throws LogError; the file is then not created.
  void Close();

  bool IsOpen() const { return m_output != nullptr; }
  std::uint64_t FramesWritten() const { return m_frames; }
  // The file's size so far (bytes written and buffered).
  std::uint64_t BytesWritten() const;
  // What the format could not carry, one sentence per kind of frame concerned.
  std::vector<std::string> Notes() const;

 protected:
  // The format's own part; `out` is open.
  virtual void begin(LogOutput& out) = 0;
  virtual void frame(LogOutput& out, const CanFrame& frame) = 0;
  // Live flush: make the bytes so far a readable file (BLF: close the open container and
  // rewrite the header). Plain formats need nothing.
  virtual void flushLive(LogOutput&) {}
  virtual void end(LogOutput& out) = 0;
  virtual std::vector<std::string> formatNotes() const { return {}; }

  const LogWriterOptions& options() const { return m_options; }

 private:
  LogWriterOptions m_options;
  std::unique_ptr<LogOutput> m_output;
  std::uint64_t m_frames = 0;
  std::uint64_t m_garbled = 0;  // frames written cut to the fields of a CAN frame
};

// A writer for `format`. LogError(Usage) for the data log, which is read only here.
std::unique_ptr<LogWriter> MakeLogWriter(LogFormat format, LogWriterOptions options = {});
// A writer for the format of the file's extension; LogError(Usage) when it names none.
std::unique_ptr<LogWriter> MakeLogWriterFor(const std::filesystem::path& path,
                                            LogWriterOptions options = {});

}  // namespace velqor
