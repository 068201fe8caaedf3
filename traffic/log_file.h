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
// Format: the program's own lines by default; a standard log format (candump, ASC, BLF, CSV;
// SetFormat) takes its own extension in the same scheme (yymmddCANnnn.log, .asc, .blf, .csv;
// one counter for all) and each frame's wall-clock time to the microsecond. A change applies
// to the next file opened.
//
// The lines are formatted and written by a writer thread of the open file (DataLogWriter): the
// window's thread only queues each frame's values, and lines reach the disk within about a
// second. Closing the file, unticking ChkLog or destroying the DataLog writes everything.
// A line that finds the writer's queue full is not written and is counted (DroppedLines).
//
// Failures never end the program: a file that cannot be created, or a write that fails
// (disk full), is reported once in a message box and on standard error (the path and the
// system's reason), ChkLog is unticked and the program carries on without logging. The file
// keeps whole lines only. A failure the writer meets is reported on the owner's thread
// at its next call here, or when the owner, woken by DataLogWriter::Options::onFailure, calls
// CheckWriter().
//
// Everything here runs on one thread (the window's), the owner of the writer.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "canlog/log_format.h"
#include "common/ini_file.h"
#include "common/message_boxes.h"
#include "link/frame_consumer.h"
#include "traffic/data_log_writer.h"

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
  // "/" + yymmdd + prefix + nnn + `extension`. The full path is `directory` followed by it.
  const std::string& BuildNames(std::string_view prefix, std::chrono::year_month_day date,
                                const std::filesystem::path& directory,
                                std::string_view extension = ".txt");
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

class DataLog : public FrameConsumer {
 public:
  static constexpr char kLogHeader[] =
      "Time,ID(hex),DLC,Data[0],Data[1],Data[2],Data[3],Data[4],Data[5],Data[6],Data[7], \n";
  static constexpr char kOpenFailedText[] = "出力ファイルを開けません";
  static constexpr char kWarningCaption[] = "警告";
  // Existing names OpenLogFile passes over before it gives up.
  static constexpr int kMaxNamesSkipped = 10000;

  // `settings` receives DATE and SAVEFILENUM of section FILE when a file opens; `counter` is
  // the number of the last file opened today (the settings' LogCounter; negative reads as
  // 0); `writer` is how each file's writer thread runs. Everything given by reference must
  // outlive this object.
  DataLog(IniFile& settings, MessageBoxes& boxes, LogFileView& view, LogEnvironment environment,
          std::int32_t counter, DataLogWriter::Options writer = {});
  ~DataLog();  // closes the file, writing everything
  DataLog(const DataLog&) = delete;
  DataLog& operator=(const DataLog&) = delete;

  // On connect with ChkLog ticked: closes an open file, takes the next number, shows the
  // short name, creates the file, writes the header and stores DATE and SAVEFILENUM. A name
  // that exists already (a file, a folder, anything) is left alone and the next number is
  // taken, up to kMaxNamesSkipped names. A file that cannot be created is reported
  // ("出力ファイルを開けません", "警告"; the path and the reason on standard error), ChkLog is
  // unticked and nothing is stored: SAVEFILENUM always names a file that was created, so a restart
  // carries on after it; the number stays taken for this run. When the file open before
  // cannot be closed cleanly (its last lines cannot be written), that is reported as a write
  // error and ends logging: ChkLog is unticked and no new file is opened.
  void OpenLogFile();

  // FrameConsumer: one line per frame; nothing when no file is open. The frames of a batch
  // are handled at one moment: their time is the low 16 bits of the tick count read once.
  // The identifier text is lower-case hexadecimal; the DLC is written as received; all eight
  // data bytes are written whatever the DLC.
  void OnFrames(std::span<const CanFrame> frames) override;
  // One line for one received frame, as above.
  void WriteLogLine(std::uint8_t ide, std::uint32_t id, std::uint8_t dlc,
                    std::span<const std::uint8_t, 8> data);

  // ChkLog clicked: unticking closes the open file; ticking opens nothing (the next
  // connection does).
  void ChkLogClick(bool checked);

  // The format of the files opened from now on (the open file keeps its own).
  void SetFormat(LogFormat format) { m_format = format; }
  LogFormat Format() const { return m_format; }

  // Waits until every line so far is written and on the disk. A failure is reported once
  // and ends logging.
  void Flush();

  // Writes every line and closes the file (a failure is reported as for Flush). False when
  // a file was open and that failed; true otherwise.
  bool Close();

  // A failure the writer thread met is reported now (box, ChkLog unticked, file closed).
  void CheckWriter();

  bool IsOpen() const { return m_writer != nullptr; }
  // The last text written to the file: the header, then each frame line (in the program's own
  // line format, whatever the file's format).
  const std::string& LogLine() const;
  std::uint32_t LogCounter() const { return m_namer.Counter(); }
  const LogFileNamer& Namer() const { return m_namer; }
  // Lines not written because the writer's queue was full, over every file of this run.
  std::uint64_t DroppedLines() const;

  // The frame line (see AppendLogLine in traffic/data_log_writer.h).
  static void AppendLogLine(std::string& out, std::uint16_t time, std::uint8_t ide,
                            std::uint32_t id, std::uint8_t dlc,
                            std::span<const std::uint8_t, 8> data);

 private:
  // Reports the first failure of the open file, closes it without writing more and
  // unticks ChkLog.
  void fail(std::error_code reason);
  void closeQuietly();
  // DATE and SAVEFILENUM of the file just created.
  void storeCounter(std::chrono::year_month_day today);

  IniFile& m_settings;
  MessageBoxes& m_boxes;
  LogFileView& m_view;
  LogEnvironment m_env;
  DataLogWriter::Options m_writerOptions;
  LogFileNamer m_namer;
  LogFormat m_format = LogFormat::DataLog;
  std::unique_ptr<DataLogWriter> m_writer;  // the open file
  std::uint64_t m_droppedBefore = 0;        // lines dropped by the writers of closed files
  // LogLine: the header, or the last frame line, made when asked for.
  mutable std::string m_logLine;
  DataLogRecord m_lastRecord;
  mutable bool m_lastLineStale = false;
};

}  // namespace velqor
