#pragma once
// The program's own data log (yymmddCANnnn.txt), read so that old recordings can be
// converted and replayed. Written by the data log of the Config page (traffic/log_file.h):
//   Time,ID(hex),DLC,Data[0],Data[1],Data[2],Data[3],Data[4],Data[5],Data[6],Data[7],
//    31245	,0	,123	,2	,11	, 22	, 00	, 00	, 00	, 00	, 00	, 00
// (fields padded with a tab and a blank as the line layout says). Each line: the time, the
// IDE value in hexadecimal, the identifier in hexadecimal, the DLC in decimal, and all eight
// data bytes.
//
// The time is the low 16 bits of a millisecond counter that started with the computer, so it
// wraps every 65.536 s and carries no date. The reader counts the wraps (a time smaller than
// the one before means the counter went round once) and makes the first frame's time 0: the
// frames come out with their intervals, from 1970-01-01 00:00:00 UTC. Notes() says that the
// date is lost, and that a silence of more than 65.5 s between two frames cannot be seen.

#include "canlog/log_io.h"
#include "canlog/log_reader.h"

namespace velqor {

class DataLogReader : public LogReader {
 public:
  explicit DataLogReader(const std::filesystem::path& path);
  bool Next(CanFrame& frame) override;
  std::uint64_t Position() const override { return m_in.Position(); }
  std::uint64_t Size() const override { return m_in.Size(); }
  std::vector<std::string> Notes() const override;

 private:
  LogInput m_in;
  bool m_first = true;
  std::uint32_t m_firstTime = 0;
  std::uint32_t m_lastTime = 0;
  std::uint64_t m_wraps = 0;
};

}  // namespace velqor
