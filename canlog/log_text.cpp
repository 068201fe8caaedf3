#include "canlog/log_text.h"

#include <time.h>

#include <charconv>
#include <cmath>

namespace velqor::logtext {

namespace {
constexpr char kHex[] = "0123456789ABCDEF";
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}  // namespace

void AppendHex(std::string& out, std::uint32_t value, int digits) {
  char text[8];
  for (int i = digits - 1; i >= 0; --i) {
    text[i] = kHex[value & 0xF];
    value >>= 4;
  }
  out.append(text, static_cast<std::size_t>(digits));
}

void AppendHexShort(std::string& out, std::uint32_t value) {
  int digits = 1;
  while (digits < 8 && (value >> (4 * digits)) != 0) ++digits;
  AppendHex(out, value, digits);
}

void AppendDecimal(std::string& out, std::uint64_t value, int minDigits) {
  char text[24];
  int n = 0;
  do {
    text[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < minDigits && n < 24) text[n++] = '0';
  while (n > 0) out += text[--n];
}

void AppendByte(std::string& out, std::uint8_t value) {
  out += kHex[value >> 4];
  out += kHex[value & 0xF];
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool ParseHex(std::string_view text, std::uint32_t& value) {
  if (text.empty() || text.size() > 8) return false;
  std::uint32_t v = 0;
  for (const char c : text) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  value = v;
  return true;
}

bool ParseDecimal(std::string_view text, std::uint32_t& value) {
  if (text.empty() || text.size() > 9) return false;
  std::uint32_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  value = v;
  return true;
}

void AppendSeconds(std::string& out, std::int64_t us, int secondDigits) {
  if (us < 0) {
    out += '-';
    // -0.25 s: whole seconds and fraction of the magnitude.
    const std::uint64_t magnitude = static_cast<std::uint64_t>(-(us + 1)) + 1;
    AppendDecimal(out, magnitude / 1000000, secondDigits);
    out += '.';
    AppendDecimal(out, magnitude % 1000000, 6);
    return;
  }
  AppendDecimal(out, static_cast<std::uint64_t>(us) / 1000000, secondDigits);
  out += '.';
  AppendDecimal(out, static_cast<std::uint64_t>(us) % 1000000, 6);
}

bool ParseSeconds(std::string_view text, std::int64_t& us) {
  if (text.empty()) return false;
  std::size_t i = 0;
  const bool negative = text[0] == '-';
  if (text[0] == '-' || text[0] == '+') ++i;
  std::uint64_t whole = 0;
  std::size_t wholeDigits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (++wholeDigits > 12) return false;  // beyond year 33000
    whole = whole * 10 + static_cast<std::uint64_t>(text[i++] - '0');
  }
  std::uint64_t fraction = 0;  // in nanoseconds
  std::size_t fractionDigits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    std::uint64_t scale = 100000000;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (++fractionDigits <= 9) {
        fraction += static_cast<std::uint64_t>(text[i] - '0') * scale;
        scale /= 10;
      }
      ++i;
    }
  }
  if (wholeDigits + fractionDigits == 0) return false;
  if (i < text.size()) {
    // An exponent ("1e-05", as Python writes small floats): through a double, which carries
    // such small values to far below a microsecond.
    if (text[i] != 'e' && text[i] != 'E') return false;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        std::fabs(value) > 1e12) {
      return false;
    }
    us = std::llround(value * 1e6);
    return true;
  }
  const std::int64_t magnitude =
      static_cast<std::int64_t>(whole * 1000000 + (fraction + 500) / 1000);
  us = negative ? -magnitude : magnitude;
  return true;
}

LocalTime ToLocalTime(std::int64_t us) {
  const std::int64_t ms = FloorToMs(us) / 1000;
  std::int64_t seconds = ms / 1000;
  int millisecond = static_cast<int>(ms % 1000);
  if (millisecond < 0) {
    millisecond += 1000;
    --seconds;
  }
  const time_t t = static_cast<time_t>(seconds);
  struct tm parts {};
  localtime_r(&t, &parts);
  LocalTime out;
  out.year = parts.tm_year + 1900;
  out.month = parts.tm_mon + 1;
  out.day = parts.tm_mday;
  out.weekday = parts.tm_wday;
  out.hour = parts.tm_hour;
  out.minute = parts.tm_min;
  out.second = parts.tm_sec;
  out.millisecond = millisecond;
  return out;
}

bool FromLocalTime(const LocalTime& t, std::int64_t& us) {
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 ||
      t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60 || t.millisecond < 0 ||
      t.millisecond > 999 || t.year < 1900 || t.year > 9999) {
    return false;
  }
  struct tm parts {};
  parts.tm_year = t.year - 1900;
  parts.tm_mon = t.month - 1;
  parts.tm_mday = t.day;
  parts.tm_hour = t.hour;
  parts.tm_min = t.minute;
  parts.tm_sec = t.second;
  parts.tm_isdst = -1;
  const time_t seconds = mktime(&parts);
  if (seconds == static_cast<time_t>(-1) && !(t.year == 1969 || t.year == 1970)) return false;
  us = static_cast<std::int64_t>(seconds) * 1000000 + std::int64_t{t.millisecond} * 1000;
  return true;
}

void AppendBase64(std::string& out, const std::uint8_t* bytes, std::size_t size) {
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const std::uint32_t v =
        (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  if (size - i == 1) {
    const std::uint32_t v = std::uint32_t{bytes[i]} << 16;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += "==";
  } else if (size - i == 2) {
    const std::uint32_t v = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += '=';
  }
}

int DecodeBase64(std::string_view text, std::uint8_t* out, std::size_t capacity) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  std::uint32_t accumulator = 0;
  int bits = 0;
  std::size_t n = 0;
  for (const char c : text) {
    int v;
    if (c >= 'A' && c <= 'Z') {
      v = c - 'A';
    } else if (c >= 'a' && c <= 'z') {
      v = c - 'a' + 26;
    } else if (c >= '0' && c <= '9') {
      v = c - '0' + 52;
    } else if (c == '+') {
      v = 62;
    } else if (c == '/') {
      v = 63;
    } else {
      return -1;
    }
    accumulator = (accumulator << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      if (n == capacity) return -1;
      out[n++] = static_cast<std::uint8_t>(accumulator >> bits);
    }
  }
  // Leftover bits must be the zero padding of the last group; one lone character is not base64.
  if (bits >= 6 || (accumulator & ((1u << bits) - 1)) != 0) return -1;
  return static_cast<int>(n);
}

std::string_view NextToken(std::string_view& rest) {
  std::size_t i = 0;
  while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t')) ++i;
  std::size_t j = i;
  while (j < rest.size() && rest[j] != ' ' && rest[j] != '\t') ++j;
  const std::string_view token = rest.substr(i, j - i);
  rest.remove_prefix(j);
  return token;
}

}  // namespace velqor::logtext
