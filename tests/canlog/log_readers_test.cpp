// What the readers take from files other tools write, and how they refuse malformed ones.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <zlib.h>

#include <cstring>

#include "canlog/blf_log.h"
#include "tests/canlog/canlog_test_util.h"
#include "tests/common/temp_dir.h"

namespace velqor {
namespace {

using testing::ExpectSameFrames;
using testing::Frame;
using testing::ReadAll;
using testing::TempDir;

const bool kUtc = [] {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  return true;
}();

constexpr std::uint8_t kTx = CanFrame::kTx;
constexpr std::uint8_t kRtr = CanFrame::kRtr;
constexpr std::uint8_t kErr = CanFrame::kError;

struct TextCase {
  const char* name;
  LogFormat format;
  std::string text;
  std::vector<CanFrame> frames;
  const char* note;  // part of a note the reader must give, or nullptr
};

class TextReaders : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextReaders, TakeWhatOtherToolsWrite) {
  const TextCase& c = GetParam();
  TempDir dir;
  testing::writeFile(dir / "in", c.text);
  std::vector<std::string> notes;
  ExpectSameFrames(ReadAll(dir / "in", c.format, &notes), c.frames);
  if (c.note) {
    bool found = false;
    for (const auto& n : notes) found = found || n.find(c.note) != std::string::npos;
    EXPECT_TRUE(found) << c.note;
  }
}

// 2017-09-30 15:06:13.191 UTC and 2023-11-14 22:13:20 UTC in microseconds.
constexpr std::int64_t kSep2017 = 1506783973191000;
constexpr std::int64_t kNov2023 = 1700000000000000;

INSTANTIATE_TEST_SUITE_P(
    Files, TextReaders,
    ::testing::Values(
        TextCase{
            "CandumpAsCanUtilsAndPythonWriteIt",
            LogFormat::Candump,
            "(1700000000.000100)  vcan0 123#dead.beef\r\n"
            "# a comment\n"
            "\n"
            "(0000000001.5) can1 12345678#R t\n"
            "(1.000000500) can0 1AB#r8 R\n"
            "(2.0) can0 20000080#\n"
            "(3.0) can0 7FF#1122334455667788_C\n"
            "(4.0) can0 123##31122\n"
            "(5.0) can0 12345#80:00:000007FF#11\n"
            "(6) can0 000#",
            {Frame(1700000000000100, 0x123, false, {0xDE, 0xAD, 0xBE, 0xEF}),
             Frame(1500000, 0x12345678, true, {}, kRtr | kTx, 0),
             Frame(1000001, 0x1AB, false, {}, kRtr, 8),  // nanoseconds rounded
             Frame(2000000, 0x80, false, {}, kErr, 0),
             Frame(3000000, 0x7FF, false, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, 0, 12),
             Frame(6000000, 0, false, {})},
            "1 CAN FD frames skipped"},
        TextCase{
            "AscOfCanoeInDecimalWithGermanDateAndOtherEvents",
            LogFormat::Asc,
            "date Sam Sep 30 15:06:13.191 2017\n"
            "base dec  timestamps absolute\n"
            "// version 9.0.0\n"
            "Begin Triggerblock Sam Sep 30 15:06:13.191 2017\n"
            "   0.000000 Start of measurement\n"
            "   0.100000 1  Statistic: D 1 R 0 XD 0 XR 0 E 0 O 0 B 0.14%\n"
            "   1.5000 1  291             Rx   d 2 17 255  Length = 1 BitCount = 2 ID = 291\n"
            "   2.000000 2  419430400x    TxRq d 1 1\n"
            "   2.000100 2  419430400x    Tx   d 1 1\n"
            "   3.000000 1  ErrorFrame ECC: 10100010\n"
            "   4.000000 CANFD   1 Rx        256  Name 0 0 2  2 170 187   0    0  0 0 0 0 0 0\n"
            "   5.000000 CANFD   1 Rx        257   1 0 9 12 0 1 2 3 4 5 6 7 8 9 10 11 "
            "0 0 3000 0 0 0 0 0\n"
            "End TriggerBlock\n",
            {Frame(kSep2017 + 1500000, 291, false, {17, 255}),
             Frame(kSep2017 + 2000100, 419430400, true, {1}, kTx),
             Frame(kSep2017 + 3000000, 0x80, false, {}, kErr, 8),
             Frame(kSep2017 + 4000000, 0x100, false, {0xAA, 0xBB})},
            "1 CAN FD frames skipped"},
        TextCase{"AscRelativeTimesInCtimeDateAsLog2ascWritesThem",
                 LogFormat::Asc,
                 "date Tue Nov 14 22:13:20 2023\n"
                 "base hex  timestamps relative\n"
                 "no internal events logged\n"
                 "   0.5000 1  7FF             Rx   r\n"
                 "   0.2500 1  7FF             Tx   r 8\n",
                 {Frame(kNov2023 + 500000, 0x7FF, false, {}, kRtr, 0),
                  Frame(kNov2023 + 750000, 0x7FF, false, {}, kRtr | kTx, 8)},
                 nullptr},
        TextCase{"CsvOfPythonCan",
                 LogFormat::Csv,
                 "timestamp,arbitration_id,extended,remote,error,dlc,data\n"
                 "1e-05,0x00dadada,1,0,0,6,WzQyLCA5XQ==\r\n"
                 "1483389946.197,0x0,1,0,1,0,\n"
                 "2.5,0x12,0,0,0,12,AAECAwQFBgcICQoL\n",
                 {Frame(10, 0xDADADA, true, {0x5B, 0x34, 0x32, 0x2C, 0x20, 0x39}),
                  Frame(1483389946197000, 0, false, {}, kErr, 0)},
                 "1 CAN FD frames skipped"},
        TextCase{"DataLogWithTheCounterWrappingTwice",
                 LogFormat::DataLog,
                 "Time,ID(hex),DLC,Data[0],Data[1],Data[2],Data[3],Data[4],Data[5],Data[6],"
                 "Data[7], \n"
                 " 65000\t,0\t,123\t,2\t,11\t, 22\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n"
                 " 100\t,1\t,18ff1234\t,12\t,01\t, 02\t, 03\t, 04\t, 05\t, 06\t, 07\t, 08\t \r\n"
                 " 100\t,0\t,7ff\t,0\t,00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n"
                 " 99\t,0\t,7ff\t,0\t,00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t, 00\t \n",
                 {Frame(0, 0x123, false, {0x11, 0x22, 0, 0, 0, 0, 0, 0}, 0, 2),
                  Frame(636000, 0x18FF1234, true, {1, 2, 3, 4, 5, 6, 7, 8}, 0, 12),
                  Frame(636000, 0x7FF, false, {}), Frame(636000 + 65535000, 0x7FF, false, {})},
                 "carries no date"}),
    [](const auto& p) { return std::string(p.param.name); });

struct BadCase {
  const char* name;
  LogFormat format;
  std::string text;
  std::uint64_t line;
  const char* says;
};

class MalformedFiles : public ::testing::TestWithParam<BadCase> {};

TEST_P(MalformedFiles, AreRefusedWithFileLineAndWhatWasExpected) {
  const BadCase& c = GetParam();
  TempDir dir;
  testing::writeFile(dir / "bad", c.text);
  try {
    ReadAll(dir / "bad", c.format);
    ADD_FAILURE() << "no error";
  } catch (const LogError& e) {
    EXPECT_EQ(e.kind(), LogError::Kind::Format);
    EXPECT_EQ(e.line(), c.line) << e.what();
    const std::string prefix = (dir / "bad").string() + ":" + std::to_string(c.line) + ": ";
    EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
    EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
  }
}

const std::string kGoodLine = "(1.0) can0 123#11\n";
const std::string kAscHead = "date Tue Nov 14 22:13:20 2023\nbase hex  timestamps absolute\n";
const std::string kCsvHead = "timestamp,arbitration_id,extended,remote,error,dlc,data\n";
const std::string kDataLogHead =
    "Time,ID(hex),DLC,Data[0],Data[1],Data[2],Data[3],Data[4],Data[5],Data[6],Data[7], \n";

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedFiles,
    ::testing::Values(
        BadCase{"CandumpNoTime", LogFormat::Candump, "can0 123#11\n", 1, "expected '('"},
        BadCase{"CandumpTimeNotANumber", LogFormat::Candump, kGoodLine + "(1.x) can0 123#11\n", 2,
                "found '(1.x)'"},
        BadCase{"CandumpNoFrame", LogFormat::Candump, kGoodLine + kGoodLine + "(1.0) can0\n", 3,
                "expected an interface name and a frame"},
        BadCase{"CandumpStandardIdTooLarge", LogFormat::Candump, "(1.0) can0 800#11\n", 1,
                "at most 7FF"},
        BadCase{"CandumpHalfByte", LogFormat::Candump, "(1.0) can0 123#112\n", 1,
                "pairs of hexadecimal digits"},
        BadCase{"CandumpNineBytes", LogFormat::Candump, "(1.0) can0 123#112233445566778899\n", 1,
                "at most 8 data bytes"},
        BadCase{"CandumpBadDirection", LogFormat::Candump, "(1.0) can0 123#11 X\n", 1,
                "direction R or T"},
        BadCase{"CandumpBinaryFile", LogFormat::Candump, std::string("LOGG\0\0\0", 7), 1,
                "expected '('"},
        BadCase{"AscWithoutHeader", LogFormat::Asc, "   0.1 1  123  Rx d 1 11\n", 1,
                "expected the header of an ASC file"},
        BadCase{"AscBadDlc", LogFormat::Asc, kAscHead + "   0.1 1  123  Rx d G 11\n", 3,
                "a DLC of 0 to 15"},
        BadCase{"AscMissingBytes", LogFormat::Asc, kAscHead + "   0.1 1  123  Rx d 3 11 22\n", 3,
                "expected 3 data bytes"},
        BadCase{"AscNeitherDataNorRemote", LogFormat::Asc, kAscHead + "   0.1 1  123  Rx x 3\n", 3,
                "expected d (data frame) or r"},
        BadCase{"CsvOtherHeader", LogFormat::Csv, "Time Stamp,ID,Extended,Dir,Bus,LEN\n", 1,
                "expected the header"},
        BadCase{"CsvMissingField", LogFormat::Csv, kCsvHead + "1.0,0x1,0,0,0,1\n", 2,
                "expected 7 fields"},
        BadCase{"CsvNotBase64", LogFormat::Csv, kCsvHead + "1.0,0x1,0,0,0,1,A*==\n", 2, "base64"},
        BadCase{"CsvFlagNotABit", LogFormat::Csv, kCsvHead + "1.0,0x1,yes,0,0,1,AA==\n", 2,
                "1 or 0 in the field 'extended'"},
        BadCase{"DataLogOtherHeader", LogFormat::DataLog, kCsvHead, 1, "the data log's header"},
        BadCase{"DataLogShortLine", LogFormat::DataLog, kDataLogHead + " 1\t,0\t,1\t,1\t,00\t \n",
                2, "expected 12 fields"},
        BadCase{"DataLogTimeBeyond16Bits", LogFormat::DataLog,
                kDataLogHead + " 65536\t,0\t,1\t,0\t,00\t,00\t,00\t,00\t,00\t,00\t,00\t,00\n", 2,
                "0 to 65535 ms"}),
    [](const auto& p) { return std::string(p.param.name); });

