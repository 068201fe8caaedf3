#pragma once
// DataLogWriter: the data log's writer thread. The GUI thread hands it the frames of a batch with
// the time stamp of their lines; the thread formats the lines, writes them to the open file
// in large pieces and asks the system once a second to put them on the disk (fdatasync). So
// the GUI thread spends a copy per frame on the log, never a format, a write or a sync.
//
// Queue. Bounded (Options::capacity lines); a frame that finds it full is not queued and is
// counted (dropped()), for the window to show. The owner wakes the thread when it queues into
// an idle writer (a lone frame is written at once) or when the queue is a quarter full;
// otherwise the thread writes what has gathered every kWriteInterval, so a full bus costs a
// wake-up every 50 ms, not one per batch.
//
// Lines reach the system within kWriteInterval and the disk within kSyncInterval. Flush()
// and Finish() wait until everything queued before them is written and synchronised;
// Finish() also closes the file, so a program that ends through Finish() loses no line.
//
// Failures. The first write or sync that fails ends the writing: the thread records the
// reason (failure()), drops what is queued and what comes later, and calls
// Options::onFailure once; Flush() and Finish() return the reason. Every failure goes
// through one place (fail()) with the size of the file's whole lines known, and the file is
// cut back to them there: a write that failed part-way never leaves part of a line.
//
// Formats. The program's own lines, written to a file descriptor; or a standard log format
// (candump, ASC, BLF, CSV) through a canlog writer in live mode, which gets each frame
// whole with its wall-clock time, is made readable at each write (LogWriter::Flush) and is
// finished by Finish() (LogWriter::Close). The queue is the same either way.
//
// Threads: construct, Push, Flush, Finish and destroy on one owner thread; failure() and
// dropped() from any thread.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "link/can_frame.h"

namespace velqor {

class LogWriter;

// The values of one log line.
struct DataLogRecord {
  std::uint32_t id = 0;
  std::uint16_t time = 0;  // the low 16 bits of the tick count when the frame was handled
  std::uint8_t ide = 0;
  std::uint8_t dlc = 0;  // as received
  std::array<std::uint8_t, 8> data{};
};

// The frame line: " " time "\t," IDE "\t," id "\t," dlc "\t," then the eight data bytes as
// two upper-case hexadecimal digits, each followed by "\t, " except the last, which is
// followed by "\t \n". The IDE is upper-case hexadecimal, the identifier lower-case
// hexadecimal, time and DLC decimal, all without fill.
void AppendLogLine(std::string& out, const DataLogRecord& record);

class DataLogWriter {
 public:
  // About 3 s of the busiest bus, 16 bytes a line: a disk that stalls longer loses lines,
  // counted.
  static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 16;
  static constexpr std::chrono::milliseconds kWriteInterval{50};
  static constexpr std::chrono::milliseconds kSyncInterval{1000};
  // Formatted lines are handed to the system in pieces of about this size.
  static constexpr std::size_t kWriteChunk = 64 * 1024;

  struct Options {
    std::size_t capacity = kDefaultCapacity;
    // On the writer thread, once, when writing first fails (to wake the owner).
    std::function<void()> onFailure;
    // On the writer thread, each time before it takes lines from the queue. Tests hold the
    // thread here to fill the queue.
    std::function<void()> beforeTake;
  };

  // Takes over `fd`, a file open for writing that holds `fileSize` bytes of whole lines.
  DataLogWriter(int fd, std::uint64_t fileSize, Options options);
  // Takes over `writer`, a canlog writer open in live mode.
  DataLogWriter(std::unique_ptr<LogWriter> writer, Options options);
  ~DataLogWriter();  // Finish() when it has not run
  DataLogWriter(const DataLogWriter&) = delete;
  DataLogWriter& operator=(const DataLogWriter&) = delete;

  // One line per frame, all with the time stamp `time` (a standard format takes each frame's
  // own time instead).
  void Push(std::span<const CanFrame> frames, std::uint16_t time);
  // 0 when every line queued so far is written and synchronised; the errno of the failure
  // otherwise.
  int Flush();
  // Flush, end the thread and close the file: 0, or the errno of the first failure.
  int Finish();

  int failure() const;
  std::uint64_t dropped() const { return m_dropped.load(std::memory_order_relaxed); }

 private:
  void run(std::stop_token stop);
  // Formats and writes `records`; false after a failure.
  bool writeRecords(const std::vector<DataLogRecord>& records);
  // Writes `frames` through m_logWriter; false after a failure.
  bool writeFrames(const std::vector<CanFrame>& frames);
  std::size_t capacity() const { return m_logWriter ? m_frameRing.size() : m_ring.size(); }
  bool writeBuffer();
  bool sync();
  void fail(int error);

  const int m_fd;                          // the program's own lines; -1 for a standard format
  std::unique_ptr<LogWriter> m_logWriter;  // a standard format (writer thread, then Finish)
  Options m_options;

  mutable std::mutex m_mutex;  // guards what follows up to the thread
  std::condition_variable_any m_changed;
  std::vector<DataLogRecord> m_ring;  // the program's own lines
  std::vector<CanFrame> m_frameRing;  // a standard format: the frames whole
  std::size_t m_head = 0;
  std::size_t m_count = 0;
  bool m_idle = false;                 // the thread waits with nothing to write or sync
  std::uint64_t m_flushRequested = 0;  // Flush() calls so far
  std::uint64_t m_flushDone = 0;       // the last of them the thread has completed
  int m_failure = 0;
  bool m_finished = false;

  std::atomic<std::uint64_t> m_dropped{0};

  // Writer thread only.
  std::string m_buffer;
  std::uint64_t m_fileSize;  // bytes of whole lines in the file
  bool m_unsynced = false;
  std::chrono::steady_clock::time_point m_syncDue;

  std::jthread m_thread;  // last: started when everything it uses exists
};

}  // namespace velqor
