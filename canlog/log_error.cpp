#include "canlog/log_error.h"

namespace velqor {

namespace {

std::string Compose(const std::string& file, const std::string& message, std::uint64_t line,
                    std::uint64_t offset) {
  if (file.empty()) return message;
  std::string text = file;
  if (line != LogError::kNone) {
    text += ':' + std::to_string(line);
  } else if (offset != LogError::kNone) {
    text += ": byte " + std::to_string(offset);
  }
  return text + ": " + message;
}

}  // namespace

LogError::LogError(Kind kind, std::string file, std::string message, std::uint64_t line,
                   std::uint64_t offset)
    : std::runtime_error(Compose(file, message, line, offset)),
      m_kind(kind),
      m_file(std::move(file)),
      m_message(std::move(message)),
      m_line(line),
      m_offset(offset) {}

std::string QuoteForError(std::string_view text, std::size_t limit) {
  std::string out;
  for (const char c : text.substr(0, limit)) {
    const auto u = static_cast<unsigned char>(c);
    out += u < 0x20 || u == 0x7F ? '?' : c;
  }
  if (text.size() > limit) out += "...";
  return "'" + out + "'";
}

}  // namespace velqor
