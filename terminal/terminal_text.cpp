#include "terminal/terminal_text.h"

#include <vector>

namespace velqor {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool isHexDigit(char32_t c) {
  return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'f') || (c >= U'A' && c <= U'F');
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

std::string ReceivedText(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    text += kHexDigits[b >> 4];
    text += kHexDigits[b & 0x0F];
    text += ' ';
  }
  return text;
}

std::string SentText(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    text += ' ';
    text += kHexDigits[b >> 4];
    text += kHexDigits[b & 0x0F];
  }
  return text;
}

std::string LinesAddText(bool lastLineEmpty, std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') continue;
    text += line[i];
  }
  return lastLineEmpty ? text + '\n' : '\n' + text;
}

bool IsScriptFileName(std::string_view path) {
  if (path.size() < 4) return false;
  std::string tail;
  for (char c : path.substr(path.size() - 4)) tail += upper(c);
  return tail == ".TTY" || tail == ".CMD";
}

std::string QtFileFilter(std::string_view formFilter) {
  const std::vector<std::string_view> parts = split(formFilter, '|');
  std::string filter;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string patterns;
    auto add = [&patterns](std::string_view pattern) {
      if (!patterns.empty()) patterns += ' ';
      patterns += pattern;
    };
    for (std::string_view pattern : split(parts[i + 1], ';')) {
      if (pattern.empty()) continue;
      if (pattern == "*.*") {
        add("*");
        continue;
      }
      add(pattern);
      std::string upperPattern;
      for (char c : pattern) upperPattern += upper(c);
      if (upperPattern != pattern) add(upperPattern);
    }
    if (!filter.empty()) filter += ";;";
    filter += std::string(parts[i]) + " (" + patterns + ")";
  }
  return filter;
}

HexTyping::Outcome HexTyping::Key(char32_t typed, bool monitorOn) {
  Outcome outcome;
  if (!isHexDigit(typed)) return outcome;  // Enter, Backspace, blanks and the rest
  const char digit = static_cast<char>(typed);
  if (m_newPair) {
    m_first = digit;
    m_newPair = false;
    outcome.action = monitorOn ? Action::Discard : Action::BlankThenPass;
    return outcome;
  }
  outcome.sendText = {m_first, digit};
  m_newPair = true;
  outcome.action = monitorOn ? Action::Discard : Action::Pass;
  return outcome;
}

}  // namespace velqor
