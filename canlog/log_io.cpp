#include "canlog/log_io.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace velqor {

namespace {

std::string SystemText(int error) { return std::generic_category().message(error); }

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

// ---------------------------------------------------------------------------------------
// LogInput

LogInput::LogInput(const std::filesystem::path& path) : m_name(path.string()) {
  do {
    m_fd = ::open(m_name.c_str(), O_RDONLY | O_CLOEXEC);
  } while (m_fd < 0 && errno == EINTR);
  if (m_fd < 0) {
    const int error = errno;
    throw LogError(LogError::Kind::Open, m_name, "cannot open: " + SystemText(error))
        .withSystemError(error);
  }
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) {
    const int error = errno;
    ::close(m_fd);
    throw LogError(LogError::Kind::Open, m_name, "cannot open: " + SystemText(error))
        .withSystemError(error);
  }
  if (S_ISDIR(st.st_mode)) {
    ::close(m_fd);
    throw LogError(LogError::Kind::Open, m_name, "cannot open: it is a folder");
  }
  m_size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  m_buffer.resize(kBufferSize);
}

LogInput::~LogInput() {
  if (m_fd >= 0) ::close(m_fd);
}

bool LogInput::Fill() {
  if (m_eof) return false;
  if (m_begin > 0) {
    std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
    m_end -= m_begin;
    m_begin = 0;
  }
  if (m_end == m_buffer.size()) return true;  // full: the caller decides
  for (;;) {
    const ssize_t n = ::read(m_fd, m_buffer.data() + m_end, m_buffer.size() - m_end);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      throw LogError(LogError::Kind::Read, m_name, "cannot read: " + SystemText(error),
                     LogError::kNone, m_position + (m_end - m_begin))
          .withSystemError(error);
    }
    if (n == 0) {
      m_eof = true;
      return false;
    }
    m_end += static_cast<std::size_t>(n);
    return true;
  }
}

bool LogInput::ReadLine(std::string_view& line) {
  std::size_t searched = m_begin;
  for (;;) {
    const void* nl = std::memchr(m_buffer.data() + searched, '\n', m_end - searched);
    if (nl != nullptr) {
      const std::size_t at = static_cast<const char*>(nl) - m_buffer.data();
      std::size_t length = at - m_begin;
      if (length > 0 && m_buffer[at - 1] == '\r') --length;
      line = std::string_view(m_buffer.data() + m_begin, length);
      m_position += at + 1 - m_begin;
      m_begin = at + 1;
      ++m_line;
      return true;
    }
    const std::size_t held = m_end - m_begin;
    if (held >= kMaxLine) {
      ++m_line;
      FailAtLine("expected the end of the line within " + std::to_string(kMaxLine / 1024) +
                 " KiB (is this a text log?)");
    }
    searched = held;  // after Fill() the unread bytes start at 0
    if (!Fill()) {
      if (m_end == m_begin) return false;
      // The last line has no line end.
      std::size_t length = m_end - m_begin;
      if (m_buffer[m_end - 1] == '\r') --length;
      line = std::string_view(m_buffer.data() + m_begin, length);
      m_position += m_end - m_begin;
      m_begin = m_end;
      ++m_line;
      return true;
    }
  }
}

std::size_t LogInput::Read(void* out, std::size_t size) {
  auto* dst = static_cast<char*>(out);
  std::size_t done = 0;
  while (done < size) {
    if (m_begin == m_end) {
      m_begin = m_end = 0;
      // Large reads bypass the buffer.
      if (size - done >= m_buffer.size()) {
        ssize_t n;
        do {
          n = ::read(m_fd, dst + done, size - done);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
          const int error = errno;
          throw LogError(LogError::Kind::Read, m_name, "cannot read: " + SystemText(error),
                         LogError::kNone, m_position)
              .withSystemError(error);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
        m_position += static_cast<std::uint64_t>(n);
        continue;
      }
      if (!Fill()) break;
    }
    const std::size_t take = std::min(size - done, m_end - m_begin);
    std::memcpy(dst + done, m_buffer.data() + m_begin, take);
    m_begin += take;
    done += take;
    m_position += take;
  }
  return done;
}

bool LogInput::Skip(std::uint64_t size) {
  while (size > 0) {
    if (m_begin == m_end) {
      m_begin = m_end = 0;
      if (!Fill()) return false;
    }
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, m_end - m_begin));
    m_begin += take;
    m_position += take;
    size -= take;
  }
  return true;
}

void LogInput::FailAtLine(const std::string& message) const {
  throw LogError(LogError::Kind::Format, m_name, message, m_line);
}

void LogInput::FailAtOffset(std::uint64_t offset, const std::string& message) const {
  throw LogError(LogError::Kind::Format, m_name, message, LogError::kNone, offset);
}

