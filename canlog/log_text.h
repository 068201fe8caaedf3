#pragma once
// Small text and time routines the log formats share. Hand-written rather than printf or
// streams: readers and writers go through millions of frames.

#include <cstdint>
#include <string>
#include <string_view>

namespace velqor::logtext {

// `value` as exactly `digits` upper-case hexadecimal digits (the low ones).
void AppendHex(std::string& out, std::uint32_t value, int digits);
// `value` as upper-case hexadecimal without fill.
void AppendHexShort(std::string& out, std::uint32_t value);
void AppendDecimal(std::string& out, std::uint64_t value, int minDigits = 1);
void AppendByte(std::string& out, std::uint8_t value);  // two upper-case digits

int HexDigit(char c);  // 0..15, or -1
// The whole of `text` as hexadecimal (1 to 8 digits); false otherwise.
bool ParseHex(std::string_view text, std::uint32_t& value);
// The whole of `text` as decimal (1 to 9 digits); false otherwise.
bool ParseDecimal(std::string_view text, std::uint32_t& value);

// Seconds with six decimals from microseconds: "1700000000.000100", "-0.250000". With
// `secondDigits`, the seconds are zero-filled to that many digits (candump's "%010lu").
void AppendSeconds(std::string& out, std::int64_t us, int secondDigits = 1);
// A decimal number of seconds ("12", "1700000000.0001", "-0.5", "1e-05", up to 9 decimals)
// to microseconds, rounded to the nearest; false when `text` is not such a number.
bool ParseSeconds(std::string_view text, std::int64_t& us);

// A broken-down local time with milliseconds, as ASC headers and BLF's SYSTEMTIME carry.
struct LocalTime {
  int year = 1970, month = 1, day = 1;  // month 1..12
  int weekday = 4;                      // 0 = Sunday
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};
// The local time of `us` (since 1970 UTC), cut to the millisecond.
LocalTime ToLocalTime(std::int64_t us);
// Microseconds since 1970 UTC of a local time (the weekday is not used); false when the
// fields are out of range.
bool FromLocalTime(const LocalTime& t, std::int64_t& us);

// `us` cut down to a whole millisecond (toward minus infinity).
inline std::int64_t FloorToMs(std::int64_t us) {
  const std::int64_t r = us % 1000;
  return r < 0 ? us - r - 1000 : us - r;
}

void AppendBase64(std::string& out, const std::uint8_t* bytes, std::size_t size);
// Decodes standard base64 (padding optional); at most `capacity` bytes into `out`; returns
// the number of bytes, or -1 when `text` is not base64 or decodes to more than `capacity`.
int DecodeBase64(std::string_view text, std::uint8_t* out, std::size_t capacity);

// Splits off the next field separated by blanks or tabs; empty at the end.
std::string_view NextToken(std::string_view& rest);

}  // namespace velqor::logtext
