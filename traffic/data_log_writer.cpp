#include "traffic/data_log_writer.h"

#include <errno.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <string_view>

#include "canlog/log_writer.h"

namespace velqor {

namespace {

// The errno behind a canlog failure; EIO for one the system did not name (zlib, ...).
int ErrorNumber(const LogError& e) { return e.systemError() != 0 ? e.systemError() : EIO; }

void AppendNumber(std::string& out, std::uint64_t value, int base, bool upper) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value, base);
  if (upper) std::transform(text, result.ptr, text, [](char c) { return c >= 'a' ? c - 32 : c; });
  out.append(text, result.ptr);
}

}  // namespace

void AppendLogLine(std::string& out, const DataLogRecord& r) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += ' ';
  AppendNumber(out, r.time, 10, false);
  out += "\t,";
  AppendNumber(out, r.ide, 16, true);
  out += "\t,";
  AppendNumber(out, r.id, 16, false);
  out += "\t,";
  AppendNumber(out, r.dlc, 10, false);
  out += "\t,";
  for (std::size_t k = 0; k < r.data.size(); ++k) {
    out += kHex[r.data[k] >> 4];
    out += kHex[r.data[k] & 0x0F];
    out += k + 1 < r.data.size() ? "\t, " : "\t \n";
  }
}

DataLogWriter::DataLogWriter(int fd, std::uint64_t fileSize, Options options)
    : m_fd(fd),
      m_options(std::move(options)),
      m_ring(std::max<std::size_t>(m_options.capacity, 1)),
      m_fileSize(fileSize),
      m_thread([this](std::stop_token stop) { run(stop); }) {}

DataLogWriter::DataLogWriter(std::unique_ptr<LogWriter> writer, Options options)
    : m_fd(-1),
      m_logWriter(std::move(writer)),
      m_options(std::move(options)),
      m_frameRing(std::max<std::size_t>(m_options.capacity, 1)),
      m_fileSize(m_logWriter->BytesWritten()),
      m_thread([this](std::stop_token stop) { run(stop); }) {}

DataLogWriter::~DataLogWriter() {
  if (!m_finished) Finish();
}

void DataLogWriter::Push(std::span<const CanFrame> frames, std::uint16_t time) {
  if (frames.empty()) return;
  bool wake = false;
  {
    std::lock_guard lock(m_mutex);
    // After a failure nothing is written any more; the owner learns of it from failure().
    if (m_failure != 0 || m_finished) return;
    const std::size_t capacity = this->capacity();
    const std::size_t n = std::min(frames.size(), capacity - m_count);
    if (n < frames.size()) m_dropped.fetch_add(frames.size() - n, std::memory_order_relaxed);
    std::size_t at = (m_head + m_count) % capacity;
    for (std::size_t i = 0; i < n; ++i) {
      const CanFrame& f = frames[i];
      if (m_logWriter) {
        m_frameRing[at] = f;
      } else {
        m_ring[at] = DataLogRecord{f.id, time, f.ide, f.dlc, f.data};
      }
      if (++at == capacity) at = 0;
    }
    m_count += n;
    // An idle writer takes a lone line at once; a busy one gathers lines for a while unless
    // the queue fills.
    wake = m_idle || m_count >= capacity / 4;
    m_idle = false;
  }
  if (wake) m_changed.notify_all();
}

int DataLogWriter::Flush() {
  std::unique_lock lock(m_mutex);
  if (m_finished) return m_failure;
  const std::uint64_t target = ++m_flushRequested;
  m_changed.notify_all();
  m_changed.wait(lock, [&] { return m_flushDone >= target; });
  return m_failure;
}

int DataLogWriter::Finish() {
  int error = Flush();
  {
    std::lock_guard lock(m_mutex);
    if (m_finished) return error;
    m_finished = true;
  }
  m_thread.request_stop();  // wakes the thread's wait
  if (m_thread.joinable()) m_thread.join();
  if (m_logWriter) {
    // A file whose writing failed gets nothing more (its end, ASC's or BLF's, included).
    try {
      if (error == 0) m_logWriter->Close();
    } catch (const LogError& e) {
      error = ErrorNumber(e);
    }
    m_logWriter.reset();
    return error;
  }
  // close() is not retried on EINTR: the descriptor is gone either way on Linux.
  if (::close(m_fd) != 0 && errno != EINTR && error == 0) error = errno;
  return error;
}

int DataLogWriter::failure() const {
  std::lock_guard lock(m_mutex);
  return m_failure;
}

