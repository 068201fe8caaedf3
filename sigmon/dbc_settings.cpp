#include "sigmon/dbc_settings.h"

#include <algorithm>
#include <stdexcept>

namespace velqor {

namespace {
constexpr std::string_view kSection = "SIGNALS";
std::string fileKey(int n) { return "DBC" + std::to_string(n); }
}  // namespace

DbcSettings loadDbcSettings(const IniFile& ini) {
  const IniFile::Batch batch = ini.batch();
  DbcSettings s;
  const int count = std::clamp(ini.readInteger(kSection, "DBCCOUNT", 0), 0, kMaxDbcFiles);
  for (int n = 1; n <= count; ++n) {
    std::string path = ini.readString(kSection, fileKey(n), "");
    if (!path.empty()) s.files.push_back(std::move(path));
  }
  return s;
}

void saveDbcSettings(IniFile& ini, const DbcSettings& settings) {
  const IniFile::Batch batch = ini.batch();
  // Nothing to say and nothing said before: the file stays as the program always wrote it.
  if (settings.files.empty() && !ini.readValue(kSection, "DBCCOUNT")) return;
  int n = 0;
  for (const std::string& path : settings.files) {
    if (n == kMaxDbcFiles) break;
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) continue;
    ini.writeString(kSection, fileKey(++n), path);
  }
  ini.writeInteger(kSection, "DBCCOUNT", n);
  ini.commitBatch();
}

}  // namespace velqor
