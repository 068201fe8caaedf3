#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velqor {

// The value of one hexadecimal digit (0-9, a-f, A-F), or -1 for any other character.
constexpr int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Four upper-case hexadecimal digits, as USB identifiers are written: 0xEE02 is "EE02".
std::string HexText4(std::uint16_t value);

// An identifier or mask typed as hexadecimal text: each digit (0-9, a-f, A-F) shifts the
// value by four bits, keeping 32 bits, so more than eight digits leave the last eight
// ("123456789" is 0x23456789). Any other character makes the value 0xFFFFFFFF; an empty
// text is 0.
std::uint32_t HexTextToValue(std::string_view text);

// The hexadecimal digits of a text, every other character dropped, packed in pairs into
// bytes, the first digit of a pair being the high half; a last digit without a partner is
// ignored. "0A 1b-2C" gives 0A 1B 2C, "123" gives 12.
std::vector<std::uint8_t> HexTextToBytes(std::string_view text);

// The same into a caller's buffer: fills at most out.size() bytes (pairs beyond are not
// converted) and returns the number of bytes written.
std::size_t HexTextToBytes(std::string_view text, std::span<std::uint8_t> out);

}  // namespace velqor
