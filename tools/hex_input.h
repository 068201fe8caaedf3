#pragma once
// Reading a byte stream written as hexadecimal text, as technicians paste it from captures:
// pairs of digits, separated (or not) by blanks, commas and line ends, each pair or run of
// pairs optionally prefixed with 0x.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velqor::cli {

struct HexInputError {
  std::string message;  // what was wrong, naming the offending character or digits
  std::size_t offset;   // 0-based byte offset in the text
  std::size_t line;     // 1-based
  std::size_t column;   // 1-based
};

struct HexInput {
  std::vector<std::uint8_t> bytes;  // everything before the first error
  std::optional<HexInputError> error;
};

HexInput ParseHexText(std::string_view text);

}  // namespace velqor::cli
