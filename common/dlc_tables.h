#pragma once

#include <array>
#include <string_view>

namespace velqor {

// Texts indexed by DLC 0..8 (entry 0 is empty).

// The edit mask of a data field whose DLC is n: n pairs "AA" separated by one blank, then
// ";1;" (A = a required letter or digit; the blanks are literals kept in the text).
inline constexpr std::array<std::string_view, 9> MaskByDlc = {
    "",
    "AA;1;",
    "AA AA;1;",
    "AA AA AA;1;",
    "AA AA AA AA;1;",
    "AA AA AA AA AA;1;",
    "AA AA AA AA AA AA;1;",
    "AA AA AA AA AA AA AA;1;",
    "AA AA AA AA AA AA AA AA;1;",
};

// formatText patterns for the received data bytes in decimal: each byte right-aligned in
// three columns, two blanks between; entry 1 alone ends in two blanks.
inline constexpr std::array<std::string_view, 9> DecFormatByDlc = {
    "",
    "%03d  ",
    "%03d  %03d",
    "%03d  %03d  %03d",
    "%03d  %03d  %03d  %03d",
    "%03d  %03d  %03d  %03d  %03d",
    "%03d  %03d  %03d  %03d  %03d  %03d",
    "%03d  %03d  %03d  %03d  %03d  %03d  %03d",
    "%03d  %03d  %03d  %03d  %03d  %03d  %03d  %03d",
};

// formatText patterns for the received data bytes in hexadecimal: two upper-case digits
// each, two blanks between, none after.
inline constexpr std::array<std::string_view, 9> HexFormatByDlc = {
    "",
    "%0.2x",
    "%0.2x  %0.2x",
    "%0.2x  %0.2x  %0.2x",
    "%0.2x  %0.2x  %0.2x  %0.2x",
    "%0.2x  %0.2x  %0.2x  %0.2x  %0.2x",
    "%0.2x  %0.2x  %0.2x  %0.2x  %0.2x  %0.2x",
    "%0.2x  %0.2x  %0.2x  %0.2x  %0.2x  %0.2x  %0.2x",
    "%0.2x  %0.2x  %0.2x  %0.2x  %0.2x  %0.2x  %0.2x  %0.2x",
};

}  // namespace velqor
