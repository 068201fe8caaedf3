#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/adapter_limits.h"
#include "common/ini_file.h"

namespace velqor {

// The settings file of the program, in the working directory.
inline constexpr char kSettingsFilePath[] = "./Velqor.INI";

// The sample points (percent) offered for one bit rate.
struct SampleTimingEntry {
  std::array<std::uint8_t, kSampleTimingMax> values{};
  std::uint8_t count = 0;  // values[0 .. count-1] are used; never above kSampleTimingMax

  friend bool operator==(const SampleTimingEntry&, const SampleTimingEntry&) = default;
};

// One entry per bit-rate index (0 = 250 kbit/s, 1 = 500 kbit/s, 2 = 1 Mbit/s).
using SampleTimingTable = std::array<SampleTimingEntry, kBitRateCount>;

// The built-in lists, used when a list is missing from the file or cannot be read. They keep
// every number: 250 kbit/s offers 15 values, 500 kbit/s 7 (72 at index 2), 1 Mbit/s 3.
SampleTimingTable defaultSampleTimingTable();

// A transmit mailbox row, section TXCONF, keys <stem><row>.
struct TxMailboxSettings {
  bool boxChecked = false;  // TXBOXCHK: MBox, takes part in ALL SEND
  std::string id = "0";     // TXID: EditIdTx, hexadecimal text
  std::int32_t dlc = 0;     // TXDLC: CSpinDLC, 0..kMaxDlc (the spin edit's range)
  bool ide = false;         // TXRTR: ChkTxIde, extended identifier
  std::string data;         // TXDATA: MaskEdit text

  friend bool operator==(const TxMailboxSettings&, const TxMailboxSettings&) = default;
};

// A receive mailbox row, section RXCONF, keys <stem><row>.
struct RxMailboxSettings {
  bool boxChecked = false;  // RXBOXCHK: Chrx, mailbox enabled
  std::string id = "0";     // RXID: EditIdRx
  std::string mask = "0";   // RXMASK: EditRxMask
  bool ide = false;         // RXRTR: ChkRxIde
  std::int32_t dlc = 0;     // RXDLC: SpinRxDlc, 0..kMaxDlc
  std::string data;         // RXDATA: MaskEditRx text

  friend bool operator==(const RxMailboxSettings&, const RxMailboxSettings&) = default;
};

struct OptionSettings {
  std::int32_t rxDataFormat = 0;  // RXDATAFORMAT: RxDispFormat, 0 "HEX", 1 "DEC"
  bool term = true;               // TERM: ChkTerm
  std::int32_t consoleMode = 0;   // COSOLEMODE: RadioTerminalForm

  friend bool operator==(const OptionSettings&, const OptionSettings&) = default;
};

struct UartSettings {
  std::int8_t comm = 1;        // COMM: port number, narrowed to a signed 8-bit number
  std::int32_t rate = 115200;  // RATE: bit/s
  std::int32_t parity = 2;     // PARITY: 0 cpbNone, 1 cpbOdd, 2 cpbEven

  friend bool operator==(const UartSettings&, const UartSettings&) = default;
};

struct UsbSettings {
  std::uint16_t productId = kAdapterProductId;  // ProductID
  std::uint16_t venderId = kAdapterVendorId;    // VenderID

  friend bool operator==(const UsbSettings&, const UsbSettings&) = default;
};

struct AdSettings {
  float triggerLevel = 2.5f;  // TRGLV: TriggerLevel, volts
  std::int32_t port = 2;      // PORT: RadioCapPort, 0 CAN_L, 1 CAN_H, 2 Differential

  friend bool operator==(const AdSettings&, const AdSettings&) = default;
};

struct BitimSettings {
  SampleTimingTable sampleTiming = defaultSampleTimingTable();  // BT250, BT500, BT1000
  // BITRATE: CmbBitRate position, -1 when nothing is selected. Load leaves -1 for a
  // position the list does not have.
  std::int32_t bitRate = 1;
  // TIMING: CombSmpleTime position, -1 when nothing is selected. Load leaves -1 for a
  // position outside the selected bit rate's list, as the list box would.
  std::int32_t timing = 2;

