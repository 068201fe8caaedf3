#include "canlog/candump_log.h"

#include "canlog/log_text.h"

namespace velqor {

using namespace logtext;

void AppendCandumpLine(std::string& out, const CanFrame& f, std::string_view interfaceName) {
  out += '(';
  AppendSeconds(out, f.time.wallUs, 10);
  out += ") ";
  out += interfaceName;
  out += ' ';
  if (f.error()) {
    AppendHex(out, kCanErrorFlag | (f.id & 0x1FFFFFFFu), 8);
  } else if (f.extended()) {
    AppendHex(out, f.id & 0x1FFFFFFFu, 8);
  } else {
    AppendHex(out, f.id & 0x7FFu, 3);
  }
  out += '#';
  if (f.rtr() && !f.error()) {
    out += 'R';
    if (f.dlc > 0) out += static_cast<char>('0' + (f.dlc > 8 ? 8 : f.dlc));
  } else {
    for (std::size_t i = 0; i < f.length(); ++i) AppendByte(out, f.data[i]);
  }
  if (f.tx() && !f.error()) out += " T";
  out += '\n';
}

bool CandumpReader::Next(CanFrame& frame) {
  std::string_view line;
  while (m_in.ReadLine(line)) {
    std::string_view rest = line;
    const std::string_view stamp = NextToken(rest);
    if (stamp.empty() || stamp[0] == '#') continue;  // blank line or comment
    if (stamp.size() < 3 || stamp.front() != '(' || stamp.back() != ')') {
      m_in.FailAtLine("expected '(' and a time stamp in seconds, then ')', found " +
                      QuoteForError(stamp));
    }
    std::int64_t us = 0;
    if (!ParseSeconds(stamp.substr(1, stamp.size() - 2), us)) {
      m_in.FailAtLine("expected a time stamp in seconds such as (1700000000.000100), found " +
                      QuoteForError(stamp));
    }
    const std::string_view interfaceName = NextToken(rest);
    const std::string_view text = NextToken(rest);
    const std::string_view direction = NextToken(rest);
    if (interfaceName.empty() || text.empty()) {
      m_in.FailAtLine(
          "expected an interface name and a frame such as 123#1122 after the time "
          "stamp, found " +
          QuoteForError(line));
    }
    if (!NextToken(rest).empty() || !(direction.empty() || direction == "R" || direction == "T" ||
                                      direction == "r" || direction == "t")) {
      m_in.FailAtLine(
          "expected the direction R or T or the end of the line after the frame, "
          "found " +
          QuoteForError(direction));
    }

    const std::size_t hash = text.find('#');
    if (hash == std::string_view::npos) {
      m_in.FailAtLine("expected <identifier>#<data>, found " + QuoteForError(text));
    }
    const std::string_view idText = text.substr(0, hash);
    std::string_view data = text.substr(hash + 1);
    if (data.find(':') != std::string_view::npos && data.find('#') != std::string_view::npos) {
      ++m_xlSkipped;  // CAN XL: VVPPP#ff:ss:aaaaaaaa#data
      continue;
    }
    std::uint32_t id = 0;
    if (!ParseHex(idText, id)) {
      m_in.FailAtLine("expected 3 or 8 hexadecimal digits of identifier before '#', found " +
                      QuoteForError(idText));
    }
    if (!data.empty() && data[0] == '#') {
      ++m_fdSkipped;  // CAN FD
      continue;
    }

    CanFrame f;
    f.time.wallUs = us;
    f.time.steadyUs = us;
    if (idText.size() > 3 && (id & kCanErrorFlag) != 0) {
      f.flags = CanFrame::kError;
      f.id = id & 0x1FFFFFFFu;
    } else if (idText.size() > 3) {
      if (id > 0x1FFFFFFFu) {
        m_in.FailAtLine("expected an extended identifier of at most 1FFFFFFF, found " +
                        QuoteForError(idText));
      }
      f.id = id;
      f.ide = 1;
    } else {
      if (id > 0x7FFu) {
        m_in.FailAtLine("expected a standard identifier of at most 7FF, found " +
                        QuoteForError(idText));
      }
      f.id = id;
    }
    if (direction == "T" || direction == "t") f.flags |= CanFrame::kTx;

    if (!data.empty() && (data[0] == 'R' || data[0] == 'r') && !f.error()) {
      f.flags |= CanFrame::kRtr;
      std::uint32_t dlc = 0;
      if (data.size() > 1 && (!ParseDecimal(data.substr(1), dlc) || dlc > 15)) {
        m_in.FailAtLine("expected R and a DLC of 0 to 15 for a remote frame, found " +
                        QuoteForError(data));
      }
      f.dlc = static_cast<std::uint8_t>(dlc);
      frame = f;
      return true;
    }
    std::size_t bytes = 0;
    std::size_t i = 0;
    while (i < data.size()) {
      if (data[i] == '.') {
        ++i;
        continue;
      }
      if (data[i] == '_') break;
      const int hi = HexDigit(data[i]);
      const int lo = i + 1 < data.size() ? HexDigit(data[i + 1]) : -1;
      if (hi < 0 || lo < 0) {
        m_in.FailAtLine("expected the data as pairs of hexadecimal digits after '#', found " +
                        QuoteForError(data));
      }
      if (bytes == 8) {
        m_in.FailAtLine("expected at most 8 data bytes (CAN FD frames are written ##), found " +
                        QuoteForError(data));
      }
      f.data[bytes++] = static_cast<std::uint8_t>((hi << 4) | lo);
      i += 2;
    }
    f.dlc = static_cast<std::uint8_t>(bytes);
    if (i < data.size()) {
      // "_X": the raw DLC 9..F of a frame with 8 data bytes.
      const int raw = data.size() == i + 2 ? HexDigit(data[i + 1]) : -1;
      if (bytes != 8 || raw < 9) {
        m_in.FailAtLine("expected _9 to _F (a DLC above 8) only after 8 data bytes, found " +
                        QuoteForError(data));
      }
      f.dlc = static_cast<std::uint8_t>(raw);
    }
    frame = f;
    return true;
  }
  return false;
}

std::vector<std::string> CandumpReader::Notes() const {
  std::vector<std::string> notes;
  if (m_fdSkipped > 0) {
    notes.push_back(std::to_string(m_fdSkipped) +
                    " CAN FD frames skipped: the program handles classic CAN only");
  }
  if (m_xlSkipped > 0) {
    notes.push_back(std::to_string(m_xlSkipped) +
                    " CAN XL frames skipped: the program handles classic CAN only");
  }
  return notes;
}

void CandumpWriter::frame(LogOutput& out, const CanFrame& f) {
  if (f.dlc > 8 && !f.error()) ++m_longDlc;
  AppendCandumpLine(out.Pending(), f, options().interfaceName);
  out.FlushIfFull();
}

std::vector<std::string> CandumpWriter::formatNotes() const {
  if (m_longDlc == 0) return {};
  return {std::to_string(m_longDlc) +
          " frames with a DLC above 8 written with DLC 8: candump logs carry the DLC as the "
          "number of data bytes"};
}

}  // namespace velqor
