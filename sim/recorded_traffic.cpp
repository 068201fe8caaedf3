#include "sim/recorded_traffic.h"

namespace velqor {

std::shared_ptr<RecordedTraffic> RecordedTraffic::Open(const std::filesystem::path& path,
                                                       std::optional<LogFormat> format) {
  std::unique_ptr<LogReader> reader = format ? OpenLogReader(path, *format) : OpenLogReader(path);
  const LogFormat chosen = format ? *format : *LogFormatFromPath(path);
  std::shared_ptr<RecordedTraffic> traffic(new RecordedTraffic(path, chosen));
  // The check: every frame once.
  CanFrame f;
  std::uint64_t frames = 0;
  std::int64_t first = 0, last = 0;
  while (reader->Next(f)) {
    if (frames == 0) first = f.time.wallUs;
    last = f.time.wallUs;
    ++frames;
    if (!f.rtr() && !f.error()) ++traffic->m_framesPerPass;
  }
  if (traffic->m_framesPerPass == 0) {
    throw LogError(LogError::Kind::Format, path.string(),
                   "the log holds no data frame to put on the simulated bus");
  }
  const std::int64_t span = std::max<std::int64_t>(0, last - first);
  const std::int64_t gap =
      frames > 1 ? std::max<std::int64_t>(1, span / static_cast<std::int64_t>(frames - 1)) : 100000;
  traffic->m_firstUs = first;
  traffic->m_passUs = span + gap;
  return traffic;
}

bool RecordedTraffic::Next(BusFrame& frame, std::chrono::nanoseconds& due) {
  if (!m_error.empty()) return false;
  try {
    for (int ends = 0; ends < 2;) {
      if (!m_reader) m_reader = OpenLogReader(m_path, m_format);
      CanFrame f;
      if (!m_reader->Next(f)) {
        m_reader.reset();
        ++m_passes;
        m_offsetUs += m_passUs;
        ++ends;  // a file that emptied since the check ends the replay
        continue;
      }
      ends = 0;
      if (f.rtr() || f.error()) continue;
      frame.id = f.id & (f.extended() ? 0x1FFFFFFFu : 0x7FFu);
      frame.extended = f.extended();
      frame.dlc = static_cast<std::uint8_t>(f.dlc > 15 ? 15 : f.dlc);
      frame.data = f.data;
      // Times that go backwards in the file put the frame on the bus at once.
      m_lastDueUs = std::max(m_lastDueUs, f.time.wallUs - m_firstUs + m_offsetUs);
      due = std::chrono::microseconds(m_lastDueUs);
      return true;
    }
    m_error = m_path.string() + ": the log holds no data frame any more";
  } catch (const std::exception& e) {
    m_error = e.what();
  }
  m_reader.reset();
  return false;
}

}  // namespace velqor
