#include "common/settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "common/ini_document.h"
#include "common/ini_values.h"
#include "tests/common/temp_dir.h"
#include "tests/support/file_size_limit.h"

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
using ::testing::HasSubstr;
using testing::readFile;
using testing::TempDir;
using ::testing::UnorderedElementsAreArray;
using testing::writeFile;

const year_month_day kToday{year(2026), month(12), day(7)};
const year_month_day kYesterday{sys_days(kToday) - days(1)};

// The settings file kept in memory; it records every key read and written and can make
// the n-th write fail as a full or read-only disk would.
class MemoryIni : public IniFile {
 public:
  explicit MemoryIni(std::string_view text = "")
      : IniFile("memory.ini"), doc(IniDocument::parse(text)) {}

  std::optional<std::string> readValue(std::string_view section,
                                       std::string_view key) const override {
    reads.push_back(std::string(section) + "/" + std::string(key));
    return doc.value(section, key);
  }
  void writeValue(std::string_view section, std::string_view key, std::string_view value) override {
    if (failAtWrite && writes.size() == *failAtWrite) {
      throw SettingsWriteError(path(), std::make_error_code(std::errc::read_only_file_system));
    }
    writes.push_back(std::string(section) + "/" + std::string(key));
    doc.setValue(section, key, value);
  }

  IniDocument doc;
  mutable std::vector<std::string> reads;
  std::vector<std::string> writes;
  std::optional<std::size_t> failAtWrite;
};

std::vector<std::string> rowKeys(const std::string& section, int rows,
                                 std::initializer_list<const char*> stems) {
  std::vector<std::string> keys;
  for (int row = 1; row <= rows; ++row) {
    for (const char* stem : stems) keys.push_back(section + "/" + stem + std::to_string(row));
  }
  return keys;
}

void append(std::vector<std::string>& to, const std::vector<std::string>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

std::vector<std::string> sectionsOf(const std::string& text) {
  std::vector<std::string> sections;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    if (text[pos] == '[') sections.push_back(text.substr(pos, end - pos));
    pos = end == std::string::npos ? text.size() : end + 1;
  }
  return sections;
}

std::vector<int> valuesOf(const SampleTimingEntry& e) {
  return std::vector<int>(e.values.begin(), e.values.begin() + e.count);
}

// Settings unlike the defaults in every field, with texts that need care in the file.
Settings unusualSettings() {
  Settings s;
  for (int i = 0; i < kTxMailboxCount; ++i) {
    TxMailboxSettings& tx = s.tx[static_cast<std::size_t>(i)];
    tx.boxChecked = i % 2 == 0;
    tx.id = i == 0 ? " 7FF " : "1" + std::to_string(i) + "A";
    tx.dlc = i + 1;
    tx.ide = i % 3 == 0;
    tx.data = i == 1 ? "\"11\" 22" : "AA BB";
  }
  for (int i = 0; i < kRxMailboxCount; ++i) {
    RxMailboxSettings& rx = s.rx[static_cast<std::size_t>(i)];
    rx.boxChecked = i % 2 == 1;
    rx.id = std::to_string(100 + i);
    rx.mask = "1FFFFFFF";
    rx.ide = i % 4 == 0;
    rx.dlc = i % 9;
    rx.data = "        ";  // the blanks of an empty mask
  }
  s.option = {1, false, 1};
  s.uart = {-56, 921600, 1};
  s.usb = {0x1234, 0xABCD};
  s.ad = {4.95f, 0};
  s.bitim.sampleTiming[0] = parseSampleTimingList("90,80,70,").entry;
  s.bitim.sampleTiming[1] = SampleTimingEntry{};
  s.bitim.bitRate = 0;
  s.bitim.timing = 1;
  return s;
}

