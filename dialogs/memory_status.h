#pragma once
// The memory figures of the About box, from the kernel's /proc/meminfo.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velqor {

struct MemoryStatus {
  std::uint64_t totalPhysBytes = 0;  // MemTotal
  std::uint32_t memoryLoad = 0;      // percent in use: 100 - 100 x MemAvailable / MemTotal
};

// The figures from the text of /proc/meminfo (sizes in kB of 1024 bytes). Without
// MemAvailable (kernels before 3.14) the memory free plus buffers and page cache counts as
// available. Nothing when MemTotal is missing or 0.
std::optional<MemoryStatus> ParseMemInfo(std::string_view text);

// Reads and parses the file; nothing when it cannot be read.
std::optional<MemoryStatus> ReadMemoryStatus(const std::filesystem::path& path = "/proc/meminfo");

// PhysMem: the total in whole kilobytes with thousands separators, then " KB"
// (1 073 741 824 bytes show as "1,048,576 KB").
std::string PhysMemText(std::uint64_t totalPhysBytes);

// FreeRes: "%d %%" ("37 %").
std::string MemoryLoadText(std::uint32_t memoryLoad);

}  // namespace velqor
