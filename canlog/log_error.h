#pragma once
// LogError: what went wrong with a log file, where, and what was expected there. Readers,
// writers and the conversion throw it; its text is meant for the technician as it is:
//   "trace.log:17: expected '(' and a time stamp, found 'hello'"
//   "trace.blf: byte 4096: expected an object signature 'LOBJ', found 00 00 00 00"
//   "out.asc: cannot create: Permission denied"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace velqor {

class LogError : public std::runtime_error {
 public:
  enum class Kind {
    Open,    // the file cannot be opened or created
    Read,    // the system failed to read it
    Format,  // its content is not what its format allows
    Write,   // the system failed to write it (disk full, ...)
    Usage,   // a request the format cannot meet (writing a read-only format, ...)
  };
  static constexpr std::uint64_t kNone = ~std::uint64_t{0};

  // `line` (from 1) for text files, `offset` (bytes from the start) for binary ones; kNone
  // when the place is the file as a whole.
  LogError(Kind kind, std::string file, std::string message, std::uint64_t line = kNone,
           std::uint64_t offset = kNone);

  Kind kind() const { return m_kind; }
  const std::string& file() const { return m_file; }
  std::uint64_t line() const { return m_line; }
  std::uint64_t offset() const { return m_offset; }
  // The message without the file and the place.
  const std::string& message() const { return m_message; }
  // The system's error number (errno) behind an Open, Read or Write failure; 0 when none.
  int systemError() const { return m_systemError; }
  // For the place that throws: `throw LogError(...).withSystemError(errno);`
  LogError&& withSystemError(int error) && {
    m_systemError = error;
    return std::move(*this);
  }

 private:
  Kind m_kind;
  std::string m_file;
  std::string m_message;
  std::uint64_t m_line;
  std::uint64_t m_offset;
  int m_systemError = 0;
};

// A short, printable quotation of file content for an error message: at most `limit`
// characters, control characters as '?', "..." when cut.
std::string QuoteForError(std::string_view text, std::size_t limit = 40);

}  // namespace velqor
