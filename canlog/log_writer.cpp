#include "canlog/log_writer.h"

#include <algorithm>

#include "canlog/asc_log.h"
#include "canlog/blf_log.h"
#include "canlog/candump_log.h"
#include "canlog/csv_log.h"
#include "canlog/log_io.h"

namespace velqor {

LogWriter::~LogWriter() = default;  // LogOutput removes an unfinished temporary file

void LogWriter::Open(const std::filesystem::path& path) {
  m_output.reset();
  auto output = std::make_unique<LogOutput>(path, m_options.live);
  begin(*output);
  m_output = std::move(output);
  m_frames = 0;
}

void LogWriter::Write(const CanFrame& f) {
  if (!m_output) throw LogError(LogError::Kind::Usage, "", "a frame written to no open file");
  const std::uint32_t mask = f.error() || f.extended() ? 0x1FFFFFFFu : 0x7FFu;
  if ((f.id & ~mask) != 0 || f.dlc > 15) {
    CanFrame cut = f;
    cut.id &= mask;
    cut.dlc = std::min<std::uint8_t>(cut.dlc, 15);
    ++m_garbled;
    frame(*m_output, cut);
  } else {
    frame(*m_output, f);
  }
  ++m_frames;
}

std::vector<std::string> LogWriter::Notes() const {
  std::vector<std::string> notes = formatNotes();
  if (m_garbled > 0) {
    notes.push_back(std::to_string(m_garbled) +
                    " frames no bus carries (garbled on the way from the adapter?) written with "
                    "the identifier's low 11 or 29 bits and a DLC of at most 15");
  }
  return notes;
}

void LogWriter::Flush() {
  if (!m_output) return;
  if (m_options.live) {
    flushLive(*m_output);
  }
  m_output->Flush();
}

void LogWriter::Sync() {
  if (!m_output) return;
  Flush();
  m_output->Sync();
}

void LogWriter::Close() {
  if (!m_output) return;
  std::unique_ptr<LogOutput> output = std::move(m_output);
  end(*output);
  output->Commit();
}

std::uint64_t LogWriter::BytesWritten() const { return m_output ? m_output->Size() : 0; }

std::unique_ptr<LogWriter> MakeLogWriter(LogFormat format, LogWriterOptions options) {
  switch (format) {
    case LogFormat::Candump:
      return std::make_unique<CandumpWriter>(std::move(options));
    case LogFormat::Asc:
      return std::make_unique<AscWriter>(std::move(options));
    case LogFormat::Blf:
      return std::make_unique<BlfWriter>(std::move(options));
    case LogFormat::Csv:
      return std::make_unique<CsvWriter>(std::move(options));
    case LogFormat::DataLog:
      break;
  }
  throw LogError(LogError::Kind::Usage, "",
                 "the data log (.txt) is read here, not written: write .log, .asc, .blf or .csv");
}

std::unique_ptr<LogWriter> MakeLogWriterFor(const std::filesystem::path& path,
                                            LogWriterOptions options) {
  const auto format = LogFormatFromPath(path);
  if (!format) {
    throw LogError(LogError::Kind::Usage, path.string(),
                   "cannot tell the log format from the extension '" + path.extension().string() +
                       "' (known: " + kLogFormatList + ")");
  }
  if (!LogFormatWritable(*format)) {
    throw LogError(LogError::Kind::Usage, path.string(),
                   "the data log (.txt) is read here, not written: write .log, .asc, .blf or "
                   ".csv");
  }
  return MakeLogWriter(*format, std::move(options));
}

}  // namespace velqor