// ---------------------------------------------------------------------------------------
// LogOutput

LogOutput::LogOutput(const std::filesystem::path& path, bool live)
    : m_live(live), m_name(path.string()) {
  if (m_name.empty()) throw LogError(LogError::Kind::Open, m_name, "cannot create: no file name");
  int error = 0;
  if (live) {
    m_writePath = m_name;
    do {
      m_fd = ::open(m_writePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (m_fd < 0 && errno == EINTR);
    error = errno;
  } else {
    // Beside the target, so that the final rename stays on one file system. The mode goes
    // through the umask as any new file's does.
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
      m_writePath = m_name + ".part-" + std::to_string(::getpid()) + "-" +
                    std::to_string(g_tempCounter.fetch_add(1));
      do {
        m_fd = ::open(m_writePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      } while (m_fd < 0 && errno == EINTR);
      error = errno;
      if (m_fd < 0 && error != EEXIST) break;
    }
  }
  if (m_fd < 0) {
    throw LogError(LogError::Kind::Open, m_name,
                   std::string("cannot create") +
                       (live || error != EEXIST ? ": " + SystemText(error)
                                                : std::string(" a temporary file beside it")))
        .withSystemError(error);
  }
  m_pending.reserve(kChunk + 4096);
}

LogOutput::~LogOutput() {
  if (m_fd < 0) return;
  if (m_live) {
    try {
      if (m_liveError == 0) Flush();
    } catch (const LogError& e) {
      // Nobody is left to tell but the error output.
      std::fprintf(stderr, "%s\n", e.what());
    }
    ::close(m_fd);
    return;
  }
  Discard();
}

void LogOutput::Flush() {
  if (m_liveError != 0) {
    throw LogError(LogError::Kind::Write, m_name, "cannot write: " + SystemText(m_liveError))
        .withSystemError(m_liveError);
  }
  std::size_t done = 0;
  while (done < m_pending.size()) {
    const ssize_t n = ::write(m_fd, m_pending.data() + done, m_pending.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing without an error is a full device as well.
      const int error = n < 0 ? errno : ENOSPC;
      if (m_live) {
        // A file that is read while it grows ends with whole frames: what this write left of
        // its piece is cut off again, and nothing more is written.
        m_liveError = error;
        m_pending.clear();
        int cut;
        do {
          cut = ::ftruncate(m_fd, static_cast<off_t>(m_written));
        } while (cut != 0 && errno == EINTR);
      } else {
        m_pending.erase(0, done);
        m_written += done;
      }
      throw LogError(LogError::Kind::Write, m_name, "cannot write: " + SystemText(error))
          .withSystemError(error);
    }
    done += static_cast<std::size_t>(n);
  }
  m_written += done;
  m_pending.clear();
}

void LogOutput::Sync() {
  Flush();
  // EINVAL/EROFS: a file that cannot be synchronised (a device); anything else is real.
  if (::fdatasync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
    const int error = errno;
    throw LogError(LogError::Kind::Write, m_name, "cannot write: " + SystemText(error))
        .withSystemError(error);
  }
}

void LogOutput::WriteAt(std::uint64_t offset, const void* bytes, std::size_t size) {
  if (offset + size > m_written) Flush();
  const auto* p = static_cast<const char*>(bytes);
  while (size > 0) {
    const ssize_t n = ::pwrite(m_fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      throw LogError(LogError::Kind::Write, m_name, "cannot write: " + SystemText(error))
          .withSystemError(error);
    }
    p += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
}

void LogOutput::Commit() {
  if (m_fd < 0) return;
  try {
    Flush();
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
      const int error = errno;
      throw LogError(LogError::Kind::Write, m_name, "cannot write: " + SystemText(error))
          .withSystemError(error);
    }
  } catch (const LogError&) {
    if (!m_live) Discard();
    throw;
  }
  const int fd = m_fd;
  m_fd = -1;
  // close() is not retried on EINTR: the descriptor is gone either way on Linux.
  if (::close(fd) != 0 && errno != EINTR) {
    const int error = errno;
    if (!m_live) ::unlink(m_writePath.c_str());
    throw LogError(LogError::Kind::Write, m_name, "cannot write: " + SystemText(error))
        .withSystemError(error);
  }
  if (!m_live && ::rename(m_writePath.c_str(), m_name.c_str()) != 0) {
    const int error = errno;
    ::unlink(m_writePath.c_str());
    throw LogError(LogError::Kind::Write, m_name, "cannot create: " + SystemText(error))
        .withSystemError(error);
  }
}

void LogOutput::Discard() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  ::unlink(m_writePath.c_str());
}

}  // namespace velqor