TEST(Settings, NoFileGivesEveryDefaultOfTheTable) {
  TempDir dir;
  const IniFile ini(dir / "Velqor.INI");
  const SettingsLoadResult r = loadSettings(ini, kToday);
  EXPECT_TRUE(r.warnings.empty());
  const Settings& s = r.settings;
  for (const TxMailboxSettings& tx : s.tx) {
    EXPECT_FALSE(tx.boxChecked);
    EXPECT_EQ(tx.id, "0");
    EXPECT_EQ(tx.dlc, 0);
    EXPECT_FALSE(tx.ide);
    EXPECT_EQ(tx.data, "");
  }
  for (const RxMailboxSettings& rx : s.rx) {
    EXPECT_FALSE(rx.boxChecked);
    EXPECT_EQ(rx.id, "0");
    EXPECT_EQ(rx.mask, "0");
    EXPECT_FALSE(rx.ide);
    EXPECT_EQ(rx.dlc, 0);
    EXPECT_EQ(rx.data, "");
  }
  EXPECT_EQ(s.option.rxDataFormat, 0);
  EXPECT_TRUE(s.option.term);
  EXPECT_EQ(s.option.consoleMode, 0);
  EXPECT_EQ(s.uart.comm, 1);
  EXPECT_EQ(s.uart.rate, 115200);
  EXPECT_EQ(s.uart.parity, 2);
  EXPECT_EQ(s.usb.productId, 0xEE02);
  EXPECT_EQ(s.usb.venderId, 0x4242);
  EXPECT_EQ(s.logCounter, 0);
  EXPECT_EQ(s.ad.triggerLevel, 2.5f);
  EXPECT_EQ(formatFloatGeneral(s.ad.triggerLevel), "2.5");
  EXPECT_EQ(s.ad.port, 2);
  // The built-in lists keep their last number: 500 kbit/s offers seven values, the third
  // one (72) selected.
  EXPECT_THAT(valuesOf(s.bitim.sampleTiming[0]),
              ElementsAre(83, 81, 78, 77, 75, 73, 72, 72, 68, 68, 66, 63, 63, 63, 60));
  EXPECT_THAT(valuesOf(s.bitim.sampleTiming[1]), ElementsAre(81, 77, 72, 72, 68, 63, 63));
  EXPECT_THAT(valuesOf(s.bitim.sampleTiming[2]), ElementsAre(81, 72, 63));
  EXPECT_EQ(s.bitim.bitRate, 1);
  EXPECT_EQ(s.bitim.timing, 2);
  EXPECT_EQ(s.bitim.sampleTiming[1].values[2], 72);
  EXPECT_EQ(s, Settings{});  // the struct's own defaults are the table's
  EXPECT_FALSE(fs::exists(dir / "Velqor.INI"));
}

// Which keys are read matters (a key not read, or read under another spelling, leaves its
// setting at the default whatever the file says); the order of the reads cannot be seen.
TEST(Settings, LoadReadsEveryKeyOfTheFile) {
  MemoryIni ini;
  loadSettings(ini, kToday);
  std::vector<std::string> expected =
      rowKeys("RXCONF", 16, {"RXBOXCHK", "RXID", "RXMASK", "RXDLC", "RXDATA", "RXRTR"});
  append(expected, rowKeys("TXCONF", 8, {"TXBOXCHK", "TXID", "TXDLC", "TXRTR", "TXDATA"}));
  append(expected, {"OPTION/RXDATAFORMAT", "OPTION/TERM", "OPTION/COSOLEMODE", "UART/COMM",
                    "UART/RATE", "UART/PARITY", "USB/ProductID", "USB/VenderID", "FILE/DATE",
                    "FILE/SAVEFILENUM", "AD/TRGLV", "AD/PORT", "BITIM/BT250", "BITIM/BT500",
                    "BITIM/BT1000", "BITIM/BITRATE", "BITIM/TIMING"});
  EXPECT_THAT(ini.reads, UnorderedElementsAreArray(expected));
}

TEST(Settings, SaveWritesKeysInOrderAndAFreshFileGetsThatLayout) {
  MemoryIni ini;
  saveSettings(ini, Settings{});
  std::vector<std::string> expected = {"UART/COMM", "UART/RATE", "UART/PARITY", "USB/ProductID",
                                       "USB/VenderID"};
  append(expected, rowKeys("TXCONF", 8, {"TXBOXCHK", "TXID", "TXDLC", "TXRTR", "TXDATA"}));
  append(expected,
         rowKeys("RXCONF", 16, {"RXBOXCHK", "RXID", "RXMASK", "RXRTR", "RXDLC", "RXDATA"}));
  append(expected,
         {"OPTION/RXDATAFORMAT", "OPTION/TERM", "OPTION/COSOLEMODE", "BITIM/BT250", "BITIM/BT500",
          "BITIM/BT1000", "BITIM/BITRATE", "BITIM/TIMING", "AD/TRGLV", "AD/PORT"});
  EXPECT_EQ(ini.writes, expected);

  TempDir dir;
  IniFile file(dir / "Velqor.INI");
  saveSettings(file, Settings{});
  const std::string text = readFile(dir / "Velqor.INI");
  EXPECT_THAT(sectionsOf(text), ElementsAre("[UART]", "[USB]", "[TXCONF]", "[RXCONF]", "[OPTION]",
                                            "[BITIM]", "[AD]"));
  EXPECT_THAT(text, HasSubstr("[UART]\nCOMM=1\nRATE=115200\nPARITY=2\n[USB]\n"
                              "ProductID=60930\nVenderID=16962\n[TXCONF]\nTXBOXCHK1=0\nTXID1=0\n"
                              "TXDLC1=0\nTXRTR1=0\nTXDATA1=\nTXBOXCHK2=0\n"));
  EXPECT_THAT(text, HasSubstr("[BITIM]\nBT250=83,81,78,77,75,73,72,72,68,68,66,63,63,63,60,\n"
                              "BT500=81,77,72,72,68,63,63,\nBT1000=81,72,63,\nBITRATE=1\n"
                              "TIMING=2\n[AD]\nTRGLV=2.5\nPORT=2\n"));
}

