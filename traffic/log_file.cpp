#include "traffic/log_file.h"

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "canlog/log_writer.h"
#include "common/settings.h"

namespace velqor {

namespace {

// Creates the live log of a standard format at `path`: 0, or the errno of the failure.
int CreateLog(LogFormat format, const std::string& path, std::unique_ptr<LogWriter>& writer) {
  try {
    writer = MakeLogWriter(format, {.live = true});
    writer->Open(path);
    return 0;
  } catch (const LogError& e) {
    writer.reset();
    return e.systemError() != 0 ? e.systemError() : EIO;
  }
}

void AppendTwoDigits(std::string& out, unsigned value) {
  out += static_cast<char>('0' + value / 10 % 10);
  out += static_cast<char>('0' + value % 10);
}

}  // namespace

LogEnvironment LogEnvironment::System() {
  LogEnvironment env;
  env.today = [] { return localToday(); };
  env.tickCountMs = [] {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  };
  env.workingDirectory = [] {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::current_path(ec);
    return ec ? std::filesystem::path(".") : dir;
  };
  return env;
}

const std::string& LogFileNamer::BuildNames(std::string_view prefix,
                                            std::chrono::year_month_day date,
                                            const std::filesystem::path& directory,
                                            std::string_view extension) {
  m_prefix = prefix;
  std::string name = "/";
  // The last two digits of the year, then month and day.
  AppendTwoDigits(name, static_cast<unsigned>(static_cast<int>(date.year()) % 100 + 100));
  AppendTwoDigits(name, static_cast<unsigned>(date.month()));
  AppendTwoDigits(name, static_cast<unsigned>(date.day()));
  name += m_prefix;
  std::string number = std::to_string(m_counter);
  if (number.size() < 3) number.insert(0, 3 - number.size(), '0');
  name += number;
  name += extension;
  m_shortName = std::move(name);
  std::string dir = directory.string();
  // The short name brings its own separator.
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir == "/") dir.clear();
  m_fullPath = dir + m_shortName;
  return m_shortName;
}

DataLog::DataLog(IniFile& settings, MessageBoxes& boxes, LogFileView& view,
                 LogEnvironment environment, std::int32_t counter, DataLogWriter::Options writer)
    : m_settings(settings),
      m_boxes(boxes),
      m_view(view),
      m_env(std::move(environment)),
      m_writerOptions(std::move(writer)),
      m_namer(static_cast<std::uint32_t>(std::max(counter, 0))) {}

DataLog::~DataLog() {
  if (!IsOpen()) return;
  // At exit nobody is left to show a box; the reason goes to the error output.
  const int error = m_writer->Finish();
  if (error != 0) {
    std::fprintf(stderr, "velqor: %s: %s\n", m_namer.FullPath().c_str(),
                 std::generic_category().message(error).c_str());
  }
  m_writer.reset();
}

