#pragma once
// The data log files: while "データログを保存する" (ChkLog) is ticked, every connection opens
// the next numbered file of the day in the working directory and every received CAN frame
// appends one line to it.
//
// Names: yymmdd + "CAN" + counter (zero-filled to at least three digits) + ".txt"; the
// counter carries on through the day and across restarts (the settings file keeps it with
// the date) and is never reset while the program runs, so the first file after midnight
// takes the new date and the next number.
//
// Lines reach the disk within about a second: they are gathered in memory and the owner
// calls Flush() once a second (and whenever more than kWriteChunk bytes are waiting they
// are handed to the system at once). Closing the file, unticking ChkLog or destroying the
// DataLog writes everything.
//
// Failures never end the program: a file that cannot be created, or a write that fails
// (disk full), is reported once in a message box, ChkLog is unticked and the program
// carries on without logging.
//
// Everything runs on one thread (the window's); nothing here locks.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "common/ini_file.h"
#include "common/message_boxes.h"

namespace velqor {

// Where the log takes the date, the time stamps of its lines and its folder from.
struct LogEnvironment {
  std::function<std::chrono::year_month_day()> today;       // the local date
  std::function<std::uint64_t()> tickCountMs;               // milliseconds since system start
  std::function<std::filesystem::path()> workingDirectory;  // the process's current folder

  // The system's: local date, CLOCK_BOOTTIME (time since start, sleep included, as the
  // tick count has always counted it), the current directory.
  static LogEnvironment System();
};

// Builds the log file names from the counter, the prefix and the date.
class LogFileNamer {
 public:
  static constexpr char kPrefix[] = "CAN";

  explicit LogFileNamer(std::uint32_t counter = 0) : m_counter(counter) {}

  // Increments the counter and returns the new value.
  std::uint32_t IncrementCounter() { return ++m_counter; }
  // Sets the prefix and builds both names for `date` in `directory`; returns the short name
  // "/" + yymmdd + prefix + nnn + ".txt". The full path is `directory` followed by it.
  const std::string& BuildNames(std::string_view prefix, std::chrono::year_month_day date,
                                const std::filesystem::path& directory);
  const std::string& FullPath() const { return m_fullPath; }
  const std::string& ShortName() const { return m_shortName; }
  std::uint32_t Counter() const { return m_counter; }

 private:
  std::uint32_t m_counter;
  std::string m_fullPath;
  std::string m_prefix;
  std::string m_shortName;
};

// The controls the log speaks to.
class LogFileView {
 public:
  virtual void SetSaveFileName(std::string_view shortName) = 0;  // PnlSavefileName
  // Ticks or unticks ChkLog. Unticking from here after a failure may run ChkLogClick(false)
  // again; that does nothing more.
  virtual void SetLogChecked(bool checked) = 0;

 protected:
  ~LogFileView() = default;
};

class DataLog {
 public:
  static constexpr char kLogHeader[] =
      "Time,ID(hex),DLC,Data[0],Data[1],Data[2],Data[3],Data[4],Data[5],Data[6],Data[7], \n";
  static constexpr char kOpenFailedText[] = "出力ファイルを開けません";
  static constexpr char kWarningCaption[] = "警告";
  // Pending bytes beyond this are handed to the system without waiting for Flush().
  static constexpr std::size_t kWriteChunk = 64 * 1024;
  // Existing names OpenLogFile passes over before it gives up.
  static constexpr int kMaxNamesSkipped = 10000;

  // `settings` receives DATE and SAVEFILENUM of section FILE when a file opens; `counter` is
  // the number of the last file opened today (the settings' LogCounter; negative reads as
  // 0). Everything given by reference must outlive this object.
  DataLog(IniFile& settings, MessageBoxes& boxes, LogFileView& view, LogEnvironment environment,
          std::int32_t counter);
  ~DataLog();  // closes the file, writing everything
  DataLog(const DataLog&) = delete;
  DataLog& operator=(const DataLog&) = delete;

  // On connect with ChkLog ticked: closes an open file, takes the next number, shows the
  // short name, creates the file, writes the header and stores DATE and SAVEFILENUM. A name
  // that exists already (a file, a folder, anything) is left alone and the next number is
  // taken, up to kMaxNamesSkipped names. A file that cannot be created is reported
  // ("出力ファイルを開けません", "警告"; the path and the reason on standard error), ChkLog is unticked and
  // nothing is stored: SAVEFILENUM always names a file that was created, so a restart
  // carries on after it; the number stays taken for this run. When the file open before
  // cannot be closed cleanly (its last lines cannot be written), that is reported as a write
  // error and ends logging: ChkLog is unticked and no new file is opened.
  void OpenLogFile();

  // One line for a received frame; nothing when no file is open. The time is the low 16
  // bits of the tick count; the identifier text is lower-case hexadecimal; the DLC is
  // written as received; all eight data bytes are written whatever the DLC.
  void WriteLogLine(std::uint8_t ide, std::uint32_t id, std::uint8_t dlc,
                    std::span<const std::uint8_t, 8> data);

  // ChkLog clicked: unticking closes the open file; ticking opens nothing (the next
  // connection does).
  void ChkLogClick(bool checked);

  // Hands every pending line to the system and asks it to put them on the disk (only when
  // something was written since the last time, so an idle log costs nothing). A failure is
  // reported once and ends logging.
  void Flush();

  // Writes what is pending and closes the file (a failure is reported as for Flush). False
  // when a file was open and that failed; true otherwise.
  bool Close();

  bool IsOpen() const { return m_fd >= 0; }
  // The last text written to the file: the header, then each frame line.
  const std::string& LogLine() const { return m_logLine; }
  std::uint32_t LogCounter() const { return m_namer.Counter(); }
  const LogFileNamer& Namer() const { return m_namer; }
  // Bytes given to WriteLogLine and the header that have not reached the system yet.
  std::size_t PendingBytes() const { return m_pending.size(); }

  // The frame line: " " time "\t," IDE "\t," id "\t," dlc "\t," then the eight data bytes
  // as two upper-case hexadecimal digits, each followed by "\t, " except the last, which is
  // followed by "\t \n".
  static void AppendLogLine(std::string& out, std::uint16_t time, std::uint8_t ide,
                            std::uint32_t id, std::uint8_t dlc,
                            std::span<const std::uint8_t, 8> data);

 private:
  // Writes m_pending; false after reporting a failure (the file is then closed).
  bool writePending();
  // Reports the first failure of the open file, closes it without writing more and
  // unticks ChkLog.
  void fail(std::error_code reason);
  void closeQuietly();

  IniFile& m_settings;
  MessageBoxes& m_boxes;
  LogFileView& m_view;
  LogEnvironment m_env;
  LogFileNamer m_namer;
  int m_fd = -1;
  std::string m_pending;
  bool m_unsynced = false;  // written to the system since the last fdatasync
  std::string m_logLine;
};

}  // namespace velqor
