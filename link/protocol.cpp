#include "link/protocol.h"

#include <algorithm>
#include <cmath>

namespace velqor {

std::array<std::uint8_t, RxMailboxRecord::kSize> RxMailboxRecord::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  b[0] = index;
  b[1] = enable;
  b[2] = ide;
  WriteBe32(&b[3], id);
  WriteBe32(&b[7], mask);
  b[11] = spare;
  return b;
}

RxMailboxRecord RxMailboxRecord::Decode(std::span<const std::uint8_t, kSize> b) {
  RxMailboxRecord r;
  r.index = b[0];
  r.enable = b[1];
  r.ide = b[2];
  r.id = ReadBe32(&b[3]);
  r.mask = ReadBe32(&b[7]);
  r.spare = b[11];
  return r;
}

std::array<std::uint8_t, TxRecord::kSize> TxRecord::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  b[0] = ide;
  WriteBe32(&b[1], id);
  b[5] = dlc;
  std::copy(data.begin(), data.end(), b.begin() + 6);
  return b;
}

TxRecord TxRecord::Decode(std::span<const std::uint8_t, kSize> b) {
  TxRecord r;
  r.ide = b[0];
  r.id = ReadBe32(&b[1]);
  r.dlc = b[5];
  std::copy(b.begin() + 6, b.end(), r.data.begin());
  return r;
}

std::array<std::uint8_t, ReceivedCanFrame::kSize> ReceivedCanFrame::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  b[0] = head;
  b[1] = ide;
  WriteBe32(&b[2], id);
  b[6] = dlc;
  std::copy(data.begin(), data.end(), b.begin() + 7);
  return b;
}

ReceivedCanFrame ReceivedCanFrame::Decode(std::span<const std::uint8_t, kSize> b) {
  ReceivedCanFrame r;
  r.head = b[0];
  r.ide = b[1];
  r.id = ReadBe32(&b[2]);
  r.dlc = b[6];
  std::copy(b.begin() + 7, b.end(), r.data.begin());
  return r;
}

std::array<std::uint8_t, WaveformBlock::kSize> WaveformBlock::Encode() const {
  std::array<std::uint8_t, kSize> b{};
  b[0] = head[0];
  b[1] = head[1];
  b[2] = static_cast<std::uint8_t>(interval >> 8);
  b[3] = static_cast<std::uint8_t>(interval);
  std::copy(samples.begin(), samples.end(), b.begin() + 4);
  b[204] = tail[0];
  b[205] = tail[1];
  return b;
}

WaveformBlock WaveformBlock::Decode(std::span<const std::uint8_t, kSize> b) {
  WaveformBlock w;
  w.head = {b[0], b[1]};
  w.interval = static_cast<std::uint16_t>((b[2] << 8) | b[3]);
  std::copy(b.begin() + 4, b.begin() + 4 + kSamples, w.samples.begin());
  w.tail = {b[204], b[205]};
  return w;
}

Frame MakeFrame(std::uint8_t category, std::uint8_t command,
                std::span<const std::uint8_t> payload) {
  const std::size_t n = std::min(payload.size(), kMaxPayload);
  Frame f;
  f.reserve(kFrameHeaderSize + n);
  f.push_back(kFrameStart);
  f.push_back(static_cast<std::uint8_t>(n + 2));
  f.push_back(category);
  f.push_back(command);
  f.insert(f.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n));
  return f;
}

namespace {
Frame Config(std::uint8_t command, std::initializer_list<std::uint8_t> payload = {}) {
  return MakeFrame(Category::Config, command, std::span(payload.begin(), payload.size()));
}
}  // namespace

Frame SetRxMailbox(const RxMailboxRecord& record) {
  const auto b = record.Encode();
  return MakeFrame(Category::Config, Cmd::SetRxMailbox, b);
}
Frame GetRxMailbox(std::uint8_t index) { return Config(Cmd::GetRxMailbox, {index}); }
Frame SetTerminator(std::uint8_t value) { return Config(Cmd::SetTerminator, {value}); }
Frame GetTerminator() { return Config(Cmd::GetTerminator); }
Frame GetTimingTable(std::uint8_t bitRateIndex) {
  return Config(Cmd::GetTimingTable, {bitRateIndex});
}
Frame GetBitTiming() { return Config(Cmd::GetBitTiming); }
Frame SetBitTiming(std::uint8_t bitRateIndex, std::uint8_t sampleTimingIndex) {
  return Config(Cmd::SetBitTiming, {bitRateIndex, sampleTimingIndex});
}
Frame SetConsoleFormat(std::uint8_t format) { return Config(Cmd::SetConsoleFormat, {format}); }
Frame GetConsoleFormat() { return Config(Cmd::GetConsoleFormat); }
Frame StoreParams() { return Config(Cmd::StoreParams); }
Frame GetFirmwareVersion() { return Config(Cmd::GetFirmwareVersion); }
Frame GetDeviceName() { return Config(Cmd::GetDeviceName); }

std::vector<TxRecord> SentCanFrameRecords(std::span<const std::uint8_t> block) {
  std::vector<TxRecord> records;
  std::size_t at = 0;
  while (at + kFrameHeaderSize <= block.size() && block[at] == kFrameStart && block[at + 1] >= 2) {
    const std::size_t end = at + 2 + block[at + 1];  // start, length, then `length` bytes
    if (end > block.size()) break;
    if (block[at + 2] == Category::Can && block[at + 3] == Cmd::SendCanFrame &&
        end - at >= kFrameHeaderSize + TxRecord::kSize) {
      records.push_back(
          TxRecord::Decode(block.subspan(at + kFrameHeaderSize).first<TxRecord::kSize>()));
    }
    at = end;
  }
  return records;
}

Frame SendCanFrame(const TxRecord& record) {
  const auto b = record.Encode();
  return MakeFrame(Category::Can, Cmd::SendCanFrame, b);
}

Frame SetTrigger(std::uint8_t port, std::uint8_t level) {
  const std::uint8_t p[] = {port, level};
  return MakeFrame(Category::Wave, Cmd::SetTrigger, p);
}

Frame SetCaptureMode(std::uint8_t mode) {
  const std::uint8_t p[] = {mode};
  return MakeFrame(Category::Wave, Cmd::SetCaptureMode, p);
}

std::uint8_t TriggerLevelByte(long double volts) {
  const long double tenths = std::trunc(volts * 10.0L);
  if (!std::isfinite(tenths)) return 0;
  // The low eight bits of the integer, also for values far beyond any integer type.
  long double low = std::fmod(tenths, 256.0L);
  if (low < 0) low += 256.0L;
  return static_cast<std::uint8_t>(static_cast<int>(low));
}

std::string TextPayload(std::span<const std::uint8_t> payload) {
  const auto n = std::min(payload.size(), kTextPayloadSize);
  const auto end =
      std::find(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(n), std::uint8_t{0});
  return std::string(payload.begin(), end);
}

}  // namespace velqor
