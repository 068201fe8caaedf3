#include "bridge/slcan_session.h"

#include <cstdlib>
#include <cstring>

#include "link/protocol.h"

namespace velqor {

using slcan::Command;
using slcan::CommandKind;

namespace {

// Sn -> the adapter's bit-rate index; -1 for the rates it does not have.
int BitRateIndex(unsigned n) {
  switch (n) {
    case 5:
      return 0;  // 250 kbit/s
    case 6:
      return 1;  // 500 kbit/s
    case 8:
      return 2;  // 1 Mbit/s
    default:
      return -1;
  }
}

// The position in a sample-timing list (percentages) nearest 87.5 %, the sample point CiA
// recommends for these rates; the first of equals.
std::uint8_t NearestSamplePoint(const std::uint8_t* values, std::size_t count) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < count; ++i) {
    if (std::abs(2 * values[i] - 175) < std::abs(2 * values[best] - 175)) best = i;
  }
  return static_cast<std::uint8_t>(best);
}

void Increment(std::atomic<std::uint64_t>& counter) {
  counter.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

SlcanSession::SlcanSession(DeviceSender& sender, HostFrameQueue& frames, SessionOptions options)
    : m_sender(sender),
      m_frames(frames),
      m_options(std::move(options)),
      m_timestamps(m_options.timestamps) {
  m_frames.SetAccepting(false);
}

SessionCounters SlcanSession::Counters() const {
  return {m_framesToHost.load(std::memory_order_relaxed),
          m_framesSent.load(std::memory_order_relaxed),
          m_sendsFailed.load(std::memory_order_relaxed),
          m_commandsRefused.load(std::memory_order_relaxed)};
}

std::size_t SlcanSession::TakeHostBytes(const std::uint8_t* bytes, std::size_t size,
                                        Clock::time_point now) {
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (c == '\n' && m_afterCr) {
      m_afterCr = false;
      continue;
    }
    if (c != '\r' && c != '\n') {
      m_afterCr = false;
      if (m_lineLength < sizeof m_line) {
        m_line[m_lineLength++] = c;
      } else {
        m_overlong = true;  // refused when its end comes; nothing is stored past the array
      }
      continue;
    }
    const Command command =
        m_overlong ? Command{} : slcan::ParseCommand(std::string_view(m_line, m_lineLength));
    if (!CanStart(command)) return i;  // the end of the line is offered again later
    m_lineLength = 0;
    m_overlong = false;
    m_afterCr = c == '\r';
    Execute(command, now);
  }
  return size;
}

bool SlcanSession::NeedsAdapter(const Command& c) const {
  switch (c.kind) {
    case CommandKind::Transmit:
      return m_channel == Channel::Open;
    case CommandKind::BitRate:
      return m_channel == Channel::Closed && BitRateIndex(c.value) >= 0;
    case CommandKind::Version:
    case CommandKind::DetailedVersion:
      return !m_firmware.has_value();
    default:
      return false;
  }
}

bool SlcanSession::CanStart(const Command& c) const {
  if (m_out.size() >= kOutputLimit || m_barrierWaiting) return false;
  if (!NeedsAdapter(c)) return true;
  if (c.kind == CommandKind::Transmit) return m_waitingSends < m_options.maxSendsInFlight;
  return m_waitingSends == 0;  // the others wait alone
}

