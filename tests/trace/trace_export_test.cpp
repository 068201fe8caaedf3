#include "trace/trace_export.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "canlog/log_reader.h"
#include "tests/common/temp_dir.h"
#include "tests/trace/trace_test_util.h"
#include "trace/trace_recorder.h"

namespace velqor {
namespace {

using test::TraceFrame;

// Polls until the export is done, at most a minute.
bool WaitDone(const TraceExport& e) {
  for (int i = 0; i < 60000 && !e.done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return e.done();
}

TEST(TraceExport, WritesTheFilteredRowsInEachFormatAndReadsBackTheSame) {
  velqor::testing::TempDir dir;
  TraceRecorder recorder(64);
  const CanFrame frames[] = {TraceFrame(1'000, 0x123, {1, 2, 3}),
                             TraceFrame(2'000, 0x18DA10F1, {4}, CanFrame::kTx, true),
                             TraceFrame(3'000, 0x456, {5, 6})};
  recorder.addEvent(TraceRowKind::Connected, frames[0].time);
  recorder.OnFrames(frames);
  DeviceMessage m;
  m.Data[0] = 5;  // STUFF_ERROR
  recorder.OnDeviceMessage(200, m, {4'000, 1'700'000'000'004'000});
  recorder.setFilter(TraceFilter::parse("!456").filter);
  ASSERT_TRUE(recorder.scan(100));

  const TraceExportRows all = CollectExportRows(recorder.store(), recorder.view(), false);
  EXPECT_EQ(all.frames.size(), 4u);
  EXPECT_EQ(all.leftOut, 1u);  // the Connected row
  const TraceExportRows shown = CollectExportRows(recorder.store(), recorder.view(), true);
  ASSERT_EQ(shown.frames.size(), 3u);  // 0x456 filtered out
  for (LogFormat format : {LogFormat::Candump, LogFormat::Asc, LogFormat::Blf, LogFormat::Csv}) {
    const std::filesystem::path path = dir.path() / (std::string("t") + LogFormatExtension(format));
    TraceExport e(shown, path, format);
    ASSERT_TRUE(WaitDone(e)) << LogFormatName(format);
    ASSERT_TRUE(e.result().ok) << e.result().error;
    EXPECT_EQ(e.written(), 3u);
    std::unique_ptr<LogReader> reader = OpenLogReader(path);
    std::vector<CanFrame> back;
    CanFrame f;
    while (reader->Next(f)) back.push_back(f);
    ASSERT_EQ(back.size(), 3u) << LogFormatName(format);
    EXPECT_EQ(back[0].id, 0x123u);
    EXPECT_EQ(back[0].time.wallUs, frames[0].time.wallUs) << LogFormatName(format);
    EXPECT_EQ(back[1].id, 0x18DA10F1u);
    EXPECT_TRUE(back[2].error() || format == LogFormat::Csv) << LogFormatName(format);
  }
}

TEST(TraceExport, AFileThatCannotBeWrittenIsNamedAndCancellingLeavesNoFile) {
  velqor::testing::TempDir dir;
  TraceExportRows rows;
  rows.frames.assign(200'000, TraceFrame(1, 0x100, {1, 2, 3, 4, 5, 6, 7, 8}));
  const std::filesystem::path nowhere = dir.path() / "missing" / "t.log";
  TraceExport failed(rows, nowhere, LogFormat::Candump);
  ASSERT_TRUE(WaitDone(failed));
  EXPECT_FALSE(failed.result().ok);
  EXPECT_NE(failed.result().error.find("t.log"), std::string::npos) << failed.result().error;

  const std::filesystem::path path = dir.path() / "t.blf";
  {
    TraceExport cancelled(rows, path, LogFormat::Blf);
    cancelled.cancel();
    ASSERT_TRUE(WaitDone(cancelled));
    EXPECT_FALSE(cancelled.result().ok);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace velqor
