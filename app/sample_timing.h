#pragma once
// Sample-timing tables (until the shared settings code provides them).

#include <array>
#include <cstdint>
#include <iterator>

namespace velqor {

inline constexpr int kSampleTimingMax = 30;

struct SampleTimingEntry {
  std::array<std::uint8_t, kSampleTimingMax> values{};
  std::uint8_t count = 0;
  friend bool operator==(const SampleTimingEntry&, const SampleTimingEntry&) = default;
};
using SampleTimingTable = std::array<SampleTimingEntry, 3>;

inline SampleTimingTable defaultSampleTimingTable() {
  SampleTimingTable t{};
  const std::uint8_t l250[] = {83, 81, 78, 77, 75, 73, 72, 72, 68, 68, 66, 63, 63, 63, 60};
  const std::uint8_t l500[] = {81, 77, 72, 72, 68, 63, 63};
  const std::uint8_t l1000[] = {81, 72, 63};
  auto fill = [](SampleTimingEntry& e, const std::uint8_t* v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) e.values[i] = v[i];
    e.count = static_cast<std::uint8_t>(n);
  };
  fill(t[0], l250, std::size(l250));
  fill(t[1], l500, std::size(l500));
  fill(t[2], l1000, std::size(l1000));
  return t;
}

}  // namespace velqor