void SlcanSession::Execute(const Command& c, Clock::time_point now) {
  const bool closed = m_channel == Channel::Closed;
  switch (c.kind) {
    case CommandKind::Empty:
      return Answer("\r");
    case CommandKind::Open:
    case CommandKind::ListenOnly: {
      const Channel wanted =
          c.kind == CommandKind::ListenOnly || m_silentMode ? Channel::ListenOnly : Channel::Open;
      // Opening again in the same mode changes nothing (python-can sends O twice); switching
      // modes needs a C first.
      if (!closed && m_channel != wanted) return Refuse();
      m_channel = wanted;
      m_frames.SetAccepting(true);
      return Answer("\r");
    }
    case CommandKind::Close:
      m_channel = Channel::Closed;
      m_frames.SetAccepting(false);
      m_batch.clear();
      m_batchNext = 0;
      return Answer("\r");
    case CommandKind::BitRate: {
      const int rate = BitRateIndex(c.value);
      if (!closed || rate < 0) return Refuse();
      Pending p;
      p.await = Await::BitTiming;
      p.rate = static_cast<std::uint8_t>(rate);
      if (!Send(GetBitTiming())) return Refuse();
      return StartWaiting(std::move(p), now);
    }
    case CommandKind::BitTimingRegs:
      return Refuse();
    case CommandKind::Transmit: {
      if (m_channel != Channel::Open) return Refuse();
      TxRecord record;
      record.ide = c.frame.ide;
      record.id = c.frame.id;
      record.dlc = c.frame.dlc;
      record.data = c.frame.data;
      if (!Send(SendCanFrame(record))) {
        Increment(m_sendsFailed);
        return Answer(std::string(1, slcan::kBell));
      }
      Pending p;
      p.await = Await::SendResult;
      ++m_waitingSends;
      return StartWaiting(std::move(p), now);
    }
    case CommandKind::TransmitRemote:
      return Refuse();
    case CommandKind::Status: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      const std::uint8_t flags = TakeStatusFlags();
      return Answer(std::string{'F', kHex[flags >> 4], kHex[flags & 0xF], '\r'});
    }
    case CommandKind::Version:
    case CommandKind::DetailedVersion: {
      const char letter = c.kind == CommandKind::Version ? 'V' : 'v';
      if (m_firmware) {
        const auto digits = slcan::VersionDigits(*m_firmware);
        if (!digits) return Refuse();
        return Answer(letter + std::string(digits->begin(), digits->end()) + "\r");
      }
      Pending p;
      p.await = Await::Firmware;
      p.letter = letter;
      if (!Send(GetFirmwareVersion())) return Refuse();
      return StartWaiting(std::move(p), now);
    }
    case CommandKind::SerialNumber: {
      std::string number = m_options.serialNumber;
      number.resize(4, '0');
      return Answer("N" + number + "\r");
    }
    case CommandKind::Timestamps:
      if (!closed) return Refuse();
      m_timestamps = c.value == 1;
      return Answer("\r");
    case CommandKind::AutoPoll:
      if (!closed) return Refuse();
      m_autoPoll = c.value == 1;
      return Answer("\r");
    case CommandKind::PollOne: {
      if (closed || m_autoPoll) return Refuse();
      CanFrame frame;
      if (!NextFrame(frame)) return Answer("\r");
      char line[slcan::kMaxFrameLineLength];
      const std::size_t n = slcan::FormatFrame(frame, m_timestamps, line);
      if (n > 0) Increment(m_framesToHost);
      return Answer(n > 0 ? std::string(line, n) : std::string("\r"));
    }
    case CommandKind::PollAll: {
      if (closed || m_autoPoll) return Refuse();
      std::string all;
      CanFrame frame;
      char line[slcan::kMaxFrameLineLength];
      while (NextFrame(frame)) {
        const std::size_t n = slcan::FormatFrame(frame, m_timestamps, line);
        if (n == 0) continue;
        all.append(line, n);
        Increment(m_framesToHost);
      }
      return Answer(all + "A\r");
    }
    case CommandKind::AcceptanceCode:
      // With the mask letting every frame through, the code selects nothing.
      return closed ? Answer("\r") : Refuse();
    case CommandKind::AcceptanceMask:
      return closed && c.word == 0xFFFFFFFFu ? Answer("\r") : Refuse();
    case CommandKind::Mode:
      if (!closed) return Refuse();
      m_silentMode = c.value == 1;
      return Answer("\r");
    case CommandKind::UartSpeed:
      // A pseudo-terminal has no line speed: any is fine.
      return closed ? Answer("\r") : Refuse();
    case CommandKind::Invalid:
      return Refuse();
  }
}

bool SlcanSession::Send(const Frame& frame) {
  return m_sender.SendToDevice(frame.data(), frame.size());
}

void SlcanSession::Answer(std::string text) {
  if (m_pending.empty()) {
    m_out += text;
  } else {
    Pending done;
    done.answer = std::move(text);
    m_pending.push_back(std::move(done));
  }
}

void SlcanSession::Refuse() {
  Increment(m_commandsRefused);
  Answer(std::string(1, slcan::kBell));
}

void SlcanSession::StartWaiting(Pending pending, Clock::time_point now) {
  pending.deadline = now + m_options.answerTimeout;
  if (pending.await != Await::SendResult) m_barrierWaiting = true;
  m_pending.push_back(std::move(pending));
}

void SlcanSession::Finish(Pending& p, std::string answer) {
  if (p.await == Await::SendResult) {
    --m_waitingSends;
  } else {
    m_barrierWaiting = false;
  }
  p.await = Await::Nothing;
  p.answer = std::move(answer);
}

void SlcanSession::FlushAnswers() {
  while (!m_pending.empty() && m_pending.front().await == Await::Nothing) {
    m_out += m_pending.front().answer;
    m_pending.pop_front();
  }
}

SlcanSession::Pending* SlcanSession::FirstAwaiting(Await what) {
  for (Pending& p : m_pending) {
    if (p.await == what) return &p;
  }
  return nullptr;
}

