#include "common/settings.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <stdexcept>

#include "common/utf8_text.h"

namespace velqor {
namespace {

constexpr std::string_view kTxConf = "TXCONF";
constexpr std::string_view kRxConf = "RXCONF";
constexpr std::string_view kOption = "OPTION";
constexpr std::string_view kUart = "UART";
constexpr std::string_view kUsb = "USB";
constexpr std::string_view kFile = "FILE";
constexpr std::string_view kAd = "AD";
constexpr std::string_view kBitim = "BITIM";
constexpr std::string_view kTty = "TTY";
constexpr std::string_view kPorts = "PORTS";

constexpr std::array<std::string_view, kBitRateCount> kSampleTimingKeys = {"BT250", "BT500",
                                                                           "BT1000"};
constexpr float kDefaultTriggerLevel = 2.5f;

std::string rowKey(std::string_view stem, int row) {
  return std::string(stem) + std::to_string(row);
}

// The spin edits hold 0..8 whatever the file says.
std::int32_t clampDlc(std::int32_t dlc) { return dlc < 0 ? 0 : (dlc > kMaxDlc ? kMaxDlc : dlc); }

bool isSeparatorBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && isSeparatorBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSeparatorBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A decimal integer as the list holds it: optional sign, digits, within 32 bits.
std::optional<std::int32_t> parseDecimal(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || s[0] < '0' || s[0] > '9') return std::nullopt;
  std::int64_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 10);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  if (negative) v = -v;
  if (v < std::numeric_limits<std::int32_t>::min() ||
      v > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(v);
}

// Whether `shown` is `stored` as a window shows it: stored is not UTF-8, and every run of
// bytes that is not UTF-8 became one or more U+FFFD while the rest stayed as it was. The
// window turns settings texts into its own text that way, so an unchanged Shift-JIS value
// comes back to a save in that form.
bool isReplacementFormOf(std::string_view shown, std::string_view stored) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  if (isValidUtf8(stored)) return false;
  while (!stored.empty()) {
    const std::size_t n = utf8SequenceLength(stored);
    if (n > 0) {
      if (shown.substr(0, n) != stored.substr(0, n)) return false;
      shown.remove_prefix(n);
      stored.remove_prefix(n);
      continue;
    }
    std::size_t invalid = 0;
    while (invalid < stored.size() && utf8SequenceLength(stored.substr(invalid)) == 0) ++invalid;
    stored.remove_prefix(invalid);
    std::size_t replacements = 0;
    while (replacements < invalid && shown.starts_with(kReplacement)) {
      shown.remove_prefix(kReplacement.size());
      ++replacements;
    }
    if (replacements == 0) return false;
  }
  return shown.empty();
}

// A text key of the window. A value that the window could only show with replacement
// characters and that came back unchanged keeps its bytes.
void writeText(IniFile& ini, std::string_view section, const std::string& key,
               const std::string& value) {
  const std::optional<std::string> stored = ini.readValue(section, key);
  const bool keep = stored && isReplacementFormOf(value, *stored);
  ini.writeString(section, key, keep ? *stored : value);
}

SampleTimingEntry entryOf(std::initializer_list<std::uint8_t> values) {
  SampleTimingEntry e;
  for (std::uint8_t v : values) e.values[e.count++] = v;
  return e;
}

void loadSampleTiming(const IniFile& ini, SettingsLoadResult& result) {
  const SampleTimingTable defaults = defaultSampleTimingTable();
  for (int i = 0; i < kBitRateCount; ++i) {
    const std::string_view key = kSampleTimingKeys[static_cast<std::size_t>(i)];
    SampleTimingEntry& entry = result.settings.bitim.sampleTiming[static_cast<std::size_t>(i)];
    entry = defaults[static_cast<std::size_t>(i)];
    const std::optional<std::string> text = ini.readValue(kBitim, key);
    if (!text) continue;
    const SampleTimingParse parsed = parseSampleTimingList(*text);
    if (parsed.badItem) {
      result.warnings.push_back("[BITIM] " + std::string(key) + "=" + *text + ": \"" +
                                *parsed.badItem + "\" is not a decimal number; the built-in list " +
                                sampleTimingListText(entry) + " is used instead");
      continue;
    }
    entry = parsed.entry;
    if (parsed.itemCount - 1 > static_cast<std::size_t>(kSampleTimingMax)) {
      result.warnings.push_back("[BITIM] " + std::string(key) + " holds " +
                                std::to_string(parsed.itemCount - 1) + " values; only the first " +
                                std::to_string(kSampleTimingMax) + " are used");
    }
  }
}

}  // namespace

SampleTimingTable defaultSampleTimingTable() {
  return {entryOf({83, 81, 78, 77, 75, 73, 72, 72, 68, 68, 66, 63, 63, 63, 60}),
          entryOf({81, 77, 72, 72, 68, 63, 63}), entryOf({81, 72, 63})};
}

