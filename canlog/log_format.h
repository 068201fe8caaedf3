#pragma once
// The log formats the program reads and writes, and how a file name or a word names one.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velqor {

enum class LogFormat {
  Candump,  // candump -L text, ".log"
  Asc,      // Vector ASC text, ".asc"
  Blf,      // Vector BLF binary, ".blf"
  Csv,      // python-can's CSV layout, ".csv"
  DataLog,  // the program's own data log, ".txt" (read only)
};

inline constexpr LogFormat kAllLogFormats[] = {LogFormat::Candump, LogFormat::Asc, LogFormat::Blf,
                                               LogFormat::Csv, LogFormat::DataLog};

// The format a file's extension names (".log", ".asc", ".blf", ".csv", ".txt", any letter
// case); nothing for any other extension.
std::optional<LogFormat> LogFormatFromPath(const std::filesystem::path& path);
// The format a word names: "candump" or "log", "asc", "blf", "csv", "datalog" or "txt".
std::optional<LogFormat> LogFormatFromName(std::string_view name);

// "candump", "asc", "blf", "csv", "datalog".
const char* LogFormatName(LogFormat format);
// ".log", ".asc", ".blf", ".csv", ".txt".
const char* LogFormatExtension(LogFormat format);
// Whether the program writes the format (the data log is read only here: it is written by the
// data log files of the Config page, with their own rules).
bool LogFormatWritable(LogFormat format);

// The words and extensions, for usage texts and error messages.
extern const char kLogFormatList[];

}  // namespace velqor