TEST(Settings, SaveStopsAtTheKeyThatCannotBeWritten) {
  MemoryIni ini;
  ini.failAtWrite = 11;  // TXID2, in the second transmit row
  EXPECT_THROW(saveSettings(ini, Settings{}), SettingsWriteError);
  ASSERT_EQ(ini.writes.size(), 11u);
  EXPECT_EQ(ini.writes.back(), "TXCONF/TXBOXCHK2");
  EXPECT_EQ(ini.doc.value("TXCONF", "TXID2"), std::nullopt);  // the failing key
  EXPECT_EQ(ini.doc.value("AD", "PORT"), std::nullopt);       // nothing after it
}

TEST(Settings, SaveToAReadOnlyFileOrFolderRaisesTheWriteErrorText) {
  TempDir dir;
  const fs::path readOnly = dir / "Velqor.INI";
  writeFile(readOnly, "[UART]\nCOMM=3\n");
  fs::permissions(readOnly, fs::perms::owner_read);
  IniFile ini(readOnly);
  try {
    saveSettings(ini, Settings{});
    FAIL() << "saved into a read-only file";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(std::string(e.what()), readOnly.string() + " に書き込めません\n" + readOnly.string() +
                                         ": Permission denied");
  }
  EXPECT_EQ(readFile(readOnly), "[UART]\nCOMM=3\n");

  writeFile(dir / "not-a-folder", "");
  const fs::path inFile = dir / "not-a-folder" / "Velqor.INI";
  IniFile nowhere(inFile);
  try {
    saveSettings(nowhere, Settings{});
    FAIL() << "saved into a folder that is a file";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(std::string(e.what()),
              inFile.string() + " に書き込めません\n" + inFile.string() + ": Not a directory");
  }
}

TEST(Settings, SampleTimingListsAsTheFileHoldsThem) {
  const struct {
    const char* text;
    std::vector<int> values;
  } cases[] = {
      {"83,81,78,", {83, 81, 78}},  // a saved list: all numbers
      {"83,81,78", {83, 81}},       // the last item is always dropped
      {" 83 , 81 ,\t78 , ", {83, 81, 78}},
      {"", {}},
      {"300,-1,256,", {44, 255, 0}},  // narrowed to 8 bits
      {"83,81,x", {83, 81}},          // the dropped item is never read
  };
  for (const auto& c : cases) {
    const SampleTimingParse p = parseSampleTimingList(c.text);
    EXPECT_EQ(p.badItem, std::nullopt) << c.text;
    EXPECT_EQ(valuesOf(p.entry), c.values) << c.text;
  }
  for (const char* bad : {"83,x1,78,", "83,,78,", ",", "0x53,81,", "8 3,81,", "83.5,81,"}) {
    EXPECT_NE(parseSampleTimingList(bad).badItem, std::nullopt) << bad;
    EXPECT_EQ(parseSampleTimingList(bad).entry.count, 0) << bad;
  }
  SampleTimingEntry e = parseSampleTimingList("83,81,78,").entry;
  EXPECT_EQ(sampleTimingListText(e), "83,81,78,");
  EXPECT_EQ(sampleTimingListText(SampleTimingEntry{}), "");
  e.count = 200;  // a corrupt count never reads past the table
  const std::string text = sampleTimingListText(e);
  EXPECT_EQ(std::count(text.begin(), text.end(), ','), 30);
}

TEST(Settings, Bt250WithTrailingCommaLoadsThreeValues) {
  MemoryIni ini("[BITIM]\nBT250=83,81,78,\n");
  const SettingsLoadResult r = loadSettings(ini, kToday);
  EXPECT_THAT(valuesOf(r.settings.bitim.sampleTiming[0]), ElementsAre(83, 81, 78));
  EXPECT_EQ(r.settings.bitim.sampleTiming[0].count, 3);
  EXPECT_TRUE(r.warnings.empty());
}