void DataLog::OpenLogFile() {
  // A file that failed as it was closed has been reported as the end of logging, and ChkLog
  // unticked: no new file is opened behind the user's back.
  if (!Close()) return;
  const std::chrono::year_month_day today = m_env.today();
  const std::filesystem::path directory = m_env.workingDirectory();

  // A log of the same name is never replaced: the counter can fall behind the files on disk
  // (a settings file that could not be written, a second instance in the same folder, a
  // settings file put back from a copy), and replacing would destroy a recorded session.
  // Names that exist are passed over and the next free number is taken.
  // The other formats are written by canlog's writers, whose live files are created the same
  // way (a name that exists is refused).
  const LogFormat format = m_format;
  int fd = -1;
  std::unique_ptr<LogWriter> logWriter;
  int error = 0;
  for (int attempt = 0; attempt < kMaxNamesSkipped; ++attempt) {
    m_namer.IncrementCounter();
    m_namer.BuildNames(LogFileNamer::kPrefix, today, directory, LogFormatExtension(format));
    if (format != LogFormat::DataLog) {
      error = CreateLog(format, m_namer.FullPath(), logWriter);
      if (error != EEXIST) break;
      continue;
    }
    do {
      fd = ::open(m_namer.FullPath().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    error = fd < 0 ? errno : 0;
    if (fd >= 0 || error != EEXIST) break;
  }
  m_view.SetSaveFileName(m_namer.ShortName());
  if (error != 0) {
    m_view.SetLogChecked(false);
    // The box keeps the program's own words; the page shows the name that was tried, and the
    // path with the system's reason goes to the program's error output.
    std::fprintf(stderr, "velqor: %s: %s: %s\n", kOpenFailedText, m_namer.FullPath().c_str(),
                 std::generic_category().message(error).c_str());
    m_boxes.Show(kOpenFailedText, kWarningCaption, MessageBoxes::Icon::Warning);
    return;
  }
  m_logLine = kLogHeader;
  m_lastLineStale = false;
  if (logWriter) {
    // The format's header goes to the disk here, as the program's own does below.
    try {
      logWriter->Flush();
      m_writer = std::make_unique<DataLogWriter>(std::move(logWriter), m_writerOptions);
    } catch (const LogError& e) {
      logWriter.reset();
      fail(std::error_code(e.systemError() != 0 ? e.systemError() : EIO, std::generic_category()));
    }
    storeCounter(today);
    return;
  }
  // The header is written here, so that it is on the disk once the file is announced. The
  // file exists from here on, so its number is stored even if the header could not be
  // written (that failure is reported and ends logging).
  const std::string_view header = kLogHeader;
  std::size_t done = 0;
  int writeError = 0;
  while (done < header.size()) {
    const ssize_t n = ::write(fd, header.data() + done, header.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing without an error is a full device as well.
      writeError = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (writeError == 0) {
    m_writer = std::make_unique<DataLogWriter>(fd, done, m_writerOptions);
  } else {
    // No part of a header is left behind.
    while (::ftruncate(fd, 0) != 0 && errno == EINTR) {
    }
    ::close(fd);
    fail(std::error_code(writeError, std::generic_category()));
  }

  storeCounter(today);
}

void DataLog::storeCounter(std::chrono::year_month_day today) {
  try {
    saveLogFileKeys(m_settings, today, static_cast<std::int32_t>(m_namer.Counter()));
  } catch (const std::exception& e) {
    // The file is open and logs; only the stored number could not be kept. Shown as an
    // error that escapes a handler is shown.
    m_boxes.Show(e.what(), "Velqor", MessageBoxes::Icon::Error);
  }
}

void DataLog::OnFrames(std::span<const CanFrame> frames) {
  CheckWriter();
  const auto time = static_cast<std::uint16_t>(m_env.tickCountMs() & 0xFFFFu);
  if (!IsOpen() || frames.empty()) return;
  m_writer->Push(frames, time);
  const CanFrame& last = frames.back();
  m_lastRecord = DataLogRecord{last.id, time, last.ide, last.dlc, last.data};
  m_lastLineStale = true;
}

void DataLog::WriteLogLine(std::uint8_t ide, std::uint32_t id, std::uint8_t dlc,
                           std::span<const std::uint8_t, 8> data) {
  CanFrame frame;
  frame.id = id;
  frame.ide = ide;
  frame.dlc = dlc;
  std::copy(data.begin(), data.end(), frame.data.begin());
  OnFrames({&frame, 1});
}

const std::string& DataLog::LogLine() const {
  if (m_lastLineStale) {
    m_logLine.clear();
    velqor::AppendLogLine(m_logLine, m_lastRecord);
    m_lastLineStale = false;
  }
  return m_logLine;
}

std::uint64_t DataLog::DroppedLines() const {
  return m_droppedBefore + (m_writer ? m_writer->dropped() : 0);
}

void DataLog::ChkLogClick(bool checked) {
  if (!checked) Close();
}

void DataLog::Flush() {
  if (!IsOpen()) return;
  if (const int error = m_writer->Flush(); error != 0)
    fail(std::error_code(error, std::generic_category()));
}

void DataLog::CheckWriter() {
  if (!IsOpen()) return;
  if (const int error = m_writer->failure(); error != 0)
    fail(std::error_code(error, std::generic_category()));
}

bool DataLog::Close() {
  if (!IsOpen()) return true;
  const int error = m_writer->Finish();
  m_droppedBefore += m_writer->dropped();
  m_writer.reset();
  if (error != 0) {
    fail(std::error_code(error, std::generic_category()));
    return false;
  }
  return true;
}

void DataLog::fail(std::error_code reason) {
  // The file is closed and ChkLog unticked before the box shows: lines that arrive while it
  // is open find no file and are not written.
  closeQuietly();
  m_view.SetLogChecked(false);
  // The box may wait for a person, or nobody may look at the screen (a bench logging
  // overnight): the path and the reason go to the error output as well.
  std::fprintf(stderr, "velqor: %s: %s\n", m_namer.FullPath().c_str(), reason.message().c_str());
  m_boxes.Show(m_namer.FullPath() + " に書き込めません (" + reason.message() + ")", kWarningCaption,
               MessageBoxes::Icon::Warning);
}

void DataLog::closeQuietly() {
  if (!m_writer) return;
  m_writer->Finish();  // writes nothing more after a failure
  m_droppedBefore += m_writer->dropped();
  m_writer.reset();
}

void DataLog::AppendLogLine(std::string& out, std::uint16_t time, std::uint8_t ide,
                            std::uint32_t id, std::uint8_t dlc,
                            std::span<const std::uint8_t, 8> data) {
  DataLogRecord record{id, time, ide, dlc, {}};
  std::copy(data.begin(), data.end(), record.data.begin());
  velqor::AppendLogLine(out, record);
}

}  // namespace velqor
