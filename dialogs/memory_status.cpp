#include "dialogs/memory_status.h"

#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

namespace velqor {

namespace {

// "Name:   1234 kB" lines into name -> value in kB.
std::map<std::string, std::uint64_t, std::less<>> memInfoFields(std::string_view text) {
  std::map<std::string, std::uint64_t, std::less<>> fields;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    std::uint64_t number = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || ptr == value.data()) continue;
    fields.emplace(std::string(line.substr(0, colon)), number);
  }
  return fields;
}

}  // namespace

std::optional<MemoryStatus> ParseMemInfo(std::string_view text) {
  const auto fields = memInfoFields(text);
  const auto field = [&fields](std::string_view name) -> std::optional<std::uint64_t> {
    const auto it = fields.find(name);
    if (it == fields.end()) return std::nullopt;
    return it->second;
  };
  const std::optional<std::uint64_t> totalKb = field("MemTotal");
  if (!totalKb || *totalKb == 0) return std::nullopt;
  std::uint64_t availableKb = 0;
  if (const auto available = field("MemAvailable")) {
    availableKb = *available;
  } else {
    availableKb =
        field("MemFree").value_or(0) + field("Buffers").value_or(0) + field("Cached").value_or(0);
  }
  if (availableKb > *totalKb) availableKb = *totalKb;
  MemoryStatus status;
  status.totalPhysBytes = *totalKb * 1024;
  status.memoryLoad = static_cast<std::uint32_t>(100 - availableKb * 100 / *totalKb);
  return status;
}

std::optional<MemoryStatus> ReadMemoryStatus(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return ParseMemInfo(text.str());
}

std::string PhysMemText(std::uint64_t totalPhysBytes) {
  // "#,###": no digit at all for 0, a comma between groups of three.
  const std::uint64_t kb = totalPhysBytes / 1024;
  std::string digits = kb == 0 ? std::string() : std::to_string(kb);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped + " KB";
}

std::string MemoryLoadText(std::uint32_t memoryLoad) { return std::to_string(memoryLoad) + " %"; }

}  // namespace velqor
