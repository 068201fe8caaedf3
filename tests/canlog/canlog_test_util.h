#pragma once
// Frames for the log format tests, what each format keeps of them, and reading and writing
// whole files.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "canlog/log_reader.h"
#include "canlog/log_writer.h"
#include "tests/common/temp_dir.h"

namespace velqor {

inline std::ostream& operator<<(std::ostream& os, const CanFrame& f) {
  char text[160];
  std::snprintf(text, sizeof text,
                "{t=%lld id=%X ide=%u dlc=%u flags=%u data=%02X%02X%02X%02X%02X%02X%02X%02X}",
                static_cast<long long>(f.time.wallUs), f.id, f.ide, f.dlc, f.flags, f.data[0],
                f.data[1], f.data[2], f.data[3], f.data[4], f.data[5], f.data[6], f.data[7]);
  return os << text;
}

namespace testing {

inline CanFrame Frame(std::int64_t us, std::uint32_t id, bool extended,
                      std::initializer_list<std::uint8_t> data, std::uint8_t flags = 0,
                      int dlc = -1) {
  CanFrame f;
  f.time.wallUs = us;
  f.time.steadyUs = us;
  f.id = id;
  f.ide = extended ? 1 : 0;
  f.flags = flags;
  std::size_t i = 0;
  for (const std::uint8_t b : data) f.data[i++] = b;
  f.dlc = static_cast<std::uint8_t>(dlc >= 0 ? dlc : static_cast<int>(data.size()));
  return f;
}

constexpr std::int64_t kT0 = 1700000000000100;  // 2023-11-14 22:13:20.000100 UTC

// One of everything a classic CAN log holds.
inline std::vector<CanFrame> SampleFrames() {
  return {
      Frame(kT0, 0x123, false, {0xDE, 0xAD, 0xBE, 0xEF}),
      Frame(kT0 + 1, 0x1234, true, {0x01, 0x02}, CanFrame::kTx),  // 1 us later
      Frame(kT0 + 250, 0x7FF, false, {}, CanFrame::kRtr, 3),
      Frame(kT0 + 500400, 0x000, false, {}),
      Frame(kT0 + 1999899, 0x1FFFFFFF, true, {0, 1, 2, 3, 4, 5, 6, 7}),
      Frame(kT0 + 2000000, 0x100, false, {1, 2, 3, 4, 5, 6, 7, 8}, 0, 12),  // DLC above 8
      // A stuff error with its counters: SocketCAN classes bus error, protocol, counters.
      Frame(kT0 + 2000001, 0x288, false, {0, 0, 0x04, 0, 0, 0, 8, 0}, CanFrame::kError, 8),
      Frame(kT0 + 102000002, 0x456, true, {0xAA}, CanFrame::kRtr | CanFrame::kTx, 1),
  };
}

// What a file of `format` gives back of `f`.
inline CanFrame Carried(LogFormat format, CanFrame f) {
  const bool hasDirection = format != LogFormat::Csv && format != LogFormat::DataLog;
  if (!hasDirection) f.flags &= static_cast<std::uint8_t>(~CanFrame::kTx);
  if (f.rtr() && !f.error()) f.data = {};
  if (f.error()) {
    f.ide = 0;
    f.flags = CanFrame::kError;
    if (format == LogFormat::Asc || format == LogFormat::Blf) {
      f.id = 0x80;  // a bus error: nothing more is kept
      f.dlc = 8;
      f.data = {};
    }
  }
  if (format == LogFormat::Candump && f.dlc > 8) f.dlc = 8;
  return f;
}

inline std::vector<CanFrame> Carried(LogFormat format, std::vector<CanFrame> frames) {
  for (CanFrame& f : frames) f = Carried(format, f);
  return frames;
}

inline void WriteAll(const std::filesystem::path& path, LogFormat format,
                     const std::vector<CanFrame>& frames, LogWriterOptions options = {}) {
  auto writer = MakeLogWriter(format, options);
  writer->Open(path);
  for (const CanFrame& f : frames) writer->Write(f);
  writer->Close();
}

inline std::vector<CanFrame> ReadAll(const std::filesystem::path& path, LogFormat format,
                                     std::vector<std::string>* notes = nullptr) {
  auto reader = OpenLogReader(path, format);
  std::vector<CanFrame> frames;
  CanFrame f;
  while (reader->Next(f)) frames.push_back(f);
  if (notes) *notes = reader->Notes();
  return frames;
}

// Frames equal but for the time, which may differ by `toleranceUs`.
inline void ExpectSameFrames(const std::vector<CanFrame>& actual,
                             const std::vector<CanFrame>& expected, std::int64_t toleranceUs = 0) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    CanFrame a = actual[i], e = expected[i];
    EXPECT_NEAR(static_cast<double>(a.time.wallUs), static_cast<double>(e.time.wallUs),
                static_cast<double>(toleranceUs))
        << "frame " << i;
    a.time = e.time;
    EXPECT_EQ(a, e) << "frame " << i;
  }
}

// A candump log: frames 0x100, 0x101, ... at the given milliseconds.
class Recording {
 public:
  explicit Recording(const std::vector<std::int64_t>& ms, std::string extra = "") {
    std::string text;
    for (std::size_t i = 0; i < ms.size(); ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "(%lld.%03lld000) can0 %03zX#11\n",
                    static_cast<long long>(1000 + ms[i] / 1000),
                    static_cast<long long>(ms[i] % 1000), 0x100 + i);
      text += line;
    }
    testing::writeFile(m_dir / "r.log", text + extra);
  }
  std::function<std::unique_ptr<LogReader>()> Opener() const {
    return [path = m_dir / "r.log"] { return OpenLogReader(path, LogFormat::Candump); };
  }

 private:
  TempDir m_dir;
};

}  // namespace testing
}  // namespace velqor
