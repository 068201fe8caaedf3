// What start-up and exit pay for the settings file: every key is read by parsing the file
// anew and written by rewriting it through a temporary file and a rename.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/ini_document.h"
#include "common/settings.h"

namespace {

namespace fs = std::filesystem;

class ScratchFile {
 public:
  ScratchFile() {
    std::string pattern = (fs::temp_directory_path() / "velqor-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    m_dir = pattern;
  }
  ~ScratchFile() {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  fs::path path() const { return m_dir / "Velqor.INI"; }

 private:
  fs::path m_dir;
};

const std::chrono::year_month_day kToday{std::chrono::year(2026), std::chrono::month(12),
                                         std::chrono::day(7)};

void BM_LoadSettings(benchmark::State& state) {
  ScratchFile scratch;
  velqor::IniFile ini(scratch.path());
  velqor::saveSettings(ini, velqor::Settings{});
  for (auto _ : state) {
    benchmark::DoNotOptimize(velqor::loadSettings(ini, kToday));
  }
}
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMillisecond);

void BM_SaveSettings(benchmark::State& state) {
  ScratchFile scratch;
  velqor::IniFile ini(scratch.path());
  velqor::saveSettings(ini, velqor::Settings{});
  for (auto _ : state) {
    velqor::saveSettings(ini, velqor::Settings{});
  }
}
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond);

// The text alone, without the file system: parsing a full settings file once.
void BM_ParseSettingsText(benchmark::State& state) {
  ScratchFile scratch;
  velqor::IniFile ini(scratch.path());
  velqor::saveSettings(ini, velqor::Settings{});
  std::string text;
  {
    std::FILE* f = std::fopen(scratch.path().c_str(), "rb");
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(velqor::IniDocument::parse(text));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseSettingsText);

}  // namespace

BENCHMARK_MAIN();
