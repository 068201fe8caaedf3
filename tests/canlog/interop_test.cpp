// Our files against tools no one here wrote: python-can 4.1's readers and writers
// (interop.py) and can-utils' log2asc and asc2log.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

#include <array>
#include <cstdio>
#include <sstream>

#include "tests/canlog/canlog_test_util.h"

namespace velqor {
namespace {

using testing::Carried;
using testing::ExpectSameFrames;
using testing::ReadAll;
using testing::SampleFrames;
using testing::TempDir;
using testing::WriteAll;

// Both sides read local dates; UTC keeps them free of daylight saving.
const bool kUtc = [] {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  return true;
}();

// Runs a shell command; its standard output, and a failure when it exits other than 0.
std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return out;
  }
  std::array<char, 4096> buffer;
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    out.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n" << out;
  return out;
}

std::string Python(const std::string& args) {
  return RunCommand(std::string("/usr/bin/python3 ") + VELQOR_INTEROP_SCRIPT + " " + args);
}

// A message as interop.py prints it.
struct PyMessage {
  std::int64_t us = 0;
  std::uint32_t id = 0;
  bool extended = false, remote = false, error = false, rx = true;
  int dlc = 0;
  std::string data;  // hexadecimal, "-" for none
};

std::vector<PyMessage> ParsePython(const std::string& text) {
  std::vector<PyMessage> out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream f(line);
    PyMessage m;
    int ext, rtr, err, rx;
    f >> m.us >> std::hex >> m.id >> std::dec >> ext >> rtr >> err >> rx >> m.dlc >> m.data;
    EXPECT_FALSE(f.fail()) << line;
    m.extended = ext, m.remote = rtr, m.error = err, m.rx = rx;
    out.push_back(m);
  }
  return out;
}

std::string Hex(const CanFrame& f) {
  if (f.rtr() || f.length() == 0) return "-";
  std::string s;
  char b[3];
  for (std::size_t i = 0; i < f.length(); ++i) {
    std::snprintf(b, sizeof b, "%02x", f.data[i]);
    s += b;
  }
  return s;
}

// The frames python-can 4.1 and asc2log read as they are: no DLC above 8 (python-can's ASC
// reader takes a classic DLC of 9..15 for a CAN FD length, asc2log drops the frame).
std::vector<CanFrame> Dlc8Frames() {
  std::vector<CanFrame> frames = SampleFrames();
  frames.erase(frames.begin() + 5);
  return frames;
}

bool HasDirection(LogFormat f) { return f != LogFormat::Csv; }

void ExpectSame(const CanFrame& ours, const PyMessage& py, LogFormat format, std::size_t i) {
  SCOPED_TRACE("frame " + std::to_string(i));
  EXPECT_NEAR(static_cast<double>(ours.time.wallUs), static_cast<double>(py.us), 1.0);
  EXPECT_EQ(ours.error(), py.error);
  if (py.error) return;  // python-can keeps no class, identifier or data of an error frame
  EXPECT_EQ(ours.id, py.id);
  EXPECT_EQ(ours.extended(), py.extended);
  EXPECT_EQ(ours.rtr(), py.remote);
  EXPECT_EQ(ours.dlc, py.dlc);
  EXPECT_EQ(Hex(ours), py.data);
  if (HasDirection(format)) {
    EXPECT_EQ(ours.tx(), !py.rx);
  }
}

class PythonCan : public ::testing::TestWithParam<LogFormat> {
 protected:
  std::string file(const char* name) const {
    return (m_dir / (name + std::string(LogFormatExtension(GetParam())))).string();
  }
  TempDir m_dir;
};

TEST_P(PythonCan, ReadsOurFilesAsWeWroteThem) {
  WriteAll(file("ours"), GetParam(), Dlc8Frames());
  const std::vector<PyMessage> read =
      ParsePython(Python(std::string("read ") + LogFormatName(GetParam()) + " " + file("ours")));
  const std::vector<CanFrame> expected = Carried(GetParam(), Dlc8Frames());
  ASSERT_EQ(read.size(), expected.size());
  for (std::size_t i = 0; i < read.size(); ++i) ExpectSame(expected[i], read[i], GetParam(), i);
}

