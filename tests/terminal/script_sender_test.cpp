#include "terminal/script_sender.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <semaphore>
#include <string>
#include <vector>

#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using velqor::testing::TempDir;
using velqor::testing::writeFile;

const std::string kEnd = kScriptEndText;

TEST(ParseScriptLine, TakesTheFirstCharacterAndTheFirstWord) {
  struct Case {
    std::string piece;
    char command;
    const char* argument;
  };
  for (const Case& c : std::vector<Case>{
           {"S 0102\n", 'S', "0102"},
           {"S0102\n", 'S', "0102"},
           {"s\t01,02 03\n", 's', "01,02"},
           {"W\n", 'W', ""},
           {"W", 'W', ""},
           {"; reset the adapter\n", ';', "reset"},
           {" S 01\n", ' ', "S"},
           {"\n", '\n', ""},
           {"", 0, ""},
           {std::string("S 01\0 02\n", 9), 'S', "01"},
           {"S   \t  FC020109   trailing words\r\n", 'S', "FC020109"},
       }) {
    const ScriptLine line = ParseScriptLine(c.piece);
    EXPECT_EQ(line.command, c.command) << c.piece;
    EXPECT_EQ(line.argument, c.argument) << c.piece;
  }
}

TEST(ScriptWaitMilliseconds, ReadsALeadingDecimalNumber) {
  struct Case {
    const char* argument;
    std::int32_t ms;
  };
  for (const Case& c : std::vector<Case>{{"250", 250},
                                         {"+7", 7},
                                         {"12abc", 12},
                                         {"x", 0},
                                         {"", 0},
                                         {"-5", 0},
                                         {"-0", 0},
                                         {"2147483647", INT32_MAX},
                                         {"99999999999", INT32_MAX},
                                         {"-99999999999", 0}}) {
    EXPECT_EQ(ScriptWaitMilliseconds(c.argument), c.ms) << c.argument;
  }
}

TEST(InterpretScriptLine, EachCommandShowsItsLineAndActs) {
  struct Case {
    const char* piece;
    std::optional<std::vector<std::uint8_t>> send;
    std::optional<std::string> progress;
    std::optional<milliseconds> sleep;
    bool ends;
  };
  using B = std::vector<std::uint8_t>;
  for (const Case& c : std::vector<Case>{
           {"S 0102\n", B{0x01, 0x02}, "送信：0102", {}, false},
           {"s FC020109\n", B{0xFC, 0x02, 0x01, 0x09}, "送信：FC020109", {}, false},
           {"S 123\n", B{0x12}, "送信：123", {}, false},
           {"S 01-02-03\n", B{1, 2, 3}, "送信：01-02-03", {}, false},
           {"S xyz\n", B{}, "送信：xyz", {}, false},
           {"S\n", {}, {}, {}, false},
           {"W 250\n", {}, "wait：250 msec", milliseconds(250), false},
           {"w\n", {}, "wait:500msec", milliseconds(500), false},
           {"W x\n", {}, "wait：x msec", milliseconds(0), false},
           {"W -20\n", {}, "wait：-20 msec", milliseconds(0), false},
           {"H 7\n", {}, "wait:100msec", milliseconds(100), false},
           {"b\n", {}, "wait:300msec", milliseconds(300), false},
           {"Q\n", {}, kEnd, {}, true},
           {"q rest\n", {}, kEnd, {}, true},
           {"; reset the adapter\n", {}, "reset", {}, false},
           {";\n", {}, "", {}, false},
           {" S 01\n", {}, {}, {}, false},
           {"X 01\n", {}, {}, {}, false},
       }) {
    const ScriptStep step = InterpretScriptLine(ParseScriptLine(c.piece));
    EXPECT_EQ(step.send, c.send) << c.piece;
    EXPECT_EQ(step.progress, c.progress) << c.piece;
    EXPECT_EQ(step.sleep, c.sleep) << c.piece;
    EXPECT_EQ(step.ends, c.ends) << c.piece;
  }
}

std::vector<std::string> ReadPieces(const std::string& content) {
  TempDir dir;
  writeFile(dir / "s.cmd", content);
  ScriptReader reader;
  EXPECT_FALSE(reader.Open(dir / "s.cmd"));
  std::vector<std::string> pieces;
  std::string piece;
  while (reader.Next(piece) == ScriptReader::Result::Piece) pieces.push_back(piece);
  return pieces;
}

