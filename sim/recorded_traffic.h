#pragma once
// A recorded log as the traffic of the other nodes on the simulated bus: its frames take the
// bus at their recorded intervals from the start of the model, in the file's order (the order
// the recorded bus gave them), and when the file ends it
// starts again, one mean frame interval after its last frame, as if the recording went on
// with itself.
//
// Open() reads the whole file once, so that a malformed log is refused at the start (with its
// file name and line) rather than in the middle of a run; the frames are then read again as
// the model needs them, in constant memory. Remote and error frames are passed over: the
// simulated bus carries data frames only.
//
// Used by the model on its own thread only.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "canlog/log_reader.h"
#include "sim/can_bitstream.h"

namespace velqor {

class RecordedTraffic {
 public:
  // Throws LogError: a file that cannot be read, a malformed one (file and line), or one
  // without a single data frame.
  static std::shared_ptr<RecordedTraffic> Open(const std::filesystem::path& path,
                                               std::optional<LogFormat> format = std::nullopt);

  // The next frame and when it is due, from the start of the replay; false only when the file
  // can no longer be read (Error() says why).
  bool Next(BusFrame& frame, std::chrono::nanoseconds& due);

  std::uint64_t FramesPerPass() const { return m_framesPerPass; }
  std::uint64_t Passes() const { return m_passes; }
  const std::string& Error() const { return m_error; }
  const std::filesystem::path& Path() const { return m_path; }

 private:
  RecordedTraffic(std::filesystem::path path, LogFormat format)
      : m_path(std::move(path)), m_format(format) {}

  std::filesystem::path m_path;
  LogFormat m_format;
  std::unique_ptr<LogReader> m_reader;
  std::uint64_t m_framesPerPass = 0;  // data frames
  std::int64_t m_firstUs = 0;
  std::int64_t m_passUs = 0;  // recorded time from one pass's first frame to the next one's
  std::int64_t m_offsetUs = 0;
  std::int64_t m_lastDueUs = 0;
  std::uint64_t m_passes = 0;
  std::string m_error;
};

}  // namespace velqor
