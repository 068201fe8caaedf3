#include "common/hex_text.h"

namespace velqor {
namespace {

// Calls emit(byte) for each pair of digits until it returns false.
template <typename Emit>
void forEachHexPair(std::string_view text, Emit emit) {
  int high = -1;
  for (char c : text) {
    const int d = hexDigit(c);
    if (d < 0) continue;
    if (high < 0) {
      high = d;
      continue;
    }
    if (!emit(static_cast<std::uint8_t>(high << 4 | d))) return;
    high = -1;
  }
}

}  // namespace

std::string HexText4(std::uint16_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(4, '0');
  for (int i = 3; i >= 0; --i, value >>= 4)
    text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return text;
}

std::uint32_t HexTextToValue(std::string_view text) {
  std::uint32_t value = 0;
  for (char c : text) {
    const int d = hexDigit(c);
    if (d < 0) return 0xFFFFFFFFu;
    value = value << 4 | static_cast<std::uint32_t>(d);
  }
  return value;
}

std::vector<std::uint8_t> HexTextToBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  forEachHexPair(text, [&](std::uint8_t b) {
    bytes.push_back(b);
    return true;
  });
  return bytes;
}

std::size_t HexTextToBytes(std::string_view text, std::span<std::uint8_t> out) {
  std::size_t n = 0;
  forEachHexPair(text, [&](std::uint8_t b) {
    if (n == out.size()) return false;
    out[n++] = b;
    return true;
  });
  return n;
}

}  // namespace velqor
