#include "sim/adapter_params.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace velqor {

std::span<const std::uint8_t> SampleTimingList(std::uint8_t bitRateIndex) {
  switch (bitRateIndex) {
    case 0:
      return kTiming250;
    case 1:
      return kTiming500;
    case 2:
      return kTiming1000;
    default:
      return {};
  }
}

AdapterParams AdapterParams::Factory() {
  AdapterParams p;
  for (int i = 0; i < kRxMailboxCount; ++i) p.mailboxes[i].index = static_cast<std::uint8_t>(i);
  p.mailboxes[0].enable = 1;  // every standard identifier
  p.mailboxes[1].enable = 1;  // every extended identifier
  p.mailboxes[1].ide = 1;
  return p;
}

bool MailboxInRange(const RxMailboxRecord& r) {
  return r.index < kRxMailboxCount && r.enable <= 1 && r.ide <= 1 && r.id <= MaxIdentifier(r.ide);
}

bool AdapterParams::Valid() const {
  if (bitRateIndex > 2 || sampleTimingIndex >= SampleTimingList(bitRateIndex).size()) return false;
  if (terminator > 1 || consoleFormat > 1) return false;
  for (int i = 0; i < kRxMailboxCount; ++i) {
    if (mailboxes[i].index != i || !MailboxInRange(mailboxes[i])) return false;
  }
  return true;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const std::uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

namespace {
constexpr std::uint8_t kMagic[4] = {'V', 'Q', 'E', 'E'};
constexpr std::uint8_t kLayoutVersion = 1;
constexpr std::size_t kMailboxOffset = 12;
constexpr std::size_t kCrcOffset = kMailboxOffset + kRxMailboxCount * RxMailboxRecord::kSize;
static_assert(kCrcOffset + 4 == kEepromImageSize);
}  // namespace

std::vector<std::uint8_t> EncodeEeprom(const AdapterParams& params) {
  std::vector<std::uint8_t> image(kEepromImageSize, 0);
  std::copy(std::begin(kMagic), std::end(kMagic), image.begin());
  image[4] = kLayoutVersion;
  image[5] = params.bitRateIndex;
  image[6] = params.sampleTimingIndex;
  image[7] = params.terminator;
  image[8] = params.consoleFormat;
  for (int i = 0; i < kRxMailboxCount; ++i) {
    RxMailboxRecord r = params.mailboxes[i];
    r.spare = 0;
    const auto bytes = r.Encode();
    std::copy(bytes.begin(), bytes.end(), image.begin() + kMailboxOffset + i * bytes.size());
  }
  WriteBe32(&image[kCrcOffset], Crc32({image.data(), kCrcOffset}));
  return image;
}

std::optional<AdapterParams> DecodeEeprom(std::span<const std::uint8_t> image, std::string& why) {
  if (image.size() != kEepromImageSize) {
    why = "is " + std::to_string(image.size()) + " bytes long, expected " +
          std::to_string(kEepromImageSize);
    return std::nullopt;
  }
  if (!std::equal(std::begin(kMagic), std::end(kMagic), image.begin())) {
    why = "does not start with VQEE";
    return std::nullopt;
  }
  if (image[4] != kLayoutVersion) {
    why = "has layout version " + std::to_string(image[4]) + ", expected 1";
    return std::nullopt;
  }
  if (ReadBe32(&image[kCrcOffset]) != Crc32(image.first(kCrcOffset))) {
    why = "fails its checksum";
    return std::nullopt;
  }
  AdapterParams p;
  p.bitRateIndex = image[5];
  p.sampleTimingIndex = image[6];
  p.terminator = image[7];
  p.consoleFormat = image[8];
  for (int i = 0; i < kRxMailboxCount; ++i) {
    p.mailboxes[i] = RxMailboxRecord::Decode(
        image.subspan(kMailboxOffset + i * RxMailboxRecord::kSize).first<RxMailboxRecord::kSize>());
  }
  if (!p.Valid()) {
    why = "holds a value out of range";
    return std::nullopt;
  }
  return p;
}

EepromLoad LoadEeprom(const std::filesystem::path& path, AdapterParams& params) {
  params = AdapterParams::Factory();
  EepromLoad result;
  if (path.empty()) {
    result.status = EepromLoad::Status::NoPath;
    result.message = "no EEPROM file given: factory settings, kept in memory only";
    return result;
  }
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    result.status = EepromLoad::Status::NoFile;
    result.message = "EEPROM file " + path.string() + " does not exist yet: factory settings";
    return result;
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> image;
  if (in) {
    // One byte more than an image can hold is enough to tell that the file is too long.
    image.resize(kEepromImageSize + 1);
    in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    image.resize(static_cast<std::size_t>(in.gcount()));
  }
  if (!in && !in.eof()) {
    result.status = EepromLoad::Status::Invalid;
    result.message = "EEPROM file " + path.string() + " cannot be read: factory settings";
    return result;
  }
  std::string why;
  if (auto p = DecodeEeprom(image, why)) {
    params = *p;
    result.status = EepromLoad::Status::Loaded;
    result.message = "parameters loaded from " + path.string();
  } else {
    result.status = EepromLoad::Status::Invalid;
    result.message = "EEPROM file " + path.string() + " " + why + ": factory settings";
  }
  return result;
}

namespace {

std::string Errno(const char* what, const std::filesystem::path& path) {
  return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
}

}  // namespace

std::string SaveEeprom(const std::filesystem::path& path, std::span<const std::uint8_t> image) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  int fd;
  do {
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Errno("cannot create", temp);

  std::size_t done = 0;
  while (done < image.size()) {
    const ssize_t n = ::write(fd, image.data() + done, image.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::string error = Errno("cannot write", temp);
      ::close(fd);
      ::unlink(temp.c_str());
      return error;
    }
    done += static_cast<std::size_t>(n);
  }
  int rc;
  do {
    rc = ::fsync(fd);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    std::string error = Errno("cannot flush", temp);
    ::close(fd);
    ::unlink(temp.c_str());
    return error;
  }
  if (::close(fd) < 0 && errno != EINTR) {
    std::string error = Errno("cannot close", temp);
    ::unlink(temp.c_str());
    return error;
  }
  if (::rename(temp.c_str(), path.c_str()) < 0) {
    std::string error = Errno("cannot rename to", path);
    ::unlink(temp.c_str());
    return error;
  }
  return {};
}

}  // namespace velqor