// ---------------------------------------------------------------------------------------
// BLF files built byte by byte.

class BlfBuilder {
 public:
  // A CAN_MESSAGE with an object header of `version`, time in `flags` units.
  void Message(std::uint32_t id, std::uint8_t dlc, std::uint64_t stamp, int version = 1,
               std::uint32_t flags = 2, std::uint8_t dirFlags = 0) {
    const std::uint16_t header = version == 1 ? 32 : 40;
    const std::size_t at = m_inner.size();
    m_inner.resize(at + header + 16);
    std::uint8_t* p = m_inner.data() + at;
    std::memcpy(p, "LOBJ", 4);
    Put(p + 4, header, 2);
    Put(p + 6, static_cast<std::uint32_t>(version), 2);
    Put(p + 8, header + 16u, 4);
    Put(p + 12, blf::kCanMessage, 4);
    Put(p + 16, flags, 4);
    Put(p + 24, stamp, 8);
    std::uint8_t* d = p + header;
    Put(d, 1, 2);
    d[2] = dirFlags;
    d[3] = dlc;
    Put(d + 4, id, 4);
    for (int i = 0; i < 8; ++i) d[8 + i] = static_cast<std::uint8_t>(0x10 + i);
  }
  // An object of a type no reader here knows (size 37: padded by one byte).
  void Other() {
    const std::size_t at = m_inner.size();
    m_inner.resize(at + 38);
    std::memcpy(m_inner.data() + at, "LOBJ", 4);
    Put(m_inner.data() + at + 4, 32, 2);
    Put(m_inner.data() + at + 6, 1, 2);
    Put(m_inner.data() + at + 8, 37, 4);
    Put(m_inner.data() + at + 12, 65, 4);  // APP_TEXT
  }
  // The inner objects so far into containers of at most `chunk` bytes (an object may be cut).
  void Containers(std::size_t chunk, bool compress = true) {
    for (std::size_t at = 0; at < m_inner.size(); at += chunk) {
      const std::size_t n = std::min(chunk, m_inner.size() - at);
      std::vector<std::uint8_t> payload(m_inner.begin() + static_cast<std::ptrdiff_t>(at),
                                        m_inner.begin() + static_cast<std::ptrdiff_t>(at + n));
      if (compress) {
        uLongf size = compressBound(static_cast<uLong>(n));
        std::vector<std::uint8_t> z(size);
        compress2(z.data(), &size, payload.data(), static_cast<uLong>(n), 6);
        z.resize(size);
        payload = z;
      }
      std::uint8_t head[32] = {};
      std::memcpy(head, "LOBJ", 4);
      Put(head + 4, 16, 2);
      Put(head + 6, 1, 2);
      Put(head + 8, static_cast<std::uint32_t>(32 + payload.size()), 4);
      Put(head + 12, blf::kLogContainer, 4);
      Put(head + 16, compress ? 2 : 0, 2);
      Put(head + 24, static_cast<std::uint32_t>(n), 4);
      m_file.insert(m_file.end(), head, head + 32);
      m_file.insert(m_file.end(), payload.begin(), payload.end());
      m_file.resize(m_file.size() + (32 + payload.size()) % 4);
    }
    m_inner.clear();
  }
  std::string File(bool dated = true) const {
    std::uint8_t h[144] = {};
    std::memcpy(h, "LOGG", 4);
    Put(h + 4, 144, 4);
    // 2023-11-14 22:13:20.000, a Tuesday
    const std::uint32_t start[8] = {2023, 11, 2, 14, 22, 13, 20, 0};
    for (int i = 0; dated && i < 8; ++i) Put(h + 40 + 2 * i, start[i], 2);
    std::string out(reinterpret_cast<const char*>(h), 144);
    return out + std::string(m_file.begin(), m_file.end());
  }

