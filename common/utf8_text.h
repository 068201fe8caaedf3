#pragma once
// Telling UTF-8 text from text in another encoding (a settings file or a script written on a
// Japanese Windows holds Shift-JIS).

#include <cstddef>
#include <string_view>

namespace velqor {

// The length of the longest start of `text` made of whole, well-formed UTF-8 sequences
// (no overlong forms, no surrogates, nothing above U+10FFFF): text.size() for valid text.
std::size_t utf8ValidLength(std::string_view text);

inline bool isValidUtf8(std::string_view text) { return utf8ValidLength(text) == text.size(); }

// The length of the well-formed UTF-8 sequence that starts `text`, 0 when none does.
std::size_t utf8SequenceLength(std::string_view text);

}  // namespace velqor
