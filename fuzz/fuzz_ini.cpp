// Feeds arbitrary bytes to the settings-file reader as a file's contents and checks what
// must hold for any file: nothing crashes, writing the text back does not change what it
// means, a written value reads back, and a write touches no other key.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/ini_document.h"
#include "common/ini_file.h"
#include "common/ini_values.h"
#include "common/settings.h"

namespace {

using velqor::IniDocument;

// The settings file in memory; records which keys the settings code reads.
class MemoryIni : public velqor::IniFile {
 public:
  explicit MemoryIni(const IniDocument& doc) : IniFile("fuzz.ini"), m_doc(doc) {}
  std::optional<std::string> readValue(std::string_view section,
                                       std::string_view key) const override {
    if (m_record) m_record->push_back({std::string(section), std::string(key)});
    return m_doc.value(section, key);
  }
  void writeValue(std::string_view section, std::string_view key, std::string_view value) override {
    m_doc.setValue(section, key, value);
  }
  void record(std::vector<std::pair<std::string, std::string>>* to) { m_record = to; }

 private:
  IniDocument m_doc;
  std::vector<std::pair<std::string, std::string>>* m_record = nullptr;
};

constexpr std::chrono::year_month_day kToday{std::chrono::year(2026), std::chrono::month(12),
                                             std::chrono::day(7)};

// Every key the program reads, plus a few others.
const std::vector<std::pair<std::string, std::string>>& probes() {
  static const std::vector<std::pair<std::string, std::string>> keys = [] {
    std::vector<std::pair<std::string, std::string>> k;
    MemoryIni ini{IniDocument{}};
    ini.record(&k);
    velqor::loadSettings(ini, kToday);
    velqor::loadTtySettings(ini);
    (void)velqor::portDevicePath(ini, 3);
    k.push_back({"FILE", "SAVEFILENUM"});
    k.push_back({"X", "k"});
    return k;
  }();
  return keys;
}

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const IniDocument doc = IniDocument::parse(text);

  // Writing the text back keeps its meaning, and a second round changes nothing.
  const std::string written = doc.text();
  const IniDocument reread = IniDocument::parse(written);
  require(reread.text() == written);
  for (const auto& [section, key] : probes()) {
    require(reread.value(section, key) == doc.value(section, key));
    if (const auto v = doc.value(section, key)) {
      (void)velqor::parseIniInteger(*v);
      (void)velqor::parseIniFloat(*v);
      (void)velqor::parseIniDate(*v);
      const velqor::SampleTimingParse p = velqor::parseSampleTimingList(*v);
      require(p.entry.count <= velqor::kSampleTimingMax);
    }
  }

  // Loading the settings from any file gives values within their fields.
  MemoryIni ini(doc);
  const velqor::SettingsLoadResult loaded = velqor::loadSettings(ini, kToday);
  const velqor::Settings& s = loaded.settings;
  for (const auto& tx : s.tx) require(tx.dlc >= 0 && tx.dlc <= velqor::kMaxDlc);
  for (const auto& rx : s.rx) require(rx.dlc >= 0 && rx.dlc <= velqor::kMaxDlc);
  require(s.bitim.bitRate >= -1 && s.bitim.bitRate < velqor::kBitRateCount);
  require(s.bitim.timing == -1 ||
          (s.bitim.bitRate >= 0 && s.bitim.timing >= 0 &&
           s.bitim.timing < s.bitim.sampleTiming[static_cast<std::size_t>(s.bitim.bitRate)].count));

  // A write of a key chosen by the input reads back and leaves every other key alone.
  static const char* const kSections[] = {"UART", "txconf", "BITIM", "New"};
  static const char* const kKeys[] = {"COMM", "TXID1", "bt250", "RATE", "x"};
  const std::string section = kSections[size % 4];
  const std::string key = kKeys[(size / 4) % 5];
  const std::string value(text.substr(text.size() > 16 ? text.size() - 16 : 0));
  IniDocument changed = doc;
  try {
    changed.setValue(section, key, value);
  } catch (const std::invalid_argument&) {
    require(changed.text() == written);  // refused: nothing changed
    return 0;
  }
  const IniDocument changedReread = IniDocument::parse(changed.text());
  require(changedReread.value(section, key) == value);
  for (const auto& [s2, k2] : probes()) {
    if (velqor::equalsIgnoringCase(s2, section) && velqor::equalsIgnoringCase(k2, key)) continue;
    require(changedReread.value(s2, k2) == doc.value(s2, k2));
  }
  return 0;
}
