#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velqor {

// The text of an INI file, read and changed one key at a time with the rules of Windows'
// profile services, so that settings files move between our installations and Windows ones:
//
// - "[name]" opens a section, "key=value" holds a value; names match without regard to
//   letter case; blanks around names and values are dropped; a value in double quotes
//   loses them; the first of two sections or keys of the same name is the one that counts.
// - Comment lines (";..."), blank lines, keys before the first section and lines we do not
//   understand are kept as they are when a value is changed.
// - A changed key keeps its place; a new key goes after the last key of its section, a new
//   section at the end. The text is read with CRLF, LF or CR line ends and produced with LF.
// - Values are bytes: text that is not UTF-8 (Shift-JIS from a Japanese Windows) is kept as
//   it is.
//
// Pure text: the file itself is IniFile's business.
class IniDocument {
 public:
  IniDocument() = default;

  static IniDocument parse(std::string_view text);

  // The value of `key` in `section`, or nothing when either is missing.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;

  // Sets `key` in `section` to `value`, creating the section and the key as needed.
  // Throws std::invalid_argument for a name that the file could not hold (empty, with a line
  // break, blanks around it, "]" in a section, "=" in a key, a key starting with ";" or "[")
  // and for a value with a line break. A value that reading would change (blanks around
  // it, or double quotes around it) is written inside double quotes, so it reads back as
  // it was written here and on Windows.
  void setValue(std::string_view section, std::string_view key, std::string_view value);

  // The whole text, each line ended by LF.
  std::string text() const;

 private:
  enum class Kind { kOther, kSection, kKey };
  struct Line {
    std::string raw;  // as in the file, without its line end
    Kind kind = Kind::kOther;
    std::string name;   // section or key name, trimmed
    std::string value;  // key value, trimmed, quotes removed
  };

  static Line classify(std::string raw);
  std::optional<std::size_t> findSection(std::string_view section) const;
  std::size_t sectionEnd(std::size_t header) const;

  std::vector<Line> m_lines;
  bool m_byteOrderMark = false;  // a UTF-8 byte-order mark before the first line
};

// True when `a` and `b` are equal apart from the letter case of ASCII letters.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace velqor
