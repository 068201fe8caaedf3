#pragma once
// The TxSet page's cyclic sending in the settings file: section TXCYCLIC, per transmit row n
// CYCLE<n> (the cycle time in ms, empty for a row sent by SEND only) and COUNT<n> (frames to
// send, 0 = until stopped). A section of its own, so that files written before it load as
// they always did; a file whose rows all stand at the defaults gets no such section.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/adapter_limits.h"
#include "common/ini_file.h"

namespace velqor {

inline constexpr char kCyclicTxSection[] = "TXCYCLIC";
// The largest count a row takes: nine digits.
inline constexpr std::uint64_t kMaxCyclicCount = 999'999'999;

struct CyclicTxRowSettings {
  int cycleMs = 0;          // 1 .. 60 000; 0: none (the row is a one-shot)
  std::uint64_t count = 0;  // 0 .. kMaxCyclicCount; 0: until stopped

  friend bool operator==(const CyclicTxRowSettings&, const CyclicTxRowSettings&) = default;
};

struct CyclicTxSettings {
  std::array<CyclicTxRowSettings, kTxMailboxCount> rows{};  // index i = row i + 1

  friend bool operator==(const CyclicTxSettings&, const CyclicTxSettings&) = default;
};

// Reads the section (inside the caller's IniFile batch, when one is open). A value that is not
// a number in range gives the default and one line in `warnings` saying which key held what.
CyclicTxSettings loadCyclicTxSettings(const IniFile& ini, std::vector<std::string>& warnings);
// Writes every key of the section, or nothing when every row stands at the defaults and the
// file has no such section yet. Throws SettingsWriteError as IniFile does.
void saveCyclicTxSettings(IniFile& ini, const CyclicTxSettings& settings);

// A cycle time as typed (blanks around it ignored): "" gives 0 (none), decimal digits a value
// from kMinCycleMs to kMaxCycleMs; anything else nothing.
std::optional<int> ParseCycleText(std::string_view text);
// A count as typed (blanks around it ignored): "" gives 0, decimal digits a value up to
// kMaxCyclicCount; anything else nothing.
std::optional<std::uint64_t> ParseCountText(std::string_view text);

}  // namespace velqor