TEST_P(PythonCan, FilesItWritesAreReadByOursAsByItsOwnReader) {
  std::string frames;
  for (const CanFrame& f : Dlc8Frames()) {
    char line[96];
    std::snprintf(line, sizeof line, "%lld %x %d %d %d %d %d ",
                  static_cast<long long>(f.time.wallUs), f.id, f.extended(), f.rtr(), f.error(),
                  !f.tx(), f.dlc);
    frames += line + (f.error() ? "-" : Hex(f)) + "\n";
  }
  testing::writeFile(m_dir / "frames.txt", frames);
  Python(std::string("write ") + LogFormatName(GetParam()) + " " + file("py") + " " +
         (m_dir / "frames.txt").string());
  // python-can's own reading is the oracle: its writers round start times to the millisecond.
  const std::vector<PyMessage> oracle =
      ParsePython(Python(std::string("read ") + LogFormatName(GetParam()) + " " + file("py")));
  const std::vector<CanFrame> ours = ReadAll(file("py"), GetParam());
  ASSERT_EQ(ours.size(), Dlc8Frames().size());
  ASSERT_EQ(oracle.size(), ours.size());
  for (std::size_t i = 0; i < ours.size(); ++i) ExpectSame(ours[i], oracle[i], GetParam(), i);
}

INSTANTIATE_TEST_SUITE_P(Formats, PythonCan,
                         ::testing::Values(LogFormat::Candump, LogFormat::Asc, LogFormat::Blf,
                                           LogFormat::Csv),
                         [](const auto& p) { return std::string(LogFormatName(p.param)); });

TEST(PythonCanBlf, ObjectsItCutsBetweenContainersAreReadWhole) {
  // 6000 frames: python-can fills containers to exactly 128 KiB, cutting objects in two.
  TempDir dir;
  std::string frames;
  for (int i = 0; i < 6000; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%lld %x 0 0 0 1 2 %04x\n",
                  static_cast<long long>(testing::kT0 + 1000 * i), i % 0x800, i);
    frames += line;
  }
  testing::writeFile(dir / "frames.txt", frames);
  Python("write blf " + (dir / "py.blf").string() + " " + (dir / "frames.txt").string());
  const std::vector<CanFrame> ours = ReadAll(dir / "py.blf", LogFormat::Blf);
  ASSERT_EQ(ours.size(), 6000u);
  for (int i = 0; i < 6000; ++i) {
    ASSERT_EQ(ours[i].id, static_cast<std::uint32_t>(i % 0x800)) << i;
    ASSERT_EQ(ours[i].data[0] << 8 | ours[i].data[1], i) << i;
  }
}

// log2asc and asc2log take the date from the first frame or the clock: intervals compare.
std::vector<CanFrame> FromFirst(std::vector<CanFrame> frames) {
  const std::int64_t first = frames.front().time.wallUs;
  for (CanFrame& f : frames) f.time.wallUs = f.time.steadyUs = f.time.wallUs - first;
  return frames;
}

TEST(CanUtils, Log2ascMakesOfOurCandumpLogAnAscFileWeReadAlike) {
  TempDir dir;
  WriteAll(dir / "ours.log", LogFormat::Candump, SampleFrames());
  RunCommand("log2asc -I " + (dir / "ours.log").string() + " -O " + (dir / "theirs.asc").string() +
             " can0");
  ExpectSameFrames(FromFirst(ReadAll(dir / "theirs.asc", LogFormat::Asc)),
                   FromFirst(Carried(LogFormat::Asc, Carried(LogFormat::Candump, SampleFrames()))));
}

TEST(CanUtils, Asc2logMakesOfOurAscFileACandumpLogWeReadAlike) {
  TempDir dir;
  WriteAll(dir / "ours.asc", LogFormat::Asc, Dlc8Frames());
  RunCommand("asc2log -I " + (dir / "ours.asc").string() + " -O " + (dir / "theirs.log").string());
  ExpectSameFrames(FromFirst(ReadAll(dir / "theirs.log", LogFormat::Candump)),
                   FromFirst(Carried(LogFormat::Candump, Carried(LogFormat::Asc, Dlc8Frames()))));
}

}  // namespace
}  // namespace velqor
