// A conversion on the job's thread: what a request needs before it runs, its end, its errors
// and its cancel, after which no output file is left.

#include "canlog/convert_job.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "tests/canlog/canlog_test_util.h"

namespace velqor {
namespace {

using testing::TempDir;

struct ResolveCase {
  const char* in;
  std::optional<LogFormat> from;
  const char* out;
  std::optional<LogFormat> to;
  const char* error;  // a part of the error; nullptr: it resolves
};

TEST(ConvertJob, ResolvesFormatsAndRefusesWhatCannotRun) {
  TempDir dir;
  testing::writeFile(dir / "a.log", "");
  const ResolveCase cases[] = {
      {"a.log", {}, "b.asc", {}, nullptr},
      {"a.bin", {}, "b.asc", {}, "a.bin: cannot tell the log format from the extension '.bin'"},
      {"a.bin", LogFormat::Blf, "b.asc", {}, nullptr},
      {"a.log", {}, "b", {}, "b: cannot tell the log format"},
      {"a.log", {}, "b", LogFormat::Csv, nullptr},
      {"a.log", {}, "b.txt", {}, "b.txt: the program's own data log is only written"},
      {"a.log", {}, "./a.log", LogFormat::Asc, "the output would replace the log being read"},
  };
  for (const ResolveCase& c : cases) {
    ConvertRequest request{dir / c.in, c.from, dir / c.out, c.to};
    std::string error;
    EXPECT_EQ(ResolveConvert(request, error), c.error == nullptr) << c.in << " -> " << c.out;
    if (c.error) {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
    } else {
      EXPECT_TRUE(request.from && request.to) << c.in << " -> " << c.out;
    }
  }
}

// Runs the job to its end, waiting on its own hand-over.
ConvertOutcome Convert(ConvertJob& job, ConvertRequest request) {
  std::string error;
  EXPECT_TRUE(ResolveConvert(request, error)) << error;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  job.Start(std::move(request), [&] {
    std::lock_guard lock(m);
    done = true;
    cv.notify_one();
  });
  std::unique_lock lock(m);
  EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(60), [&] { return done; }));
  EXPECT_TRUE(job.Finished());
  return job.Outcome();
}

TEST(ConvertJob, WritesTheFramesOrSaysWhereTheLogIsWrongAndLeavesNoFile) {
  TempDir dir;
  const std::vector<CanFrame> frames = testing::SampleFrames();
  testing::WriteAll(dir / "in.log", LogFormat::Candump, frames);
  ConvertJob job;
  ConvertOutcome outcome = Convert(job, {dir / "in.log", {}, dir / "out.blf", {}});
  ASSERT_TRUE(outcome.ok) << outcome.error;
  EXPECT_EQ(outcome.result.frames, frames.size());
  EXPECT_EQ(job.Progress().frames, frames.size()) << "the progress seen at the end";
  testing::ExpectSameFrames(
      testing::ReadAll(dir / "out.blf", LogFormat::Blf),
      testing::Carried(LogFormat::Blf, testing::Carried(LogFormat::Candump, frames)), 10);

  testing::writeFile(dir / "bad.log", "(1.000000) can0 123#01\n(1.001000) can0 12G#02\n");
  outcome = Convert(job, {dir / "bad.log", {}, dir / "bad.asc", {}});
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.rfind((dir / "bad.log").string() + ":2: ", 0), 0u) << outcome.error;
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.asc"));
}

TEST(ConvertJob, ACancelledConversionLeavesNoFile) {
  TempDir dir;
  // More frames than one step of the progress, at which the cancel is seen.
  std::string text;
  for (int i = 0; i < 70000; ++i) text += "(1.000000) can0 123#01\n";
  testing::writeFile(dir / "in.log", text);
  ConvertRequest request{dir / "in.log", {}, dir / "out.csv", {}};
  std::string error;
  ASSERT_TRUE(ResolveConvert(request, error));
  std::stop_source stop;
  stop.request_stop();
  const ConvertOutcome outcome = RunConvert(request, stop.get_token());
  EXPECT_TRUE(outcome.result.cancelled);
  EXPECT_FALSE(outcome.ok);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.csv"));
  EXPECT_TRUE(RunConvert(request, {}).ok) << "the same request, not cancelled";
  EXPECT_TRUE(std::filesystem::exists(dir / "out.csv"));
}

}  // namespace
}  // namespace velqor
