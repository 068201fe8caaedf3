#include "tools/hex_input.h"

#include "common/hex_text.h"

namespace velqor::cli {

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ','; }

std::string Describe(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x7F) return std::string("'") + c + "'";
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("byte 0x") + kHex[u >> 4] + kHex[u & 15];
}

// A word of the input in quotes; a long one cut after kQuotedMax characters, with its length.
std::string Quote(std::string_view word) {
  constexpr std::size_t kQuotedMax = 40;
  if (word.size() <= kQuotedMax) return "'" + std::string(word) + "'";
  return "'" + std::string(word.substr(0, kQuotedMax)) + "...' (" + std::to_string(word.size()) +
         " characters)";
}

}  // namespace

HexInput ParseHexText(std::string_view text) {
  HexInput out;
  std::size_t line = 1;
  std::size_t lineStart = 0;
  auto fail = [&](std::size_t at, std::string message) {
    out.error = HexInputError{std::move(message), at, line, at - lineStart + 1};
  };

  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (IsSeparator(c)) {
      if (c == '\n') {
        ++line;
        lineStart = i + 1;
      }
      ++i;
      continue;
    }
    // A token: an optional 0x prefix, then pairs of digits up to the next separator.
    const std::size_t tokenStart = i;
    if (c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) i += 2;
    const std::size_t digitsStart = i;
    while (i < text.size() && !IsSeparator(text[i])) {
      if (hexDigit(text[i]) < 0) {
        fail(i, "not a hexadecimal digit: " + Describe(text[i]));
        return out;
      }
      ++i;
    }
    const std::size_t digits = i - digitsStart;
    if (digits == 0 || digits % 2 != 0) {
      fail(tokenStart, "expected pairs of hexadecimal digits, got " +
                           Quote(text.substr(tokenStart, i - tokenStart)));
      return out;
    }
    for (std::size_t d = digitsStart; d < i; d += 2) {
      out.bytes.push_back(
          static_cast<std::uint8_t>(hexDigit(text[d]) * 16 + hexDigit(text[d + 1])));
    }
  }
  return out;
}

}  // namespace velqor::cli
