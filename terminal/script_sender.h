#pragma once
// Command scripts: small text files that send byte blocks to the adapter with pauses between
// them. Each running script is a TSendFileSerial with a thread of its own, owned by the
// terminal window, which stops and joins it.
//
// A script line starts with its command letter (either case); white space may follow, then
// the argument, the first word; the rest of the line is ignored. A line that starts with
// anything else (a blank, a tab, another letter) is ignored.
//   ;  comment: shows the argument
//   S  send: the argument's hexadecimal digits in pairs go out as one block ("S FC020109"),
//      then "送信：<argument>" shows; without an argument nothing happens. A block that
//      does not go out gets a line saying so after it.
//   W  wait: "wait：<n> msec" shows, then a sleep of n ms (n read as a decimal integer,
//      0 for a word that is no number, 0 for a negative one); without an argument
//      "wait:500msec" and 500 ms
//   H  "wait:100msec", 100 ms;   B  "wait:300msec", 300 ms
//   Q  end: shows the end line and stops reading
// At the end of the file the end line shows too. A stop request is looked at after each
// line, so a wait that has begun runs to its end; a stopped script shows nothing more.
// Progress lines show the script's text as UTF-8 (a Shift-JIS script is converted); the
// bytes a line sends are taken from the file as it is.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "common/ui_text.h"
#include "link/device_sender.h"

namespace velqor {

// The line shown when a script has run to its end or to a Q line.
inline constexpr char kScriptEndText[] =
    VELQOR_TRANSLATE_NOOP("ScriptSender", "＝ファイル送信 正常終了＝\r\n");

struct ScriptLine {
  char command = 0;      // the first character of the line, as it stands
  std::string argument;  // the first word after it; empty when there is none
};

// Splits one piece of a script (as ScriptReader gives it, line break included) into its
// command character and argument. The piece ends at a NUL character, as a C string would.
ScriptLine ParseScriptLine(std::string_view piece);

// The number of a W line: an optional sign and decimal digits, up to the first other
// character; 0 when the word does not start with a number, 0 for a negative number, and
// INT32_MAX for a number beyond it.
std::int32_t ScriptWaitMilliseconds(std::string_view argument);

// What one line does, in the order it happens: the block goes out, then the progress line
// shows, then the sleep begins; `ends` stops the script after that.
struct ScriptStep {
  std::optional<std::vector<std::uint8_t>> send;
  std::optional<std::string> progress;
  std::optional<std::chrono::milliseconds> sleep;
  bool ends = false;
};
ScriptStep InterpretScriptLine(const ScriptLine& line);

// How a script's text is shown: scripts written on a Japanese Windows hold Shift-JIS.
enum class ScriptEncoding { Utf8, ShiftJis };

// A script's text (bytes as the file holds them) as UTF-8 for the terminal to show. Shift-JIS
// is read as Windows reads it (code page 932). What a line sends never goes through here.
std::string ScriptTextForDisplay(std::string_view text, ScriptEncoding encoding);

// Reads a script file in pieces: a line with its line break, or 511 characters of a longer
// line, whose rest comes as the next piece. A carriage return before a line feed is dropped.
class ScriptReader {
 public:
  static constexpr std::size_t kMaxPiece = 511;
  enum class Result { Piece, End, Error };

  ScriptReader() = default;
  ~ScriptReader();
  ScriptReader(const ScriptReader&) = delete;
  ScriptReader& operator=(const ScriptReader&) = delete;

  // The reason when the file cannot be opened. Only a regular file is opened: what the path
  // holds is looked at first, so a FIFO (whose open would wait for a writer) or a device is
  // refused at once. The whole file is read once to tell its encoding: UTF-8 when it is valid
  // UTF-8, else Shift-JIS. A UTF-8 byte-order mark at its start is skipped.
  std::error_code Open(const std::filesystem::path& path);
  // The next piece into `piece`; Error leaves the reason in error().
  Result Next(std::string& piece);
  std::error_code error() const { return m_error; }
  ScriptEncoding encoding() const { return m_encoding; }

 private:
  std::FILE* m_file = nullptr;
  std::error_code m_error;
  ScriptEncoding m_encoding = ScriptEncoding::Utf8;
};

// Where a script's progress lines go: the terminal window adds each as a new line of its
// transmit pane. Called on the script's thread; the receiver hands the line over to its own
// thread, in the order of the calls and after the blocks sent before it.
class ScriptProgress {
 public:
  virtual void ShowProgress(const std::string& text) = 0;

 protected:
  ~ScriptProgress() = default;
};

// The script's sleep. A stop request does not cut it short; `abort` (the program is ending)
// does.
class ScriptSleeper {
 public:
  virtual void Sleep(std::chrono::milliseconds duration, std::stop_token abort) = 0;

 protected:
  ~ScriptSleeper() = default;
};

class SystemSleeper final : public ScriptSleeper {
 public:
  void Sleep(std::chrono::milliseconds duration, std::stop_token abort) override;
};

// Texts shown when a script cannot be read.
std::string ScriptOpenErrorText(const std::filesystem::path& path, std::error_code reason);
std::string ScriptReadErrorText(const std::filesystem::path& path, std::error_code reason);
// Shown after the "送信：" line of a block that did not go out: the adapter is not connected,
// or the block is longer than one report.
std::string ScriptNotSentText(std::size_t length);

class TSendFileSerial {
 public:
  // Called on the script's thread as its last act, when the script has ended for any
  // reason. It must not destroy the script.
  using Finished = std::function<void(TSendFileSerial&)>;

  // Starts the script at once. `sender`, `progress` and `sleeper` must outlive it.
  TSendFileSerial(std::filesystem::path path, DeviceSender& sender, ScriptProgress& progress,
                  ScriptSleeper& sleeper, Finished finished = {});
  // Cuts a sleep short and joins: the program is ending.
  ~TSendFileSerial();
  TSendFileSerial(const TSendFileSerial&) = delete;
  TSendFileSerial& operator=(const TSendFileSerial&) = delete;

  // Asks the script to stop after the line it is working on, without the end line.
  void RequestStop() { m_stopRequested.store(true); }
  bool StopRequested() const { return m_stopRequested.load(); }
  bool Running() const { return m_running.load(); }
  // Waits until the script has ended (it is not cut short).
  void Join();

  const std::filesystem::path& path() const { return m_path; }

 private:
  void Execute(std::stop_token abort);
  // False when a block of bytes did not go out.
  bool SendLine(const std::vector<std::uint8_t>& bytes);

  const std::filesystem::path m_path;
  DeviceSender& m_sender;
  ScriptProgress& m_progress;
  ScriptSleeper& m_sleeper;
  Finished m_finished;
  std::atomic<bool> m_stopRequested{false};
  std::atomic<bool> m_running{true};
  std::jthread m_thread;  // last: starts when everything above is in place
};

}  // namespace velqor