TEST(Settings, ListOfFortyItemsLoadsThirtyAndSaysSo) {
  std::string list;
  for (int i = 1; i <= 40; ++i) list += std::to_string(i) + ",";
  MemoryIni ini("[BITIM]\nBT500=" + list + "\nBT1000=81,72,\n");
  const SettingsLoadResult r = loadSettings(ini, kToday);
  const SampleTimingEntry& e = r.settings.bitim.sampleTiming[1];
  ASSERT_EQ(e.count, 30);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(e.values[static_cast<std::size_t>(i)], i + 1);
  EXPECT_THAT(valuesOf(r.settings.bitim.sampleTiming[2]), ElementsAre(81, 72));  // untouched
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_THAT(r.warnings[0], HasSubstr("BT500"));
  EXPECT_THAT(r.warnings[0], HasSubstr("40"));
}

TEST(Settings, ListWithABadItemFallsBackAloneAndEverythingElseLoads) {
  MemoryIni ini(
      "[BITIM]\nBT250=83,81,78,\nBT500=81,7x,72,\nBT1000=90,\nBITRATE=1\nTIMING=5\n"
      "[AD]\nTRGLV=3.5\nPORT=1\n[UART]\nCOMM=4\n");
  const SettingsLoadResult r = loadSettings(ini, kToday);
  const Settings& s = r.settings;
  EXPECT_EQ(s.bitim.sampleTiming[1], defaultSampleTimingTable()[1]);
  EXPECT_THAT(valuesOf(s.bitim.sampleTiming[0]), ElementsAre(83, 81, 78));
  EXPECT_THAT(valuesOf(s.bitim.sampleTiming[2]), ElementsAre(90));
  EXPECT_EQ(s.bitim.bitRate, 1);
  EXPECT_EQ(s.bitim.timing, 5);
  EXPECT_EQ(s.ad.triggerLevel, 3.5f);
  EXPECT_EQ(s.ad.port, 1);
  EXPECT_EQ(s.uart.comm, 4);
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_THAT(r.warnings[0], HasSubstr("BT500"));
  EXPECT_THAT(r.warnings[0], HasSubstr("81,7x,72,"));
  EXPECT_THAT(r.warnings[0], HasSubstr("\"7x\""));
}

TEST(Settings, DefaultListsSurviveASaveWithEveryNumber) {
  MemoryIni ini;
  saveSettings(ini, Settings{});
  EXPECT_EQ(ini.doc.value("BITIM", "BT500"), "81,77,72,72,68,63,63,");
  const SettingsLoadResult r = loadSettings(ini, kToday);
  EXPECT_EQ(r.settings.bitim.sampleTiming, defaultSampleTimingTable());
}

TEST(Settings, TriggerLevelIsSinglePrecisionAndSavedWidened) {
  MemoryIni ini("[AD]\nTRGLV=2.2\n");
  Settings s = loadSettings(ini, kToday).settings;
  EXPECT_EQ(s.ad.triggerLevel, 2.2f);
  EXPECT_EQ(formatFloatGeneral(s.ad.triggerLevel), "2.20000004768372");  // the edit's text
  saveSettings(ini, s);
  EXPECT_EQ(ini.doc.value("AD", "TRGLV"), "2.20000004768372");
  EXPECT_EQ(loadSettings(ini, kToday).settings.ad.triggerLevel, 2.2f);

  for (const char* unusable : {"abc", "1e300", "-1e39", "nan", "2,2"}) {
    MemoryIni bad(std::string("[AD]\nTRGLV=") + unusable + "\n");
    EXPECT_EQ(loadSettings(bad, kToday).settings.ad.triggerLevel, 2.5f) << unusable;
  }
}

TEST(Settings, LogCounterCarriesOnOnlyFromAFileOfToday) {
  const struct {
    std::string date;
    int counter;
  } cases[] = {
      {formatIniDate(kYesterday), 0},  // a new day starts again, whatever SAVEFILENUM says
      {"2026/12/07", 9},
      {"2026-12-07", 9},
      {"2025/12/07", 0},
      {"not a date", 9},  // unreadable: the default, today
  };
  for (const auto& c : cases) {
    MemoryIni ini("[FILE]\nDATE=" + c.date + "\nSAVEFILENUM=9\n");
    EXPECT_EQ(loadSettings(ini, kToday).settings.logCounter, c.counter) << c.date;
  }
  MemoryIni noDate("[FILE]\nSAVEFILENUM=4\n");
  EXPECT_EQ(loadSettings(noDate, kToday).settings.logCounter, 4);
  MemoryIni oldDay("[FILE]\nDATE=" + formatIniDate(kYesterday) + "\nSAVEFILENUM=9\n");
  loadSettings(oldDay, kToday);
  EXPECT_THAT(oldDay.reads, ::testing::Not(::testing::Contains("FILE/SAVEFILENUM")));
}

