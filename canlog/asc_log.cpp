#include "canlog/asc_log.h"

#include <array>
#include <cstring>

namespace velqor {

using namespace logtext;

namespace {

constexpr std::array<const char*, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// 1..12 from an English or German month name; 0 for none.
int MonthNumber(std::string_view name) {
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (EqualsIgnoringCase(name, kMonths[i])) return static_cast<int>(i) + 1;
  }
  if (EqualsIgnoringCase(name, "Mai")) return 5;
  if (EqualsIgnoringCase(name, "Okt")) return 10;
  if (EqualsIgnoringCase(name, "Dez")) return 12;
  if (EqualsIgnoringCase(name, "Mrz")) return 3;
  // "Mär" in UTF-8 or Latin-1.
  if (name == "M\xC3\xA4r" || name == "M\xE4r") return 3;
  return 0;
}

bool ParseClock(std::string_view text, LocalTime& t) {
  // hh:mm:ss[.fff]
  std::uint32_t h = 0, m = 0, s = 0, ms = 0;
  const std::size_t c1 = text.find(':');
  const std::size_t c2 = c1 == std::string_view::npos ? c1 : text.find(':', c1 + 1);
  if (c2 == std::string_view::npos) return false;
  const std::size_t dot = text.find('.', c2);
  const std::string_view secText =
      text.substr(c2 + 1, dot == std::string_view::npos ? std::string_view::npos : dot - c2 - 1);
  if (!ParseDecimal(text.substr(0, c1), h) || !ParseDecimal(text.substr(c1 + 1, c2 - c1 - 1), m) ||
      !ParseDecimal(secText, s)) {
    return false;
  }
  if (dot != std::string_view::npos) {
    std::string_view frac = text.substr(dot + 1);
    if (frac.empty()) return false;
    if (frac.size() > 3) frac = frac.substr(0, 3);
    if (!ParseDecimal(frac, ms)) return false;
    for (std::size_t i = frac.size(); i < 3; ++i) ms *= 10;
  }
  t.hour = static_cast<int>(h);
  t.minute = static_cast<int>(m);
  t.second = static_cast<int>(s);
  t.millisecond = static_cast<int>(ms);
  return true;
}

}  // namespace

std::string AscDateText(const LocalTime& t) {
  std::string out = kWeekdays[static_cast<std::size_t>(t.weekday) % 7];
  out += ' ';
  out += kMonths[static_cast<std::size_t>(t.month - 1) % 12];
  out += ' ';
  AppendDecimal(out, static_cast<std::uint64_t>(t.day), 2);
  out += ' ';
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  AppendDecimal(out, static_cast<std::uint64_t>(hour12), 2);
  out += ':';
  AppendDecimal(out, static_cast<std::uint64_t>(t.minute), 2);
  out += ':';
  AppendDecimal(out, static_cast<std::uint64_t>(t.second), 2);
  out += '.';
  AppendDecimal(out, static_cast<std::uint64_t>(t.millisecond), 3);
  out += t.hour < 12 ? " AM " : " PM ";
  AppendDecimal(out, static_cast<std::uint64_t>(t.year), 4);
  return out;
}

bool ParseAscDate(std::string_view text, LocalTime& t) {
  // [weekday] month day clock [am|pm] year
  std::string_view rest = text;
  std::string_view tokens[7];
  int n = 0;
  for (std::string_view tok = NextToken(rest); !tok.empty() && n < 7; tok = NextToken(rest)) {
    tokens[n++] = tok;
  }
  int i = 0;
  if (n > 0 && MonthNumber(tokens[0]) == 0) ++i;  // the weekday
  if (i + 3 > n) return false;
  LocalTime parsed;
  parsed.month = MonthNumber(tokens[i++]);
  std::uint32_t day = 0;
  if (parsed.month == 0 || !ParseDecimal(tokens[i++], day)) return false;
  parsed.day = static_cast<int>(day);
  if (!ParseClock(tokens[i++], parsed)) return false;
  if (i < n && (EqualsIgnoringCase(tokens[i], "am") || EqualsIgnoringCase(tokens[i], "pm"))) {
    const bool pm = EqualsIgnoringCase(tokens[i], "pm");
    if (parsed.hour < 1 || parsed.hour > 12) return false;
    parsed.hour = parsed.hour % 12 + (pm ? 12 : 0);
    ++i;
  }
  std::uint32_t year = 0;
  if (i >= n || !ParseDecimal(tokens[i], year)) return false;
  parsed.year = static_cast<int>(year);
  t = parsed;
  return true;
}