TEST(ScriptReader, DropsTheCarriageReturnBeforeALineFeedOnly) {
  EXPECT_THAT(ReadPieces("S 01\r\nW\r\rH\nQ"), ElementsAre("S 01\n", "W\r\rH\n", "Q"));
  EXPECT_THAT(ReadPieces(""), ElementsAre());
}

TEST(ScriptReader, CutsLongLinesIntoPiecesOf511Characters) {
  const std::string longLine = "S " + std::string(600, 'a');
  EXPECT_THAT(ReadPieces(longLine + "\nH\n"),
              ElementsAre(longLine.substr(0, 511), longLine.substr(511) + "\n", "H\n"));
  // A line of exactly 511 characters leaves its line break as a piece of its own.
  const std::string exact(511, 'b');
  EXPECT_THAT(ReadPieces(exact + "\r\nQ\n"), ElementsAre(exact, "\n", "Q\n"));
}

// Everything the script does, in one order: blocks sent, lines shown, sleeps.
class ScriptLog : public DeviceSender, public ScriptProgress, public ScriptSleeper {
 public:
  using DeviceSender::SendToDevice;
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
    std::string entry = "send";
    for (std::size_t i = 0; i < length; ++i) {
      static const char* digits = "0123456789ABCDEF";
      entry += ' ';
      entry += digits[bytes[i] >> 4];
      entry += digits[bytes[i] & 15];
    }
    add(entry);
    return length <= largestBlock;
  }
  void ShowProgress(const std::string& text) override { add("show " + text); }
  void Sleep(milliseconds duration, std::stop_token abort) override {
    add("sleep " + std::to_string(duration.count()));
    std::unique_lock lock(m_mutex);
    ++m_sleeping;
    m_aborts.push_back(abort);
    m_changed.notify_all();
    // Blocks only while a test holds the sleeps; only `abort` cuts it short.
    m_changed.wait(lock, abort, [this] { return !m_holdSleeps; });
    --m_sleeping;
  }

  std::size_t largestBlock = SIZE_MAX;  // longer blocks do not go out, as on the USB link

  void holdSleeps(bool hold) {
    std::lock_guard lock(m_mutex);
    m_holdSleeps = hold;
    m_changed.notify_all();
  }
  // False after a minute, so that a script that never sleeps fails instead of hanging.
  bool waitUntilSleeping(int count = 1) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::minutes(1),
                              [this, count] { return m_sleeping >= count; });
  }
  // Whether anything asked the sleeps begun so far to end early.
  bool abortRequested() const {
    std::lock_guard lock(m_mutex);
    return std::any_of(m_aborts.begin(), m_aborts.end(),
                       [](const std::stop_token& t) { return t.stop_requested(); });
  }
  std::vector<std::string> entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
  }

 private:
  void add(std::string entry) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back(std::move(entry));
  }

  mutable std::mutex m_mutex;
  std::condition_variable_any m_changed;
  std::vector<std::string> m_entries;
  std::vector<std::stop_token> m_aborts;
  bool m_holdSleeps = false;
  int m_sleeping = 0;
};

class ScriptRun : public ::testing::Test {
 protected:
  std::vector<std::string> Run(const std::string& content) {
    writeFile(dir / "script.cmd", content);
    TSendFileSerial script(dir / "script.cmd", log, log, log);
    script.Join();
    EXPECT_FALSE(script.Running());
    return log.entries();
  }

  TempDir dir;
  ScriptLog log;
};

TEST_F(ScriptRun, SendsWaitsAndShowsEachLineInOrder) {
  EXPECT_THAT(
      Run("S 0102\r\nW 250\r\nH\r\nS 03\r\n"),
      ElementsAre("send 01 02", "show 送信：0102", "show wait：250 msec", "sleep 250",
                  "show wait:100msec", "sleep 100", "send 03", "show 送信：03", "show " + kEnd));
}

TEST_F(ScriptRun, ALetterWithoutABlankSendsTheSameBlock) {
  EXPECT_THAT(Run("S0102\n"), ElementsAre("send 01 02", "show 送信：0102", "show " + kEnd));
}

