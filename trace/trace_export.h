#pragma once
// Saving rows of the trace to a log file (candump .log, ASC, BLF, CSV: canlog's writers) on a
// thread of its own, so that the window stays responsive over millions of rows.
//
// The rows are taken from the store on the GUI thread first (CollectExportRows: a frame as it
// was, a bus error as the SocketCAN error frame every format knows), because the store keeps
// changing while the file is written; rows that are no frame (failed sends, the program's
// events) have no place in a log and are counted as left out. TraceExport then writes them
// through a LogWriter: the file appears under its name only when it is complete, and a write
// that fails or is cancelled leaves no file behind (canlog/log_writer.h).

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "canlog/log_format.h"
#include "link/can_frame.h"
#include "trace/trace_store.h"
#include "trace/trace_view.h"

namespace velqor {

struct TraceExportRows {
  std::vector<CanFrame> frames;
  std::uint64_t leftOut = 0;  // rows that are no frame
};

// Every row of the store, or only the rows of the view (`viewOnly`).
TraceExportRows CollectExportRows(const TraceStore& store, const TraceView& view, bool viewOnly);

struct TraceExportResult {
  bool ok = false;
  bool cancelled = false;
  std::string error;  // when neither ok nor cancelled: the writer's text, naming the file
  std::uint64_t written = 0;
  std::vector<std::string> notes;  // what the format could not carry
};

// Writes `frames` to `path` in `format`, counting into `written` as it goes; stops when `stop`
// is requested (no file then). Any thread.
TraceExportResult WriteTraceFile(const std::vector<CanFrame>& frames,
                                 const std::filesystem::path& path, LogFormat format,
                                 std::atomic<std::uint64_t>& written, std::stop_token stop);

// WriteTraceFile on a thread of its own, started at construction. The owner polls done() and
// reads result() after it; destroying the object before cancels and waits.
class TraceExport {
 public:
  TraceExport(TraceExportRows rows, std::filesystem::path path, LogFormat format);
  ~TraceExport();
  TraceExport(const TraceExport&) = delete;
  TraceExport& operator=(const TraceExport&) = delete;

  std::uint64_t total() const { return m_rows.frames.size(); }
  std::uint64_t written() const { return m_written.load(std::memory_order_relaxed); }
  std::uint64_t leftOut() const { return m_rows.leftOut; }
  const std::filesystem::path& path() const { return m_path; }
  bool done() const { return m_done.load(std::memory_order_acquire); }
  void cancel() { m_thread.request_stop(); }
  // Valid once done() is true.
  const TraceExportResult& result() const { return m_result; }

 private:
  const TraceExportRows m_rows;
  const std::filesystem::path m_path;
  std::atomic<std::uint64_t> m_written{0};
  std::atomic<bool> m_done{false};
  TraceExportResult m_result;
  std::jthread m_thread;  // last: it starts when everything above is in place
};

}  // namespace velqor
