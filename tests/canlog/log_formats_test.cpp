// Writers and readers of every format together, the texts and bytes the writers make, and
// conversion between every pair of formats.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <zlib.h>

#include "canlog/log_convert.h"
#include "tests/canlog/canlog_test_util.h"
#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

using testing::Carried;
using testing::ExpectSameFrames;
using testing::Frame;
using testing::kT0;
using testing::ReadAll;
using testing::SampleFrames;
using testing::TempDir;
using testing::WriteAll;

// ASC and BLF count from a local date: the texts below are those of UTC.
const bool kUtc = [] {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  return true;
}();

constexpr LogFormat kWritable[] = {LogFormat::Candump, LogFormat::Asc, LogFormat::Blf,
                                   LogFormat::Csv};

class LogRoundTrip : public ::testing::TestWithParam<LogFormat> {};

TEST_P(LogRoundTrip, ReadsBackWhatTheFormatCarriesToTheMicrosecond) {
  TempDir dir;
  const auto path = dir / (std::string("trace") + LogFormatExtension(GetParam()));
  WriteAll(path, GetParam(), SampleFrames());
  ExpectSameFrames(ReadAll(path, GetParam()), Carried(GetParam(), SampleFrames()));
}

INSTANTIATE_TEST_SUITE_P(Formats, LogRoundTrip, ::testing::ValuesIn(kWritable),
                         [](const auto& p) { return std::string(LogFormatName(p.param)); });

TEST(LogConvert, EveryFormatThroughEveryOtherKeepsWhatBothCarry) {
  TempDir dir;
  for (const LogFormat from : kWritable) {
    const auto in = dir / (std::string("in") + LogFormatExtension(from));
    WriteAll(in, from, SampleFrames());
    for (const LogFormat to : kWritable) {
      SCOPED_TRACE(std::string(LogFormatName(from)) + " -> " + LogFormatName(to));
      const auto out = dir / (std::string("out") + LogFormatExtension(to));
      const ConvertResult result = ConvertLog(in, from, out, to);
      EXPECT_EQ(result.frames, SampleFrames().size());
      ExpectSameFrames(ReadAll(out, to), Carried(to, Carried(from, SampleFrames())));
    }
  }
}

TEST(LogWriters, AFrameNoBusCarriesIsCutToTheFieldsOfOneAndCounted) {
  // As a garbled stream from the adapter gives them: everything kept as received.
  const std::vector<CanFrame> garbled = {
      Frame(kT0, 0xFC1102, false, {1}), Frame(kT0 + 1, 0xE0000123, true, {2}),
      Frame(kT0 + 2, 0x7FF, false, {1, 2, 3, 4, 5, 6, 7, 8}, 0, 17)};
  TempDir dir;
  for (const LogFormat format : kWritable) {
    const auto path = dir / (std::string("g") + LogFormatExtension(format));
    auto writer = MakeLogWriter(format);
    writer->Open(path);
    for (const CanFrame& f : garbled) writer->Write(f);
    writer->Close();
    const CanFrame dlc15 = Frame(kT0 + 2, 0x7FF, false, {1, 2, 3, 4, 5, 6, 7, 8}, 0, 15);
    ExpectSameFrames(
        ReadAll(path, format),
        {Frame(kT0, 0x102, false, {1}), Frame(kT0 + 1, 0x123, true, {2}), Carried(format, dlc15)});
    const std::vector<std::string> notes = writer->Notes();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().rfind("3 frames no bus carries", 0), 0u) << notes.back();
  }
}

