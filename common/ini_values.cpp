#include "common/ini_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace velqor {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1..maxDigits decimal digits at the front of `s`.
std::optional<unsigned> takeDigits(std::string_view& s, std::size_t minDigits,
                                   std::size_t maxDigits) {
  std::size_t n = 0;
  unsigned v = 0;
  while (n < s.size() && n < maxDigits && isDigit(s[n])) {
    v = v * 10 + static_cast<unsigned>(s[n] - '0');
    ++n;
  }
  if (n < minDigits) return std::nullopt;
  s.remove_prefix(n);
  return v;
}

}  // namespace

std::optional<std::int32_t> parseIniInteger(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    const std::string_view digits = text.substr(2);
    if (digits.size() > 8) return std::nullopt;
    std::uint32_t v = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, 16);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return static_cast<std::int32_t>(v);  // two's complement: 0xFFFFFFFF is -1
  }
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !isDigit(text[0])) return std::nullopt;
  std::int64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 10);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative) v = -v;
  if (v < std::numeric_limits<std::int32_t>::min() ||
      v > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(v);
}

std::optional<double> parseIniFloat(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // from_chars would also take "inf" and "nan"; a setting is always a plain number.
  if (text.empty() || !(isDigit(text[0]) || text[0] == '.')) return std::nullopt;
  double v = 0;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::general);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) {
    return std::nullopt;
  }
  return negative ? -v : v;
}

std::optional<std::chrono::year_month_day> parseIniDate(std::string_view text) {
  const std::optional<unsigned> y = takeDigits(text, 4, 4);
  if (!y || text.empty() || (text[0] != '/' && text[0] != '-')) return std::nullopt;
  const char separator = text[0];
  text.remove_prefix(1);
  const std::optional<unsigned> m = takeDigits(text, 1, 2);
  if (!m || text.empty() || text[0] != separator) return std::nullopt;
  text.remove_prefix(1);
  const std::optional<unsigned> d = takeDigits(text, 1, 2);
  if (!d || !text.empty()) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(*y)),
                                         std::chrono::month(*m), std::chrono::day(*d)};
  if (!date.ok()) return std::nullopt;
  return date;
}

std::string formatFloatGeneral(double value) {
  char buf[64];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  if (ec != std::errc()) return {};  // cannot happen: 64 characters hold any double
  return std::string(buf, end);
}

std::string formatIniDate(std::chrono::year_month_day date) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d/%02u/%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return buf;
}

}  // namespace velqor
