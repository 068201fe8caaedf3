#include "trace/trace_filter.h"

#include <cctype>
#include <optional>

namespace velqor {

namespace {

constexpr std::uint32_t kLargestId = 0x1FFFFFFF;

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

std::string Lower(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A hexadecimal identifier (an optional 0x, 1 to 8 digits, at most 29 bits).
std::optional<std::uint32_t> ParseId(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.remove_prefix(2);
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::uint32_t v = 0;
  for (char c : text) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  return v;
}

}  // namespace

TraceFilter::Parse TraceFilter::parse(std::string_view text) {
  Parse result;
  TraceFilter& f = result.filter;
  const auto fail = [&result](std::size_t at, std::string why) {
    result.ok = false;
    result.error = std::move(why);
    result.errorAt = at;
    result.filter = TraceFilter();
    return result;
  };

  std::string_view terms = text;
  std::size_t hash = text.find('#');
  if (hash != std::string_view::npos) terms = text.substr(0, hash);

  std::size_t i = 0;
  while (i < terms.size()) {
    if (IsSeparator(terms[i])) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < terms.size() && !IsSeparator(terms[i])) ++i;
    std::string_view term = terms.substr(start, i - start);
    const std::string word = Lower(term);
    std::string quoted(1, '\'');  // built step by step: GCC 12 warns on "'" + string
    quoted.append(term).push_back('\'');
    if (word == "rx") {
      f.m_kinds |= kRx;
    } else if (word == "tx") {
      f.m_kinds |= kTx;
    } else if (word == "err") {
      f.m_kinds |= kErr;
    } else if (word == "evt") {
      f.m_kinds |= kEvt;
    } else if (word == "std") {
      f.m_lengths |= kStd;
    } else if (word == "ext") {
      f.m_lengths |= kExt;
    } else {
      const bool exclude = term.front() == '!';
      if (exclude) term.remove_prefix(1);
      IdTerm id;
      const std::size_t slash = term.find('/');
      const std::size_t dash = term.find('-');
      std::optional<std::uint32_t> a;
      std::optional<std::uint32_t> b;
      if (slash != std::string_view::npos) {
        a = ParseId(term.substr(0, slash));
        b = ParseId(term.substr(slash + 1));
        if (!a || !b) {
          return fail(start, quoted + " is not an identifier/mask such as 18DA00F1/1FFF00FF");
        }
        if (*b == 0) {
          id.high = 0xFFFFFFFF;  // a mask of no bits lets every identifier through
        } else {
          id.mask = *b;
          id.low = *a & *b;
        }
      } else if (dash != std::string_view::npos) {
        a = ParseId(term.substr(0, dash));
        b = ParseId(term.substr(dash + 1));
        if (!a || !b) return fail(start, quoted + " is not a range such as 7E0-7EF");
        if (*a > *b) return fail(start, quoted + ": the range ends before it starts");
        id.low = *a;
        id.high = *b;
      } else {
        a = ParseId(term);
        if (!a) {
          return fail(start, quoted +
                                 " is neither a hexadecimal identifier nor one of rx, tx, err, "
                                 "evt, std, ext");
        }
        id.low = id.high = *a;
      }
      if (*a > kLargestId || (b && *b > kLargestId && id.mask == 0)) {
        return fail(start, quoted + ": an identifier has at most 29 bits (1FFFFFFF)");
      }
      (exclude ? f.m_exclude : f.m_include).push_back(id);
    }
  }

  if (hash != std::string_view::npos) {
    // Digits of the data pattern, two a byte; blanks and dots only between bytes.
    std::size_t nibbles = 0;
    for (std::size_t k = hash + 1; k < text.size(); ++k) {
      const char c = text[k];
      if (c == ' ' || c == '\t' || c == '.') {
        if (nibbles % 2 != 0) {
          return fail(k, "the data pattern has a byte of one digit before column " +
                             std::to_string(k + 1) + ": write two digits a byte, such as 0F or ?F");
        }
        continue;
      }
      const int d = HexDigit(c);
      if (d < 0 && c != '?') {
        return fail(k, std::string{'\'', c} +
                           "' in the data pattern: use hexadecimal digits "
                           "and '?' for any digit");
      }
      if (nibbles == 16) return fail(k, "the data pattern is longer than 8 bytes");
      const std::size_t byte = nibbles / 2;
      const int shift = nibbles % 2 == 0 ? 4 : 0;
      if (d >= 0) {
        f.m_dataValue[byte] |= static_cast<std::uint8_t>(d << shift);
        f.m_dataCare[byte] |= static_cast<std::uint8_t>(0xF << shift);
      }
      ++nibbles;
    }
    if (nibbles % 2 != 0) {
      return fail(text.size(),
                  "the data pattern ends in a byte of one digit: write two digits a "
                  "byte, such as 0F or ?F");
    }
    f.m_dataLength = nibbles / 2;
  }

  // Leaving identifiers out says nothing about the rows without one.
  f.m_aboutFrames = !f.m_include.empty() || f.m_lengths != 0 || f.m_dataLength != 0;
  f.m_empty = !f.m_aboutFrames && f.m_kinds == 0 && f.m_exclude.empty();
  return result;
}

bool TraceFilter::idMatches(const std::vector<IdTerm>& terms, std::uint32_t id) {
  for (const IdTerm& t : terms) {
    if (t.mask != 0 ? (id & t.mask) == t.low : id >= t.low && id <= t.high) return true;
  }
  return false;
}

bool TraceFilter::matches(const TraceRecord& row) const {
  if (m_empty) return true;
  const TraceRowKind kind = row.kind();
  std::uint8_t k = 0;
  switch (kind) {
    case TraceRowKind::Can:
      k = row.tx() ? kTx : kRx;
      break;
    case TraceRowKind::BusError:
    case TraceRowKind::SendFailed:
    case TraceRowKind::FramesLost:
      k = kErr;
      break;
    default:
      k = kEvt;
      break;
  }
  if (m_kinds != 0 && (m_kinds & k) == 0) return false;
  if (kind != TraceRowKind::Can) return m_kinds != 0 || !m_aboutFrames;
  if (m_lengths != 0 && (m_lengths & (row.extended() ? kExt : kStd)) == 0) return false;
  if (!m_include.empty() && !idMatches(m_include, row.id)) return false;
  if (!m_exclude.empty() && idMatches(m_exclude, row.id)) return false;
  if (m_dataLength != 0) {
    if (row.length() < m_dataLength) return false;
    for (std::size_t i = 0; i < m_dataLength; ++i) {
      if ((row.data[i] & m_dataCare[i]) != m_dataValue[i]) return false;
    }
  }
  return true;
}

}  // namespace velqor
