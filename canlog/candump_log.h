#pragma once
// candump's log format (candump -L, can-utils' log2asc and canplayer, python-can's ".log"):
//   (1700000000.000100) can0 123#DEADBEEF
//   (1700000000.000200) can0 12345678#0102 T
//   (1700000000.000300) can0 7FF#R2
//   (1700000000.000400) can0 20000080#0000000000000000
// One frame a line: the time in seconds since 1970 UTC, the interface, 3 hexadecimal digits
// of standard identifier or 8 of extended, '#', the data, and an optional direction (R or T).
// An error frame carries the SocketCAN error flag 0x20000000 on its class bits.
//
// Read: any number of decimals; the direction suffix; RTR with or without its DLC; data bytes
// separated by dots; a raw DLC above 8 as "_X" after eight bytes; lines starting with '#'
// (comments). CAN FD ("##") and CAN XL lines are skipped and counted.
// Written: as can-utils writes, with " T" on frames this program sent. A DLC above 8 cannot
// be written in a way python-can 4.1 reads: such frames are written with their 8 bytes.

#include <string>
#include <string_view>

#include "canlog/log_io.h"
#include "canlog/log_reader.h"
#include "canlog/log_writer.h"

namespace velqor {

inline constexpr std::uint32_t kCanErrorFlag = 0x20000000u;  // SocketCAN CAN_ERR_FLAG

// One candump line for `frame` (with its '\n').
void AppendCandumpLine(std::string& out, const CanFrame& frame, std::string_view interfaceName);

class CandumpReader : public LogReader {
 public:
  explicit CandumpReader(const std::filesystem::path& path) : m_in(path) {}
  bool Next(CanFrame& frame) override;
  std::uint64_t Position() const override { return m_in.Position(); }
  std::uint64_t Size() const override { return m_in.Size(); }
  std::vector<std::string> Notes() const override;

 private:
  LogInput m_in;
  std::uint64_t m_fdSkipped = 0;
  std::uint64_t m_xlSkipped = 0;
};

class CandumpWriter : public LogWriter {
 public:
  using LogWriter::LogWriter;

 protected:
  std::vector<std::string> formatNotes() const override;
  void begin(LogOutput&) override {}
  void frame(LogOutput& out, const CanFrame& frame) override;
  void end(LogOutput&) override {}

 private:
  std::uint64_t m_longDlc = 0;
};

}  // namespace velqor
