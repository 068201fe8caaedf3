#pragma once
// Vector's ASC trace format (CANoe, CANalyzer; python-can's ".asc"; can-utils' asc2log):
//   date Wed Dec 09 09:21:47.712 AM 2026
//   base hex  timestamps absolute
//   internal events logged
//   Begin Triggerblock Wed Dec 09 09:21:47.712 AM 2026
//      0.000000 Start of measurement
//      0.000100 1  123             Rx   d 4 DE AD BE EF
//      0.000200 1  1234x           Tx   d 2 01 02
//      0.000300 1  7FF             Rx   r 2
//      0.000400 1  ErrorFrame
//   End TriggerBlock
// Times count in seconds from the date of the header (or of the trigger block), which is
// local time with milliseconds.
//
// Read: "base hex" and "base dec", absolute and relative time stamps, several trigger
// blocks, dates in English or German and in ctime's form, classic frames on CAN FD channels
// (CANFD lines without the FDF flag). Lines of other events (statistics, chip status, J1939,
// system variables) are passed over; CAN FD frames and transmit requests (TxRq, followed by
// their Tx line) are skipped and counted. A file must start with its header.
// Written: as above, the date being the first frame's local time cut to the millisecond, so
// that every frame's time is kept to the microsecond. An error frame's class is not kept.

#include "canlog/log_io.h"
#include "canlog/log_reader.h"
#include "canlog/log_text.h"
#include "canlog/log_writer.h"

namespace velqor {

// "Wed Dec 09 09:21:47.712 AM 2026" for a local time.
std::string AscDateText(const logtext::LocalTime& t);
// The local time of an ASC date text (after "date " or "Begin Triggerblock "); false when
// it is none of the forms written by CANoe, python-can or log2asc.
bool ParseAscDate(std::string_view text, logtext::LocalTime& t);

class AscReader : public LogReader {
 public:
  explicit AscReader(const std::filesystem::path& path);
  bool Next(CanFrame& frame) override;
  std::uint64_t Position() const override { return m_in.Position(); }
  std::uint64_t Size() const override { return m_in.Size(); }
  std::vector<std::string> Notes() const override;

 private:
  // Header lines; false when `line` is none.
  bool headerLine(std::string_view line);
  bool parseClassic(std::string_view rest, CanFrame& f);
  bool parseCanFd(std::string_view rest, CanFrame& f);
  std::uint32_t number(std::string_view token, const char* what, std::uint32_t max);

  LogInput m_in;
  int m_base = 16;
  bool m_relative = false;
  bool m_dated = false;
  std::int64_t m_fileStartUs = 0;
  std::int64_t m_blockStartUs = 0;
  std::int64_t m_lastOffsetUs = 0;  // relative time stamps add up
  std::uint64_t m_fdSkipped = 0;
  std::uint64_t m_txRequests = 0;
};

class AscWriter : public LogWriter {
 public:
  using LogWriter::LogWriter;

 protected:
  void begin(LogOutput&) override {}
  void frame(LogOutput& out, const CanFrame& frame) override;
  void end(LogOutput& out) override;

 private:
  void header(LogOutput& out, std::int64_t startUs);

  bool m_headerWritten = false;
  std::int64_t m_startUs = 0;
};

}  // namespace velqor