 private:
  static void Put(std::uint8_t* p, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  std::vector<std::uint8_t> m_inner;
  std::vector<std::uint8_t> m_file;
};

constexpr std::int64_t kStart = 1700000000000000;

CanFrame BlfFrame(std::int64_t us, std::uint32_t id, std::uint8_t dlc, std::uint8_t flags = 0) {
  CanFrame f = Frame(us, id & 0x1FFFFFFF, (id & 0x80000000u) != 0, {}, flags, dlc);
  for (int i = 0; i < std::min<int>(dlc, 8) && !(flags & kRtr); ++i) {
    f.data[i] = static_cast<std::uint8_t>(0x10 + i);
  }
  return f;
}

TEST(BlfReader, TakesObjectsAcrossContainersBothHeaderVersionsAndBothTimeUnits) {
  BlfBuilder b;
  b.Message(0x123, 8, 1500);                        // ns: 1.5 us rounds to 2
  b.Other();                                        // passed over, with its padding byte
  b.Message(0x80000000u | 0x1ABCDE, 3, 250, 1, 1);  // 10 us units
  b.Message(0x7FF, 2, 7000000, 2, 2, 0x81);         // version 2 header, Tx, RTR
  b.Containers(50);                                 // every object cut between two containers
  b.Message(0x001, 0, 8000000);
  b.Containers(4096, false);  // a stored container
  TempDir dir;
  testing::writeFile(dir / "t.blf", b.File());
  std::vector<std::string> notes;
  ExpectSameFrames(ReadAll(dir / "t.blf", LogFormat::Blf, &notes),
                   {BlfFrame(kStart + 2, 0x123, 8), BlfFrame(kStart + 2500, 0x801ABCDEu, 3),
                    BlfFrame(kStart + 7000, 0x7FF, 2, kRtr | kTx), BlfFrame(kStart + 8000, 1, 0)});
  EXPECT_TRUE(notes.empty()) << notes.front();
}

TEST(BlfReader, KeepsTheFramesBeforeACutAndSaysSo) {
  BlfBuilder b;
  b.Message(0x123, 1, 0);
  b.Message(0x124, 1, 1000);
  b.Containers(4096);
  TempDir dir;
  const std::string whole = b.File(false);
  testing::writeFile(dir / "t.blf", whole.substr(0, whole.size() - 5));
  std::vector<std::string> notes;
  // Without a start time the times count from 1970.
  EXPECT_EQ(ReadAll(dir / "t.blf", LogFormat::Blf, &notes).size(), 0u);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_NE(notes[0].find("no start time"), std::string::npos);
  EXPECT_NE(notes[1].find("ends inside an object"), std::string::npos);
}

TEST(BlfReader, RefusesDamageWithTheByteOffset) {
  BlfBuilder b;
  b.Message(0x123, 1, 0);
  b.Containers(4096);
  const std::string good = b.File();
  struct {
    const char* name;
    std::string file;
    std::uint64_t offset;
    const char* says;
  } const cases[] = {
      {"NotBlf", "(1.0) can0 123#11\n", 0, "expected the signature 'LOGG'"},
      {"BadObjectSignature", good.substr(0, 144) + "LOBX" + good.substr(148), 144,
       "expected an object signature 'LOBJ', found 4C 4F 42 58"},
      {"DamagedZlib", good.substr(0, 176) + "garbage" + good.substr(183), 176,
       "found damaged data"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    testing::writeFile(dir / "t.blf", c.file);
    try {
      ReadAll(dir / "t.blf", LogFormat::Blf);
      ADD_FAILURE() << c.name;
    } catch (const LogError& e) {
      EXPECT_EQ(e.offset(), c.offset) << c.name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace velqor
