#include "canlog/log_format.h"

#include <algorithm>
#include <cctype>

namespace velqor {

const char kLogFormatList[] =
    "candump (.log), asc (.asc), blf (.blf), csv (.csv), datalog (.txt, read only)";

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

}  // namespace

std::optional<LogFormat> LogFormatFromPath(const std::filesystem::path& path) {
  const std::string ext = Lower(path.extension().string());
  for (const LogFormat f : kAllLogFormats) {
    if (ext == LogFormatExtension(f)) return f;
  }
  return std::nullopt;
}

std::optional<LogFormat> LogFormatFromName(std::string_view name) {
  const std::string word = Lower(name);
  if (word == "log") return LogFormat::Candump;
  if (word == "txt") return LogFormat::DataLog;
  for (const LogFormat f : kAllLogFormats) {
    if (word == LogFormatName(f)) return f;
  }
  return std::nullopt;
}

const char* LogFormatName(LogFormat format) {
  switch (format) {
    case LogFormat::Candump:
      return "candump";
    case LogFormat::Asc:
      return "asc";
    case LogFormat::Blf:
      return "blf";
    case LogFormat::Csv:
      return "csv";
    case LogFormat::DataLog:
      return "datalog";
  }
  return "?";
}

const char* LogFormatExtension(LogFormat format) {
  switch (format) {
    case LogFormat::Candump:
      return ".log";
    case LogFormat::Asc:
      return ".asc";
    case LogFormat::Blf:
      return ".blf";
    case LogFormat::Csv:
      return ".csv";
    case LogFormat::DataLog:
      return ".txt";
  }
  return "";
}

bool LogFormatWritable(LogFormat format) { return format != LogFormat::DataLog; }

}  // namespace velqor
