#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velqor {

// How the settings file spells typed values. Every parser takes the value as the file holds
// it (blanks around it already dropped) and gives nothing when the text is not a value of
// its type; the caller then uses its default.

// Decimal ("-12", "+7", "115200") within the 32-bit range, or hexadecimal after "0x" or
// "0X" with one to eight digits, which may set the top bit ("0xFFFFFFFF" is -1).
std::optional<std::int32_t> parseIniInteger(std::string_view text);

// A finite decimal number with "." as separator and an optional exponent ("2.5", "-1e-3").
std::optional<double> parseIniFloat(std::string_view text);

// "yyyy/MM/dd" or "yyyy-MM-dd" (month and day may have one digit), a valid calendar date.
std::optional<std::chrono::year_month_day> parseIniDate(std::string_view text);

// The general format with up to 15 significant digits and "." as separator, as the settings
// file and the trigger-level edit show a number: 2.5 gives "2.5", the single-precision 2.2
// widened to double gives "2.20000004768372", 1e-7 gives "1e-07".
std::string formatFloatGeneral(double value);

// "yyyy/MM/dd", the date alone.
std::string formatIniDate(std::chrono::year_month_day date);

}  // namespace velqor
