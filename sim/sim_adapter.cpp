#include "sim/sim_adapter.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace velqor {

using std::chrono::nanoseconds;

namespace {

// Payload bytes a command needs; -1 for a pair that is not a command of the adapter.
int RequiredPayload(std::uint8_t category, std::uint8_t command) {
  switch (category) {
    case Category::Config:
      switch (command) {
        case Cmd::Answer01:
        case Cmd::Answer02:
        case Cmd::Answer04:
        case Cmd::GetTerminator:
        case Cmd::GetBitTiming:
        case Cmd::GetConsoleFormat:
        case Cmd::StoreParams:
        case Cmd::GetFirmwareVersion:
        case Cmd::GetDeviceName:
          return 0;
        case Cmd::GetRxMailbox:
        case Cmd::SetTerminator:
        case Cmd::GetTimingTable:
        case Cmd::SetConsoleFormat:
          return 1;
        case Cmd::SetBitTiming:
          return 2;
        case Cmd::SetRxMailbox:
          return static_cast<int>(RxMailboxRecord::kSize);
        default:
          return -1;
      }
    case Category::Can:
      return command == Cmd::SendCanFrame ? static_cast<int>(TxRecord::kSize) : -1;
    case Category::Wave:
      if (command == Cmd::SetTrigger) return 2;
      if (command == Cmd::SetCaptureMode) return 1;
      return -1;
    default:
      return -1;
  }
}

nanoseconds Exponential(SimRandom& random, nanoseconds mean) {
  const double u = random.Uniform();
  return nanoseconds(
      static_cast<std::int64_t>(-std::log1p(-u) * static_cast<double>(mean.count())) + 1);
}

std::uint8_t CounterByte(int count) { return static_cast<std::uint8_t>(std::min(count, 255)); }

// Copies `bits` into the segment, then an error flag (six dominant bits) and the error
// delimiter (eight recessive bits).
void AppendErrorFrame(BusSegment& segment, std::span<const std::uint8_t> bits) {
  std::size_t n = std::min(bits.size(), kMaxSegmentBits - 14);
  std::copy_n(bits.begin(), n, segment.bits.begin());
  for (int i = 0; i < 6; ++i) segment.bits[n++] = kDominant;
  for (int i = 0; i < 8; ++i) segment.bits[n++] = kRecessive;
  segment.size = static_cast<std::uint16_t>(n);
}

}  // namespace

SimAdapter::SimAdapter(SimOptions options)
    : m_options(std::move(options)),
      m_random(m_options.seed),
      m_noise(m_options.seed ^ 0xC0FFEE123456789ull),
      m_packer(m_options.maxQueuedReports) {
  m_eepromLoad = LoadEeprom(m_options.eepromPath, m_params);
  m_eepromImage = EncodeEeprom(m_params);
  m_packer.SetPacking(m_options.packing);
  if (m_options.profile) {
    SetProfile(*m_options.profile);
  } else if (!m_options.recorded) {
    SetProfile(DefaultVehicleProfile());
  }
  m_options.profile.reset();
  LoadRecorded();
  SetFlood(m_options.flood);
  SetErrorInterval(m_options.errorInterval);
}

