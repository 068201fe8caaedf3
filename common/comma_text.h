#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velqor {

// Splits a text into items the way the form library's string lists read a comma text (the
// transmit rows read their data bytes "11 22 33" this way):
// - blanks and control characters (anything up to ' ') before the first item are skipped;
// - an item ends at a comma or at a blank or control character;
// - after an item, blanks are skipped; a comma there is taken with the blanks after it, so
//   "a , b" is two items, "a,,b" gives an empty item between them, and a comma that is the
//   very last character adds one final empty item ("a," is "a" and "");
// - runs of blanks alone never make empty items;
// - an item that starts with '"' runs to the closing quote, may hold commas and blanks, and
//   takes "" inside it as one quote; without a closing quote it runs to the end of the text.
std::vector<std::string> splitCommaText(std::string_view text);

}  // namespace velqor
