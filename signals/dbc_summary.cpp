#include "signals/dbc_summary.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace velqor::dbc {

namespace {

std::string numberText(double v) {
  char buf[64];
  if (v == 0) v = 0;
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string numberText(const Number& n) {
  if (!n.exact) return numberText(n.value);
  std::string digits = std::to_string(n.mantissa < 0 ? -n.mantissa : n.mantissa);
  if (n.exponent >= 0) {
    if (n.mantissa != 0) digits.append(static_cast<std::size_t>(n.exponent), '0');
  } else {
    const auto decimals = static_cast<std::size_t>(-n.exponent);
    if (digits.size() <= decimals) digits = std::string(decimals - digits.size() + 1, '0') + digits;
    const std::size_t point = digits.size() - decimals;
    digits = digits.substr(0, point) + "." + digits.substr(point);
  }
  return (n.mantissa < 0 ? "-" : "") + digits;
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The raw value of a value-table entry as the signal reads it.
std::string rawText(const Signal& s, const ValueText& v) {
  if (s.valueType != ValueType::Integer) return numberText(v.value);
  if (s.isSigned && (s.length == 64 || (v.bits >> (s.length - 1)) != 0)) {
    const std::uint64_t sign = s.length == 64 ? 0 : std::uint64_t{1} << s.length;
    return std::to_string(static_cast<std::int64_t>(v.bits - sign));
  }
  return std::to_string(v.bits);
}

std::string valueList(const Signal& s) {
  std::vector<std::pair<double, const ValueText*>> ordered;
  for (const ValueText& v : s.values) ordered.emplace_back(std::stod(rawText(s, v)), &v);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string out;
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    if (i == 8) {
      out += ", ... (" + std::to_string(ordered.size()) + " in all)";
      break;
    }
    if (i > 0) out += ", ";
    out += rawText(s, *ordered[i].second) + " \"" + ordered[i].second->text + "\"";
  }
  return out;
}

std::string idText(const Message& m) {
  char buf[32];
  std::snprintf(buf, sizeof buf, m.extended ? "0x%08X (extended)" : "0x%03X", m.id);
  return buf;
}

}  // namespace

std::string describeDatabase(const Database& db) {
  std::string out = db.fileName + ": VERSION \"" + db.version + "\", " +
                    plural(db.nodes.size(), "node", "nodes") + ", " +
                    plural(db.messages.size(), "message", "messages") + ", " +
                    plural(db.signalCount(), "signal", "signals") + ", " +
                    plural(db.valueTables.size(), "value table", "value tables") + "\n";
  for (const Message& m : db.messages) {
    out += "BO_ " + idText(m) + " " + m.name + ": " + std::to_string(m.size) + " bytes";
    if (!m.transmitter.empty() && m.transmitter != "Vector__XXX") out += " from " + m.transmitter;
    if (m.cycleTimeMs) out += ", every " + std::to_string(*m.cycleTimeMs) + " ms";
    if (m.fd) out += ", CAN FD (not decoded)";
    if (m.extendedMux) out += ", extended multiplexing (multiplexed signals not decoded)";
    if (!m.comment.empty()) out += "  \"" + m.comment + "\"";
    out += "\n";
    std::vector<std::string> names;
    std::size_t width = 0;
    for (const Signal& s : m.signalList) {
      std::string name = s.name;
      if (s.mux == MuxRole::Multiplexor) name += " M";
      if (s.mux == MuxRole::Multiplexed) {
        name += " m" + std::to_string(s.muxValue) + (s.alsoMultiplexor ? "M" : "");
      }
      width = std::max(width, name.size());
      names.push_back(std::move(name));
    }
    for (std::size_t k = 0; k < m.signalList.size(); ++k) {
      const Signal& s = m.signalList[k];
      out += "  " + names[k] + std::string(width - names[k].size() + 2, ' ') +
             std::to_string(s.startBit) + "|" + std::to_string(s.length) + "@" +
             (s.byteOrder == ByteOrder::Intel ? "1" : "0") + (s.isSigned ? "-" : "+");
      if (s.valueType == ValueType::Float32) out += " float";
      if (s.valueType == ValueType::Float64) out += " double";
      out += " (" + numberText(s.factor) + "," + numberText(s.offset) + ") [" +
             numberText(s.minimum) + "|" + numberText(s.maximum) + "] \"" + s.unit + "\"";
      if (!s.receivers.empty()) {
        out += "  ->";
        for (std::size_t i = 0; i < s.receivers.size(); ++i) {
          out += (i == 0 ? " " : ", ") + s.receivers[i];
        }
      }
      if (!s.values.empty()) out += "  values: " + valueList(s);
      out += "\n";
    }
  }
  for (const ValueTable& t : db.valueTables) {
    out += "VAL_TABLE_ " + t.name + ": " + plural(t.values.size(), "value", "values") + "\n";
  }
  for (const Warning& w : db.warnings) {
    out += "warning: line " + std::to_string(w.line) + ", column " + std::to_string(w.column) +
           ": " + w.text + "\n";
  }
  if (!db.skipped.empty()) {
    out += "skipped (not used for decoding):";
    for (std::size_t i = 0; i < db.skipped.size(); ++i) {
      out += (i == 0 ? " " : ", ") + db.skipped[i].keyword + " x" +
             std::to_string(db.skipped[i].count);
    }
    out += "\n";
  }
  return out;
}

}  // namespace velqor::dbc