// ---------------------------------------------------------------------------------------
// Reader

AscReader::AscReader(const std::filesystem::path& path) : m_in(path) {
  // The header: the first line that says something must belong to it.
  std::string_view line;
  while (m_in.ReadLine(line)) {
    std::string_view rest = line;
    const std::string_view first = NextToken(rest);
    if (first.empty()) continue;
    if (!headerLine(line)) {
      m_in.FailAtLine(
          "expected the header of an ASC file ('date ...', 'base hex  timestamps absolute' or "
          "'// ...'), found " +
          QuoteForError(line));
    }
    break;
  }
}

bool AscReader::headerLine(std::string_view line) {
  std::string_view rest = line;
  const std::string_view first = NextToken(rest);
  if (first.starts_with("//")) return true;
  if (EqualsIgnoringCase(first, "date")) {
    LocalTime t;
    std::int64_t us = 0;
    if (ParseAscDate(rest, t) && FromLocalTime(t, us)) {
      m_fileStartUs = us;
      m_blockStartUs = us;
      m_dated = true;
    }
    return true;
  }
  if (EqualsIgnoringCase(first, "base")) {
    const std::string_view base = NextToken(rest);
    if (EqualsIgnoringCase(base, "dec")) {
      m_base = 10;
    } else if (EqualsIgnoringCase(base, "hex")) {
      m_base = 16;
    } else {
      m_in.FailAtLine("expected 'base hex' or 'base dec', found " + QuoteForError(line));
    }
    if (EqualsIgnoringCase(NextToken(rest), "timestamps")) {
      m_relative = EqualsIgnoringCase(NextToken(rest), "relative");
    }
    return true;
  }
  // "internal events logged", "no internal events logged"
  if (EqualsIgnoringCase(first, "internal")) return true;
  if (EqualsIgnoringCase(first, "no")) return EqualsIgnoringCase(NextToken(rest), "internal");
  if (EqualsIgnoringCase(first, "begin")) {
    if (!EqualsIgnoringCase(NextToken(rest), "triggerblock")) return false;
    // The block's events count from its own date, when it has one.
    LocalTime t;
    std::int64_t us = 0;
    if (ParseAscDate(rest, t) && FromLocalTime(t, us)) {
      m_blockStartUs = us;
      m_dated = true;
    } else {
      m_blockStartUs = m_fileStartUs;
    }
    m_lastOffsetUs = 0;
    return true;
  }
  if (EqualsIgnoringCase(first, "end")) return EqualsIgnoringCase(NextToken(rest), "triggerblock");
  return false;
}

std::uint32_t AscReader::number(std::string_view token, const char* what, std::uint32_t max) {
  std::uint32_t v = 0;
  const bool ok = m_base == 16 ? ParseHex(token, v) : ParseDecimal(token, v);
  if (!ok || v > max) {
    m_in.FailAtLine(std::string("expected ") + what +
                    (m_base == 16 ? " in hexadecimal" : " in decimal") + ", found " +
                    QuoteForError(token));
  }
  return v;
}

bool AscReader::Next(CanFrame& frame) {
  std::string_view line;
  while (m_in.ReadLine(line)) {
    std::string_view rest = line;
    const std::string_view first = NextToken(rest);
    if (first.empty()) continue;
    std::int64_t offset = 0;
    if (!ParseSeconds(first, offset) || first.find('e') != std::string_view::npos ||
        first.find('E') != std::string_view::npos) {
      headerLine(line);  // a date, a trigger block; anything else is another kind of line
      continue;
    }
    if (m_relative) {
      offset += m_lastOffsetUs;
      m_lastOffsetUs = offset;
    }
    CanFrame f;
    f.time.wallUs = m_blockStartUs + offset;
    f.time.steadyUs = f.time.wallUs;
    std::string_view after = rest;
    const std::string_view channel = NextToken(after);
    bool isFrame = false;
    if (EqualsIgnoringCase(channel, "CANFD")) {
      isFrame = parseCanFd(after, f);
    } else if (!channel.empty() && channel[0] >= '0' && channel[0] <= '9') {
      std::uint32_t ch = 0;
      if (ParseDecimal(channel, ch)) isFrame = parseClassic(after, f);
    }
    if (isFrame) {
      frame = f;
      return true;
    }
  }
  return false;
}

