#pragma once
// What the terminal window writes into its panes and how it reads typed keys, as plain
// functions over bytes and texts. The window (terminal/terminal_window.h) applies them.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velqor {

// The receive pane's text for a block: "%02x " per byte (two lower-case digits and a blank).
// No line break: the pane wraps.
std::string ReceivedText(std::span<const std::uint8_t> bytes);

// The transmit monitor's text for a block: " %02x" per byte (a blank and two digits).
std::string SentText(std::span<const std::uint8_t> bytes);

// What adding `line` as a new line of a pane appends, as a memo's line list adds one: after
// text whose last line is not empty a line break and the line, otherwise the line and a line
// break. "\r\n" inside the line becomes a line end, so the end line of a script,
// "＝ファイル送信 正常終了＝\r\n", is followed by an empty line. `lastLineEmpty` is true for an
// empty pane and for one that ends in a line break.
std::string LinesAddText(bool lastLineEmpty, std::string_view line);

// Whether a dropped file is played as a script: the last four characters of its name,
// upper-cased, are ".TTY" or ".CMD".
bool IsScriptFileName(std::string_view path);

// The file dialog's filter as the form spells it ("text|patterns|text|patterns", patterns
// separated by ';') in Qt's syntax ("text (patterns);;..."). "*.*" becomes "*", and every
// "*.ext" also matches its upper-case spelling, as names on Windows did.
std::string QtFileFilter(std::string_view formFilter);

// Typing bytes in hexadecimal into the transmit pane: every pair of digits goes out as one
// byte the moment its second digit is typed. One state for the whole program: the window
// keeps it, nothing but typing changes it (clearing the panes does not).
class HexTyping {
 public:
  enum class Action {
    Discard,        // the typed character does not reach the pane
    Pass,           // the typed character is inserted as usual
    BlankThenPass,  // a blank goes in before the typed character
  };
  struct Outcome {
    Action action = Action::Discard;
    std::string sendText;  // two digits to send (SendHexText) when a pair is complete
  };

  // One typed character; `monitorOn` is the transmit monitor's check mark (with the monitor
  // on, the monitor shows the sent byte instead of the typed digits).
  Outcome Key(char32_t typed, bool monitorOn);

  bool startsNewPair() const { return m_newPair; }

 private:
  bool m_newPair = true;
  char m_first = 0;
};

}  // namespace velqor
