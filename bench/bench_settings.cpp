// What start-up and exit pay for the settings file: the main window's load (about 180 keys)
// and save (about 150 keys), on a file of the usual size and on a large one (a file that
// gathered other programs' sections and notes over the years).
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
BENCHMARK(BM_LoadSettings)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveSettings(benchmark::State& state) {
  ScratchFile scratch;
  velqor::IniFile ini(scratch.path());
  velqor::saveSettings(ini, velqor::Settings{});
  for (auto _ : state) {
    velqor::saveSettings(ini, velqor::Settings{});
  }
}
BENCHMARK(BM_SaveSettings)->Unit(benchmark::kMillisecond)->UseRealTime();

// A settings file of the program's own keys followed by `bytes` of other sections.
void writeLargeSettingsFile(const fs::path& path, std::size_t bytes) {
  velqor::IniFile ini(path);
  velqor::saveSettings(ini, velqor::Settings{});
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (f == nullptr) std::abort();
  std::size_t written = 0;
  for (int section = 0; written < bytes; ++section) {
    written += static_cast<std::size_t>(std::fprintf(f, "[NOTES%d]\n", section));
    for (int key = 0; key < 100 && written < bytes; ++key) {
      written += static_cast<std::size_t>(std::fprintf(
          f, "note%d=bench %d, checked on the test bench by the night shift\n", key, section));
    }
  }
  std::fclose(f);
}

void BM_LoadLargeSettings(benchmark::State& state) {
  ScratchFile scratch;
  writeLargeSettingsFile(scratch.path(), static_cast<std::size_t>(state.range(0)) << 20);
  const velqor::IniFile ini(scratch.path());
  for (auto _ : state) {
    benchmark::DoNotOptimize(velqor::loadSettings(ini, kToday));
  }
}
BENCHMARK(BM_LoadLargeSettings)->Arg(2)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveLargeSettings(benchmark::State& state) {
  ScratchFile scratch;
  writeLargeSettingsFile(scratch.path(), static_cast<std::size_t>(state.range(0)) << 20);
  velqor::IniFile ini(scratch.path());
  for (auto _ : state) {
    velqor::saveSettings(ini, velqor::Settings{});
  }
}
BENCHMARK(BM_SaveLargeSettings)->Arg(2)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

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