TEST(Settings, LogFileKeysAreWrittenAsTheLogCodeOpensAFile) {
  MemoryIni ini("[UART]\nCOMM=2\n");
  saveLogFileKeys(ini, kToday, 3);
  EXPECT_EQ(ini.doc.text(), "[UART]\nCOMM=2\n[FILE]\nDATE=2026/12/07\nSAVEFILENUM=3\n");
  EXPECT_EQ(loadSettings(ini, kToday).settings.logCounter, 3);
  EXPECT_EQ(loadSettings(ini, year_month_day{year(2026), month(12), day(8)}).settings.logCounter,
            0);
}

TEST(Settings, SelectionsOutsideTheirListsBecomeNoSelection) {
  const struct {
    const char* text;
    int bitRate;
    int timing;
    bool warned;
  } cases[] = {
      {"BITRATE=1\nTIMING=6\n", 1, 6, false},   // last of the seven 500 kbit/s values
      {"BITRATE=1\nTIMING=7\n", 1, -1, false},  // not below the count: nothing selected
      {"BITRATE=2\nTIMING=3\n", 2, -1, false},          {"BITRATE=0\nTIMING=-4\n", 0, -1, false},
      {"BITRATE=-1\nTIMING=0\n", -1, -1, false},         // saved with no bit rate selected
      {"BITRATE=3\nTIMING=0\n", -1, -1, true},           // no such bit rate
      {"BT1000=\nBITRATE=2\nTIMING=0\n", 2, -1, false},  // an empty list offers nothing
  };
  for (const auto& c : cases) {
    MemoryIni ini(std::string("[BITIM]\n") + c.text);
    const SettingsLoadResult r = loadSettings(ini, kToday);
    EXPECT_EQ(r.settings.bitim.bitRate, c.bitRate) << c.text;
    EXPECT_EQ(r.settings.bitim.timing, c.timing) << c.text;
    EXPECT_EQ(r.warnings.size(), c.warned ? 1u : 0u) << c.text;
    saveSettings(ini, r.settings);
    EXPECT_EQ(ini.doc.value("BITIM", "TIMING"), std::to_string(c.timing)) << c.text;
  }
}

TEST(Settings, NarrowingsOfTheFieldsThatHoldThem) {
  MemoryIni ini(
      "[UART]\nCOMM=200\n[USB]\nProductID=0x1EE02\nVenderID=-1\n"
      "[TXCONF]\nTXDLC1=12\nTXDLC2=-3\nTXDLC3=8\n[RXCONF]\nRXDLC16=9\n");
  const Settings s = loadSettings(ini, kToday).settings;
  EXPECT_EQ(s.uart.comm, -56);  // signed 8 bits
  EXPECT_EQ(s.usb.productId, 0xEE02);
  EXPECT_EQ(s.usb.venderId, 0xFFFF);
  EXPECT_EQ(s.tx[0].dlc, 8);  // the spin edits hold 0..8
  EXPECT_EQ(s.tx[1].dlc, 0);
  EXPECT_EQ(s.tx[2].dlc, 8);
  EXPECT_EQ(s.rx[15].dlc, 8);
  MemoryIni out;
  saveSettings(out, s);
  EXPECT_EQ(out.doc.value("UART", "COMM"), "-56");
}

TEST(Settings, WindowsFileLoadsWithItsLetterCaseLineEndsAndQuotes) {
  const IniFile ini(fs::path(VELQOR_TEST_DATA_DIR) / "windows_velqor.ini");
  const SettingsLoadResult r = loadSettings(ini, kToday);
  const Settings& s = r.settings;
  EXPECT_TRUE(r.warnings.empty());
  EXPECT_EQ(s.uart, (UartSettings{3, 57600, 0}));
  EXPECT_EQ(s.usb, (UsbSettings{0xEE03, 0x4242}));
  EXPECT_EQ(s.tx[0], (TxMailboxSettings{true, "123", 2, false, "11 22"}));
  EXPECT_EQ(s.tx[1], (TxMailboxSettings{true, "18DA10F1", 8, true, "01 02 03 04 05 06 07 08"}));
  EXPECT_EQ(s.tx[2].dlc, 8);
  EXPECT_EQ(s.tx[3], TxMailboxSettings{});
  EXPECT_EQ(s.rx[0], (RxMailboxSettings{true, "7FF", "7F0", false, 0, ""}));
  EXPECT_EQ(s.rx[15], (RxMailboxSettings{false, "18DA10F1", "0", true, 0, ""}));
  EXPECT_EQ(s.option, (OptionSettings{1, false, 1}));
  EXPECT_EQ(s.logCounter, 5);
  EXPECT_EQ(s.ad, (AdSettings{2.2f, 0}));
  EXPECT_THAT(valuesOf(s.bitim.sampleTiming[0]), ElementsAre(83, 81, 78));
  EXPECT_THAT(valuesOf(s.bitim.sampleTiming[1]), ElementsAre(81, 77, 72));
  EXPECT_THAT(valuesOf(s.bitim.sampleTiming[2]), ElementsAre(81, 72, 63));
  EXPECT_EQ(s.bitim.bitRate, 2);
  EXPECT_EQ(s.bitim.timing, 1);
  EXPECT_EQ(loadTtySettings(ini), (TtySettings{false, true}));
}