void DataLogWriter::run(std::stop_token stop) {
  ::pthread_setname_np(::pthread_self(), "DataLogWriter");
  std::vector<DataLogRecord> taken;
  std::vector<CanFrame> takenFrames;
  std::unique_lock lock(m_mutex);
  for (;;) {
    const std::size_t quarter = capacity() / 4;
    if (m_count == 0 && !m_unsynced && m_flushRequested == m_flushDone) {
      // Nothing to write or sync: sleep until a line or a flush comes.
      m_idle = true;
      m_changed.wait(lock, stop, [&] { return m_count > 0 || m_flushRequested != m_flushDone; });
      m_idle = false;
    } else if (m_flushRequested == m_flushDone && m_count < quarter) {
      // Gather lines for a while (or wait for the sync that is due), unless the owner flushes
      // or the queue fills.
      auto deadline = std::chrono::steady_clock::now() + kWriteInterval;
      if (m_count == 0 || (m_unsynced && m_syncDue < deadline)) deadline = m_syncDue;
      m_changed.wait_until(lock, stop, deadline,
                           [&] { return m_flushRequested != m_flushDone || m_count >= quarter; });
    }
    if (stop.stop_requested()) return;

    if (m_options.beforeTake) {
      lock.unlock();
      m_options.beforeTake();
      lock.lock();
    }
    // Everything queued before a Flush() is taken together with its request.
    const std::uint64_t flushTarget = m_flushRequested;
    const bool failed = m_failure != 0;
    taken.clear();
    takenFrames.clear();
    const std::size_t capacity = this->capacity();
    for (std::size_t i = 0; i < m_count; ++i) {
      if (!failed) {
        if (m_logWriter) {
          takenFrames.push_back(m_frameRing[m_head]);
        } else {
          taken.push_back(m_ring[m_head]);
        }
      }
      if (++m_head == capacity) m_head = 0;
    }
    m_count = 0;
    lock.unlock();

    bool ok = !failed && (m_logWriter ? writeFrames(takenFrames) : writeRecords(taken));
    if (ok && m_unsynced &&
        (flushTarget != m_flushDone || std::chrono::steady_clock::now() >= m_syncDue))
      ok = sync();

    lock.lock();
    if (flushTarget > m_flushDone) {
      m_flushDone = flushTarget;
      m_changed.notify_all();
    }
  }
}

bool DataLogWriter::writeRecords(const std::vector<DataLogRecord>& records) {
  for (const DataLogRecord& r : records) {
    AppendLogLine(m_buffer, r);
    if (m_buffer.size() >= kWriteChunk && !writeBuffer()) return false;
  }
  return writeBuffer();
}

bool DataLogWriter::writeFrames(const std::vector<CanFrame>& frames) {
  if (frames.empty()) return true;
  try {
    for (const CanFrame& f : frames) m_logWriter->Write(f);
    m_logWriter->Flush();  // readable as it is now
  } catch (const LogError& e) {
    fail(ErrorNumber(e));
    return false;
  }
  if (!m_unsynced) {
    m_unsynced = true;
    m_syncDue = std::chrono::steady_clock::now() + kSyncInterval;
  }
  m_fileSize = m_logWriter->BytesWritten();
  return true;
}

bool DataLogWriter::writeBuffer() {
  std::size_t done = 0;
  while (done < m_buffer.size()) {
    const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing without an error is a full device as well. The lines
      // that went out whole stay; fail() cuts off the rest.
      const int error = n < 0 ? errno : ENOSPC;
      const std::size_t whole = std::string_view(m_buffer.data(), done).rfind('\n');
      if (whole != std::string_view::npos) m_fileSize += whole + 1;
      fail(error);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  if (!m_buffer.empty() && !m_unsynced) {
    m_unsynced = true;
    m_syncDue = std::chrono::steady_clock::now() + kSyncInterval;
  }
  m_fileSize += m_buffer.size();
  m_buffer.clear();
  return true;
}

bool DataLogWriter::sync() {
  m_unsynced = false;
  if (m_logWriter) {
    try {
      m_logWriter->Sync();
    } catch (const LogError& e) {
      fail(ErrorNumber(e));
      return false;
    }
    return true;
  }
  // EINVAL/EROFS: a file that cannot be synchronised (a device); anything else is real.
  if (::fdatasync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
    fail(errno);
    return false;
  }
  return true;
}

void DataLogWriter::fail(int error) {
  // The file holds m_fileSize bytes of whole lines, then what a failed write put after them:
  // cut back to the last whole line, so that the file never ends in part of one. (A file that
  // cannot be cut, a FIFO or a device, keeps what it got.)
  while (::ftruncate(m_fd, static_cast<off_t>(m_fileSize)) != 0 && errno == EINTR) {
  }
  m_buffer.clear();
  m_unsynced = false;  // nothing more is written or synchronised
  {
    std::lock_guard lock(m_mutex);
    if (m_failure != 0) return;
    m_failure = error;
    m_count = 0;  // what is queued is not written any more
  }
  if (m_options.onFailure) m_options.onFailure();
}

}  // namespace velqor
