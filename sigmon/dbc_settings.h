#pragma once
// The settings file's section [SIGNALS]: the DBC files loaded at start, in their order.
//
//   [SIGNALS]
//   DBCCOUNT=2
//   DBC1=/home/tech/vehicle.dbc
//   DBC2=/home/tech/j1939.dbc
//
// A file without the section (every file written before it existed) lists no DBC file.

#include <string>
#include <vector>

#include "common/ini_file.h"

namespace velqor {

struct DbcSettings {
  std::vector<std::string> files;

  friend bool operator==(const DbcSettings&, const DbcSettings&) = default;
};

// At most this many files are read back from DBCCOUNT.
inline constexpr int kMaxDbcFiles = 256;

// One reading of the file. Empty entries are skipped.
DbcSettings loadDbcSettings(const IniFile& ini);
// One write of the file; lets SettingsWriteError through (the file stays as it was). A path
// the file cannot hold (a line break in it) is left out. An empty list is written only over
// a list written before: a file that never had one gets no section.
void saveDbcSettings(IniFile& ini, const DbcSettings& settings);

}  // namespace velqor