TEST(Settings, LoadSaveLoadGivesTheSameSettings) {
  TempDir dir;
  fs::copy_file(fs::path(VELQOR_TEST_DATA_DIR) / "windows_velqor.ini", dir / "Velqor.INI");
  IniFile ini(dir / "Velqor.INI");
  const Settings first = loadSettings(ini, kToday).settings;
  saveSettings(ini, first);
  EXPECT_EQ(loadSettings(ini, kToday).settings, first);

  IniFile fresh(dir / "fresh.ini");
  const Settings unusual = unusualSettings();
  saveSettings(fresh, unusual);
  Settings expected = unusual;
  expected.bitim.timing = 1;  // 90,80,70 offers position 1
  EXPECT_EQ(loadSettings(fresh, kToday).settings, expected);
}

TEST(Settings, SavingKeepsCommentsUnknownKeysAndOtherSections) {
  TempDir dir;
  const std::string original =
      "; written by hand\n"
      "[UART]\n"
      "COMM=3\n"
      "; the adapter on the test bench\n"
      "EXTRA=keep me\n"
      "[PORTS]\n"
      "COM3=/dev/ttyUSB0\n"
      "[TTY]\n"
      "TXMONITOR=0\n";
  writeFile(dir / "Velqor.INI", original);
  IniFile ini(dir / "Velqor.INI");
  saveSettings(ini, loadSettings(ini, kToday).settings);
  const std::string text = readFile(dir / "Velqor.INI");
  EXPECT_EQ(text.rfind("; written by hand\n[UART]\nCOMM=3\n", 0), 0u) << text;
  // New keys follow the last key of their section; other lines stay where they were.
  EXPECT_THAT(text, HasSubstr("COMM=3\n; the adapter on the test bench\nEXTRA=keep me\n"
                              "RATE=115200\nPARITY=2\n[PORTS]\nCOM3=/dev/ttyUSB0\n[TTY]\n"
                              "TXMONITOR=0\n[USB]\n"));
  EXPECT_EQ(portDevicePath(ini, 3), "/dev/ttyUSB0");
  EXPECT_FALSE(loadTtySettings(ini).txMonitor);
}

TEST(Settings, TerminalKeysRoundTripWithTheirOwnObject) {
  TempDir dir;
  IniFile mainWindow(dir / "Velqor.INI");
  IniFile terminal(dir / "Velqor.INI");
  EXPECT_EQ(loadTtySettings(terminal), (TtySettings{true, true}));
  saveSettings(mainWindow, Settings{});
  saveTtySettings(terminal, TtySettings{false, true});
  EXPECT_EQ(loadTtySettings(mainWindow), (TtySettings{false, true}));
  EXPECT_EQ(loadSettings(mainWindow, kToday).settings, Settings{});
  EXPECT_THAT(readFile(dir / "Velqor.INI"), HasSubstr("[TTY]\nTXMONITOR=0\nTXPACKETUNIT=1\n"));
}

TEST(Settings, PortNumbersMapToDevicePaths) {
  MemoryIni ini("[PORTS]\nCOM2=/dev/ttyUSB1\nCOM4=\n");
  EXPECT_EQ(portDevicePath(ini, 1), "/dev/ttyACM0");
  EXPECT_EQ(portDevicePath(ini, 2), "/dev/ttyUSB1");
  EXPECT_EQ(portDevicePath(ini, 4), "/dev/ttyACM3");  // empty value: the default
  EXPECT_EQ(portDevicePath(ini, 127), "/dev/ttyACM126");
  EXPECT_EQ(portDevicePath(ini, 0), std::nullopt);
  EXPECT_EQ(portDevicePath(ini, -56), std::nullopt);
  savePortDevicePath(ini, 12, "/dev/pts/7");
  EXPECT_EQ(portDevicePath(ini, 12), "/dev/pts/7");
  EXPECT_EQ(ini.doc.value("ports", "com12"), "/dev/pts/7");
  EXPECT_THROW(savePortDevicePath(ini, 0, "/dev/ttyS0"), std::invalid_argument);
  EXPECT_THROW(defaultPortDevicePath(0), std::invalid_argument);
}

