#include "traffic/log_file.h"

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "common/settings.h"

namespace velqor {

namespace {

void AppendNumber(std::string& out, std::uint64_t value, int base, bool upper) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value, base);
  if (upper) std::transform(text, result.ptr, text, [](char c) { return c >= 'a' ? c - 32 : c; });
  out.append(text, result.ptr);
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
                                            const std::filesystem::path& directory) {
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
  name += ".txt";
  m_shortName = std::move(name);
  std::string dir = directory.string();
  // The short name brings its own separator.
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (dir == "/") dir.clear();
  m_fullPath = dir + m_shortName;
  return m_shortName;
}

DataLog::DataLog(IniFile& settings, MessageBoxes& boxes, LogFileView& view,
                 LogEnvironment environment, std::int32_t counter)
    : m_settings(settings),
      m_boxes(boxes),
      m_view(view),
      m_env(std::move(environment)),
      m_namer(static_cast<std::uint32_t>(std::max(counter, 0))) {}

DataLog::~DataLog() {
  if (!IsOpen()) return;
  // At exit nobody is left to show a box; the reason goes to the error output.
  if (!m_pending.empty()) {
    const char* data = m_pending.data();
    std::size_t left = m_pending.size();
    while (left > 0) {
      const ssize_t n = ::write(m_fd, data, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        std::fprintf(stderr, "velqor: %s: %s\n", m_namer.FullPath().c_str(),
                     std::generic_category().message(errno).c_str());
        break;
      }
      data += n;
      left -= static_cast<std::size_t>(n);
    }
  }
  ::fdatasync(m_fd);
  closeQuietly();
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
  int fd = -1;
  int error = 0;
  for (int attempt = 0; attempt < kMaxNamesSkipped; ++attempt) {
    m_namer.IncrementCounter();
    m_namer.BuildNames(LogFileNamer::kPrefix, today, directory);
    do {
      fd = ::open(m_namer.FullPath().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    error = fd < 0 ? errno : 0;
    if (fd >= 0 || error != EEXIST) break;
  }
  m_view.SetSaveFileName(m_namer.ShortName());
  if (fd < 0) {
    m_view.SetLogChecked(false);
    // The box keeps the program's own words; the page shows the name that was tried, and the
    // path with the system's reason goes to the program's error output.
    std::fprintf(stderr, "velqor: %s: %s: %s\n", kOpenFailedText, m_namer.FullPath().c_str(),
                 std::generic_category().message(error).c_str());
    m_boxes.Show(kOpenFailedText, kWarningCaption, MessageBoxes::Icon::Warning);
    return;
  }
  m_fd = fd;
  m_logLine = kLogHeader;
  m_pending = m_logLine;
  // The file exists from here on, so its number is stored even if the header could not be
  // written (that failure is reported and ends logging).
  writePending();

  try {
    saveLogFileKeys(m_settings, today, static_cast<std::int32_t>(m_namer.Counter()));
  } catch (const std::exception& e) {
    // The file is open and logs; only the stored number could not be kept. Shown as an
    // error that escapes a handler is shown.
    m_boxes.Show(e.what(), "Velqor", MessageBoxes::Icon::Error);
  }
}

void DataLog::WriteLogLine(std::uint8_t ide, std::uint32_t id, std::uint8_t dlc,
                           std::span<const std::uint8_t, 8> data) {
  const auto time = static_cast<std::uint16_t>(m_env.tickCountMs() & 0xFFFFu);
  if (!IsOpen()) return;
  m_logLine.clear();
  AppendLogLine(m_logLine, time, ide, id, dlc, data);
  m_pending += m_logLine;
  if (m_pending.size() >= kWriteChunk) writePending();
}

void DataLog::ChkLogClick(bool checked) {
  if (!checked) Close();
}

void DataLog::Flush() {
  if (!IsOpen() || !writePending() || !m_unsynced) return;
  m_unsynced = false;
  if (::fdatasync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
    // EINVAL/EROFS: a file that cannot be synchronised (a device); anything else is real.
    fail(std::error_code(errno, std::generic_category()));
  }
}

bool DataLog::Close() {
  if (!IsOpen()) return true;
  Flush();  // closes the file itself when it fails
  if (!IsOpen()) return false;
  const int fd = m_fd;
  m_fd = -1;
  m_unsynced = false;
  // close() is not retried on EINTR: the descriptor is gone either way on Linux.
  if (::close(fd) != 0 && errno != EINTR) {
    fail(std::error_code(errno, std::generic_category()));
    return false;
  }
  return true;
}

bool DataLog::writePending() {
  std::size_t done = 0;
  while (done < m_pending.size()) {
    const ssize_t n = ::write(m_fd, m_pending.data() + done, m_pending.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing without an error is a full device as well.
      fail(std::error_code(n < 0 ? errno : ENOSPC, std::generic_category()));
      return false;
    }
    done += static_cast<std::size_t>(n);
    m_unsynced = true;
  }
  m_pending.clear();
  return true;
}

void DataLog::fail(std::error_code reason) {
  // The file is closed and ChkLog unticked before the box shows: lines that arrive while it
  // is open find no file and are not written.
  closeQuietly();
  m_view.SetLogChecked(false);
  m_boxes.Show(m_namer.FullPath() + " に書き込めません (" + reason.message() + ")", kWarningCaption,
               MessageBoxes::Icon::Warning);
}

void DataLog::closeQuietly() {
  m_pending.clear();
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_unsynced = false;
}

void DataLog::AppendLogLine(std::string& out, std::uint16_t time, std::uint8_t ide,
                            std::uint32_t id, std::uint8_t dlc,
                            std::span<const std::uint8_t, 8> data) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += ' ';
  AppendNumber(out, time, 10, false);
  out += "\t,";
  AppendNumber(out, ide, 16, true);
  out += "\t,";
  AppendNumber(out, id, 16, false);
  out += "\t,";
  AppendNumber(out, dlc, 10, false);
  out += "\t,";
  for (std::size_t k = 0; k < data.size(); ++k) {
    out += kHex[data[k] >> 4];
    out += kHex[data[k] & 0x0F];
    out += k + 1 < data.size() ? "\t, " : "\t \n";
  }
}

}  // namespace velqor
