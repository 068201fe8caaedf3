// Nothing half-written: the writers' files appear under their names only when finished, and
// live files are readable while they grow.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "tests/canlog/canlog_test_util.h"
#include "tests/common/temp_dir.h"
#include "tests/support/file_size_limit.h"

namespace velqor {
namespace {

using testing::Carried;
using testing::ExpectSameFrames;
using testing::ReadAll;
using testing::SampleFrames;
using testing::TempDir;

std::vector<std::string> Names(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(LogWriter, TheFileAppearsOnlyAtCloseAndReplacesAnOldOne) {
  TempDir dir;
  testing::writeFile(dir / "t.log", "old\n");
  auto writer = MakeLogWriter(LogFormat::Candump);
  writer->Open(dir / "t.log");
  for (const CanFrame& f : SampleFrames()) writer->Write(f);
  writer->Flush();
  EXPECT_EQ(testing::readFile(dir / "t.log"), "old\n");  // untouched until Close
  writer->Close();
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"t.log"});
  ExpectSameFrames(ReadAll(dir / "t.log", LogFormat::Candump),
                   Carried(LogFormat::Candump, SampleFrames()));
}

TEST(LogWriter, AWriterGivenUpLeavesNothingBehind) {
  TempDir dir;
  {
    auto writer = MakeLogWriter(LogFormat::Blf);
    writer->Open(dir / "t.blf");
    for (const CanFrame& f : SampleFrames()) writer->Write(f);
  }
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(LogWriter, AFullDiskIsAnErrorNamingTheFileAndLeavesNothing) {
  TempDir dir;
  auto writer = MakeLogWriter(LogFormat::Csv);
  writer->Open(dir / "t.csv");
  testing::FileSizeLimit limit(4096);
  try {
    for (int i = 0; i < 10000; ++i) writer->Write(SampleFrames()[0]);
    writer->Close();
    ADD_FAILURE() << "no error";
  } catch (const LogError& e) {
    EXPECT_EQ(e.kind(), LogError::Kind::Write);
    EXPECT_EQ(e.file(), (dir / "t.csv").string());
    EXPECT_NE(std::string(e.what()).find("cannot write: File too large"), std::string::npos)
        << e.what();
  }
  writer.reset();
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(LogWriter, AFolderThatIsNotThereIsAnOpenErrorNamingTheFile) {
  TempDir dir;
  try {
    MakeLogWriter(LogFormat::Asc)->Open(dir / "gone" / "t.asc");
    ADD_FAILURE() << "no error";
  } catch (const LogError& e) {
    EXPECT_EQ(e.kind(), LogError::Kind::Open);
    EXPECT_EQ(std::string(e.what()),
              (dir / "gone" / "t.asc").string() + ": cannot create: No such file or directory");
  }
}

class LiveLog : public ::testing::TestWithParam<LogFormat> {};

TEST_P(LiveLog, IsReadableAfterEveryFlushAndNeverReplacesAFile) {
  TempDir dir;
  const auto path = dir / (std::string("live") + LogFormatExtension(GetParam()));
  auto writer = MakeLogWriter(GetParam(), {.live = true});
  writer->Open(path);
  const std::vector<CanFrame> frames = SampleFrames();
  for (std::size_t n = 0; n < frames.size(); ++n) {
    writer->Write(frames[n]);
    writer->Flush();
    const std::vector<CanFrame> head(frames.begin(), frames.begin() + n + 1);
    // ASC closes its trigger block only at the end; its reader needs no end.
    ExpectSameFrames(ReadAll(path, GetParam()), Carried(GetParam(), head));
  }
  writer.reset();  // a live file stays without Close()
  EXPECT_EQ(ReadAll(path, GetParam()).size(), frames.size());
  EXPECT_THROW(MakeLogWriter(GetParam(), {.live = true})->Open(path), LogError);
}

TEST(LiveLog, AFullDiskLeavesWholeLinesAndEndsTheWriting) {
  for (const LogFormat format : {LogFormat::Candump, LogFormat::Asc, LogFormat::Csv}) {
    SCOPED_TRACE(LogFormatName(format));
    TempDir dir;
    const auto path = dir / (std::string("live") + LogFormatExtension(format));
    auto writer = MakeLogWriter(format, {.live = true});
    writer->Open(path);
    writer->Write(SampleFrames()[0]);
    writer->Flush();
    const std::uint64_t before = std::filesystem::file_size(path);
    {
      // Room for part of the next lines only.
      testing::FileSizeLimit limit(before + 100);
      for (int i = 0; i < 20; ++i) writer->Write(SampleFrames()[4]);
      try {
        writer->Flush();
        ADD_FAILURE() << "no error";
      } catch (const LogError& e) {
        EXPECT_EQ(e.systemError(), EFBIG);
      }
      writer->Write(SampleFrames()[0]);
      EXPECT_THROW(writer->Flush(), LogError) << "the writing has ended";
    }
    writer.reset();
    EXPECT_EQ(std::filesystem::file_size(path), before) << "the broken piece is cut off";
    EXPECT_EQ(ReadAll(path, format).size(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, LiveLog,
                         ::testing::Values(LogFormat::Candump, LogFormat::Asc, LogFormat::Blf,
                                           LogFormat::Csv),
                         [](const auto& p) { return std::string(LogFormatName(p.param)); });

}  // namespace
}  // namespace velqor