void SlcanSession::AdapterMessage(int code, const DeviceMessage& message, Clock::time_point now) {
  const std::string bell(1, slcan::kBell);
  switch (code) {
    case MsgCode::SendResult:
      if (Pending* p = FirstAwaiting(Await::SendResult)) {
        const bool sent = message.Data[0] == kResultOk;
        Increment(sent ? m_framesSent : m_sendsFailed);
        Finish(*p, sent ? "\r" : bell);
      }
      break;
    case MsgCode::BitTiming:
      if (Pending* p = FirstAwaiting(Await::BitTiming)) {
        if (message.Data[0] == p->rate) {
          Finish(*p, "\r");  // already at that rate: the sample point stays
        } else if (Send(GetTimingTable(p->rate))) {
          p->await = Await::TimingTable;
          p->deadline = now + m_options.answerTimeout;
        } else {
          Increment(m_commandsRefused);
          Finish(*p, bell);
        }
      }
      break;
    case MsgCode::TimingTable:
      if (Pending* p = FirstAwaiting(Await::TimingTable); p && message.Data[0] == p->rate) {
        const std::size_t count = message.Data[1] <= kSampleTimingMax ? message.Data[1] : 0;
        if (Send(SetBitTiming(p->rate, NearestSamplePoint(message.Data + 2, count)))) {
          p->await = Await::BitTimingSet;
          p->deadline = now + m_options.answerTimeout;
        } else {
          Increment(m_commandsRefused);
          Finish(*p, bell);
        }
      }
      break;
    case MsgCode::SetBitTimingDone:
      if (Pending* p = FirstAwaiting(Await::BitTimingSet)) Finish(*p, "\r");
      break;
    case MsgCode::FirmwareVersion: {
      m_firmware = std::string(message.Text);
      const auto digits = slcan::VersionDigits(*m_firmware);
      while (Pending* p = FirstAwaiting(Await::Firmware)) {
        if (!digits) Increment(m_commandsRefused);
        Finish(*p, digits ? p->letter + std::string(digits->begin(), digits->end()) + "\r" : bell);
      }
      break;
    }
    case MsgCode::BusError:
      BusErrorFlags(message);
      break;
    default:
      break;
  }
  FlushAnswers();
}

void SlcanSession::Tick(Clock::time_point now) {
  for (Pending& p : m_pending) {
    if (p.await == Await::Nothing || p.deadline > now) continue;
    Increment(p.await == Await::SendResult ? m_sendsFailed : m_commandsRefused);
    Finish(p, std::string(1, slcan::kBell));
  }
  FlushAnswers();
}

std::optional<SlcanSession::Clock::time_point> SlcanSession::NextDeadline() const {
  std::optional<Clock::time_point> earliest;
  for (const Pending& p : m_pending) {
    if (p.await != Await::Nothing && (!earliest || p.deadline < *earliest)) earliest = p.deadline;
  }
  return earliest;
}

void SlcanSession::BusErrorFlags(const DeviceMessage& message) {
  int index = 0;
  for (std::size_t i = 0; i < kErrorTexts.size(); ++i) {
    if (std::strcmp(message.Text, kErrorTexts[i]) == 0) index = static_cast<int>(i);
  }
  const std::uint8_t tec = message.Data[1];
  const std::uint8_t rec = message.Data[2];
  if (tec >= 96 || rec >= 96) m_flags |= 0x04;
  if (tec >= 128 || rec >= 128) m_flags |= 0x20;
  switch (index) {
    case 0:  // the adapter's receive buffer was full
      m_flags |= 0x01 | 0x08;
      break;
    case 9:  // it lost a received message
      m_flags |= 0x08;
      break;
    case 2:  // arbitration lost
      m_flags |= 0x40;
      break;
    case 8:  // bus off
      m_flags |= 0x20 | 0x80;
      break;
    case 10:  // no error
      break;
    default:
      m_flags |= 0x80;
      break;
  }
}

std::uint8_t SlcanSession::TakeStatusFlags() {
  std::uint8_t flags = m_flags;
  const std::uint64_t dropped = m_frames.Dropped();
  if (dropped != m_droppedSeen) flags |= 0x01 | 0x08;
  m_droppedSeen = dropped;
  m_flags = 0;
  return flags;
}

bool SlcanSession::NextFrame(CanFrame& frame) {
  if (m_batchNext >= m_batch.size()) {
    m_frames.TakeAll(m_batch);
    m_batchNext = 0;
    if (m_batch.empty()) return false;
  }
  frame = m_batch[m_batchNext++];
  return true;
}

void SlcanSession::PumpFrames() {
  if (m_channel == Channel::Closed || !m_autoPoll) return;
  CanFrame frame;
  while (m_out.size() < kOutputHighWater && NextFrame(frame)) AppendFrame(frame);
}

void SlcanSession::AppendFrame(const CanFrame& frame) {
  char line[slcan::kMaxFrameLineLength];
  const std::size_t n = slcan::FormatFrame(frame, m_timestamps, line);
  if (n == 0) return;
  m_out.append(line, n);
  Increment(m_framesToHost);
}

}  // namespace velqor