std::string sampleTimingListText(const SampleTimingEntry& entry) {
  std::string text;
  const int count = entry.count > kSampleTimingMax ? kSampleTimingMax : entry.count;
  for (int i = 0; i < count; ++i) {
    text += std::to_string(entry.values[static_cast<std::size_t>(i)]);
    text += ',';
  }
  return text;
}

SampleTimingParse parseSampleTimingList(std::string_view text) {
  SampleTimingParse result;
  std::vector<std::string_view> items;
  for (;;) {
    const std::size_t comma = text.find(',');
    items.push_back(trimBlanks(text.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  result.itemCount = items.size();
  for (std::size_t i = 0; i + 1 < items.size(); ++i) {
    const std::optional<std::int32_t> v = parseDecimal(items[i]);
    if (!v) {
      result.entry = SampleTimingEntry{};
      result.badItem = std::string(items[i]);
      return result;
    }
    if (result.entry.count < kSampleTimingMax) {
      // Narrowed to 8 bits, as the table holds them.
      result.entry.values[result.entry.count++] = static_cast<std::uint8_t>(*v);
    }
  }
  return result;
}

SettingsLoadResult loadSettings(const IniFile& ini, std::chrono::year_month_day today) {
  const IniFile::Batch batch = ini.batch();
  SettingsLoadResult result;
  Settings& s = result.settings;

  for (int row = 1; row <= kRxMailboxCount; ++row) {
    RxMailboxSettings& rx = s.rx[static_cast<std::size_t>(row - 1)];
    rx.boxChecked = ini.readBool(kRxConf, rowKey("RXBOXCHK", row), false);
    rx.id = ini.readString(kRxConf, rowKey("RXID", row), "0");
    rx.mask = ini.readString(kRxConf, rowKey("RXMASK", row), "0");
    rx.dlc = clampDlc(ini.readInteger(kRxConf, rowKey("RXDLC", row), 0));
    rx.data = ini.readString(kRxConf, rowKey("RXDATA", row), "");
    rx.ide = ini.readBool(kRxConf, rowKey("RXRTR", row), false);
  }
  for (int row = 1; row <= kTxMailboxCount; ++row) {
    TxMailboxSettings& tx = s.tx[static_cast<std::size_t>(row - 1)];
    tx.boxChecked = ini.readBool(kTxConf, rowKey("TXBOXCHK", row), false);
    tx.id = ini.readString(kTxConf, rowKey("TXID", row), "0");
    tx.dlc = clampDlc(ini.readInteger(kTxConf, rowKey("TXDLC", row), 0));
    tx.ide = ini.readBool(kTxConf, rowKey("TXRTR", row), false);
    tx.data = ini.readString(kTxConf, rowKey("TXDATA", row), "");
  }

  s.option.rxDataFormat = ini.readInteger(kOption, "RXDATAFORMAT", 0);
  s.option.term = ini.readBool(kOption, "TERM", true);
  s.option.consoleMode = ini.readInteger(kOption, "COSOLEMODE", 0);

  // The port number has always been kept in a signed 8-bit field: 200 reads as -56.
  s.uart.comm = static_cast<std::int8_t>(ini.readInteger(kUart, "COMM", 1));
  s.uart.rate = ini.readInteger(kUart, "RATE", 115200);
  s.uart.parity = ini.readInteger(kUart, "PARITY", 2);
  s.usb.productId = static_cast<std::uint16_t>(ini.readInteger(kUsb, "ProductID", 60930));
  s.usb.venderId = static_cast<std::uint16_t>(ini.readInteger(kUsb, "VenderID", 16962));

  // Log files are numbered per day: the counter only carries on from a file of today.
  const std::chrono::year_month_day lastLogDate = ini.readDate(kFile, "DATE", today);
  s.logCounter = lastLogDate == today ? ini.readInteger(kFile, "SAVEFILENUM", 0) : 0;

  const double level = ini.readFloat(kAd, "TRGLV", kDefaultTriggerLevel);
  const bool fitsFloat = std::fabs(level) <= std::numeric_limits<float>::max();
  s.ad.triggerLevel = fitsFloat ? static_cast<float>(level) : kDefaultTriggerLevel;
  s.ad.port = ini.readInteger(kAd, "PORT", 2);

  loadSampleTiming(ini, result);
  s.bitim.bitRate = ini.readInteger(kBitim, "BITRATE", 1);
  if (s.bitim.bitRate < -1 || s.bitim.bitRate >= kBitRateCount) {
    result.warnings.push_back("[BITIM] BITRATE=" + std::to_string(s.bitim.bitRate) +
                              ": there is no such bit rate; none is selected");
  }
  if (s.bitim.bitRate < 0 || s.bitim.bitRate >= kBitRateCount) s.bitim.bitRate = -1;
  s.bitim.timing = ini.readInteger(kBitim, "TIMING", 2);
  const int offered = s.bitim.bitRate < 0
                          ? 0
                          : s.bitim.sampleTiming[static_cast<std::size_t>(s.bitim.bitRate)].count;
  if (s.bitim.timing < 0 || s.bitim.timing >= offered) s.bitim.timing = -1;
  return result;
}

void saveSettings(IniFile& ini, const Settings& s) {
  const IniFile::Batch batch = ini.batch();
  ini.writeInteger(kUart, "COMM", s.uart.comm);
  ini.writeInteger(kUart, "RATE", s.uart.rate);
  ini.writeInteger(kUart, "PARITY", s.uart.parity);
  ini.writeInteger(kUsb, "ProductID", s.usb.productId);
  ini.writeInteger(kUsb, "VenderID", s.usb.venderId);

  for (int row = 1; row <= kTxMailboxCount; ++row) {
    const TxMailboxSettings& tx = s.tx[static_cast<std::size_t>(row - 1)];
    ini.writeBool(kTxConf, rowKey("TXBOXCHK", row), tx.boxChecked);
    writeText(ini, kTxConf, rowKey("TXID", row), tx.id);
    ini.writeInteger(kTxConf, rowKey("TXDLC", row), tx.dlc);
    ini.writeBool(kTxConf, rowKey("TXRTR", row), tx.ide);
    writeText(ini, kTxConf, rowKey("TXDATA", row), tx.data);
  }
  for (int row = 1; row <= kRxMailboxCount; ++row) {
    const RxMailboxSettings& rx = s.rx[static_cast<std::size_t>(row - 1)];
    ini.writeBool(kRxConf, rowKey("RXBOXCHK", row), rx.boxChecked);
    writeText(ini, kRxConf, rowKey("RXID", row), rx.id);
    writeText(ini, kRxConf, rowKey("RXMASK", row), rx.mask);
    ini.writeBool(kRxConf, rowKey("RXRTR", row), rx.ide);
    ini.writeInteger(kRxConf, rowKey("RXDLC", row), rx.dlc);
    writeText(ini, kRxConf, rowKey("RXDATA", row), rx.data);
  }

  ini.writeInteger(kOption, "RXDATAFORMAT", s.option.rxDataFormat);
  ini.writeBool(kOption, "TERM", s.option.term);
  ini.writeInteger(kOption, "COSOLEMODE", s.option.consoleMode);

  for (int i = 0; i < kBitRateCount; ++i) {
    ini.writeString(kBitim, kSampleTimingKeys[static_cast<std::size_t>(i)],
                    sampleTimingListText(s.bitim.sampleTiming[static_cast<std::size_t>(i)]));
  }
  ini.writeInteger(kBitim, "BITRATE", s.bitim.bitRate);
  ini.writeInteger(kBitim, "TIMING", s.bitim.timing);

  // Widened to double, so 2.2f is written as 2.20000004768372.
  ini.writeFloat(kAd, "TRGLV", static_cast<double>(s.ad.triggerLevel));
  ini.writeInteger(kAd, "PORT", s.ad.port);
  ini.commitBatch();
}

TtySettings loadTtySettings(const IniFile& ini) {
  const IniFile::Batch batch = ini.batch();
  TtySettings tty;
  tty.txMonitor = ini.readBool(kTty, "TXMONITOR", true);
  tty.txPacketUnit = ini.readBool(kTty, "TXPACKETUNIT", true);
  return tty;
}

void saveTtySettings(IniFile& ini, const TtySettings& tty) {
  const IniFile::Batch batch = ini.batch();
  ini.writeBool(kTty, "TXMONITOR", tty.txMonitor);
  ini.writeBool(kTty, "TXPACKETUNIT", tty.txPacketUnit);
  ini.commitBatch();
}

void saveLogFileKeys(IniFile& ini, std::chrono::year_month_day date, std::int32_t logCounter) {
  const IniFile::Batch batch = ini.batch();
  ini.writeDate(kFile, "DATE", date);
  ini.writeInteger(kFile, "SAVEFILENUM", logCounter);
  ini.commitBatch();
}

std::string defaultPortDevicePath(int comNumber) {
  if (comNumber < 1) {
    throw std::invalid_argument("COM" + std::to_string(comNumber) + " names no port");
  }
  return "/dev/ttyACM" + std::to_string(comNumber - 1);
}

std::optional<std::string> portDevicePath(const IniFile& ini, int comNumber) {
  if (comNumber < 1) return std::nullopt;
  std::optional<std::string> path = ini.readValue(kPorts, "COM" + std::to_string(comNumber));
  if (!path || path->empty()) return defaultPortDevicePath(comNumber);
  return path;
}

void savePortDevicePath(IniFile& ini, int comNumber, std::string_view devicePath) {
  if (comNumber < 1) {
    throw std::invalid_argument("COM" + std::to_string(comNumber) + " names no port");
  }
  writeText(ini, kPorts, "COM" + std::to_string(comNumber), std::string(devicePath));
}

std::chrono::year_month_day localToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return std::chrono::year_month_day{std::chrono::year(local.tm_year + 1900),
                                     std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
                                     std::chrono::day(static_cast<unsigned>(local.tm_mday))};
}

}  // namespace velqor