bool AscReader::parseClassic(std::string_view rest, CanFrame& f) {
  const std::string_view idText = NextToken(rest);
  if (EqualsIgnoringCase(idText, "ErrorFrame")) {
    f.flags = CanFrame::kError;
    f.id = 0x80;  // a bus error, nothing more known
    f.dlc = 8;
    return true;
  }
  const std::string_view direction = NextToken(rest);
  if (EqualsIgnoringCase(direction, "TxRq")) {
    ++m_txRequests;
    return false;
  }
  if (!EqualsIgnoringCase(direction, "Rx") && !EqualsIgnoringCase(direction, "Tx")) {
    return false;  // another event on this channel (statistics, chip status, J1939, ...)
  }
  std::string_view id = idText;
  if (!id.empty() && (id.back() == 'x' || id.back() == 'X')) {
    f.ide = 1;
    id.remove_suffix(1);
  }
  f.id = number(id,
                f.ide ? "an extended identifier (at most 1FFFFFFF)"
                      : "a standard identifier (at most 7FF, 'x' after an extended one)",
                f.ide ? 0x1FFFFFFFu : 0x7FFu);
  if (EqualsIgnoringCase(direction, "Tx")) f.flags |= CanFrame::kTx;
  const std::string_view type = NextToken(rest);
  if (type == "r" || type == "R") {
    f.flags |= CanFrame::kRtr;
    std::string_view more = rest;
    const std::string_view dlc = NextToken(more);
    std::uint32_t v = 0;
    if (!dlc.empty() && (m_base == 16 ? ParseHex(dlc, v) : ParseDecimal(dlc, v)) && v <= 15) {
      f.dlc = static_cast<std::uint8_t>(v);
    }
    return true;
  }
  if (type != "d" && type != "D") {
    m_in.FailAtLine("expected d (data frame) or r (remote frame) after the direction, found " +
                    QuoteForError(type));
  }
  f.dlc = static_cast<std::uint8_t>(number(NextToken(rest), "a DLC of 0 to 15", 15));
  for (std::size_t i = 0; i < f.length(); ++i) {
    const std::string_view byte = NextToken(rest);
    if (byte.empty()) {
      m_in.FailAtLine("expected " + std::to_string(f.length()) + " data bytes after DLC " +
                      std::to_string(f.dlc) + ", found " + std::to_string(i));
    }
    f.data[i] = static_cast<std::uint8_t>(number(byte, "a data byte", 255));
  }
  return true;
}

