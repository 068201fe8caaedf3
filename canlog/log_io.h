#pragma once
// The files under the log readers and writers: buffered, constant memory whatever the file's
// size, every system error turned into a LogError that names the file.
//
// LogInput reads lines (text formats, numbered from 1) or bytes (binary formats, with their
// offset). LogOutput writes to a temporary file beside the target and renames it over the
// target only when Commit() is called, so that a run that fails or is interrupted leaves
// nothing half-written under the target's name; in live mode it writes the target itself
// (which must not exist yet) and every Flush() hands the data to the system.
//
// Neither class locks: each belongs to one thread at a time.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "canlog/log_error.h"

namespace velqor {

class LogInput {
 public:
  static constexpr std::size_t kBufferSize = 256 * 1024;
  // The longest line a text format may have.
  static constexpr std::size_t kMaxLine = kBufferSize;

  // Opens the file for reading; throws LogError(Open) when it cannot.
  explicit LogInput(const std::filesystem::path& path);
  ~LogInput();
  LogInput(const LogInput&) = delete;
  LogInput& operator=(const LogInput&) = delete;

  // The next line, without its "\n" or "\r\n"; false at the end of the file. The view stays
  // valid until the next call. A line longer than kMaxLine throws LogError(Format).
  bool ReadLine(std::string_view& line);
  // Number of the line ReadLine returned last (from 1).
  std::uint64_t LineNumber() const { return m_line; }

  // Up to `size` bytes; fewer only at the end of the file.
  std::size_t Read(void* out, std::size_t size);
  // Skips `size` bytes; false when the file ends first.
  bool Skip(std::uint64_t size);

  // Bytes taken from the file so far, and the file's size when it was opened.
  std::uint64_t Position() const { return m_position; }
  std::uint64_t Size() const { return m_size; }
  const std::string& Name() const { return m_name; }

  // Throws LogError(Format) at the current line (text) or `offset` (binary).
  [[noreturn]] void FailAtLine(const std::string& message) const;
  [[noreturn]] void FailAtOffset(std::uint64_t offset, const std::string& message) const;

 private:
  // Reads more into the buffer after m_end; false at the end of the file.
  bool Fill();

  int m_fd = -1;
  std::string m_name;
  std::vector<char> m_buffer;
  std::size_t m_begin = 0;  // unread bytes are m_buffer[m_begin, m_end)
  std::size_t m_end = 0;
  bool m_eof = false;
  std::uint64_t m_position = 0;
  std::uint64_t m_size = 0;
  std::uint64_t m_line = 0;
};

class LogOutput {
 public:
  static constexpr std::size_t kChunk = 256 * 1024;

  // Creates the temporary file beside `path` (live: `path` itself, which must not exist).
  // Throws LogError(Open).
  LogOutput(const std::filesystem::path& path, bool live);
  // Without Commit(): the temporary file is removed; a live file keeps what was written.
  ~LogOutput();
  LogOutput(const LogOutput&) = delete;
  LogOutput& operator=(const LogOutput&) = delete;

  // Appends to the buffer; the buffer goes to the system when it holds kChunk bytes.
  void Append(std::string_view bytes) {
    m_pending.append(bytes);
    if (m_pending.size() >= kChunk) Flush();
  }
  // The buffer itself, for writers that format in place; call FlushIfFull() afterwards.
  std::string& Pending() { return m_pending; }
  void FlushIfFull() {
    if (m_pending.size() >= kChunk) Flush();
  }
  // Hands the buffer to the system. Throws LogError(Write). Live: a write that fails cuts the
  // file back to what it held before this call (the text writers flush at the end of a line,
  // so their file keeps whole lines), drops the buffer and ends the writing: every later
  // Flush() throws the same error.
  void Flush();
  // Flush, then put the file's data on the disk (fdatasync). Throws LogError(Write).
  void Sync();
  // Overwrites bytes already written (a header with counts known only at the end).
  void WriteAt(std::uint64_t offset, const void* bytes, std::size_t size);
  // Bytes handed to the system or pending: the size the file will have.
  std::uint64_t Size() const { return m_written + m_pending.size(); }

  // Writes everything, puts it on the disk and (not live) renames the temporary file over the
  // target. Throws LogError(Write); the temporary file is then removed.
  void Commit();

  const std::string& Name() const { return m_name; }

 private:
  void Discard();

  int m_fd = -1;
  bool m_live;
  std::string m_name;       // the target
  std::string m_writePath;  // where the bytes go: the temporary file, or the target when live
  std::string m_pending;
  std::uint64_t m_written = 0;
  int m_liveError = 0;  // live: the errno of the write that ended the writing
};

}  // namespace velqor
