#include "common/text_format.h"

#include <stdexcept>

namespace velqor {
namespace {

// Width and precision beyond this are a broken pattern, not a wish for a huge text.
constexpr std::size_t kMaxFieldSize = 1024;

std::string digitsOf(std::uint64_t magnitude, unsigned base) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[magnitude % base]);
    magnitude /= base;
  } while (magnitude != 0);
  return out;
}

// The number of characters of a UTF-8 text (continuation bytes not counted).
std::size_t charCount(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

// The first `chars` characters of a UTF-8 text.
std::string_view firstChars(std::string_view s, std::size_t chars) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (seen == chars) return s.substr(0, i);
      ++seen;
    }
  }
  return s;
}

class Formatter {
 public:
  Formatter(std::string_view pattern, std::span<const FormatArg> args)
      : m_pattern(pattern), m_args(args) {}

  std::string run() {
    std::string out;
    std::size_t pos = 0;
    while (pos < m_pattern.size()) {
      const std::size_t percent = m_pattern.find('%', pos);
      out.append(m_pattern.substr(pos, percent - pos));
      if (percent == std::string_view::npos) break;
      pos = conversion(percent, out);
    }
    return out;
  }

 private:
  [[noreturn]] void fail(std::size_t at, const std::string& why) const {
    throw std::invalid_argument("format \"" + std::string(m_pattern) + "\", position " +
                                std::to_string(at + 1) + ": " + why);
  }

  // Reads digits at pos into value; returns whether there were any.
  bool number(std::size_t& pos, std::size_t start, std::size_t& value) const {
    const std::size_t first = pos;
    value = 0;
    while (pos < m_pattern.size() && m_pattern[pos] >= '0' && m_pattern[pos] <= '9') {
      value = value * 10 + static_cast<std::size_t>(m_pattern[pos] - '0');
      if (value > kMaxFieldSize) fail(start, "width or precision above 1024");
      ++pos;
    }
    return pos != first;
  }

  // Formats the conversion starting at `start` ('%'); returns the position after it.
  std::size_t conversion(std::size_t start, std::string& out) {
    std::size_t pos = start + 1;
    if (pos < m_pattern.size() && m_pattern[pos] == '%') {
      out += '%';
      return pos + 1;
    }
    bool left = false;
    if (pos < m_pattern.size() && m_pattern[pos] == '-') {
      left = true;
      ++pos;
    }
    std::size_t width = 0;
    number(pos, start, width);
    std::size_t precision = 0;
    bool hasPrecision = false;
    if (pos < m_pattern.size() && m_pattern[pos] == '.') {
      ++pos;
      hasPrecision = number(pos, start, precision);
      if (!hasPrecision) fail(start, "precision without digits after \".\"");
    }
    if (pos == m_pattern.size()) fail(start, "conversion without a type letter");
    const char type = m_pattern[pos];
    const char lowerType = (type >= 'A' && type <= 'Z') ? static_cast<char>(type + 32) : type;
    if (lowerType != 'd' && lowerType != 'x' && lowerType != 's') {
      fail(start, std::string("unsupported conversion \"") + type + "\"");
    }
    if (m_next == m_args.size()) {
      fail(start, "no argument for conversion " + std::to_string(m_next + 1));
    }
    const FormatArg& arg = m_args[m_next++];

    std::string body;
    std::size_t bodyChars = 0;
    if (lowerType == 's') {
      if (arg.isInteger()) fail(start, "%s needs a text, not a number");
      std::string_view text = arg.text();
      if (hasPrecision) text = firstChars(text, precision);
      body = text;
      bodyChars = charCount(body);
    } else {
      if (!arg.isInteger()) fail(start, std::string("%") + type + " needs a number, not a text");
      const std::int64_t v = arg.integer();
      std::string sign;
      std::string digits;
      if (lowerType == 'd') {
        if (v < 0) sign = "-";
        const std::uint64_t magnitude =
            v < 0 ? ~static_cast<std::uint64_t>(v) + 1 : static_cast<std::uint64_t>(v);
        digits = digitsOf(magnitude, 10);
      } else {
        const bool fits32 = v >= INT32_MIN && v <= INT32_MAX;
        const std::uint64_t bits =
            fits32 ? static_cast<std::uint32_t>(v) : static_cast<std::uint64_t>(v);
        digits = digitsOf(bits, 16);
      }
      if (digits.size() < precision) digits.insert(0, precision - digits.size(), '0');
      body = sign + digits;
      bodyChars = body.size();
    }
    const std::size_t fill = bodyChars < width ? width - bodyChars : 0;
    if (!left) out.append(fill, ' ');
    out += body;
    if (left) out.append(fill, ' ');
    return pos + 1;
  }

  std::string_view m_pattern;
  std::span<const FormatArg> m_args;
  std::size_t m_next = 0;
};

}  // namespace

std::string formatText(std::string_view pattern, std::span<const FormatArg> args) {
  return Formatter(pattern, args).run();
}

std::string formatText(std::string_view pattern, std::initializer_list<FormatArg> args) {
  return formatText(pattern, std::span<const FormatArg>(args.begin(), args.size()));
}

}  // namespace velqor
