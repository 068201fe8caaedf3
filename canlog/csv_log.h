#pragma once
// CSV in python-can's layout (its CSVReader and CSVWriter, ".csv"):
//   timestamp,arbitration_id,extended,remote,error,dlc,data
//   1700000000.000100,0x123,0,0,0,4,3q2+7w==
// One header line, one row per frame: seconds since 1970 UTC, the identifier in hexadecimal
// (an error frame: its SocketCAN class bits), three flags as 1 or 0, the DLC in decimal, and
// the data bytes in base64. The layout has no direction: every frame reads as received.
//
// Read: the header must be this one; python-can's float texts ("1e-05") are taken; rows with
// more than 8 data bytes (CAN FD) are skipped and counted.

#include "canlog/log_io.h"
#include "canlog/log_reader.h"
#include "canlog/log_writer.h"

namespace velqor {

inline constexpr char kCsvHeader[] = "timestamp,arbitration_id,extended,remote,error,dlc,data";

class CsvReader : public LogReader {
 public:
  explicit CsvReader(const std::filesystem::path& path);
  bool Next(CanFrame& frame) override;
  std::uint64_t Position() const override { return m_in.Position(); }
  std::uint64_t Size() const override { return m_in.Size(); }
  std::vector<std::string> Notes() const override;

 private:
  LogInput m_in;
  std::uint64_t m_fdSkipped = 0;
};

class CsvWriter : public LogWriter {
 public:
  using LogWriter::LogWriter;

 protected:
  void begin(LogOutput& out) override;
  void frame(LogOutput& out, const CanFrame& frame) override;
  void end(LogOutput&) override {}
};

}  // namespace velqor