TEST_F(ScriptRun, WaitWithoutANumberAndWithAWord) {
  EXPECT_THAT(Run("W\nW x\nB\n"),
              ElementsAre("show wait:500msec", "sleep 500", "show wait：x msec", "sleep 0",
                          "show wait:300msec", "sleep 300", "show " + kEnd));
}

TEST_F(ScriptRun, CommentsShowTheirFirstWordAndOtherLinesAreIgnored) {
  EXPECT_THAT(Run("; reset the adapter\n S 01\n\nZ 02\nS 123\n"),
              ElementsAre("show reset", "send 12", "show 送信：123", "show " + kEnd));
}

TEST_F(ScriptRun, QEndsTheScriptAndTheEndLineShowsOnce) {
  EXPECT_THAT(Run("S 01\nQ\nS 02\nW 9\n"), ElementsAre("send 01", "show 送信：01", "show " + kEnd));
}

TEST_F(ScriptRun, AWordWithoutDigitsSendsNoBlockButShowsItsLine) {
  EXPECT_THAT(Run("S xyz\n"), ElementsAre("show 送信：xyz", "show " + kEnd));
}

TEST_F(ScriptRun, ALongSendArgumentGoesOutAsOneBlock) {
  const std::string hex = [] {
    std::string h;
    for (int i = 0; i < 100; ++i) h += "A5";
    return h;
  }();
  const auto entries = Run("S " + hex + "\n");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].size(), std::string("send").size() + 100 * 3);
  // The progress line is not cut at any length.
  EXPECT_EQ(entries[1], "show 送信：" + hex);
}

TEST_F(ScriptRun, ABlockThatDidNotGoOutIsSaidAfterItsLineAndTheScriptGoesOn) {
  log.largestBlock = 64;
  const std::string hex65 = [] {
    std::string h;
    for (int i = 0; i < 65; ++i) h += "5A";
    return h;
  }();
  const auto entries = Run("S " + hex65 + "\nS 0102\n");
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[1], "show 送信：" + hex65);
  EXPECT_EQ(entries[2], "show " + ScriptNotSentText(65));
  EXPECT_NE(entries[2].find("65"), std::string::npos);
  EXPECT_THAT(std::vector(entries.begin() + 3, entries.end()),
              ElementsAre("send 01 02", "show 送信：0102", "show " + kEnd));
}

TEST_F(ScriptRun, AFileThatCannotBeOpenedIsNamedAndNothingIsSent) {
  TSendFileSerial script(dir / "missing.cmd", log, log, log);
  script.Join();
  const auto entries = log.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_THAT(entries[0], StartsWith("show スクリプトファイルを開けません："));
  EXPECT_THAT(entries[0], HasSubstr((dir / "missing.cmd").string()));
  EXPECT_THAT(entries[0], HasSubstr("No such file or directory"));
}

TEST_F(ScriptRun, AReadErrorIsNotReportedAsANormalEnd) {
  // A regular file that opens but cannot be read: this process's memory at address 0.
  TSendFileSerial script("/proc/self/mem", log, log, log);
  script.Join();
  const auto entries = log.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_THAT(entries[0], StartsWith("show スクリプトファイルを読み込めません："));
  EXPECT_THAT(entries[0], HasSubstr("Input/output error"));
}