std::uint32_t SimAdapter::BitTimeNs() const {
  return static_cast<std::uint32_t>(1'000'000'000 / kBitRatesPerSecond[m_params.bitRateIndex]);
}

// ---------------------------------------------------------------------------------------
// Options

void SimAdapter::SetUnacknowledged(bool on) { m_options.unacknowledged = on; }

void SimAdapter::SetErrorInterval(nanoseconds meanInterval) {
  m_options.errorInterval = meanInterval;
  m_nextError = meanInterval.count() > 0 ? m_now + Exponential(m_random, meanInterval) : kNever;
}

void SimAdapter::SetProfile(std::vector<PeriodicMessage> messages) {
  m_periodic.clear();
  m_periodic.reserve(messages.size());
  for (PeriodicMessage& m : messages) {
    m.id &= m.extended ? 0x1FFFFFFFu : 0x7FFu;
    m.dlc = std::min<std::uint8_t>(m.dlc, 15);
    m.cycle = std::max(m.cycle, nanoseconds(std::chrono::microseconds(100)));
    m.phase = std::max(m.phase, nanoseconds(0));
    PeriodicState state;
    state.due = m_now + m.phase;
    state.message = std::move(m);
    m_periodic.push_back(std::move(state));
  }
}

void SimAdapter::SetProfileEnabled(bool on) { m_options.profileEnabled = on; }

void SimAdapter::LoadRecorded() {
  m_recordedNext.reset();
  if (!m_options.recorded) return;
  BusFrame frame;
  nanoseconds due{0};
  if (m_options.recorded->Next(frame, due)) {
    m_recordedNext = frame;
    m_recordedDue = due;
  }
}

void SimAdapter::SetFlood(const FloodOptions& flood) {
  m_options.flood = flood;
  if (!(m_options.flood.framesPerSecond > 0)) m_options.flood.framesPerSecond = 0;
  m_floodEpoch = m_now;
  m_floodEpochSequence = m_floodSequence;
}

// ---------------------------------------------------------------------------------------
// Input

void SimAdapter::Write(std::span<const std::uint8_t> bytes) {
  // A frame whose rest never came is dropped after a while, like the adapter's receiver
  // does, so that a stray start byte cannot hold back later commands for ever.
  if (m_rxFill > 0 && m_now - m_rxStarted > kPartialTimeout) {
    m_rxFill = 0;
    ++m_stats.commandsIgnored;
  }
  for (const std::uint8_t b : bytes) {
    if (m_rxFill == 0) {
      if (b != kFrameStart) {
        ++m_stats.bytesSkipped;
        continue;
      }
      m_rx[0] = b;
      m_rxFill = 1;
      m_rxStarted = m_now;
      continue;
    }
    if (m_rxFill == 1 && b < 2) {  // no room for category and command: not a frame
      ++m_stats.commandsIgnored;
      m_rxFill = 0;
      continue;
    }
    m_rx[m_rxFill++] = b;
    if (m_rxFill >= 2 && m_rxFill == std::size_t{m_rx[1]} + 2) {
      Dispatch();
      m_rxFill = 0;
    }
  }
}

void SimAdapter::Dispatch() {
  Command c;
  c.category = m_rx[2];
  c.command = m_rx[3];
  c.length = static_cast<std::uint8_t>(m_rx[1] - 2);
  const int needed = RequiredPayload(c.category, c.command);
  if (needed < 0 || c.length < needed || m_commands.size() >= kMaxPendingCommands) {
    ++m_stats.commandsIgnored;
    return;
  }
  std::copy_n(m_rx.begin() + kFrameHeaderSize, c.length, c.payload.begin());
  const bool store = c.category == Category::Config && c.command == Cmd::StoreParams;
  c.due = std::max(m_now, m_busyUntil) + (store ? kStoreLatency : kAnswerLatency);
  m_busyUntil = c.due;
  m_commands.push_back(c);
}

void SimAdapter::Execute(const Command& c) {
  ++m_stats.commands;
  switch (c.category) {
    case Category::Config:
      ExecuteConfig(c);
      break;
    case Category::Wave:
      ExecuteCapture(c);
      break;
    case Category::Can: {
      const TxRecord r = TxRecord::Decode(std::span(c.payload).first<TxRecord::kSize>());
      if (r.ide > 1 || r.dlc > kMaxDlc || r.id > MaxIdentifier(r.ide)) {
        const std::uint8_t result[] = {kResultOutOfRange};
        Emit(Category::Can, Cmd::SendCanFrame, result);
        return;
      }
      if (m_tx.size() >= kMaxTransmitQueue) {
        ++m_stats.transmitFailed;
        const std::uint8_t result[] = {kResultFailed};
        Emit(Category::Can, Cmd::SendCanFrame, result);
        return;
      }
      TxRequest t;
      t.frame.id = r.id;
      t.frame.extended = r.ide == 1;
      t.frame.dlc = r.dlc;
      std::copy_n(r.data.begin(), r.dlc, t.frame.data.begin());
      t.queued = m_now;
      m_tx.push_back(t);
      break;
    }
    default:
      break;
  }
}

void SimAdapter::ExecuteConfig(const Command& c) {
  const std::uint8_t* p = c.payload.data();
  const auto answer = [&](std::uint8_t command, std::initializer_list<std::uint8_t> payload) {
    Emit(Category::Config, command, std::span(payload.begin(), payload.size()));
  };
  const auto result = [](bool ok) { return ok ? kResultOk : kResultOutOfRange; };
  switch (c.command) {
    case Cmd::Answer01:
    case Cmd::Answer02:
    case Cmd::Answer04:
      Emit(Category::Config, c.command, {});
      break;
    case Cmd::SetRxMailbox: {
      RxMailboxRecord r =
          RxMailboxRecord::Decode(std::span(c.payload).first<RxMailboxRecord::kSize>());
      const bool ok = MailboxInRange(r);
      if (ok) {
        r.spare = 0;
        m_params.mailboxes[r.index] = r;
      }
      answer(Cmd::SetRxMailbox, {result(ok)});
      break;
    }
    case Cmd::GetRxMailbox:
      if (p[0] < kRxMailboxCount) {
        const auto record = m_params.mailboxes[p[0]].Encode();
        Emit(Category::Config, Cmd::RxMailboxContents, record);
      } else {
        answer(Cmd::GetRxMailbox, {kResultOutOfRange, p[0]});
      }
      break;
    case Cmd::SetTerminator: {
      const bool ok = p[0] <= 1;
      if (ok) m_params.terminator = p[0];
      answer(Cmd::SetTerminator, {result(ok)});
      break;
    }
    case Cmd::GetTerminator:
      answer(Cmd::GetTerminator, {m_params.terminator});
      break;
    case Cmd::GetTimingTable: {
      const auto list = SampleTimingList(p[0]);
      if (list.empty()) break;  // no such bit rate: nothing to tell
      std::array<std::uint8_t, 2 + 30> payload{};
      payload[0] = p[0];
      payload[1] = static_cast<std::uint8_t>(list.size());
      std::copy(list.begin(), list.end(), payload.begin() + 2);
      Emit(Category::Config, Cmd::GetTimingTable, std::span(payload).first(2 + list.size()));
      break;
    }
    case Cmd::GetBitTiming:
      answer(Cmd::GetBitTiming, {m_params.bitRateIndex, m_params.sampleTimingIndex});
      break;
    case Cmd::SetBitTiming: {
      const bool ok = p[0] <= 2 && p[1] < SampleTimingList(p[0]).size();
      if (ok) {
        if (p[0] != m_params.bitRateIndex) {
          // The controller is initialised anew for the new bit rate: error counters restart.
          m_tec = 0;
          m_rec = 0;
        }
        m_params.bitRateIndex = p[0];
        m_params.sampleTimingIndex = p[1];
      }
      answer(Cmd::SetBitTiming, {result(ok)});
      break;
    }
    case Cmd::SetConsoleFormat: {
      const bool ok = p[0] <= 1;
      if (ok) m_params.consoleFormat = p[0];
      answer(Cmd::SetConsoleFormat, {result(ok)});
      break;
    }
    case Cmd::GetConsoleFormat:
      answer(Cmd::GetConsoleFormat, {m_params.consoleFormat});
      break;
    case Cmd::StoreParams: {
      std::vector<std::uint8_t> image = EncodeEeprom(m_params);
      std::uint8_t r = kResultOk;
      if (!m_options.eepromPath.empty()) {
        m_storeError = SaveEeprom(m_options.eepromPath, image);
        if (!m_storeError.empty()) r = kResultFailed;
      }
      if (r == kResultOk) m_eepromImage = std::move(image);
      answer(Cmd::StoreParams, {r});
      break;
    }
    case Cmd::GetFirmwareVersion:
    case Cmd::GetDeviceName: {
      const std::string& text =
          c.command == Cmd::GetFirmwareVersion ? m_options.firmwareVersion : m_options.deviceName;
      std::array<std::uint8_t, kTextPayloadSize> payload{};
      std::copy_n(text.begin(), std::min(text.size(), payload.size()), payload.begin());
      Emit(Category::Config, c.command, payload);
      break;
    }
    default:
      break;
  }
}

void SimAdapter::ExecuteCapture(const Command& c) {
  const std::uint8_t* p = c.payload.data();
  if (c.command == Cmd::SetTrigger) {
    if (p[0] <= kPortDifferential) {
      m_capturePort = p[0];
      m_triggerLevel = p[1];
    }
    return;
  }
  // SetCaptureMode.
  if (p[0] <= kCaptureContinuous) {
    m_captureMode = p[0];
    m_capture.reset();  // a capture in progress is abandoned
    m_nextTriggerAllowed = m_now;
  }
  const std::uint8_t state[] = {m_captureMode};
  Emit(Category::Wave, Cmd::SetCaptureMode, state);
}

// ---------------------------------------------------------------------------------------
// Output

bool SimAdapter::Emit(std::uint8_t category, std::uint8_t command,
                      std::span<const std::uint8_t> payload) {
  std::array<std::uint8_t, kMaxFrameSize> frame;
  const std::size_t n = std::min(payload.size(), kMaxPayload);
  frame[0] = kFrameStart;
  frame[1] = static_cast<std::uint8_t>(n + 2);
  frame[2] = category;
  frame[3] = command;
  std::copy_n(payload.begin(), n, frame.begin() + kFrameHeaderSize);
  if (!m_packer.Append(std::span(frame).first(kFrameHeaderSize + n))) {
    ++m_stats.messagesDropped;
    return false;
  }
  ++m_stats.messages;
  return true;
}

void SimAdapter::EmitBusError(std::uint8_t index) {
  const std::uint8_t payload[] = {index, CounterByte(m_tec), CounterByte(m_rec)};
  if (Emit(Category::Config, Cmd::BusErrorStatus, payload) && index == 0) m_receiveOverflow = false;
  if (m_options.console && m_params.consoleFormat == kConsoleNormal) {
    char line[96];
    const auto t = static_cast<std::uint64_t>(m_now.count());
    const int n = std::snprintf(
        line, sizeof line, "ERR %" PRIu64 ".%06" PRIu64 " %s TEC %d REC %d\r\n", t / 1'000'000'000u,
        (t % 1'000'000'000u) / 1000u, ErrorText(index), m_tec, m_rec);
    ConsoleLine(line, static_cast<std::size_t>(n));
  }
}

void SimAdapter::Deliver(const BusFrame& frame, bool own) {
  int box = -1;
  for (int i = 0; i < kRxMailboxCount; ++i) {
    const RxMailboxRecord& m = m_params.mailboxes[i];
    if (m.enable != 1 || m.ide != (frame.extended ? 1 : 0)) continue;
    if ((frame.id & m.mask) == (m.id & m.mask)) {
      box = i;
      break;
    }
  }
  if (box < 0) {
    ++m_stats.framesFiltered;
    return;
  }
  ReceivedCanFrame r;
  r.head = static_cast<std::uint8_t>(box);
  r.ide = frame.extended ? 1 : 0;
  r.id = frame.id;
  r.dlc = frame.dlc;
  r.data = frame.data;
  const auto payload = r.Encode();
  // After an overflow the adapter first tells that frames were lost ("Receive Buffer Full").
  if (m_receiveOverflow) EmitBusError(0);
  if (!m_receiveOverflow && Emit(Category::Can, Cmd::ReceivedCanFrame, payload)) {
    ++m_stats.framesReported;
  } else {
    ++m_stats.framesDropped;
    m_receiveOverflow = true;
  }

  if (!m_options.console) return;
  if (m_params.consoleFormat == kConsoleCanUsb) {
    std::array<char, kFrameHeaderSize + ReceivedCanFrame::kSize> bytes;
    bytes[0] = static_cast<char>(kFrameStart);
    bytes[1] = static_cast<char>(ReceivedCanFrame::kSize + 2);
    bytes[2] = static_cast<char>(Category::Can);
    bytes[3] = static_cast<char>(Cmd::ReceivedCanFrame);
    std::copy(payload.begin(), payload.end(), bytes.begin() + kFrameHeaderSize);
    ConsoleLine(bytes.data(), bytes.size());
    return;
  }
  char line[96];
  const auto t = static_cast<std::uint64_t>(m_now.count());
  int n = std::snprintf(line, sizeof line, "%s %" PRIu64 ".%06" PRIu64 " %s %0*" PRIX32 " [%u]",
                        own ? "TX" : "RX", t / 1'000'000'000u, (t % 1'000'000'000u) / 1000u,
                        frame.extended ? "EXT" : "STD", frame.extended ? 8 : 3, frame.id,
                        static_cast<unsigned>(frame.dlc));
  for (std::size_t i = 0; i < frame.DataBytes(); ++i) {
    n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %02X", frame.data[i]);
  }
  n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "\r\n");
  ConsoleLine(line, static_cast<std::size_t>(n));
}

void SimAdapter::ConsoleLine(const char* text, std::size_t length) {
  if (m_console.size() + length > m_options.maxConsoleBytes) {
    m_stats.consoleBytesDropped += length;
    return;
  }
  m_console.append(text, length);
  m_stats.consoleBytes += length;
}

bool SimAdapter::TakeInputReport(InputReport& report) { return m_packer.Take(report); }

bool SimAdapter::TakeConsoleOutput(std::string& out) {
  if (m_console.empty()) return false;
  out += m_console;
  m_console.clear();
  return true;
}

// ---------------------------------------------------------------------------------------
// Time

nanoseconds SimAdapter::NextEventTime() const {
  nanoseconds next = kNever;
  if (!m_commands.empty()) next = std::min(next, m_commands.front().due);
  if (m_capture) next = std::min(next, m_capture->windowEnd + kAnswerLatency);
  if (m_inFlight) {
    next = std::min(next, m_inFlight->end);
  } else {
    next = std::min(next, BusStartTime());
  }
  if (!m_tx.empty()) next = std::min(next, m_tx.front().queued + kTransmitTimeout);
  if (OffBusFlood()) next = std::min(next, FloodDue());
  return next == kNever ? kNever : std::max(next, m_now);
}

void SimAdapter::AdvanceTo(nanoseconds t) {
  for (;;) {
    const nanoseconds next = NextEventTime();
    if (next > t) break;
    m_now = next;
    if (!m_commands.empty() && m_commands.front().due <= m_now) {
      const Command c = m_commands.front();
      m_commands.pop_front();
      Execute(c);
    } else if (m_capture && m_capture->windowEnd + kAnswerLatency <= m_now) {
      FinishCapture();
    } else if (m_inFlight && m_inFlight->end <= m_now) {
      CompleteFrame();
    } else if (!m_tx.empty() && m_tx.front().queued + kTransmitTimeout <= m_now) {
      ExpireTransmits();
    } else if (OffBusFlood() && FloodDue() <= m_now) {
      DeliverOffBusFlood();
    } else if (m_inFlight || BusStartTime() > m_now || !StartFrame(m_now)) {
      break;  // nothing due after all; cannot happen, but never loop for ever
    }
  }
  m_now = std::max(m_now, t);
  m_packer.Flush();
}

// ---------------------------------------------------------------------------------------
// The bus

nanoseconds SimAdapter::FloodDue() const {
  const double period = 1e9 / m_options.flood.framesPerSecond;
  const auto k = static_cast<double>(m_floodSequence - m_floodEpochSequence);
  return m_floodEpoch + nanoseconds(static_cast<std::int64_t>(std::llround(k * period)));
}

bool SimAdapter::BusFlood() const {
  return m_options.flood.framesPerSecond > 0 && m_options.flood.busLimited && OthersPresent();
}

bool SimAdapter::OffBusFlood() const {
  return m_options.flood.framesPerSecond > 0 && !m_options.flood.busLimited && OthersPresent();
}

void SimAdapter::DeliverOffBusFlood() {
  ++m_stats.busFrames;
  Deliver(FloodFrame(m_options.flood, m_floodSequence), false);
  ++m_floodSequence;
}

nanoseconds SimAdapter::BusStartTime() const {
  nanoseconds earliest = kNever;
  if (!m_tx.empty()) earliest = m_tx.front().queued;
  if (OthersPresent()) {
    if (m_options.profileEnabled) {
      for (const PeriodicState& p : m_periodic) earliest = std::min(earliest, p.due);
    }
    if (m_recordedNext && m_options.profileEnabled) earliest = std::min(earliest, m_recordedDue);
    if (BusFlood()) earliest = std::min(earliest, FloodDue());
  }
  if (earliest == kNever) return kNever;
  return std::max({earliest, m_busFree, m_now});
}

bool SimAdapter::StartFrame(nanoseconds s) {
  // Arbitration among every frame waiting at s: the lowest key wins.
  InFlight f;
  std::uint32_t best = 0xFFFFFFFFu;
  bool found = false;
  if (!m_tx.empty() && m_tx.front().queued <= s) {
    best = ArbitrationKey(m_tx.front().frame);
    f.source = Source::Own;
    found = true;
  }
  if (OthersPresent()) {
    if (m_options.profileEnabled) {
      for (std::size_t i = 0; i < m_periodic.size(); ++i) {
        const PeriodicState& p = m_periodic[i];
        if (p.due > s) continue;
        BusFrame probe;
        probe.id = p.message.id;
        probe.extended = p.message.extended;
        const std::uint32_t key = ArbitrationKey(probe);
        if (!found || key < best) {
          best = key;
          f.source = Source::Periodic;
          f.periodic = i;
          found = true;
        }
      }
    }
    if (m_recordedNext && m_options.profileEnabled && m_recordedDue <= s) {
      const std::uint32_t key = ArbitrationKey(*m_recordedNext);
      if (!found || key < best) {
        best = key;
        f.source = Source::Recorded;
        found = true;
      }
    }
    if (BusFlood() && FloodDue() <= s) {
      const BusFrame frame = FloodFrame(m_options.flood, m_floodSequence);
      const std::uint32_t key = ArbitrationKey(frame);
      if (!found || key < best) {
        best = key;
        f.source = Source::Flood;
        found = true;
      }
    }
  }
  if (!found) return false;

  bool acknowledged = true;
  switch (f.source) {
    case Source::Own:
      f.frame = m_tx.front().frame;
      f.due = m_tx.front().queued;
      m_tx.pop_front();
      acknowledged = OthersPresent();
      break;
    case Source::Periodic: {
      PeriodicState& p = m_periodic[f.periodic];
      ComposeFrame(p.message, p.count, s, m_random, f.frame);
      f.due = p.due;
      break;
    }
    case Source::Flood:
      f.frame = FloodFrame(m_options.flood, m_floodSequence);
      f.due = FloodDue();
      break;
    case Source::Recorded:
      f.frame = *m_recordedNext;
      f.due = m_recordedDue;
      break;
    case Source::None:
      return false;
  }

  const CanBitStream stream = BuildCanBitStream(f.frame, acknowledged);
  f.start = s;
  f.segment.start = s;
  f.segment.bitTimeNs = BitTimeNs();
  if (!acknowledged) {
    // Nobody drove the ACK slot: the transmitter sends an error flag right after it.
    f.errorKind = 6;  // ACK_ERROR
    AppendErrorFrame(f.segment, stream.Bits().first(stream.ackSlot + 1u));
  } else if (f.source != Source::Own && m_nextError <= s) {
    m_nextError = s + Exponential(m_random, m_options.errorInterval);
    switch (m_random.Below(4)) {
      case 0:  // CRC error: flagged after the ACK delimiter
        f.errorKind = 1;
        AppendErrorFrame(f.segment, stream.Bits().first(stream.ackSlot + 2u));
        break;
      case 1: {  // stuff error somewhere in the stuffed part
        f.errorKind = 5;
        const auto at = 1 + m_random.Below(stream.stuffedEnd - 1u);
        AppendErrorFrame(f.segment, stream.Bits().first(at));
        break;
      }
      case 2:  // form error: a dominant CRC delimiter
        f.errorKind = 7;
        AppendErrorFrame(f.segment, stream.Bits().first(stream.stuffedEnd));
        break;
      default:  // the frame arrives, then a receiver asks for a pause with an overload frame
        f.errorKind = 3;
        f.overload = true;
        AppendErrorFrame(f.segment, stream.Bits());
        break;
    }
  } else {
    std::copy_n(stream.bits.begin(), stream.size, f.segment.bits.begin());
    f.segment.size = stream.size;
  }
  f.end = f.segment.End();
  m_busFree = f.end + nanoseconds(std::int64_t{kIntermissionBits} * f.segment.bitTimeNs);

  // Waveform capture: the start of frame is the trigger edge.
  if (!m_capture && m_captureMode != kCaptureStop && s >= m_nextTriggerAllowed &&
      TriggerCrossed(m_capturePort, m_triggerLevel,
                     BusLevels(m_params.terminator == kTerminatorOn))) {
    Capture c;
    c.setup.port = m_capturePort;
    c.setup.terminatorOn = m_params.terminator == kTerminatorOn;
    c.setup.intervalNs = kSampleIntervalNs;
    c.setup.triggerTime = s;
    c.setup.triggerPhase = static_cast<std::uint8_t>(m_noise.Below(256));
    c.setup.sequence = m_captureSequence++;
    const std::int64_t interval = c.setup.intervalNs;
    const std::int64_t first = s.count() - kPreTriggerSamples * interval -
                               (std::int64_t{c.setup.triggerPhase} * interval) / 256;
    c.windowEnd =
        nanoseconds(first + static_cast<std::int64_t>(WaveformBlock::kSamples) * interval);
    c.segments.push_back(f.segment);
    m_capture = std::move(c);
    if (m_captureMode == kCaptureContinuous) m_nextTriggerAllowed = s + kContinuousGap;
  } else if (m_capture && s < m_capture->windowEnd) {
    m_capture->segments.push_back(f.segment);
  }
  m_inFlight = std::move(f);
  return true;
}

void SimAdapter::RescheduleAfter(PeriodicState& p, nanoseconds start) {
  // A sender that was held up collapses the cycles it missed into the frame just sent.
  nanoseconds next = p.due + p.message.cycle;
  if (next <= start) {
    const auto missed = (start - p.due) / p.message.cycle;
    next = p.due + (missed + 1) * p.message.cycle;
  }
  p.due = next;
}

void SimAdapter::CompleteFrame() {
  const InFlight f = std::move(*m_inFlight);
  m_inFlight.reset();
  if (f.source == Source::Own) {
    if (f.errorKind != 0) {
      ++m_stats.transmitFailed;
      ++m_stats.errorFrames;
      // An error-passive transmitter that sees no acknowledgement keeps its count (ISO
      // 11898-1), so a lone node stops at 128 instead of going bus-off.
      if (m_tec < 128) m_tec += 8;
      const std::uint8_t result[] = {kResultFailed};
      Emit(Category::Can, Cmd::SendCanFrame, result);
      EmitBusError(f.errorKind);
    } else {
      ++m_stats.transmitted;
      ++m_stats.busFrames;
      if (m_tec > 0) --m_tec;
      const std::uint8_t result[] = {kResultOk};
      Emit(Category::Can, Cmd::SendCanFrame, result);
      if (m_busObserver) m_busObserver({f.frame, f.start, f.end, true});
      Deliver(f.frame, true);
    }
    return;
  }

  if (f.errorKind != 0 && !f.overload) {
    // The frame was destroyed; its sender tries again at the next chance.
    ++m_stats.errorFrames;
    if (m_rec < 255) ++m_rec;
    EmitBusError(f.errorKind);
    return;
  }
  ++m_stats.busFrames;
  if (m_busObserver) m_busObserver({f.frame, f.start, f.end, false});
  if (m_rec > 127) {
    m_rec = 127;
  } else if (m_rec > 0) {
    --m_rec;
  }
  Deliver(f.frame, false);
  if (f.overload) {
    ++m_stats.errorFrames;
    EmitBusError(f.errorKind);
  }
  if (f.source == Source::Periodic) {
    PeriodicState& p = m_periodic[f.periodic];
    ++p.count;
    RescheduleAfter(p, f.start);
  } else if (f.source == Source::Recorded) {
    ++m_stats.recordedFrames;
    LoadRecorded();
  } else if (f.source == Source::Flood) {
    ++m_floodSequence;
    // A generator that fell far behind (a bus slower than its rate) does not try to catch
    // up with a burst: it goes on from now.
    if (m_options.flood.framesPerSecond > 0 &&
        FloodDue() < f.start - std::chrono::milliseconds(10)) {
      m_floodEpoch = f.start;
      m_floodEpochSequence = m_floodSequence;
    }
  }
}

void SimAdapter::ExpireTransmits() {
  while (!m_tx.empty() && m_tx.front().queued + kTransmitTimeout <= m_now) {
    m_tx.pop_front();
    ++m_stats.transmitFailed;
    const std::uint8_t result[] = {kResultFailed};
    Emit(Category::Can, Cmd::SendCanFrame, result);
  }
}

void SimAdapter::FinishCapture() {
  Capture c = std::move(*m_capture);
  m_capture.reset();
  const WaveformBlock block = RenderWaveform(c.setup, c.segments, m_noise);
  const auto payload = block.Encode();
  if (Emit(Category::Wave, Cmd::WaveformBlock, payload)) ++m_stats.waveforms;
  if (m_captureMode == kCaptureSingle) {
    m_captureMode = kCaptureStop;
    const std::uint8_t state[] = {kCaptureStop};
    Emit(Category::Wave, Cmd::SetCaptureMode, state);
  }
}

}  // namespace velqor
