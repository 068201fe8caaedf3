#include "link/hid_hidraw.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace velqor {

namespace {

int RetryOpen(const char* path, int flags) {
  int fd;
  do {
    fd = ::open(path, flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
  return text;
}

bool ParseHex(std::string_view text, std::uint32_t& value) {
  if (text.empty() || text.size() > 8) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return ec == std::errc() && end == text.data() + text.size();
}

// The number after "hidraw", or nullopt for any other name.
std::optional<unsigned> HidrawNumber(std::string_view name) {
  constexpr std::string_view kPrefix = "hidraw";
  if (name.substr(0, kPrefix.size()) != kPrefix || name.size() == kPrefix.size())
    return std::nullopt;
  unsigned number = 0;
  const char* first = name.data() + kPrefix.size();
  const char* last = name.data() + name.size();
  const auto [end, ec] = std::from_chars(first, last, number, 10);
  if (ec != std::errc() || end != last) return std::nullopt;
  return number;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class HidrawDevice final : public HidDevice {
 public:
  HidrawDevice(int fd, HidReportLengths lengths, std::string path)
      : m_fd(fd), m_lengths(lengths), m_path(std::move(path)) {}
  ~HidrawDevice() override { ::close(m_fd); }

  std::size_t InputReportLength() const override { return m_lengths.input; }
  std::size_t OutputReportLength() const override { return m_lengths.output; }
  int PollDescriptor() const override { return m_fd; }

  HidIoResult ReadReport(std::span<std::uint8_t> report) override {
    const std::size_t length = m_lengths.input;
    // Open refuses a device without input reports; "no report" here would leave a report
    // waiting and the reader polling it without end.
    if (length == 0) return Fail(EINVAL, "read");
    if (report.size() < length) return Fail(EINVAL, "read");
    // A device that numbers its reports gives the ID as the first byte; hidraw returns the
    // report of a device without report IDs as it is, so ID 0 goes in front.
    std::uint8_t* into = m_lengths.numbered ? report.data() : report.data() + 1;
    const std::size_t room = m_lengths.numbered ? length : length - 1;
    ssize_t n;
    do {
      n = ::read(m_fd, into, room);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      if (errno == EAGAIN) return {HidIoStatus::NoReport, {}};
      // hidraw answers a read on a removed device with EIO.
      if (errno == EIO || errno == ENODEV)
        return {HidIoStatus::Gone, HidSystemError(ENODEV, "read " + m_path)};
      return Fail(errno, "read");
    }
    std::size_t got = static_cast<std::size_t>(n);
    if (!m_lengths.numbered) {
      report[0] = 0;
      ++got;
    }
    std::fill(report.begin() + static_cast<std::ptrdiff_t>(got),
              report.begin() + static_cast<std::ptrdiff_t>(length), std::uint8_t{0});
    return {};
  }

  HidIoResult WriteReport(std::span<const std::uint8_t> report) override {
    // Report ID 0 leads; for a device without numbered reports the kernel strips it.
    ssize_t n;
    do {
      n = ::write(m_fd, report.data(), report.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      if (errno == ENODEV || errno == ESHUTDOWN)
        return {HidIoStatus::Gone, HidSystemError(errno, "write " + m_path)};
      return Fail(errno, "write");
    }
    if (static_cast<std::size_t>(n) != report.size()) {
      HidError error;
      error.kind = HidErrorKind::Other;
      error.text = "write " + m_path + ": the report was sent short (" + std::to_string(n) +
                   " of " + std::to_string(report.size()) + " bytes)";
      return {HidIoStatus::Failed, error};
    }
    return {};
  }

 private:
  HidIoResult Fail(int errnum, const char* what) {
    return {HidIoStatus::Failed, HidSystemError(errnum, std::string(what) + " " + m_path)};
  }

  int m_fd;
  HidReportLengths m_lengths;
  std::string m_path;
};

}  // namespace

std::optional<HidId> ParseUeventHidId(std::string_view text) {
  constexpr std::string_view kKey = "HID_ID=";
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, kKey.size()) != kKey) continue;
    line.remove_prefix(kKey.size());
    // bus:vendor:product, each hexadecimal (4, 8 and 8 digits as the kernel writes them).
    const auto colon1 = line.find(':');
    const auto colon2 = colon1 == std::string_view::npos ? colon1 : line.find(':', colon1 + 1);
    if (colon2 == std::string_view::npos) return std::nullopt;
    std::uint32_t bus = 0, vendor = 0, product = 0;
    if (!ParseHex(line.substr(0, colon1), bus) ||
        !ParseHex(line.substr(colon1 + 1, colon2 - colon1 - 1), vendor) ||
        !ParseHex(line.substr(colon2 + 1), product))
      return std::nullopt;
    if (bus > 0xFFFF || vendor > 0xFFFF || product > 0xFFFF) return std::nullopt;
    return HidId{static_cast<std::uint16_t>(bus), static_cast<std::uint16_t>(vendor),
                 static_cast<std::uint16_t>(product)};
  }
  return std::nullopt;
}

ReportDescriptorParse ParseReportDescriptor(std::span<const std::uint8_t> d) {
  ReportDescriptorParse result;
  struct Globals {
    std::uint64_t reportSize = 0;   // bits per field
    std::uint64_t reportCount = 0;  // fields
    std::uint32_t reportId = 0;
  };
  constexpr std::size_t kMaxStack = 32;
  // Bits per report ID and kind; a report above this many bits is refused.
  constexpr std::uint64_t kMaxBits = std::uint64_t{8} * kMaxHidReportLength;
  std::array<std::uint64_t, 256> inputBits{}, outputBits{}, featureBits{};
  std::vector<Globals> stack;
  Globals g;
  int depth = 0;

  auto fail = [&](std::size_t offset, const std::string& what,
                  HidErrorKind kind = HidErrorKind::BadDescriptor) {
    result.error = "report descriptor byte " + std::to_string(offset) + ": " + what;
    result.errorKind = kind;
    return result;
  };

  std::size_t i = 0;
  while (i < d.size()) {
    const std::uint8_t prefix = d[i];
    if (prefix == 0xFE) {  // long item: 0xFE, data size, tag, data
      if (i + 2 >= d.size()) return fail(i, "long item cut short");
      const std::size_t size = d[i + 1];
      if (i + 3 + size > d.size()) return fail(i, "long item cut short");
      i += 3 + size;
      continue;
    }
    const std::size_t sizeCode = prefix & 3u;
    const std::size_t size = sizeCode == 3 ? 4 : sizeCode;
    if (i + 1 + size > d.size())
      return fail(i, "item " + Hex2(prefix) + " needs " + std::to_string(size) +
                         " data bytes, the descriptor ends first");
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < size; ++k) value |= std::uint32_t{d[i + 1 + k]} << (8 * k);
    const unsigned type = (prefix >> 2) & 3u;
    const unsigned tag = prefix >> 4;

    auto add = [&](std::array<std::uint64_t, 256>& bits) -> bool {
      const std::uint64_t more = g.reportSize * g.reportCount;  // both below 2^32
      if (more > kMaxBits - bits[g.reportId]) return false;
      bits[g.reportId] += more;
      return true;
    };

    if (type == 0) {  // main items
      switch (tag) {
        case 0x8:  // Input
          if (!add(inputBits))
            return fail(i, "input report longer than the largest we handle", HidErrorKind::TooLong);
          break;
        case 0x9:  // Output
          if (!add(outputBits))
            return fail(i, "output report longer than the largest we handle",
                        HidErrorKind::TooLong);
          break;
        case 0xB:  // Feature
          if (!add(featureBits))
            return fail(i, "feature report longer than the largest we handle",
                        HidErrorKind::TooLong);
          break;
        case 0xA:  // Collection
          ++depth;
          break;
        case 0xC:  // End Collection
          if (depth == 0) return fail(i, "End Collection without Collection");
          --depth;
          break;
        default:
          break;
      }
    } else if (type == 1) {  // global items
      switch (tag) {
        case 0x7:
          g.reportSize = value;
          break;
        case 0x9:
          g.reportCount = value;
          break;
        case 0x8:
          if (value == 0 || value > 255) return fail(i, "report ID " + std::to_string(value));
          g.reportId = value;
          result.lengths.numbered = true;
          break;
        case 0xA:  // Push
          if (stack.size() >= kMaxStack) return fail(i, "Push nested too deep");
          stack.push_back(g);
          break;
        case 0xB:  // Pop
          if (stack.empty()) return fail(i, "Pop without Push");
          g = stack.back();
          stack.pop_back();
          break;
        default:
          break;
      }
    }
    // Local items (usages, designators, strings, delimiters) do not change report lengths.
    i += 1 + size;
  }
  if (depth != 0) return fail(d.size(), std::to_string(depth) + " collection(s) left open");