TEST_F(ScriptRun, WhatIsNotARegularFileIsRefusedAtOnceWithItsName) {
  fs::create_directory(dir / "folder.cmd");
  ASSERT_EQ(::mkfifo((dir / "pipe.cmd").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", dir / "device.cmd");
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {{"folder.cmd", "Is a directory"},
               {"pipe.cmd", "a FIFO, not a regular file"},
               {"device.cmd", "a device, not a regular file"}};
  for (const auto& c : cases) {
    std::promise<void> finished;
    TSendFileSerial script(dir / c.name, log, log, log,
                           [&](TSendFileSerial&) { finished.set_value(); });
    if (finished.get_future().wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
      ADD_FAILURE() << c.name << " blocked the script";
      // A writer lets a blocked open of the FIFO go on, so that the script can be joined.
      ::close(::open((dir / c.name).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    }
  }
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    expected.push_back("show スクリプトファイルを開けません：" + (dir / c.name).string() + " (" +
                       c.reason + ")");
  }
  EXPECT_EQ(log.entries(), expected);  // and nothing was sent
}

TEST_F(ScriptRun, ShiftJisTextShowsDecodedAndAByteOrderMarkIsSkipped) {
  std::ifstream sjis(fs::path(VELQOR_TEST_DATA_DIR) / "shift_jis.cmd", std::ios::binary);
  const std::string windowsScript{std::istreambuf_iterator<char>(sjis), {}};
  const struct {
    std::string content;
    std::vector<std::string> entries;
  } cases[] = {
      {windowsScript,
       {"show テスト用スクリプト（ターミネータの状態を読む）", "send FC 02 01 09",
        "show 送信：FC020109", "show wait：10 msec", "sleep 10", "show 終了", "show " + kEnd}},
      {"\xEF\xBB\xBFS 01\n; 日本語\n", {"send 01", "show 送信：01", "show 日本語", "show " + kEnd}},
      // Shift-JIS whose trail byte is a hexadecimal digit ("テ" is 83 65): the line sends what
      // its bytes say, whatever is shown.
      {"S 01\x83\x65\n", {"send 01", "show 送信：01テ", "show " + kEnd}},
  };
  for (const auto& c : cases) {
    ScriptLog run;
    writeFile(dir / "script.cmd", c.content);
    TSendFileSerial script(dir / "script.cmd", run, run, run);
    script.Join();
    EXPECT_EQ(run.entries(), c.entries) << c.content;
  }
}

TEST_F(ScriptRun, AStopDuringAWaitLetsTheWaitFinishAndEndsWithoutTheEndLine) {
  writeFile(dir / "long.cmd", "S 01\nW 5000\nS 02\n");
  log.holdSleeps(true);
  int finishedCalls = 0;
  TSendFileSerial script(dir / "long.cmd", log, log, log,
                         [&finishedCalls](TSendFileSerial&) { ++finishedCalls; });
  ASSERT_TRUE(log.waitUntilSleeping());
  script.RequestStop();
  // The stop request does not cut the wait short: the sleep is not told to end.
  EXPECT_FALSE(log.abortRequested());
  EXPECT_TRUE(script.Running());
  log.holdSleeps(false);
  script.Join();
  EXPECT_EQ(finishedCalls, 1);
  EXPECT_THAT(log.entries(),
              ElementsAre("send 01", "show 送信：01", "show wait：5000 msec", "sleep 5000"));
}

// The real sleep, announced to the test once it has begun.
class AnnouncedSleeper : public ScriptSleeper {
 public:
  void Sleep(milliseconds duration, std::stop_token abort) override {
    sleeping.release();
    m_real.Sleep(duration, abort);
  }
  std::binary_semaphore sleeping{0};

 private:
  SystemSleeper m_real;
};

TEST_F(ScriptRun, DestroyingARunningScriptCutsItsWaitShort) {
  // Ten minutes, far beyond the test's time-out: the destructor returns only if it cuts the
  // wait short.
  writeFile(dir / "long.cmd", "W 600000\nS 02\n");
  AnnouncedSleeper sleeper;
  {
    TSendFileSerial script(dir / "long.cmd", log, log, sleeper);
    ASSERT_TRUE(sleeper.sleeping.try_acquire_for(std::chrono::minutes(1)));
  }
  // Nothing ran after the wait.
  EXPECT_THAT(log.entries(), ElementsAre("show wait：600000 msec"));
}

TEST_F(ScriptRun, ScriptsRunSideBySide) {
  writeFile(dir / "a.cmd", "S 0A\nW 1\nS 0A\n");
  writeFile(dir / "b.cmd", "S 0B\nW 1\nS 0B\n");
  log.holdSleeps(true);
  TSendFileSerial a(dir / "a.cmd", log, log, log);
  TSendFileSerial b(dir / "b.cmd", log, log, log);
  // Both reach their wait while the other one waits too.
  ASSERT_TRUE(log.waitUntilSleeping(2));
  log.holdSleeps(false);
  a.Join();
  b.Join();
  const auto entries = log.entries();
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "send 0A"), 2);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "send 0B"), 2);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "show " + kEnd), 2);
}

TEST(SystemSleeper, SleepsTheWholeTimeWithoutAnAbort) {
  SystemSleeper sleeper;
  std::stop_source never;
  const auto start = std::chrono::steady_clock::now();
  sleeper.Sleep(milliseconds(30), never.get_token());
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(30));
}

}  // namespace
}  // namespace velqor