bool AscReader::parseCanFd(std::string_view rest, CanFrame& f) {
  // CANFD <ch> <Rx|Tx> <id>[x] [<name>] <brs> <esi> <dlc> <datalen> <data...> <duration>
  // <length> <flags> ...
  const std::string_view channel = NextToken(rest);
  const std::string_view direction = NextToken(rest);
  const std::string_view idText = NextToken(rest);
  std::uint32_t ch = 0;
  if (!ParseDecimal(channel, ch)) return false;
  if (EqualsIgnoringCase(idText, "ErrorFrame")) {
    f.flags = CanFrame::kError;
    f.id = 0x80;
    f.dlc = 8;
    return true;
  }
  if (!EqualsIgnoringCase(direction, "Rx") && !EqualsIgnoringCase(direction, "Tx")) {
    if (EqualsIgnoringCase(direction, "TxRq")) ++m_txRequests;
    return false;
  }
  std::string_view id = idText;
  if (!id.empty() && (id.back() == 'x' || id.back() == 'X')) {
    f.ide = 1;
    id.remove_suffix(1);
  }
  f.id = number(id, f.ide ? "an extended identifier (at most 1FFFFFFF)" : "a standard identifier",
                f.ide ? 0x1FFFFFFFu : 0x7FFu);
  if (EqualsIgnoringCase(direction, "Tx")) f.flags |= CanFrame::kTx;
  std::string_view brs = NextToken(rest);
  if (brs != "0" && brs != "1") brs = NextToken(rest);  // a symbolic name came first
  NextToken(rest);                                      // esi
  const auto dlc = number(NextToken(rest), "the DLC (0 to 15) of a CANFD line", 15);
  std::uint32_t length = 0;
  if (!ParseDecimal(NextToken(rest), length) || length > 64) {
    m_in.FailAtLine("expected the data length (0 to 64, decimal) of a CANFD line");
  }
  std::uint8_t data[64] = {};
  for (std::uint32_t i = 0; i < length; ++i) {
    data[i] = static_cast<std::uint8_t>(number(NextToken(rest), "a data byte", 255));
  }
  NextToken(rest);  // message duration
  NextToken(rest);  // message length in bits
  std::uint32_t flags = 0;
  // Without the flags the line cannot say it is classic: taken as CAN FD.
  if (!ParseHex(NextToken(rest), flags) || (flags & 0x1000) != 0 || length > 8) {
    ++m_fdSkipped;
    return false;
  }
  // A classic frame on a CAN FD channel.
  f.dlc = static_cast<std::uint8_t>(dlc);
  if ((flags & 0x10) != 0) {
    f.flags |= CanFrame::kRtr;
  } else {
    std::memcpy(f.data.data(), data, std::min<std::size_t>(length, 8));
  }
  return true;
}

std::vector<std::string> AscReader::Notes() const {
  std::vector<std::string> notes;
  if (!m_dated) {
    notes.push_back("the file has no readable date: times count from 1970-01-01 00:00 local time");
  }
  if (m_fdSkipped > 0) {
    notes.push_back(std::to_string(m_fdSkipped) +
                    " CAN FD frames skipped: the program handles classic CAN only");
  }
  if (m_txRequests > 0) {
    notes.push_back(std::to_string(m_txRequests) +
                    " transmit requests (TxRq) passed over: the frames sent are their Tx lines");
  }
  return notes;
}

// ---------------------------------------------------------------------------------------
// Writer

void AscWriter::header(LogOutput& out, std::int64_t startUs) {
  m_startUs = startUs;
  const std::string date = AscDateText(ToLocalTime(startUs));
  std::string& text = out.Pending();
  text += "date " + date + "\n";
  text += "base hex  timestamps absolute\n";
  // python-can 4.1 takes the first line after the header as part of it: this one must be.
  text += "internal events logged\n";
  text += "Begin Triggerblock " + date + "\n";
  text += "   0.000000 Start of measurement\n";
  m_headerWritten = true;
}

void AscWriter::frame(LogOutput& out, const CanFrame& f) {
  if (!m_headerWritten) header(out, FloorToMs(f.time.wallUs));
  std::string& text = out.Pending();
  // The time right-aligned in 11 characters, as CANoe writes it.
  const std::size_t start = text.size();
  AppendSeconds(text, f.time.wallUs - m_startUs);
  const std::size_t width = text.size() - start;
  if (width < 11) text.insert(start, 11 - width, ' ');
  text += ' ';
  AppendDecimal(text, static_cast<std::uint64_t>(options().channel));
  if (f.error()) {
    text += "  ErrorFrame\n";
    out.FlushIfFull();
    return;
  }
  text += "  ";
  const std::size_t idStart = text.size();
  AppendHexShort(text, f.id);
  if (f.extended()) text += 'x';
  text.append(16 - std::min<std::size_t>(15, text.size() - idStart), ' ');
  text += f.tx() ? "Tx   " : "Rx   ";
  if (f.rtr()) {
    text += "r ";
    AppendHexShort(text, f.dlc);
  } else {
    text += "d ";
    AppendHexShort(text, f.dlc);
    for (std::size_t i = 0; i < f.length(); ++i) {
      text += ' ';
      AppendByte(text, f.data[i]);
    }
  }
  text += '\n';
  out.FlushIfFull();
}

void AscWriter::end(LogOutput& out) {
  if (!m_headerWritten) header(out, FloorToMs(CanTime::Now().wallUs));
  out.Append("End TriggerBlock\n");
}

}  // namespace velqor
