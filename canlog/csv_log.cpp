#include "canlog/csv_log.h"

#include "canlog/log_text.h"

namespace velqor {

using namespace logtext;

namespace {

// The field up to the next comma (or the end).
std::string_view NextField(std::string_view& rest, bool& more) {
  const std::size_t comma = rest.find(',');
  more = comma != std::string_view::npos;
  const std::string_view field = rest.substr(0, comma);
  rest.remove_prefix(more ? comma + 1 : rest.size());
  return field;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

CsvReader::CsvReader(const std::filesystem::path& path) : m_in(path) {
  std::string_view line;
  if (!m_in.ReadLine(line)) {
    m_in.FailAtLine(std::string("expected the header '") + kCsvHeader + "', found an empty file");
  }
  if (line.size() >= 3 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);  // BOM
  if (Trim(line) != kCsvHeader) {
    m_in.FailAtLine(std::string("expected the header '") + kCsvHeader +
                    "' (python-can's CSV layout), found " + QuoteForError(line, 60));
  }
}

bool CsvReader::Next(CanFrame& frame) {
  std::string_view line;
  while (m_in.ReadLine(line)) {
    if (Trim(line).empty()) continue;
    std::string_view rest = line;
    std::string_view fields[7];
    bool more = true;
    int n = 0;
    while (more && n < 7) fields[n++] = Trim(NextField(rest, more));
    if (n != 7 || more) {
      m_in.FailAtLine("expected 7 fields separated by commas (" + std::string(kCsvHeader) +
                      "), found " + QuoteForError(line, 60));
    }
    CanFrame f;
    if (!ParseSeconds(fields[0], f.time.wallUs)) {
      m_in.FailAtLine("expected the time stamp in seconds in the first field, found " +
                      QuoteForError(fields[0]));
    }
    f.time.steadyUs = f.time.wallUs;
    std::string_view idText = fields[1];
    if (idText.size() > 2 && idText[0] == '0' && (idText[1] == 'x' || idText[1] == 'X')) {
      idText.remove_prefix(2);
    }
    std::uint32_t id = 0;
    if (!ParseHex(idText, id)) {
      m_in.FailAtLine(
          "expected a hexadecimal identifier such as 0x123 in the second field, "
          "found " +
          QuoteForError(fields[1]));
    }
    for (int i = 2; i <= 4; ++i) {
      if (fields[i] != "0" && fields[i] != "1") {
        static const char* const kNames[] = {"", "", "extended", "remote", "error"};
        m_in.FailAtLine(std::string("expected 1 or 0 in the field '") + kNames[i] + "', found " +
                        QuoteForError(fields[i]));
      }
    }
    const bool extended = fields[2] == "1";
    if (fields[4] == "1") {
      f.flags = CanFrame::kError;
      f.id = id & 0x1FFFFFFFu;
    } else {
      if (id > (extended ? 0x1FFFFFFFu : 0x7FFu)) {
        m_in.FailAtLine(std::string("expected ") +
                        (extended ? "an extended identifier of at most 0x1fffffff"
                                  : "a standard identifier of at most 0x7ff") +
                        ", found " + QuoteForError(fields[1]));
      }
      f.id = id;
      f.ide = extended ? 1 : 0;
      if (fields[3] == "1") f.flags |= CanFrame::kRtr;
    }
    std::uint32_t dlc = 0;
    if (!ParseDecimal(fields[5], dlc) || dlc > 64) {
      m_in.FailAtLine("expected the DLC in decimal in the sixth field, found " +
                      QuoteForError(fields[5]));
    }
    std::uint8_t data[64];
    const int bytes = DecodeBase64(fields[6], data, sizeof data);
    if (bytes < 0) {
      m_in.FailAtLine("expected the data bytes in base64 in the last field, found " +
                      QuoteForError(fields[6]));
    }
    if (bytes > 8 || dlc > 15) {
      ++m_fdSkipped;
      continue;
    }
    f.dlc = static_cast<std::uint8_t>(dlc);
    if (!f.rtr()) {
      for (int i = 0; i < bytes && i < f.length(); ++i) f.data[i] = data[i];
    }
    frame = f;
    return true;
  }
  return false;
}

std::vector<std::string> CsvReader::Notes() const {
  if (m_fdSkipped == 0) return {};
  return {std::to_string(m_fdSkipped) +
          " CAN FD frames skipped: the program handles classic CAN only"};
}

void CsvWriter::begin(LogOutput& out) {
  out.Append(kCsvHeader);
  out.Append("\n");
}

void CsvWriter::frame(LogOutput& out, const CanFrame& f) {
  std::string& text = out.Pending();
  AppendSeconds(text, f.time.wallUs);
  text += ",0x";
  // Lower case, as python-can's hex() writes it.
  const std::size_t idStart = text.size();
  AppendHexShort(text, f.error() ? (f.id & 0x1FFFFFFFu) : f.id);
  for (std::size_t i = idStart; i < text.size(); ++i) {
    if (text[i] >= 'A') text[i] = static_cast<char>(text[i] + ('a' - 'A'));
  }
  text += f.extended() && !f.error() ? ",1," : ",0,";
  text += f.rtr() && !f.error() ? "1," : "0,";
  text += f.error() ? "1," : "0,";
  AppendDecimal(text, f.dlc);
  text += ',';
  if (!f.rtr() || f.error()) AppendBase64(text, f.data.data(), f.length());
  text += '\n';
  out.FlushIfFull();
}

}  // namespace velqor
