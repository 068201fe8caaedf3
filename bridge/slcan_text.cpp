#include "bridge/slcan_text.h"

namespace velqor::slcan {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// `digits` hexadecimal digits from the start of `text` (which holds at least that many).
std::optional<std::uint32_t> ParseHex(std::string_view text, std::size_t digits) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const int v = HexValue(text[i]);
    if (v < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(v);
  }
  return value;
}

// One decimal digit from '0' up to `highest`.
std::optional<unsigned> Digit(char c, char highest) {
  if (c < '0' || c > highest) return std::nullopt;
  return static_cast<unsigned>(c - '0');
}

// t/T/r/R: identifier, DLC digit, then data pairs for t/T and nothing for r/R.
Command ParseFrame(std::string_view line) {
  Command c;
  const char letter = line[0];
  const bool extended = letter == 'T' || letter == 'R';
  const bool remote = letter == 'r' || letter == 'R';
  const std::size_t idDigits = extended ? 8 : 3;
  if (line.size() < 1 + idDigits + 1) return c;
  auto id = ParseHex(line.substr(1), idDigits);
  const auto dlc = Digit(line[1 + idDigits], '8');
  if (!id || !dlc) return c;
  // Some hosts mark an extended identifier by setting bit 31 (SavvyCAN's LAWICEL connection
  // does); the 29 bits below it are the identifier.
  if (extended) *id &= 0x7FFFFFFFu;
  if (*id > (extended ? 0x1FFFFFFFu : 0x7FFu)) return c;
  const std::size_t dataDigits = remote ? 0 : 2 * *dlc;
  if (line.size() != 1 + idDigits + 1 + dataDigits) return c;
  for (unsigned i = 0; i < *dlc && !remote; ++i) {
    const auto byte = ParseHex(line.substr(2 + idDigits + 2 * i), 2);
    if (!byte) return c;
    c.frame.data[i] = static_cast<std::uint8_t>(*byte);
  }
  c.kind = remote ? CommandKind::TransmitRemote : CommandKind::Transmit;
  c.frame.id = *id;
  c.frame.ide = extended ? 1 : 0;
  c.frame.dlc = static_cast<std::uint8_t>(*dlc);
  if (remote) c.frame.flags = CanFrame::kRtr;
  return c;
}

}  // namespace

Command ParseCommand(std::string_view line) {
  Command c;
  if (line.empty()) {
    c.kind = CommandKind::Empty;
    return c;
  }
  if (line.size() > kMaxCommandLength) return c;
  const std::string_view rest = line.substr(1);
  auto single = [&](CommandKind kind) {
    if (rest.empty()) c.kind = kind;
    return c;
  };
  auto digit = [&](CommandKind kind, char highest) {
    if (rest.size() == 1) {
      if (const auto v = Digit(rest[0], highest)) {
        c.kind = kind;
        c.value = *v;
      }
    }
    return c;
  };
  auto word = [&](CommandKind kind) {
    if (rest.size() == 8) {
      if (const auto v = ParseHex(rest, 8)) {
        c.kind = kind;
        c.word = *v;
      }
    }
    return c;
  };
  switch (line[0]) {
    case 'O':
      return single(CommandKind::Open);
    case 'L':
      return single(CommandKind::ListenOnly);
    case 'C':
      return single(CommandKind::Close);
    case 'F':
      return single(CommandKind::Status);
    case 'V':
      return single(CommandKind::Version);
    case 'v':
      return single(CommandKind::DetailedVersion);
    case 'N':
      return single(CommandKind::SerialNumber);
    case 'P':
      return single(CommandKind::PollOne);
    case 'A':
      return single(CommandKind::PollAll);
    case 'S':
      return digit(CommandKind::BitRate, '9');
    case 'Z':
      return digit(CommandKind::Timestamps, '1');
    case 'X':
      return digit(CommandKind::AutoPoll, '1');
    case 'U':
      return digit(CommandKind::UartSpeed, '6');
    case 's':
      if (rest.size() == 4 && ParseHex(rest, 4)) c.kind = CommandKind::BitTimingRegs;
      return c;
    case 'M':
      return rest.size() == 1 ? digit(CommandKind::Mode, '1') : word(CommandKind::AcceptanceCode);
    case 'm':
      return word(CommandKind::AcceptanceMask);
    case 't':
    case 'T':
    case 'r':
    case 'R':
      return ParseFrame(line);
    default:
      return c;
  }
}

unsigned TimestampMs(const CanTime& time) {
  const std::int64_t ms = time.wallUs / 1000;
  const std::int64_t period = kTimestampPeriodMs;
  return static_cast<unsigned>(((ms % period) + period) % period);
}

std::size_t FormatFrame(const CanFrame& frame, bool timestamp, char* out) {
  if (frame.error()) return 0;
  const bool extended = frame.extended();
  std::size_t n = 0;
  out[n++] = frame.rtr() ? (extended ? 'R' : 'r') : (extended ? 'T' : 't');
  const std::uint32_t id = frame.id & (extended ? 0x1FFFFFFFu : 0x7FFu);
  for (int shift = extended ? 28 : 8; shift >= 0; shift -= 4)
    out[n++] = kHexDigits[(id >> shift) & 0xF];
  const std::uint8_t length = frame.length();
  out[n++] = static_cast<char>('0' + length);
  if (!frame.rtr()) {
    for (std::uint8_t i = 0; i < length; ++i) {
      out[n++] = kHexDigits[frame.data[i] >> 4];
      out[n++] = kHexDigits[frame.data[i] & 0xF];
    }
  }
  if (timestamp) {
    const unsigned ms = TimestampMs(frame.time);
    for (int shift = 12; shift >= 0; shift -= 4) out[n++] = kHexDigits[(ms >> shift) & 0xF];
  }
  out[n++] = kOk;
  return n;
}

std::optional<std::array<char, 4>> VersionDigits(std::string_view firmware) {
  unsigned numbers[2] = {0, 0};
  int found = 0;
  std::size_t i = 0;
  while (i < firmware.size() && found < 2) {
    if (firmware[i] < '0' || firmware[i] > '9') {
      ++i;
      continue;
    }
    unsigned value = 0;
    for (; i < firmware.size() && firmware[i] >= '0' && firmware[i] <= '9'; ++i) {
      value = value < 100 ? value * 10 + static_cast<unsigned>(firmware[i] - '0') : value;
    }
    numbers[found++] = value > 99 ? 99 : value;
  }
  if (found == 0) return std::nullopt;
  return std::array<char, 4>{
      static_cast<char>('0' + numbers[0] / 10), static_cast<char>('0' + numbers[0] % 10),
      static_cast<char>('0' + numbers[1] / 10), static_cast<char>('0' + numbers[1] % 10)};
}

}  // namespace velqor::slcan