// The settings file written one key at a time, each key a whole reading and rewrite of the
// file: the per-key rules themselves, against which a save written at once is compared.
class PerKeyFile : public IniFile {
 public:
  using IniFile::IniFile;
  std::optional<std::string> readValue(std::string_view section,
                                       std::string_view key) const override {
    return IniFile(path()).readValue(section, key);
  }
  void writeValue(std::string_view section, std::string_view key, std::string_view value) override {
    IniFile(path()).writeValue(section, key, value);
  }
};

TEST(Settings, LoadAndSaveAtOnceGiveWhatKeysOneByOneGive) {
  const std::string windowsFile = readFile(fs::path(VELQOR_TEST_DATA_DIR) / "windows_velqor.ini");
  const std::optional<std::string> files[] = {
      windowsFile, "; by hand\n[UART]\nCOMM=3\n; bench\nEXTRA=1\n[PORTS]\nCOM3=/dev/ttyUSB0\n",
      "[BITIM]\r\nBT500=81,7x,72,\r\n[TTY]\r\nTXMONITOR=0", std::nullopt};
  for (const auto& file : files) {
    TempDir dir;
    if (file) {
      writeFile(dir / "a.ini", *file);
      writeFile(dir / "b.ini", *file);
    }
    IniFile atOnce(dir / "a.ini");
    PerKeyFile oneByOne(dir / "b.ini");
    const SettingsLoadResult loaded = loadSettings(atOnce, kToday);
    EXPECT_EQ(loaded.settings, loadSettings(oneByOne, kToday).settings) << file.value_or("none");
    for (const Settings& settings : {loaded.settings, unusualSettings()}) {
      saveSettings(atOnce, settings);
      saveSettings(oneByOne, settings);
      EXPECT_EQ(readFile(dir / "a.ini"), readFile(dir / "b.ini")) << file.value_or("none");
    }
  }
}

// What happened to the files of a folder, from inotify: "open NAME", "create NAME",
// "moved NAME".
class FolderEvents {
 public:
  explicit FolderEvents(const fs::path& dir) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    EXPECT_GE(::inotify_add_watch(m_fd, dir.c_str(), IN_OPEN | IN_CREATE | IN_MOVED_TO), 0);
  }
  ~FolderEvents() { ::close(m_fd); }
  std::vector<std::string> take() {
    std::vector<std::string> events;
    alignas(inotify_event) char buffer[8192];
    ssize_t n;
    while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        const std::string name = e->len > 0 ? e->name : "";
        const bool temporary = name.rfind(".Velqor.INI.tmp-", 0) == 0;
        const char* what = (e->mask & IN_OPEN)     ? "open "
                           : (e->mask & IN_CREATE) ? "create "
                                                   : "moved ";
        if (!name.empty()) events.push_back(what + (temporary ? std::string("temporary") : name));
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    return events;
  }

 private:
  int m_fd;
};

TEST(Settings, LoadReadsTheFileOnceAndSaveWritesItOnce) {
  TempDir dir;
  fs::copy_file(fs::path(VELQOR_TEST_DATA_DIR) / "windows_velqor.ini", dir / "Velqor.INI");
  IniFile ini(dir / "Velqor.INI");
  FolderEvents events(dir.path());
  const Settings loaded = loadSettings(ini, kToday).settings;
  EXPECT_THAT(events.take(), ElementsAre("open Velqor.INI"));
  saveSettings(ini, loaded);
  EXPECT_THAT(events.take(), ElementsAre("open Velqor.INI", "create temporary", "open temporary",
                                         "moved Velqor.INI"));
  saveLogFileKeys(ini, kToday, 4);
  saveTtySettings(ini, TtySettings{});
  EXPECT_EQ(events.take().size(), 8u);  // two keys each, written once each
}

