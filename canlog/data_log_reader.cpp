#include "canlog/data_log_reader.h"

#include "canlog/log_text.h"

namespace velqor {

using namespace logtext;

namespace {

constexpr std::string_view kHeader =
    "Time,ID(hex),DLC,Data[0],Data[1],Data[2],Data[3],Data[4],Data[5],Data[6],Data[7],";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

DataLogReader::DataLogReader(const std::filesystem::path& path) : m_in(path) {
  std::string_view line;
  if (!m_in.ReadLine(line) || Trim(line) != kHeader) {
    m_in.FailAtLine("expected the data log's header '" + std::string(kHeader) + " ', found " +
                    QuoteForError(line, 60));
  }
}

bool DataLogReader::Next(CanFrame& frame) {
  std::string_view line;
  while (m_in.ReadLine(line)) {
    if (Trim(line).empty()) continue;
    std::string_view fields[12];
    std::string_view rest = line;
    int n = 0;
    for (; n < 12; ++n) {
      const std::size_t comma = rest.find(',');
      fields[n] = Trim(rest.substr(0, comma));
      if (comma == std::string_view::npos) {
        rest = {};
        ++n;
        break;
      }
      rest.remove_prefix(comma + 1);
    }
    if (n != 12 || !Trim(rest).empty()) {
      m_in.FailAtLine(
          "expected 12 fields separated by commas (time, IDE, identifier, DLC and "
          "eight data bytes), found " +
          QuoteForError(line, 60));
    }
    std::uint32_t time = 0, ide = 0, id = 0, dlc = 0;
    if (!ParseDecimal(fields[0], time) || time > 0xFFFF) {
      m_in.FailAtLine("expected the time (0 to 65535 ms) in the first field, found " +
                      QuoteForError(fields[0]));
    }
    if (!ParseHex(fields[1], ide) || ide > 0xFF) {
      m_in.FailAtLine("expected the IDE value (hexadecimal) in the second field, found " +
                      QuoteForError(fields[1]));
    }
    if (!ParseHex(fields[2], id)) {
      m_in.FailAtLine("expected the identifier (hexadecimal) in the third field, found " +
                      QuoteForError(fields[2]));
    }
    if (!ParseDecimal(fields[3], dlc) || dlc > 255) {
      m_in.FailAtLine("expected the DLC (decimal) in the fourth field, found " +
                      QuoteForError(fields[3]));
    }
    CanFrame f;
    for (int i = 0; i < 8; ++i) {
      std::uint32_t byte = 0;
      if (fields[4 + i].size() != 2 || !ParseHex(fields[4 + i], byte)) {
        m_in.FailAtLine("expected data byte " + std::to_string(i) +
                        " as two hexadecimal digits, found " + QuoteForError(fields[4 + i]));
      }
      f.data[i] = static_cast<std::uint8_t>(byte);
    }
    if (m_first) {
      m_first = false;
      m_firstTime = time;
    } else if (time < m_lastTime) {
      ++m_wraps;
    }
    m_lastTime = time;
    const std::int64_t ms =
        static_cast<std::int64_t>(m_wraps) * 65536 + time - static_cast<std::int64_t>(m_firstTime);
    f.time.wallUs = ms * 1000;
    f.time.steadyUs = f.time.wallUs;
    f.id = id;
    f.ide = static_cast<std::uint8_t>(ide);
    f.dlc = static_cast<std::uint8_t>(dlc);
    frame = f;
    return true;
  }
  return false;
}

std::vector<std::string> DataLogReader::Notes() const {
  return {
      "the data log carries no date and only a 16-bit millisecond counter: times count from "
      "the first frame (shown as 1970-01-01 00:00:00 UTC), and a silence of more than "
      "65.5 s between two frames cannot be told from a shorter one"};
}

}  // namespace velqor
