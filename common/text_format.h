#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace velqor {

// One argument of formatText: an integer or a text.
class FormatArg {
 public:
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char>) FormatArg(T value)
      : m_value(static_cast<std::int64_t>(value)) {}                // NOLINT: implicit
  FormatArg(std::string_view text) : m_value(std::string(text)) {}  // NOLINT: implicit
  FormatArg(const char* text) : m_value(std::string(text)) {}       // NOLINT: implicit
  FormatArg(const std::string& text) : m_value(text) {}             // NOLINT: implicit

  bool isInteger() const { return std::holds_alternative<std::int64_t>(m_value); }
  std::int64_t integer() const { return std::get<std::int64_t>(m_value); }
  const std::string& text() const { return std::get<std::string>(m_value); }

 private:
  std::variant<std::int64_t, std::string> m_value;
};

// The main window's formatter (list rows, log lines, the trigger text, messages). Each
// conversion is "%" ["-"] [width] ["." precision] type:
// - d: decimal; x: hexadecimal in UPPER-case digits (a negative number as its 32-bit, or if
//   it does not fit, 64-bit two's complement); s: text; "%%" is one "%".
// - width is a minimum field width, always filled with blanks: on the left, or on the right
//   after "-". A leading 0 does not mean zero fill ("%03d" of 5 is two blanks and 5).
// - precision is, for d and x, a minimum number of digits filled with zeros ("%0.2x" of 10
//   is "0A", "%0.2d" of 7 is "07"); for s, the most characters taken from the text.
// Type letters may be upper or lower case. Arguments beyond those the pattern uses are
// ignored. Throws std::invalid_argument naming the pattern and the place for a malformed
// conversion, a missing argument, or an argument of the wrong kind (text for d or x,
// number for s).
std::string formatText(std::string_view pattern, std::span<const FormatArg> args);
std::string formatText(std::string_view pattern, std::initializer_list<FormatArg> args);

}  // namespace velqor