TEST(Settings, SectionsOfOtherPartsJoinTheLoadAndTheSaveOfTheirBatch) {
  TempDir dir;
  fs::copy_file(fs::path(VELQOR_TEST_DATA_DIR) / "windows_velqor.ini", dir / "Velqor.INI");
  IniFile ini(dir / "Velqor.INI");
  FolderEvents events(dir.path());
  Settings loaded;
  {
    const IniFile::Batch batch = ini.batch();
    loaded = loadSettings(ini, kToday).settings;
    EXPECT_EQ(ini.readString("NEW", "KEY", "none"), "none");
  }
  EXPECT_THAT(events.take(), ElementsAre("open Velqor.INI"));
  {
    const IniFile::Batch batch = ini.batch();
    ini.writeString("NEW", "KEY", "1");
    saveSettings(ini, loaded);
    EXPECT_THAT(events.take(), ElementsAre("open Velqor.INI")) << "nothing written yet";
    ini.commitBatch();
  }
  EXPECT_THAT(events.take(), ElementsAre("create temporary", "open temporary", "moved Velqor.INI"));
  EXPECT_EQ(ini.readString("NEW", "KEY", ""), "1");
  EXPECT_EQ(loadSettings(ini, kToday).settings, loaded);
}

TEST(Settings, TextsThatAreNotUtf8KeepTheirBytesWhenTheWindowGivesThemBackUnchanged) {
  const std::string sjis = "\x83\x65\x83\x58\x83\x67";  // "テスト" written on Windows
  const std::string r = "\xEF\xBF\xBD";                 // U+FFFD, the replacement character
  const struct {
    std::string stored;
    std::string fromWindow;  // each byte that is not UTF-8 shows as one U+FFFD
    std::string saved;
  } cases[] = {
      {sjis, r + "e" + r + "X" + r + "g", sjis},
      {"ID\x83\x83", "ID" + r + r, "ID\x83\x83"},
      {"ID\x83\x83", "ID" + r + r + r, "ID" + r + r + r},  // one more than there were bytes
      {sjis, r + "e", r + "e"},                            // changed in the window
      {sjis, "7FF", "7FF"},
      {r, r, r},  // a replacement character in the file is text like any other
  };
  for (const auto& c : cases) {
    MemoryIni ini("[TXCONF]\nTXID1=" + c.stored + "\n[RXCONF]\nRXMASK16=" + c.stored +
                  "\n[PORTS]\nCOM3=" + c.stored + "\n");
    Settings s = loadSettings(ini, kToday).settings;
    EXPECT_EQ(s.tx[0].id, c.stored);
    s.tx[0].id = c.fromWindow;
    s.rx[15].mask = c.fromWindow;
    saveSettings(ini, s);
    savePortDevicePath(ini, 3, c.fromWindow);
    EXPECT_EQ(ini.doc.value("TXCONF", "TXID1"), c.saved) << c.fromWindow;
    EXPECT_EQ(ini.doc.value("RXCONF", "RXMASK16"), c.saved) << c.fromWindow;
    EXPECT_EQ(ini.doc.value("PORTS", "COM3"), c.saved) << c.fromWindow;
  }
}

TEST(Settings, ASaveBeyondTheFileSizeLimitFailsAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string original = "[UART]\nCOMM=3\n";
  writeFile(dir / "Velqor.INI", original);
  // In a child: the limit holds for the whole process.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const testing::FileSizeLimit limit(1024);  // a full save is about 3 kB
    IniFile ini(dir / "Velqor.INI");
    try {
      saveSettings(ini, Settings{});
    } catch (const SettingsWriteError& e) {
      ::_exit(e.reason() == std::errc::file_too_large ? 0 : 1);
    }
    ::_exit(2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(dir / "Velqor.INI"), original);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename());
  EXPECT_THAT(names, ElementsAre("Velqor.INI"));
}

TEST(Settings, LocalTodayIsTheDateOfTheLocalTimeZone) {
  // 14 hours ahead of and 12 hours behind universal time (POSIX zone strings): the two are
  // always on different dates, so a clock that knows only one zone fails one of them.
  const char* const saved = std::getenv("TZ");
  const std::string previous = saved != nullptr ? saved : "";
  for (const auto& [zone, offset] : {std::pair{"<+14>-14", std::chrono::hours(14)},
                                     std::pair{"<-12>+12", std::chrono::hours(-12)}}) {
    ASSERT_EQ(::setenv("TZ", zone, 1), 0);
    ::tzset();
    const sys_days before = std::chrono::floor<days>(std::chrono::system_clock::now() + offset);
    const sys_days local{localToday()};
    const sys_days after = std::chrono::floor<days>(std::chrono::system_clock::now() + offset);
    EXPECT_TRUE(local == before || local == after) << zone;  // midnight may pass in between
  }
  if (saved != nullptr) {
    ::setenv("TZ", previous.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace
}  // namespace velqor
