#include "traffic/log_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "canlog/log_reader.h"
#include "common/settings.h"
#include "tests/common/temp_dir.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/recorders.h"
#include "traffic/data_log_settings.h"

namespace velqor {
namespace {

namespace fs = std::filesystem;
using std::chrono::day;
using std::chrono::days;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;
using ::testing::ElementsAre;
using testing::FileSizeLimit;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::readFile;
using testing::TempDir;
using velqor::testing::RecordingBoxes;
using velqor::testing::ShownBox;

const year_month_day kDay1{year(2026), month(12), day(7)};
const year_month_day kDay2{sys_days(kDay1) + days(1)};

const std::string kHeader =
    "Time,ID(hex),DLC,Data[0],Data[1],Data[2],Data[3],Data[4],Data[5],Data[6],Data[7], \n";

struct FakeLogPage : LogFileView {
  void SetSaveFileName(std::string_view name) override { saveFileName = name; }
  void SetLogChecked(bool checked) override { checks.push_back(checked); }
  std::string saveFileName;
  std::vector<bool> checks;
};

std::size_t ReadAllFrames(const fs::path& path) {
  auto reader = OpenLogReader(path);
  CanFrame f;
  std::size_t n = 0;
  while (reader->Next(f)) ++n;
  return n;
}

constexpr std::array<std::uint8_t, 8> kData = {0x01, 0x02, 0x03, 0x04, 0xA5, 0x06, 0x07, 0xFF};

class DataLogTest : public ::testing::Test {
 protected:
  LogEnvironment env() {
    LogEnvironment e;
    e.today = [this] { return today; };
    e.tickCountMs = [this] { return tick; };
    e.workingDirectory = [this] { return folder; };
    return e;
  }
  // A program start: the counter comes from the settings file as the main window loads it.
  std::unique_ptr<DataLog> start() {
    const std::int32_t counter = loadSettings(ini, today).settings.logCounter;
    return std::make_unique<DataLog>(ini, boxes, page, env(), counter);
  }
  fs::path logPath(const std::string& name) const { return folder / name; }