  auto bytes = [](const std::array<std::uint64_t, 256>& bits) -> std::size_t {
    const std::uint64_t most = *std::max_element(bits.begin(), bits.end());
    // Windows counts the report-ID byte also for a device without report IDs.
    return most == 0 ? 0 : static_cast<std::size_t>((most + 7) / 8 + 1);
  };
  result.lengths.input = bytes(inputBits);
  result.lengths.output = bytes(outputBits);
  result.lengths.feature = bytes(featureBits);
  return result;
}

std::vector<std::uint8_t> ReadSysfsReportDescriptor(const std::string& sysRoot,
                                                    const std::string& node) {
  std::ifstream in(sysRoot + "/" + node + "/device/report_descriptor", std::ios::binary);
  if (!in) return {};
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

HidrawPlatform::HidrawPlatform(std::string sysRoot, std::string devRoot)
    : m_sysRoot(std::move(sysRoot)), m_devRoot(std::move(devRoot)) {}

HidrawPlatform::~HidrawPlatform() {
  if (m_inotify >= 0) ::close(m_inotify);
}

std::vector<HidDeviceInfo> HidrawPlatform::Enumerate() {
  std::vector<std::pair<unsigned, std::string>> nodes;
  if (DIR* dir = ::opendir(m_sysRoot.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      if (const auto number = HidrawNumber(entry->d_name))
        nodes.emplace_back(*number, entry->d_name);
    }
    ::closedir(dir);
  }
  std::sort(nodes.begin(), nodes.end());

  std::vector<HidDeviceInfo> devices;
  for (const auto& [number, name] : nodes) {
    std::ifstream in(m_sysRoot + "/" + name + "/device/uevent");
    if (!in) continue;
    std::stringstream text;
    text << in.rdbuf();
    const auto id = ParseUeventHidId(text.str());
    if (!id) continue;
    devices.push_back({m_devRoot + "/" + name, id->vendor, id->product});
  }
  return devices;
}

std::unique_ptr<HidDevice> HidrawPlatform::Open(const std::string& path, HidError& error) {
  error = {};
  const int fd = RetryOpen(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    error = HidSystemError(errno, "open " + path);
    return nullptr;
  }
  auto fail = [&](HidError e) -> std::unique_ptr<HidDevice> {
    ::close(fd);
    error = std::move(e);
    return nullptr;
  };

  hidraw_devinfo info{};
  if (::ioctl(fd, HIDIOCGRAWINFO, &info) < 0) return fail(HidSystemError(errno, path));

  std::vector<std::uint8_t> descriptor;
  int size = 0;
  hidraw_report_descriptor raw{};
  if (::ioctl(fd, HIDIOCGRDESCSIZE, &size) == 0 && size > 0 &&
      static_cast<std::size_t>(size) <= sizeof raw.value) {
    raw.size = static_cast<std::uint32_t>(size);
    if (::ioctl(fd, HIDIOCGRDESC, &raw) == 0) descriptor.assign(raw.value, raw.value + raw.size);
  }
  if (descriptor.empty()) descriptor = ReadSysfsReportDescriptor(m_sysRoot, BaseName(path));
  HidReportLengths lengths;
  if (HidError e = CheckReportDescriptor(path, descriptor, lengths)) return fail(std::move(e));
  return std::make_unique<HidrawDevice>(fd, lengths, path);
}

HidError CheckReportDescriptor(const std::string& path, std::span<const std::uint8_t> descriptor,
                               HidReportLengths& lengths) {
  HidError e;
  e.kind = HidErrorKind::BadDescriptor;
  if (descriptor.empty()) {
    e.text = path + ": the report descriptor cannot be read";
    return e;
  }
  const ReportDescriptorParse parsed = ParseReportDescriptor(descriptor);
  if (!parsed.ok()) {
    e.kind = parsed.errorKind;
    e.text = path + ": " + parsed.error;
    return e;
  }
  if (parsed.lengths.input == 0) {
    e.text = path + ": the report descriptor declares no input report, so nothing the device " +
             "sends could be read";
    return e;
  }
  lengths = parsed.lengths;
  return {};
}

int HidrawPlatform::HotplugDescriptor() {
  if (m_inotify >= 0) return m_inotify;
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return -1;
  if (::inotify_add_watch(fd, m_devRoot.c_str(), IN_CREATE) < 0) {
    ::close(fd);
    return -1;
  }
  m_inotify = fd;
  return m_inotify;
}

int HidrawPlatform::TakeArrivals() {
  if (m_inotify < 0) return 0;
  int arrivals = 0;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if ((event->mask & IN_CREATE) && event->len > 0 && HidrawNumber(event->name)) ++arrivals;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return arrivals;
}

}  // namespace velqor