TEST(LogWriters, WriteTheTextsOfTheirFormats) {
  std::vector<CanFrame> frames = SampleFrames();
  frames.resize(3);
  frames.push_back(SampleFrames()[6]);  // the error frame
  struct {
    LogFormat format;
    const char* text;
  } const cases[] = {
      {LogFormat::Candump,
       "(1700000000.000100) can0 123#DEADBEEF\n"
       "(1700000000.000101) can0 00001234#0102 T\n"
       "(1700000000.000350) can0 7FF#R3\n"
       "(1700000002.000101) can0 20000288#0000040000000800\n"},
      {LogFormat::Asc,
       "date Tue Nov 14 10:13:20.000 PM 2023\n"
       "base hex  timestamps absolute\n"
       "internal events logged\n"
       "Begin Triggerblock Tue Nov 14 10:13:20.000 PM 2023\n"
       "   0.000000 Start of measurement\n"
       "   0.000100 1  123             Rx   d 4 DE AD BE EF\n"
       "   0.000101 1  1234x           Tx   d 2 01 02\n"
       "   0.000350 1  7FF             Rx   r 3\n"
       "   2.000101 1  ErrorFrame\n"
       "End TriggerBlock\n"},
      {LogFormat::Csv,
       "timestamp,arbitration_id,extended,remote,error,dlc,data\n"
       "1700000000.000100,0x123,0,0,0,4,3q2+7w==\n"
       "1700000000.000101,0x1234,1,0,0,2,AQI=\n"
       "1700000000.000350,0x7ff,0,1,0,3,\n"
       "1700000002.000101,0x288,0,0,1,8,AAAEAAAACAA=\n"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const auto path = dir / (std::string("t") + LogFormatExtension(c.format));
    WriteAll(path, c.format, frames);
    EXPECT_EQ(testing::readFile(path), c.text) << LogFormatName(c.format);
  }
}

TEST(LogWriters, BlfHeaderAndContainerHoldTheFrameAsVectorLaysItOut) {
  TempDir dir;
  WriteAll(dir / "t.blf", LogFormat::Blf, {Frame(kT0, 0x123, false, {0xDE, 0xAD, 0xBE, 0xEF})});
  const std::string file = testing::readFile(dir / "t.blf");
  ASSERT_GT(file.size(), 144u + 32u);
  auto u8 = [&](std::size_t at) { return static_cast<std::uint8_t>(file[at]); };
  auto u16 = [&](std::size_t at) { return u8(at) | u8(at + 1) << 8; };
  auto u32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(u16(at) | u16(at + 2) << 16);
  };
  EXPECT_EQ(file.substr(0, 4), "LOGG");
  EXPECT_EQ(u32(4), 144u);
  EXPECT_EQ(u32(16), file.size());  // file size
  EXPECT_EQ(u32(32), 1u);           // objects
  // Start: Tuesday 2023-11-14 22:13:20.000 (cut to the millisecond).
  const int start[8] = {2023, 11, 2, 14, 22, 13, 20, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(u16(40 + 2 * i), start[i]) << "SYSTEMTIME field " << i;
  // The container: LOBJ, header 16, version 1, type 10, zlib, 48 bytes inflated.
  EXPECT_EQ(file.substr(144, 4), "LOBJ");
  EXPECT_EQ(u32(144 + 12), 10u);
  EXPECT_EQ(u16(144 + 16), 2);
  EXPECT_EQ(u32(144 + 24), 48u);
  std::uint8_t inner[48];
  uLongf size = sizeof inner;
  ASSERT_EQ(uncompress(inner, &size, reinterpret_cast<const Bytef*>(file.data()) + 176,
                       static_cast<uLong>(u32(144 + 8) - 32)),
            Z_OK);
  const std::uint8_t expected[48] = {
      'L',  'O',  'B',  'J',  0x20, 0,    1, 0, 0x30, 0, 0, 0, 1, 0, 0, 0,  // CAN_MESSAGE, 48 bytes
      2,    0,    0,    0,    0,    0,    0, 0,  // nanoseconds, client 0, version 0
      0xA0, 0x86, 0x01, 0,    0,    0,    0, 0,  // 100 000 ns after the start
      1,    0,    0,    4,    0x23, 0x01, 0, 0,  // channel 1, Rx, DLC 4, id 0x123
      0xDE, 0xAD, 0xBE, 0xEF, 0,    0,    0, 0};
  ASSERT_EQ(size, sizeof inner);
  EXPECT_EQ(std::vector<std::uint8_t>(inner, inner + 48),
            std::vector<std::uint8_t>(expected, expected + 48));
}

TEST(LogWriters, FormatsComeFromExtensionsAndTheDataLogIsNotWritten) {
  EXPECT_EQ(LogFormatFromPath("a/B.BLF"), LogFormat::Blf);
  EXPECT_EQ(LogFormatFromPath("x.log"), LogFormat::Candump);
  EXPECT_EQ(LogFormatFromPath("261207CAN001.txt"), LogFormat::DataLog);
  EXPECT_EQ(LogFormatFromPath("x.trc"), std::nullopt);
  for (const char* name : {"x.txt", "x.trc", "noextension"}) {
    try {
      MakeLogWriterFor(name);
      ADD_FAILURE() << name;
    } catch (const LogError& e) {
      EXPECT_EQ(e.kind(), LogError::Kind::Usage) << e.what();
    }
  }
}

}  // namespace
}  // namespace velqor
