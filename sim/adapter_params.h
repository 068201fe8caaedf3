#pragma once
// The adapter's operating parameters and the EEPROM image that keeps them across power
// cycles: sixteen receive mailboxes, bit rate, sample timing, terminator, console format.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/adapter_limits.h"
#include "link/protocol.h"

namespace velqor {

// The adapter's own sample-timing lists (sample point in percent), per bit-rate index.
// A sample-timing index is a position in the list of the current bit rate.
inline constexpr std::array<std::uint8_t, 15> kTiming250 = {83, 81, 78, 77, 75, 73, 72, 72,
                                                            68, 68, 66, 63, 63, 63, 60};
inline constexpr std::array<std::uint8_t, 7> kTiming500 = {81, 77, 72, 72, 68, 63, 63};
inline constexpr std::array<std::uint8_t, 3> kTiming1000 = {81, 72, 63};
std::span<const std::uint8_t> SampleTimingList(std::uint8_t bitRateIndex);  // empty if > 2

// Largest identifier for an 11-bit (ide 0) or 29-bit (ide 1) frame.
constexpr std::uint32_t MaxIdentifier(std::uint8_t ide) { return ide ? 0x1FFFFFFFu : 0x7FFu; }

struct AdapterParams {
  std::array<RxMailboxRecord, kRxMailboxCount> mailboxes{};
  std::uint8_t bitRateIndex = 1;
  std::uint8_t sampleTimingIndex = 2;
  std::uint8_t terminator = kTerminatorOn;
  std::uint8_t consoleFormat = kConsoleNormal;

  // Factory settings: mailbox 1 (index 0) takes every standard identifier, mailbox 2
  // (index 1) every extended one, the rest are disabled; 500 kbit/s, sample-timing index 2,
  // terminator on, console "Normal Mode".
  static AdapterParams Factory();
  // True when every field lies in the range the adapter accepts.
  bool Valid() const;
  bool operator==(const AdapterParams&) const = default;
};

// True when a mailbox record can be taken as it is: index 0..15, enable and ide 0 or 1 and an
// identifier that fits 11 bits (ide 0) or 29 bits (ide 1). The mask is not limited: only its
// bits inside the identifier's width take part in filtering.
bool MailboxInRange(const RxMailboxRecord& record);

// EEPROM image layout (208 bytes): "VQEE", layout version 1, bit-rate index, sample-timing
// index, terminator, console format, three zero bytes, the sixteen 12-byte mailbox records
// as sent on the wire, and a CRC-32 (IEEE 802.3) of everything before it, big-endian.
inline constexpr std::size_t kEepromImageSize = 208;
std::vector<std::uint8_t> EncodeEeprom(const AdapterParams& params);
// The parameters of an image, or nothing with the reason in `why`.
std::optional<AdapterParams> DecodeEeprom(std::span<const std::uint8_t> image, std::string& why);

struct EepromLoad {
  enum class Status { NoPath, NoFile, Loaded, Invalid };
  Status status = Status::NoPath;
  std::string message;  // what happened, for the log of the tool that runs the model
};

// Reads the parameters from `path`; anything but a valid image leaves `params` at the factory
// settings and says why.
EepromLoad LoadEeprom(const std::filesystem::path& path, AdapterParams& params);

// Writes the image to `path` atomically: a temporary file beside it, flushed to disk, then
// renamed over the old one, so a crash leaves either the old or the new image. Returns an
// empty text on success, else what failed.
std::string SaveEeprom(const std::filesystem::path& path, std::span<const std::uint8_t> image);

std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

}  // namespace velqor
