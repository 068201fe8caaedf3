#include "trace/trace_export.h"

#include "canlog/log_error.h"
#include "canlog/log_writer.h"

namespace velqor {

TraceExportRows CollectExportRows(const TraceStore& store, const TraceView& view, bool viewOnly) {
  TraceExportRows rows;
  const std::size_t n = viewOnly ? view.count() : store.size();
  rows.frames.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint64_t seq = viewOnly ? view.seqAt(i) : store.firstSeq() + i;
    if (const std::optional<CanFrame> frame = store.asFrame(seq)) {
      rows.frames.push_back(*frame);
    } else {
      ++rows.leftOut;
    }
  }
  return rows;
}

TraceExportResult WriteTraceFile(const std::vector<CanFrame>& frames,
                                 const std::filesystem::path& path, LogFormat format,
                                 std::atomic<std::uint64_t>& written, std::stop_token stop) {
  TraceExportResult result;
  try {
    std::unique_ptr<LogWriter> writer = MakeLogWriter(format);
    writer->Open(path);
    constexpr std::size_t kStep = 4096;  // frames between looks at `stop` and the progress
    for (std::size_t i = 0; i < frames.size(); ++i) {
      writer->Write(frames[i]);
      if ((i + 1) % kStep == 0) {
        written.store(i + 1, std::memory_order_relaxed);
        if (stop.stop_requested()) {
          result.cancelled = true;
          return result;  // the writer removes its temporary file
        }
      }
    }
    writer->Close();
    written.store(frames.size(), std::memory_order_relaxed);
    result.written = frames.size();
    result.notes = writer->Notes();
    result.ok = true;
  } catch (const LogError& e) {
    result.error = e.what();
  } catch (const std::exception& e) {
    result.error = path.string() + ": " + e.what();
  }
  return result;
}

TraceExport::TraceExport(TraceExportRows rows, std::filesystem::path path, LogFormat format)
    : m_rows(std::move(rows)),
      m_path(std::move(path)),
      m_thread([this, format](std::stop_token stop) {
        m_result = WriteTraceFile(m_rows.frames, m_path, format, m_written, stop);
        m_done.store(true, std::memory_order_release);
      }) {}

TraceExport::~TraceExport() {
  m_thread.request_stop();
  // The jthread joins when it goes.
}

}  // namespace velqor
