#pragma once
// The data log's own settings, in a section of their own of the settings file:
//
//   [DATALOG]
//   FORMAT=candump
//
// FORMAT names the format of the data log files: "datalog" (the program's own lines, .txt,
// the default), "candump" (.log), "asc", "blf" or "csv". A file without the section logs as
// the program always has.

#include <string>
#include <vector>

#include "canlog/log_format.h"
#include "common/ini_file.h"

namespace velqor {

struct DataLogSettings {
  static constexpr char kSection[] = "DATALOG";
  LogFormat format = LogFormat::DataLog;
  bool operator==(const DataLogSettings&) const = default;
};

// A FORMAT that names no format leaves the default and adds a line to `warnings`.
DataLogSettings loadDataLogSettings(const IniFile& ini, std::vector<std::string>& warnings);
// The default is written only where the file holds a FORMAT already. Throws as IniFile's
// writes do.
void saveDataLogSettings(IniFile& ini, const DataLogSettings& settings);

}  // namespace velqor
