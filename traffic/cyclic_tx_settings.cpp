#include "traffic/cyclic_tx_settings.h"

#include "transmit/transmit_scheduler.h"

namespace velqor {

namespace {

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// Decimal digits only, at most nine of them (kMaxCyclicCount and 60 000 both fit).
std::optional<std::uint64_t> Digits(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

std::string Key(const char* stem, int row) { return stem + std::to_string(row); }

}  // namespace

std::optional<int> ParseCycleText(std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return 0;
  const std::optional<std::uint64_t> value = Digits(text);
  if (!value || *value < kMinCycleMs || *value > kMaxCycleMs) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<std::uint64_t> ParseCountText(std::string_view text) {
  text = Trimmed(text);
  if (text.empty()) return 0;
  return Digits(text);
}

CyclicTxSettings loadCyclicTxSettings(const IniFile& ini, std::vector<std::string>& warnings) {
  const IniFile::Batch batch = ini.batch();
  CyclicTxSettings settings;
  auto warn = [&](const std::string& key, const std::string& value, const char* why) {
    warnings.push_back("[" + std::string(kCyclicTxSection) + "] " + key + "=" + value + ": " + why);
  };
  for (int row = 1; row <= kTxMailboxCount; ++row) {
    CyclicTxRowSettings& s = settings.rows[static_cast<std::size_t>(row - 1)];
    const std::string cycleKey = Key("CYCLE", row);
    const std::string cycle = ini.readString(kCyclicTxSection, cycleKey, "");
    if (const std::optional<int> ms = ParseCycleText(cycle)) {
      s.cycleMs = *ms;
    } else {
      warn(cycleKey, cycle, "not a cycle time from 1 to 60000 ms; the row is left without one");
    }
    const std::string countKey = Key("COUNT", row);
    const std::string count = ini.readString(kCyclicTxSection, countKey, "");
    if (const std::optional<std::uint64_t> n = ParseCountText(count)) {
      s.count = *n;
    } else {
      warn(countKey, count, "not a count from 0 to 999999999; 0 (until stopped) is used");
    }
  }
  return settings;
}

void saveCyclicTxSettings(IniFile& ini, const CyclicTxSettings& settings) {
  const IniFile::Batch batch = ini.batch();
  bool inFile = false;
  for (int row = 1; row <= kTxMailboxCount && !inFile; ++row) {
    inFile = ini.readValue(kCyclicTxSection, Key("CYCLE", row)).has_value() ||
             ini.readValue(kCyclicTxSection, Key("COUNT", row)).has_value();
  }
  if (!inFile && settings == CyclicTxSettings{}) return;
  for (int row = 1; row <= kTxMailboxCount; ++row) {
    const CyclicTxRowSettings& s = settings.rows[static_cast<std::size_t>(row - 1)];
    ini.writeString(kCyclicTxSection, Key("CYCLE", row),
                    s.cycleMs > 0 ? std::to_string(s.cycleMs) : std::string());
    ini.writeString(kCyclicTxSection, Key("COUNT", row), std::to_string(s.count));
  }
  ini.commitBatch();
}

}  // namespace velqor