  TempDir dir;
  fs::path folder = dir.path();
  IniFile ini{dir / "Velqor.INI"};
  RecordingBoxes boxes;
  FakeLogPage page;
  year_month_day today = kDay1;
  std::uint64_t tick = 0;
};

TEST(LogFileNamer, BuildsDatedNumberedNames) {
  const struct {
    std::uint32_t counter;
    year_month_day date;
    const char* directory;
    const char* shortName;
    const char* fullPath;
  } cases[] = {
      {1, kDay1, "/data", "/261207CAN001.txt", "/data/261207CAN001.txt"},
      {42, kDay1, "/data/", "/261207CAN042.txt", "/data/261207CAN042.txt"},
      {999, kDay1, "/", "/261207CAN999.txt", "/261207CAN999.txt"},
      {1000, kDay1, "/data", "/261207CAN1000.txt", "/data/261207CAN1000.txt"},
      {123456, kDay1, "/d", "/261207CAN123456.txt", "/d/261207CAN123456.txt"},
      {7, year_month_day{year(2000), month(1), day(5)}, "/x y", "/000105CAN007.txt",
       "/x y/000105CAN007.txt"},
      {7, year_month_day{year(2099), month(10), day(31)}, "/x", "/991031CAN007.txt",
       "/x/991031CAN007.txt"},
  };
  for (const auto& c : cases) {
    LogFileNamer namer(c.counter);
    EXPECT_EQ(namer.BuildNames("CAN", c.date, c.directory), c.shortName);
    EXPECT_EQ(namer.ShortName(), c.shortName);
    EXPECT_EQ(namer.FullPath(), c.fullPath);
    EXPECT_EQ(namer.Counter(), c.counter);
  }
  LogFileNamer namer(999);
  EXPECT_EQ(namer.IncrementCounter(), 1000u);
  EXPECT_EQ(namer.BuildNames("CAN", kDay1, "/d"), "/261207CAN1000.txt");
}

TEST_F(DataLogTest, FirstConnectionOfTheDayCreatesFileOneWithTheHeader) {
  auto log = start();
  log->OpenLogFile();
  EXPECT_TRUE(log->IsOpen());
  EXPECT_EQ(page.saveFileName, "/261207CAN001.txt");
  EXPECT_EQ(readFile(logPath("261207CAN001.txt")), kHeader) << "the header is on disk at once";
  EXPECT_EQ(log->LogLine(), kHeader);
  EXPECT_EQ(ini.readInteger("FILE", "SAVEFILENUM", -1), 1);
  EXPECT_EQ(ini.readString("FILE", "DATE", ""), "2026/12/07");
  EXPECT_THAT(boxes.shown(), IsEmpty());
}

TEST_F(DataLogTest, ThreeConnectionsMakeThreeFilesAndOnlyTheLastStaysOpen) {
  auto log = start();
  for (int i = 0; i < 3; ++i) {
    log->OpenLogFile();
    log->WriteLogLine(0, 0x100 + i, 1, kData);
  }
  log->Flush();
  const std::string line0 = readFile(logPath("261207CAN001.txt")).substr(kHeader.size());
  EXPECT_THAT(line0, HasSubstr("\t,100\t,"));
  EXPECT_THAT(readFile(logPath("261207CAN002.txt")), HasSubstr("\t,101\t,"));
  log->WriteLogLine(0, 0x777, 1, kData);
  log->Flush();
  EXPECT_EQ(readFile(logPath("261207CAN001.txt")).substr(kHeader.size()), line0);
  EXPECT_THAT(readFile(logPath("261207CAN002.txt")), ::testing::Not(HasSubstr("777")));
  EXPECT_THAT(readFile(logPath("261207CAN003.txt")), HasSubstr("\t,777\t,"));
  EXPECT_EQ(page.saveFileName, "/261207CAN003.txt");
  EXPECT_EQ(ini.readInteger("FILE", "SAVEFILENUM", -1), 3);
}

TEST_F(DataLogTest, CounterCarriesOnAcrossRestartsAndStartsAgainEachDay) {
  start()->OpenLogFile();
  start()->OpenLogFile();  // restarted the same day
  EXPECT_TRUE(fs::exists(logPath("261207CAN002.txt")));

  today = kDay2;  // the next day: a fresh count with the new date
  auto log = start();
  log->OpenLogFile();
  EXPECT_EQ(page.saveFileName, "/261208CAN001.txt");
  EXPECT_EQ(ini.readString("FILE", "DATE", ""), "2026/12/08");
  EXPECT_EQ(ini.readInteger("FILE", "SAVEFILENUM", -1), 1);
}

TEST_F(DataLogTest, RunningPastMidnightTakesTheNewDateAndTheNextNumber) {
  auto log = start();
  log->OpenLogFile();
  log->OpenLogFile();
  today = kDay2;
  log->OpenLogFile();
  EXPECT_EQ(page.saveFileName, "/261208CAN003.txt");
  EXPECT_TRUE(fs::exists(logPath("261208CAN003.txt")));
  EXPECT_EQ(ini.readString("FILE", "DATE", ""), "2026/12/08");
  EXPECT_EQ(ini.readInteger("FILE", "SAVEFILENUM", -1), 3);
}

TEST_F(DataLogTest, FileOneThousandOfTheDay) {
  ini.writeDate("FILE", "DATE", kDay1);
  ini.writeInteger("FILE", "SAVEFILENUM", 999);
  auto log = start();
  log->OpenLogFile();
  EXPECT_TRUE(fs::exists(logPath("261207CAN1000.txt")));
  EXPECT_EQ(page.saveFileName, "/261207CAN1000.txt");
}

TEST_F(DataLogTest, LinesHaveTheExactLayout) {
  auto log = start();
  log->OpenLogFile();
  tick = 12345;
  log->WriteLogLine(0, 0x123, 2, kData);
  EXPECT_EQ(log->LogLine(),
            " 12345\t,0\t,123\t,2\t,01\t, 02\t, 03\t, 04\t, A5\t, 06\t, 07\t, FF\t \n");
  tick = 65536 + 70;                               // the low 16 bits only
  log->WriteLogLine(0x1F, 0x18FF1234, 12, kData);  // the DLC as received
  EXPECT_EQ(log->LogLine(),
            " 70\t,1F\t,18ff1234\t,12\t,01\t, 02\t, 03\t, 04\t, A5\t, 06\t, 07\t, FF\t \n");
  tick = 0xFFFFFFFFFFFFull;
  log->WriteLogLine(1, 0, 0, std::array<std::uint8_t, 8>{});
  EXPECT_EQ(log->LogLine(),
            " 65535\t,1\t,0\t,0\t,00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n");
  log->Close();
  EXPECT_EQ(readFile(logPath("261207CAN001.txt")),
            kHeader + " 12345\t,0\t,123\t,2\t,01\t, 02\t, 03\t, 04\t, A5\t, 06\t, 07\t, FF\t \n" +
                " 70\t,1F\t,18ff1234\t,12\t,01\t, 02\t, 03\t, 04\t, A5\t, 06\t, 07\t, FF\t \n" +
                " 65535\t,1\t,0\t,0\t,00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n");
}

TEST_F(DataLogTest, TimeWrapsEvery65536Milliseconds) {
  auto log = start();
  log->OpenLogFile();
  tick = 3 * 65'536 + 62'000;
  log->WriteLogLine(0, 1, 0, kData);
  EXPECT_EQ(log->LogLine().substr(0, 7), " 62000\t");
  tick += 70'000;  // seventy seconds later: a smaller time
  log->WriteLogLine(0, 1, 0, kData);
  EXPECT_EQ(log->LogLine().substr(0, 5), " 928\t");
}

TEST_F(DataLogTest, NothingIsWrittenWithoutAnOpenFile) {
  auto log = start();
  log->WriteLogLine(0, 1, 1, kData);  // ChkLog never ticked: no file
  EXPECT_EQ(log->LogLine(), "");
  log->ChkLogClick(false);  // unticking with no file open does nothing
  EXPECT_THAT(page.checks, IsEmpty());

  log->OpenLogFile();
  log->WriteLogLine(0, 1, 1, kData);
  log->ChkLogClick(false);  // closes, writing what was pending
  EXPECT_FALSE(log->IsOpen());
  const std::string closed = readFile(logPath("261207CAN001.txt"));
  EXPECT_THAT(closed, HasSubstr("\t,1\t,1\t,"));
  log->WriteLogLine(0, 2, 2, kData);
  log->Flush();
  log->ChkLogClick(true);  // ticking opens nothing
  log->WriteLogLine(0, 3, 3, kData);
  EXPECT_FALSE(log->IsOpen());
  EXPECT_EQ(readFile(logPath("261207CAN001.txt")), closed);
  EXPECT_EQ(page.saveFileName, "/261207CAN001.txt") << "the panel keeps the last name";
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2)
      << "the one log and the settings file";
}

TEST_F(DataLogTest, TheWriterThreadWritesEveryLineByFlushAndAtExit) {
  auto log = start();
  log->OpenLogFile();
  // A batch of frames is handled at one moment: one time for all its lines, in order.
  std::vector<CanFrame> batch(3);
  for (std::size_t i = 0; i < batch.size(); ++i) batch[i].id = 0xA0 + static_cast<std::uint32_t>(i);
  tick = 777;
  log->OnFrames(batch);
  tick = 778;
  log->Flush();
  EXPECT_EQ(readFile(logPath("261207CAN001.txt")).substr(kHeader.size()),
            " 777\t,0\t,a0\t,0\t,00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n"
            " 777\t,0\t,a1\t,0\t,00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n"
            " 777\t,0\t,a2\t,0\t,00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n");
  EXPECT_EQ(log->LogLine().substr(0, 9), " 777\t,0\t,");

  // More lines than one write takes, then the program ends: every one is in the file.
  const int lines = static_cast<int>(DataLogWriter::kWriteChunk / 40);  // lines are longer than 40
  for (int i = 0; i < lines; ++i) log->WriteLogLine(0, 1, 8, kData);
  log.reset();
  const std::string text = readFile(logPath("261207CAN001.txt"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 3 + lines);
  EXPECT_EQ(text.back(), '\n');
}

TEST_F(DataLogTest, LinesThatFindTheWritersQueueFullAreCountedNotWritten) {
  // The writer is held before it takes its first line, so the queue of 4 fills.
  std::promise<void> held, release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> first{true};
  DataLogWriter::Options writer;
  writer.capacity = 4;
  writer.beforeTake = [&] {
    if (!first.exchange(false)) return;
    held.set_value();
    released.wait();
  };
  DataLog log(ini, boxes, page, env(), 0, writer);
  log.OpenLogFile();
  log.WriteLogLine(0, 1, 8, kData);
  ASSERT_EQ(held.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  for (std::uint32_t id = 2; id <= 11; ++id) log.WriteLogLine(0, id, 8, kData);
  EXPECT_EQ(log.DroppedLines(), 7u);  // 1 to 4 are queued
  release.set_value();
  log.Flush();
  const std::string text = readFile(logPath("261207CAN001.txt"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 4);
  EXPECT_THAT(text, HasSubstr("\t,4\t,8\t,"));
  EXPECT_THAT(text, ::testing::Not(HasSubstr("\t,5\t,8\t,")));
  EXPECT_THAT(boxes.shown(), IsEmpty()) << "a loss is counted, not a failure";
  EXPECT_TRUE(log.IsOpen());
}

TEST_F(DataLogTest, FileThatCannotBeCreatedIsReportedAndLoggingStops) {
  const fs::path good = folder;
  folder = dir / "missing";  // the folder of the logs is gone
  auto log = start();
  log->OpenLogFile();
  EXPECT_FALSE(log->IsOpen());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0],
            (ShownBox{"出力ファイルを開けません", "警告", MessageBoxes::Icon::Warning, false}));
  EXPECT_THAT(page.checks, ElementsAre(false)) << "ChkLog unticked";
  EXPECT_EQ(page.saveFileName, "/261207CAN001.txt");
  EXPECT_EQ(ini.readInteger("FILE", "SAVEFILENUM", -1), -1) << "no number stored for it";
  log->WriteLogLine(0, 1, 1, kData);
  EXPECT_EQ(log->LogLine(), "");

  // The next connection goes on with the next number; it now is the one stored.
  folder = good;
  log->OpenLogFile();
  EXPECT_TRUE(log->IsOpen());
  EXPECT_EQ(page.saveFileName, "/261207CAN002.txt");
  EXPECT_EQ(readFile(logPath("261207CAN002.txt")), kHeader);
  EXPECT_EQ(ini.readInteger("FILE", "SAVEFILENUM", -1), 2);
  EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST_F(DataLogTest, NamesThatExistAreLeftAloneAndTheNextFreeNumberIsTaken) {
  // The counter fell behind the files: SAVEFILENUM could not be stored last time, or a
  // second instance logs into the same folder.
  testing::writeFile(logPath("261207CAN001.txt"), "an earlier session\n");
  fs::create_directory(logPath("261207CAN002.txt"));
  fs::create_symlink("/nonexistent", logPath("261207CAN003.txt"));
  auto log = start();
  log->OpenLogFile();
  ASSERT_TRUE(log->IsOpen());
  EXPECT_EQ(page.saveFileName, "/261207CAN004.txt");
  EXPECT_EQ(readFile(logPath("261207CAN004.txt")), kHeader);
  EXPECT_EQ(readFile(logPath("261207CAN001.txt")), "an earlier session\n");
  EXPECT_TRUE(fs::is_directory(logPath("261207CAN002.txt")));
  EXPECT_FALSE(fs::exists(fs::path("/nonexistent"))) << "a dangling link is not followed";
  EXPECT_EQ(ini.readInteger("FILE", "SAVEFILENUM", -1), 4);
  EXPECT_THAT(boxes.shown(), IsEmpty());
  log->OpenLogFile();  // the next connection carries on after it
  EXPECT_EQ(page.saveFileName, "/261207CAN005.txt");
}

TEST_F(DataLogTest, WorkingDirectoryThatIsAFileIsReported) {
  folder = dir / "plain";
  testing::writeFile(folder, "not a folder");
  auto log = start();
  log->OpenLogFile();
  EXPECT_FALSE(log->IsOpen());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].text, "出力ファイルを開けません");
  EXPECT_THAT(page.checks, ElementsAre(false));
}

TEST_F(DataLogTest, FullDiskIsReportedOnceAndEndsLogging) {
  // The file size limit stands for a disk that fills up while the header is written: the
  // header does not fit in it, the few keys of the settings file do.
  FileSizeLimit limit(kHeader.size() / 2);
  auto log = start();
  log->OpenLogFile();  // created, but the header cannot be written
  EXPECT_EQ(readFile(logPath("261207CAN001.txt")), "") << "no part of the header";
  EXPECT_FALSE(log->IsOpen());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_THAT(boxes.shown()[0].text, HasSubstr("261207CAN001.txt に書き込めません"));
  EXPECT_EQ(boxes.shown()[0].caption, "警告");
  EXPECT_THAT(page.checks, ElementsAre(false));
  log->WriteLogLine(0, 1, 1, kData);
  log->Flush();
  log->Close();
  EXPECT_EQ(boxes.shown().size(), 1u) << "reported once";
  EXPECT_EQ(ini.readInteger("FILE", "SAVEFILENUM", -1), 1) << "the file exists";
}

TEST_F(DataLogTest, WriteErrorPartWayIsReportedOnceAndKeepsWhatWasWritten) {
  auto log = start();
  log->OpenLogFile();
  log->WriteLogLine(0, 0x111, 8, kData);
  log->Flush();
  const std::string before = readFile(logPath("261207CAN001.txt"));
  {
    FileSizeLimit limit(before.size() + 30);
    for (int i = 0; i < 5; ++i) log->WriteLogLine(0, 0x222, 8, kData);
    log->Flush();
    EXPECT_FALSE(log->IsOpen());
    log->WriteLogLine(0, 0x333, 8, kData);
    log->Flush();
  }
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_THAT(boxes.shown()[0].text, HasSubstr("261207CAN001.txt に書き込めません ("));
  EXPECT_EQ(boxes.shown()[0].icon, MessageBoxes::Icon::Warning);
  EXPECT_THAT(page.checks, ElementsAre(false));
  const std::string after = readFile(logPath("261207CAN001.txt"));
  EXPECT_EQ(after.substr(0, before.size()), before);
  EXPECT_THAT(after, ::testing::Not(HasSubstr("333")));
}

// A write that fails part-way through (the disk fills up) leaves the file with whole lines
// only: the lines that went out complete, none cut off. The reason goes to standard error too.
class FullDiskTest : public DataLogTest, public ::testing::WithParamInterface<int> {};

TEST_P(FullDiskTest, LeavesOnlyWholeLinesAndSaysWhyOnStandardError) {
  const std::string line222 =
      " 0\t,0\t,222\t,8\t,01\t, 02\t, 03\t, 04\t, A5\t, 06\t, 07\t, FF\t \n";
  const int wholeLines = GetParam();
  auto log = start();
  log->OpenLogFile();
  log->WriteLogLine(0, 0x111, 8, kData);
  log->Flush();
  const std::string before = readFile(logPath("261207CAN001.txt"));
  ::testing::internal::CaptureStderr();
  {
    // Room for `wholeLines` lines and 30 bytes of the next (none when they fill it exactly).
    FileSizeLimit limit(before.size() + wholeLines * line222.size() + (wholeLines == 2 ? 0 : 30));
    for (int i = 0; i < 5; ++i) log->WriteLogLine(0, 0x222, 8, kData);
    log->Flush();
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "velqor: " + logPath("261207CAN001.txt").string() + ": File too large\n");
  std::string expected = before;
  for (int i = 0; i < wholeLines; ++i) expected += line222;
  EXPECT_EQ(readFile(logPath("261207CAN001.txt")), expected);
  EXPECT_EQ(boxes.shown().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(LinesThatFit, FullDiskTest, ::testing::Values(0, 1, 2));

TEST_F(DataLogTest, ALastWriteThatFailsAtTheNextConnectionEndsLoggingThere) {
  auto log = start();
  log->OpenLogFile();
  log->Flush();
  {
    FileSizeLimit limit(kHeader.size() + 10);
    log->WriteLogLine(0, 0x222, 8, kData);  // pending until the file is closed
    log->OpenLogFile();                     // the next connection
  }
  EXPECT_FALSE(log->IsOpen()) << "no file behind the unticked box";
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_THAT(boxes.shown()[0].text, HasSubstr("261207CAN001.txt に書き込めません ("));
  EXPECT_THAT(page.checks, ElementsAre(false));
  EXPECT_FALSE(fs::exists(logPath("261207CAN002.txt")));
  EXPECT_EQ(ini.readInteger("FILE", "SAVEFILENUM", -1), 1);
}

// Frames as the link stamps them, each with its own wall-clock time.
std::vector<CanFrame> StampedFrames() {
  std::vector<CanFrame> frames(4);
  const std::int64_t t0 = 1796600000123456;  // 2026-12-07, local time whatever the zone
  const std::uint32_t ids[] = {0x123, 0x18FF1234, 0x7FF, 0x000};
  for (std::size_t i = 0; i < frames.size(); ++i) {
    CanFrame& f = frames[i];
    f.id = ids[i];
    f.ide = i == 1 ? 1 : 0;
    f.dlc = static_cast<std::uint8_t>(2 * i + 1);
    for (std::size_t k = 0; k < f.dlc; ++k) f.data[k] = static_cast<std::uint8_t>(0x11 * (k + i));
    f.time.wallUs = t0 + static_cast<std::int64_t>(i * 1000 + i * i * 7);
  }
  return frames;
}

TEST_F(DataLogTest, AStandardFormatTakesItsExtensionTheSharedCounterAndEachFramesTime) {
  auto log = start();
  log->OpenLogFile();  // the program's own first
  EXPECT_EQ(page.saveFileName, "/261207CAN001.txt");
  const std::vector<CanFrame> frames = StampedFrames();
  const struct {
    LogFormat format;
    const char* name;
  } cases[] = {{LogFormat::Candump, "261207CAN002.log"},
               {LogFormat::Asc, "261207CAN003.asc"},
               {LogFormat::Blf, "261207CAN004.blf"},
               {LogFormat::Csv, "261207CAN005.csv"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log->SetFormat(c.format);
    log->OpenLogFile();
    EXPECT_EQ(page.saveFileName, std::string("/") + c.name);
    EXPECT_EQ(LogFormatFromPath(logPath(c.name)), c.format);
    log->OnFrames({frames.data(), 2});
    log->OnFrames(std::span(frames).subspan(2));
    log->Flush();  // readable while open
    auto reader = OpenLogReader(logPath(c.name), c.format);
    for (const CanFrame& expected : frames) {
      CanFrame got;
      ASSERT_TRUE(reader->Next(got));
      EXPECT_EQ(got.id, expected.id);
      EXPECT_EQ(got.ide, expected.ide);
      EXPECT_EQ(got.dlc, expected.dlc);
      EXPECT_EQ(got.data, expected.data);
      // BLF counts in 10 us steps from the start.
      EXPECT_NEAR(got.time.wallUs, expected.time.wallUs, c.format == LogFormat::Blf ? 10 : 0);
    }
    CanFrame extra;
    EXPECT_FALSE(reader->Next(extra));
  }
  log->Close();
  EXPECT_EQ(ini.readInteger("FILE", "SAVEFILENUM", -1), 5);
  EXPECT_EQ(readFile(logPath("261207CAN004.blf")).substr(0, 4), "LOGG");
  EXPECT_THAT(boxes.shown(), IsEmpty());
}

TEST_F(DataLogTest, AStandardFormatOnAFullDiskKeepsWholeLinesAndEndsLogging) {
  auto log = start();
  log->SetFormat(LogFormat::Candump);
  log->OpenLogFile();
  std::vector<CanFrame> frames(2000, StampedFrames()[0]);
  log->OnFrames(std::span(frames).first(10));
  log->Flush();
  {
    FileSizeLimit limit(1000);
    log->OnFrames(frames);
    log->Flush();
  }
  EXPECT_FALSE(log->IsOpen());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_THAT(boxes.shown()[0].text,
              HasSubstr("261207CAN001.log に書き込めません (File too large)"));
  EXPECT_THAT(page.checks, ElementsAre(false));
  EXPECT_EQ(ReadAllFrames(logPath("261207CAN001.log")), 10u) << "no line cut short";
}

TEST(DataLogSettings, AFileThatNeverChoseKeepsItsSectionsAndAChoiceComesBack) {
  TempDir dir;
  IniFile ini(dir / "Velqor.INI");
  std::vector<std::string> warnings;
  EXPECT_EQ(loadDataLogSettings(ini, warnings).format, LogFormat::DataLog);
  saveDataLogSettings(ini, {});
  EXPECT_FALSE(fs::exists(dir / "Velqor.INI")) << "the default adds nothing";
  for (const LogFormat f : {LogFormat::Blf, LogFormat::DataLog}) {
    saveDataLogSettings(ini, {f});
    EXPECT_EQ(loadDataLogSettings(ini, warnings).format, f);
  }
  EXPECT_EQ(ini.readString("DATALOG", "FORMAT", ""), "datalog") << "a choice undone is kept";
  EXPECT_THAT(warnings, IsEmpty());
  ini.writeString("DATALOG", "FORMAT", "trc");
  EXPECT_EQ(loadDataLogSettings(ini, warnings).format, LogFormat::DataLog);
  EXPECT_THAT(warnings, ElementsAre(HasSubstr("[DATALOG] FORMAT=trc")));
}

TEST_F(DataLogTest, SettingsThatCannotBeWrittenAreReportedButTheLogRuns) {
  IniFile unwritable(dir / "missing" / "Velqor.INI");
  DataLog log(unwritable, boxes, page, env(), 4);
  log.OpenLogFile();
  EXPECT_TRUE(log.IsOpen());
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_THAT(boxes.shown()[0].text, HasSubstr("に書き込めません"));
  EXPECT_THAT(page.checks, IsEmpty());
  log.WriteLogLine(0, 5, 0, kData);
  log.Close();
  EXPECT_THAT(readFile(logPath("261207CAN005.txt")), HasSubstr("\t,5\t,0\t,"));
}

TEST_F(DataLogTest, NegativeStoredCounterStartsAtOne) {
  DataLog log(ini, boxes, page, env(), -7);
  log.OpenLogFile();
  EXPECT_EQ(page.saveFileName, "/261207CAN001.txt");
}

}  // namespace
}  // namespace velqor