  friend bool operator==(const BitimSettings&, const BitimSettings&) = default;
};

// Everything the main window loads at start and saves at exit, plus the log counter.
struct Settings {
  std::array<TxMailboxSettings, kTxMailboxCount> tx{};  // index i = row i + 1
  std::array<RxMailboxSettings, kRxMailboxCount> rx{};
  OptionSettings option;
  UartSettings uart;
  UsbSettings usb;
  // FILE: LogCounter, the number of the last log file opened today. Loaded, never saved
  // with the rest: the log code writes it when it opens a file (saveLogFileKeys).
  std::int32_t logCounter = 0;
  AdSettings ad;
  BitimSettings bitim;

  friend bool operator==(const Settings&, const Settings&) = default;
};

struct SettingsLoadResult {
  Settings settings;
  // One line for each value that could not be used as it stands and what was used instead.
  std::vector<std::string> warnings;
};

// Reads every key of the main window, in the order the window has always read them: RXCONF
// rows, TXCONF rows, OPTION, UART, USB, FILE, AD, BITIM, from one reading of the file (an
// IniFile batch). Missing or unreadable keys give their defaults. `today` decides whether the
// log counter carries on (FILE DATE is today) or starts again at 0.
SettingsLoadResult loadSettings(const IniFile& ini, std::chrono::year_month_day today);

// Writes every key of the main window in the order UART, USB, TXCONF, RXCONF, OPTION,
// BITIM, AD, which is the layout of a file created from scratch, as one write of the file
// (an IniFile batch). A text the window got from a value that is not UTF-8 (Shift-JIS written
// on Windows), and gives back unchanged apart from the replacement characters it showed,
// keeps the value's bytes. Stops at the first key that cannot be written by letting its
// SettingsWriteError through; the file then stays as it was.
void saveSettings(IniFile& ini, const Settings& settings);

// The sample-timing list as the file holds it: each value followed by a comma ("83,81,78,").
std::string sampleTimingListText(const SampleTimingEntry& entry);

struct SampleTimingParse {
  SampleTimingEntry entry;
  std::size_t itemCount = 0;           // items in the text, the last (dropped) one included
  std::optional<std::string> badItem;  // the first item that is not a decimal number
};

// Splits at commas (blanks around items dropped), drops the last item (the empty one after
// the final comma of a saved list) and stores the others narrowed to 8 bits, at most
// kSampleTimingMax of them. With a bad item the entry is left empty.
SampleTimingParse parseSampleTimingList(std::string_view text);

// The terminal window's keys, section TTY.
struct TtySettings {
  bool txMonitor = true;     // TXMONITOR
  bool txPacketUnit = true;  // TXPACKETUNIT

  friend bool operator==(const TtySettings&, const TtySettings&) = default;
};

// One reading and one write of the file each.
TtySettings loadTtySettings(const IniFile& ini);
void saveTtySettings(IniFile& ini, const TtySettings& tty);

// The log code's keys, section FILE: DATE (the date of the log file just opened) then
// SAVEFILENUM (its number), in one write of the file.
void saveLogFileKeys(IniFile& ini, std::chrono::year_month_day date, std::int32_t logCounter);

// The device path of COM port `comNumber`: section PORTS, key COM<n>; without that key (or
// with an empty value) /dev/ttyACM<n-1>, the adapter's USB CDC port. Nothing for numbers
// below 1, which name no port.
std::optional<std::string> portDevicePath(const IniFile& ini, int comNumber);
std::string defaultPortDevicePath(int comNumber);  // comNumber >= 1
// Throws std::invalid_argument for a number below 1. A path the dialog got from a value that
// is not UTF-8 keeps its bytes, as in saveSettings.
void savePortDevicePath(IniFile& ini, int comNumber, std::string_view devicePath);

// The local date today, for loadSettings and saveLogFileKeys.
std::chrono::year_month_day localToday();

}  // namespace velqor
