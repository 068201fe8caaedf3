#pragma once
// TraceFilter: which rows of the trace to show (or to find), from a line a person types.
//
// The line holds terms separated by blanks or commas, letter case aside:
//   7DF              an identifier, hexadecimal (0x7DF too)
//   7E0-7EF          a range of identifiers, both ends included
//   18DA00F1/1FFF00FF  an identifier under a mask: the bits set in the mask must be equal
//   !7DF  !700-7FF   identifiers to leave out (any of the forms above after '!')
//   std  ext         standard (11-bit) or extended (29-bit) frames only
//   rx  tx           received or sent frames only
//   err              the adapter's bus errors, failed sends and frames the program lost
//   evt              the program's events: connected, disconnected, adapter lost and back
//   #11 ?? 3?        everything after '#' is a pattern of the first data bytes: two
//                    hexadecimal digits a byte, '?' for a digit that may be anything (blanks
//                    and dots between bytes are allowed); a frame matches when it has at
//                    least that many data bytes and each digit agrees
//
// A frame row is shown when it is of a kind asked for (rx, tx; any when no kind is named), of
// a length asked for (std, ext), matches one of the identifiers given (any when none is
// given), none of those left out, and the data pattern. Rows that are not frames have no
// identifier or data: they are shown when their kind is named (err, evt), or when the line
// names no kind and asks for no identifier, length or data (leaving identifiers out does not
// hide them). An empty line shows every row.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "trace/trace_store.h"

namespace velqor {

class TraceFilter {
 public:
  // What the parse of a line gives: the filter, or where and why the line is not one.
  struct Parse;
  static Parse parse(std::string_view text);

  // Shows every row.
  bool empty() const { return m_empty; }
  bool matches(const TraceRecord& row) const;

 private:
  struct IdTerm {
    std::uint32_t low = 0;  // identifier range [low, high], or value when masked
    std::uint32_t high = 0;
    std::uint32_t mask = 0;  // 0: a range
  };
  enum Kind : std::uint8_t { kRx = 1, kTx = 2, kErr = 4, kEvt = 8 };
  enum Length : std::uint8_t { kStd = 1, kExt = 2 };

  static bool idMatches(const std::vector<IdTerm>& terms, std::uint32_t id);

  bool m_empty = true;
  bool m_aboutFrames = false;  // identifiers, lengths or data asked for (not left out)
  std::uint8_t m_kinds = 0;    // Kind bits; 0: every kind
  std::uint8_t m_lengths = 0;  // Length bits; 0: both
  std::vector<IdTerm> m_include;
  std::vector<IdTerm> m_exclude;
  std::size_t m_dataLength = 0;  // bytes in the data pattern
  std::array<std::uint8_t, 8> m_dataValue{};
  std::array<std::uint8_t, 8> m_dataCare{};  // bits that must be equal
};

struct TraceFilter::Parse {
  bool ok = true;
  TraceFilter filter;
  // When not ok: what is wrong, naming the term, and the term's place in the line (from 0).
  std::string error;
  std::size_t errorAt = 0;
};

}  // namespace velqor
