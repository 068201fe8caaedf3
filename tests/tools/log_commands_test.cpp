// velqor-cli convert, play and monitor's log output, against the simulated adapter in this
// process.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "canlog/log_reader.h"
#include "canlog/log_writer.h"
#include "tests/common/temp_dir.h"
#include "tests/support/file_size_limit.h"
#include "tools/convert_command.h"
#include "tools/monitor_command.h"
#include "tools/monitor_output.h"
#include "tools/play_command.h"

namespace velqor::cli {
namespace {

using velqor::testing::TempDir;

struct Outcome {
  int status;
  std::string out, err;
};

template <typename F>
Outcome Call(F command, std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = command(args, out, err, false);
  return {status, out.str(), err.str()};
}

Outcome Monitor(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = RunMonitor(args, out, err);
  return {status, out.str(), err.str()};
}

std::vector<CanFrame> ReadAll(const std::filesystem::path& path) {
  auto reader = OpenLogReader(path);
  std::vector<CanFrame> frames;
  CanFrame f;
  while (reader->Next(f)) frames.push_back(f);
  return frames;
}

const std::string kLog =
    "(1700000000.000100) can0 123#1122\n"
    "(1700000000.010100) can0 18FEF100#01 T\n"
    "(1700000000.020100) can0 7FF#R2\n";

TEST(ConvertCommand, ExitStatusAndMessages) {
  TempDir dir;
  velqor::testing::writeFile(dir / "in.log", kLog);
  velqor::testing::writeFile(dir / "in.dat", kLog);
  velqor::testing::writeFile(dir / "bad.log", kLog + "(1.0) can0 123#1\n");
  const std::string d = dir.path().string() + "/";
  struct {
    std::vector<std::string> args;
    int status;
    const char* says;
  } const cases[] = {
      {{d + "in.log", d + "out.blf"}, 0, "3 frames from"},
      {{d + "in.dat", d + "out.asc", "--from", "candump"}, 0, "(candump) to"},
      {{d + "in.log", d + "out.dat", "--to", "csv"}, 0, "(csv)"},
      {{d + "in.log"}, 2, "two files, IN and OUT"},
      {{d + "in.dat", d + "out.log"}, 2, "name it with --from"},
      {{d + "in.log", d + "out.txt"}, 2, "read here, not written"},
      {{d + "in.log", d + "out.log", "--to", "trc"}, 2, "--to needs a format"},
      {{d + "bad.log", d + "out.log"}, 2, "bad.log:4: expected the data as pairs"},
      {{d + "none.log", d + "out.log"}, 2, "none.log: cannot open: No such file"},
      {{d + "in.log", d + "no/out.log"}, 2, "out.log: cannot create: No such file"},
  };
  for (const auto& c : cases) {
    const Outcome r = Call(RunConvert, c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadAll(dir / "out.blf").size(), 3u);
  EXPECT_EQ(ReadAll(dir / "out.asc").size(), 3u);
  // A failed conversion leaves no output.
  EXPECT_FALSE(std::filesystem::exists(dir / "out.log"));
}

TEST(ConvertCommand, AnOutputThatCannotBeWrittenExitsWith1AndIsNotCreated) {
  TempDir dir;
  std::string big;
  for (int i = 0; i < 20000; ++i) big += kLog;
  velqor::testing::writeFile(dir / "in.log", big);
  Outcome r;
  {
    velqor::testing::FileSizeLimit limit(big.size() / 2);
    r = Call(RunConvert, {(dir / "in.log").string(), (dir / "out.csv").string()});
  }
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("out.csv was not created"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "out.csv"));
}

TEST(MonitorCommand, OutputFileHoldsTheFramesOfStandardOutputInEveryFormat) {
  TempDir dir;
  for (const char* ext : {".log", ".asc", ".blf", ".csv"}) {
    // A flood beyond what any bus carries, as in the program's load tests.
    const auto file = dir / (std::string("m") + ext);
    const Outcome r = Monitor({"--sim", "--flood", "21277", "--flood-off-bus", "--count", "20000",
                               "--output", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("20000 frames written to " + file.string()), std::string::npos) << r.err;
    velqor::testing::writeFile(dir / "stdout.log", r.out);
    const std::vector<CanFrame> printed = ReadAll(dir / "stdout.log");
    const std::vector<CanFrame> written = ReadAll(file);
    ASSERT_EQ(printed.size(), 20000u);
    ASSERT_EQ(written.size(), printed.size()) << ext;
    for (std::size_t i = 0; i < printed.size(); ++i) {
      ASSERT_EQ(written[i].id, printed[i].id) << ext << " frame " << i;
      ASSERT_EQ(written[i].data, printed[i].data) << ext << " frame " << i;
      ASSERT_EQ(written[i].time.wallUs, printed[i].time.wallUs) << ext << " frame " << i;
    }
  }
}

TEST(MonitorCommand, BadOutputFilesExitWith2BeforeTheAdapterIsOpened) {
  TempDir dir;
  for (const std::string& name :
       {std::string("m.txt"), std::string("m.trc"), std::string("no/m.log")}) {
    const Outcome r = Monitor({"--sim", "--count", "1", "--output", (dir / name).string()});
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_NE(r.err.find("--output: "), std::string::npos) << r.err;
  }
}

TEST(MonitorCommand, ABusErrorIsACandumpErrorFrameWithItsCounters) {
  DeviceMessage m;
  std::snprintf(m.Text, sizeof m.Text, "STUFF_ERROR");
  m.Data[1] = 8;    // transmit errors
  m.Data[2] = 130;  // receive errors
  CanTime t;
  t.wallUs = 1700000000000100;
  // SocketCAN: bus error 0x80 | protocol 0x08 | counters 0x200; data[2] 0x04 stuff error.
  EXPECT_EQ(MonitorCandumpLine(ErrorFrameFromMessage(m, t)),
            "(1700000000.000100) usb 20000288#0000040000000882");
}

TEST(MonitorCommand, ReplaysALogAsTheSimulatedBusTraffic) {
  TempDir dir;
  std::string log;
  for (int i = 0; i < 40; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "(1700000000.%06d) can0 %03X#%02X\n", i * 2000, 0x100 + i, i);
    log += line;
  }
  velqor::testing::writeFile(dir / "r.log", log);
  const Outcome r = Monitor({"--sim", "--sim-replay", (dir / "r.log").string(), "--count", "60",
                             "--output", (dir / "m.blf").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<CanFrame> got = ReadAll(dir / "m.blf");
  ASSERT_EQ(got.size(), 60u);
  for (int i = 0; i < 60; ++i) {
    EXPECT_EQ(got[i].id, static_cast<std::uint32_t>(0x100 + i % 40)) << i;
    EXPECT_EQ(got[i].data[0], i % 40) << i;
  }
  const Outcome bad = Monitor({"--sim", "--sim-replay", (dir / "none.log").string()});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--sim-replay: "), std::string::npos) << bad.err;
}

TEST(PlayCommand, SendsEveryFrameItCanAndSaysWhatItPassedOver) {
  TempDir dir;
  velqor::testing::writeFile(dir / "r.log", kLog);
  const std::string file = (dir / "r.log").string();
  const Outcome all = Call(RunPlay, {file, "--sim", "--speed", "4"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_NE(all.err.find("2 frames sent to the adapter: 2 sent on the bus, 0 failed; 1 remote"),
            std::string::npos)
      << all.err;
  const Outcome chosen = Call(RunPlay, {file, "--sim", "--speed", "max", "--ids", "123"});
  EXPECT_EQ(chosen.status, 0) << chosen.err;
  EXPECT_NE(chosen.err.find("1 frames sent"), std::string::npos) << chosen.err;
  EXPECT_NE(chosen.err.find("1 not selected"), std::string::npos) << chosen.err;
  // Nobody acknowledges: every frame fails.
  const Outcome alone = Call(RunPlay, {file, "--sim", "--unacknowledged", "--speed", "max"});
  EXPECT_EQ(alone.status, 3) << alone.err;
}

TEST(PlayCommand, BadArgumentsAndBadLogsExitWith2) {
  TempDir dir;
  velqor::testing::writeFile(dir / "r.log", kLog);
  velqor::testing::writeFile(dir / "bad.asc", "nothing\n");
  const std::string file = (dir / "r.log").string();
  struct {
    std::vector<std::string> args;
    const char* says;
  } const cases[] = {
      {{"--sim"}, "FILE is missing"},
      {{file, "--sim", "--speed", "5"}, "from 0.25 to 4"},
      {{file, "--sim", "--speed"}, "--speed needs"},
      {{file, "--sim", "--ids", "800"}, "beyond 11 bits"},
      {{(dir / "bad.asc").string(), "--sim"}, "bad.asc:1: expected the header of an ASC file"},
      {{(dir / "r.xyz").string(), "--sim"}, "name it with --from"},
      {{file, "--sim", "--pid", "EE01"}, "was not found"},
  };
  for (const auto& c : cases) {
    const Outcome r = Call(RunPlay, c.args);
    EXPECT_EQ(r.status, 2) << c.says;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace velqor::cli
