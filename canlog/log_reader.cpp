#include "canlog/log_reader.h"

#include "canlog/asc_log.h"
#include "canlog/blf_log.h"
#include "canlog/candump_log.h"
#include "canlog/csv_log.h"
#include "canlog/data_log_reader.h"

namespace velqor {

std::unique_ptr<LogReader> OpenLogReader(const std::filesystem::path& path, LogFormat format) {
  switch (format) {
    case LogFormat::Candump:
      return std::make_unique<CandumpReader>(path);
    case LogFormat::Asc:
      return std::make_unique<AscReader>(path);
    case LogFormat::Blf:
      return std::make_unique<BlfReader>(path);
    case LogFormat::Csv:
      return std::make_unique<CsvReader>(path);
    case LogFormat::DataLog:
      return std::make_unique<DataLogReader>(path);
  }
  throw LogError(LogError::Kind::Usage, path.string(), "unknown log format");
}

std::unique_ptr<LogReader> OpenLogReader(const std::filesystem::path& path) {
  const auto format = LogFormatFromPath(path);
  if (!format) {
    throw LogError(LogError::Kind::Usage, path.string(),
                   "cannot tell the log format from the extension '" + path.extension().string() +
                       "' (known: " + kLogFormatList + ")");
  }
  return OpenLogReader(path, *format);
}

}  // namespace velqor
