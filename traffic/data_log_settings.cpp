#include "traffic/data_log_settings.h"

namespace velqor {

DataLogSettings loadDataLogSettings(const IniFile& ini, std::vector<std::string>& warnings) {
  DataLogSettings settings;
  const std::string word =
      ini.readString(DataLogSettings::kSection, "FORMAT", LogFormatName(settings.format));
  const auto format = LogFormatFromName(word);
  if (format) {
    settings.format = *format;
  } else {
    warnings.push_back(std::string("[") + DataLogSettings::kSection + "] FORMAT=" + word +
                       ": no such log format (datalog, candump, asc, blf, csv); the data log is "
                       "written as datalog (.txt)");
  }
  return settings;
}

void saveDataLogSettings(IniFile& ini, const DataLogSettings& settings) {
  // The default goes only over a value the file holds: a file that never chose a format keeps
  // the sections the program has always written, and nothing more.
  if (settings == DataLogSettings{} && !ini.readValue(DataLogSettings::kSection, "FORMAT")) return;
  ini.writeString(DataLogSettings::kSection, "FORMAT", LogFormatName(settings.format));
}

}  // namespace velqor
