#pragma once
// SimAdapter: a model of the USB CAN adapter's side of the link, for every test and demo
// that has no adapter at hand.
//
// It takes the bytes the program sends, answers every command with the adapter's messages,
// keeps the adapter's parameters (an EEPROM image in a file), puts traffic on a simulated
// CAN bus and reports the frames its receive mailboxes accept, and captures waveforms from
// the real bit stream of the frames on the bus. Its output is what the adapter sends: 64-byte
// USB input reports, and console output for the serial side.
//
// Single-threaded and deterministic: time is given by the caller (AdvanceTo), randomness
// comes from a seed. SimRunner drives it against the real clock on a thread of its own.
//
// How the model answers (category/command, payload):
// - Answers are produced one command at a time in arrival order, each kAnswerLatency after
//   the previous one was done (StoreParams takes kStoreLatency: an EEPROM write).
// - Set commands answer with their own category and command and one result byte: 0 = done,
//   2 = out of range (nothing changed). That is 1/0x03, 1/0x08, 1/0x0C and 1/0x0D.
// - Out of range: a bit-rate index above 2, a sample-timing index beyond the list of that bit
//   rate, a mailbox index above 15, enable or ide above 1, an identifier beyond 11 (ide 0) or
//   29 bits (ide 1), a DLC above 8, a terminator or console format above 1.
// - GetRxMailbox with an index above 15 answers 1/0x05 {2, index} (out of range) instead of the
//   contents 1/0x06. GetTimingTable with a bit-rate index above 2 is not answered: there is no
//   such list. SetCaptureMode with a mode above 2 changes nothing and answers the current
//   capture state. SetTrigger with a port above 2 changes nothing (SetTrigger has no answer).
// - StoreParams answers 1/0x10 {0} when the image was written, {1} when the file could not be
//   written (StoreError() says why). Without a file the image is kept in memory only.
// - Commands 1/0x01, 1/0x02 and 1/0x04 are answered with the same pair and no payload.
// - SendCanFrame answers 2/0x01 {2} at once when out of range; otherwise the frame waits for
//   the bus (arbitration by identifier) and the answer follows when it has been sent: {0}
//   when acknowledged, {1} when nobody acknowledged it (then 1/0xFF {6 ACK_ERROR, transmit
//   errors, receive errors} follows), {1} as well when the frame could not win the bus
//   within kTransmitTimeout or the transmit queue (16 frames) is full.
// - Unknown pairs, commands with a payload shorter than they need, frames with a length byte
//   below 2 and partial frames left for more than kPartialTimeout are ignored.
//
// Received frames (2/0x02): payload byte 0 is the index of the mailbox that accepted the
// frame. A frame is accepted by the first enabled mailbox with the same ide whose
// identifier matches under its mask: (id & mask) == (mailbox id & mask). The adapter's own
// frames that were sent successfully are reported the same way, through the same filters.
//
// Waveform blocks (3/0x03): head = {pre-trigger samples (20), port}, interval, 200 samples,
// tail = {trigger phase in 1/256 of an interval, running capture number}; see waveform.h.

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/protocol.h"
#include "sim/adapter_params.h"
#include "sim/bus_traffic.h"
#include "sim/can_bitstream.h"
#include "sim/recorded_traffic.h"
#include "sim/report_packer.h"
#include "sim/sim_random.h"
#include "sim/waveform.h"

namespace velqor {

struct SimOptions {
  // Where StoreParams keeps the EEPROM image and where a new model reads it from. Empty: the
  // model starts from factory settings and keeps stored parameters in memory only.
  std::filesystem::path eepromPath;
  ReportPacking packing = ReportPacking::Packed;
  std::string firmwareVersion = "1.07";
  std::string deviceName = "STM32F105";
  // The periodic traffic of the other nodes; DefaultVehicleProfile() when not given (and no
  // recorded traffic is).
  std::optional<std::vector<PeriodicMessage>> profile;
  // A recorded log as the other nodes' traffic (sim/recorded_traffic.h), in place of the
  // default profile; with `profile` given as well, both share the bus. It stops and goes on
  // with the profile (profileEnabled).
  std::shared_ptr<RecordedTraffic> recorded;
  bool profileEnabled = true;
  FloodOptions flood;
  // The adapter alone on the bus: nobody acknowledges its frames and no other node sends.
  bool unacknowledged = false;
  // Mean time between injected bus errors (a frame of another node destroyed, or an overload
  // frame, reported as bus error status); zero: none.
  std::chrono::nanoseconds errorInterval{0};
  // Console output for the serial side; off saves the formatting when nobody listens.
  bool console = true;
  std::uint64_t seed = 1;
  // Limits of what waits for the reader: reports (64 bytes each) and console bytes. Beyond
  // them the adapter drops frames, as its buffers overflow when nobody reads them.
  std::size_t maxQueuedReports = 65536;
  std::size_t maxConsoleBytes = 1 << 20;
};

// What the model did since it was created, so that a test or a tool can compare what the
// adapter sent with what the program received.
struct SimStats {
  std::uint64_t busFrames = 0;        // frames completed on the bus, other nodes' and own
  std::uint64_t framesReported = 0;   // frames that passed a mailbox and were queued (2/0x02)
  std::uint64_t framesFiltered = 0;   // frames that no mailbox accepted
  std::uint64_t framesDropped = 0;    // frames accepted but lost: the report queue was full
  std::uint64_t errorFrames = 0;      // error frames on the bus (injected or ACK errors)
  std::uint64_t messages = 0;         // device frames queued on the USB side, all kinds
  std::uint64_t messagesDropped = 0;  // device frames lost to a full report queue
  std::uint64_t reports = 0;          // 64-byte input reports produced
  std::uint64_t consoleBytes = 0;     // bytes queued for the serial side
  std::uint64_t consoleBytesDropped = 0;
  std::uint64_t commands = 0;         // commands carried out
  std::uint64_t commandsIgnored = 0;  // unknown, malformed, timed out or over the queue
  std::uint64_t bytesSkipped = 0;     // bytes between frames that were not a start byte
  std::uint64_t transmitted = 0;      // own frames acknowledged on the bus
  std::uint64_t transmitFailed = 0;   // own frames that failed
  std::uint64_t waveforms = 0;        // waveform blocks sent
  std::uint64_t recordedFrames = 0;   // frames of the recorded traffic completed on the bus
};

// A frame that went over the bus whole (another node's, or the adapter's own acknowledged
// one), with the model's times of its first and last bit: for tests and benchmarks that take
// the bus as the truth.
struct SimBusRecord {
  BusFrame frame;
  std::chrono::nanoseconds start{0};
  std::chrono::nanoseconds end{0};
  bool own = false;
};

class SimAdapter {
 public:
  using BusObserver = std::function<void(const SimBusRecord&)>;

  static constexpr std::chrono::nanoseconds kAnswerLatency = std::chrono::microseconds(200);
  static constexpr std::chrono::nanoseconds kStoreLatency = std::chrono::milliseconds(5);
  static constexpr std::chrono::nanoseconds kPartialTimeout = std::chrono::milliseconds(100);
  static constexpr std::chrono::nanoseconds kTransmitTimeout = std::chrono::milliseconds(100);
  static constexpr std::chrono::nanoseconds kContinuousGap = std::chrono::milliseconds(100);
  static constexpr std::chrono::nanoseconds kNever = std::chrono::nanoseconds::max();
  static constexpr std::size_t kMaxPendingCommands = 256;
  static constexpr std::size_t kMaxTransmitQueue = 16;

  explicit SimAdapter(SimOptions options = {});

  // Bytes the program sends (an output report after its report ID: a frame and zero padding,
  // or any other chunking). Commands take effect when their answer is due (see above).
  void Write(std::span<const std::uint8_t> bytes);

  // Runs the model up to time `t` (from its creation); earlier times do nothing.
  void AdvanceTo(std::chrono::nanoseconds t);
  std::chrono::nanoseconds Now() const { return m_now; }
  // When something happens next (kNever when nothing is scheduled).
  std::chrono::nanoseconds NextEventTime() const;

  // USB side: the next 64-byte input report (the bytes after the report ID).
  bool TakeInputReport(InputReport& report);
  std::size_t QueuedReports() const { return m_packer.Queued(); }
  // Serial side: appends the console bytes produced so far to `out`; false when none.
  bool TakeConsoleOutput(std::string& out);

  // Options that may change while the model runs.
  void SetPacking(ReportPacking packing) { m_packer.SetPacking(packing); }
  void SetUnacknowledged(bool on);
  void SetErrorInterval(std::chrono::nanoseconds meanInterval);
  void SetProfile(std::vector<PeriodicMessage> messages);
  void SetProfileEnabled(bool on);
  void SetFlood(const FloodOptions& flood);
  void SetConsoleEnabled(bool on) { m_options.console = on; }
  // Called inside AdvanceTo for every frame completed on the bus.
  void SetBusObserver(BusObserver observer) { m_busObserver = std::move(observer); }

  const AdapterParams& Params() const { return m_params; }
  const EepromLoad& EepromStatus() const { return m_eepromLoad; }
  const std::string& StoreError() const { return m_storeError; }
  SimStats Stats() const {
    SimStats s = m_stats;
    s.reports = m_packer.Produced();
    return s;
  }
  std::uint8_t CaptureState() const { return m_captureMode; }
  int TransmitErrorCount() const { return m_tec; }
  int ReceiveErrorCount() const { return m_rec; }
  std::uint32_t BitTimeNs() const;

 private:
  struct Command {
    std::chrono::nanoseconds due{0};
    std::uint8_t category = 0;
    std::uint8_t command = 0;
    std::uint8_t length = 0;  // payload bytes
    std::array<std::uint8_t, kMaxPayload> payload{};
  };
  struct PeriodicState {
    PeriodicMessage message;
    std::chrono::nanoseconds due{0};
    std::uint64_t count = 0;
  };
  struct TxRequest {
    BusFrame frame;
    std::chrono::nanoseconds queued{0};
  };
  enum class Source { None, Periodic, Flood, Own, Recorded };
  struct InFlight {
    Source source = Source::None;
    std::size_t periodic = 0;  // index into m_periodic
    BusFrame frame;
    BusSegment segment;
    std::chrono::nanoseconds start{0};
    std::chrono::nanoseconds due{0};  // when the frame was due at its sender
    std::chrono::nanoseconds end{0};  // the last bit of the frame or error frame
    std::uint8_t errorKind = 0;       // 0: none; else the error index reported
    bool overload = false;            // an overload frame follows (frame itself fine)
  };
  struct Capture {
    CaptureSetup setup;
    std::chrono::nanoseconds windowEnd{0};
    std::vector<BusSegment> segments;
  };

  void Dispatch();
  void Execute(const Command& c);
  void ExecuteConfig(const Command& c);
  void ExecuteCapture(const Command& c);

  // Output.
  bool Emit(std::uint8_t category, std::uint8_t command, std::span<const std::uint8_t> payload);
  void EmitBusError(std::uint8_t index);
  void Deliver(const BusFrame& frame, bool own);
  void ConsoleLine(const char* text, std::size_t length);

  // The bus.
  std::chrono::nanoseconds BusStartTime() const;
  std::chrono::nanoseconds FloodDue() const;
  bool BusFlood() const;     // a flood that takes its turns on the bus
  bool OffBusFlood() const;  // a flood beyond the bus limit, delivered at its own rate
  void DeliverOffBusFlood();
  bool OthersPresent() const { return !m_options.unacknowledged; }
  bool StartFrame(std::chrono::nanoseconds s);
  void CompleteFrame();
  void ExpireTransmits();
  void RescheduleAfter(PeriodicState& p, std::chrono::nanoseconds start);
  void AddToCapture(const BusSegment& segment);
  void LoadRecorded();
  void FinishCapture();

  SimOptions m_options;
  BusObserver m_busObserver;
  AdapterParams m_params;
  EepromLoad m_eepromLoad;
  std::vector<std::uint8_t> m_eepromImage;
  std::string m_storeError;
  SimStats m_stats;
  SimRandom m_random;
  SimRandom m_noise;

  std::chrono::nanoseconds m_now{0};

  // Input.
  std::array<std::uint8_t, kMaxFrameSize> m_rx{};
  std::size_t m_rxFill = 0;
  std::chrono::nanoseconds m_rxStarted{0};
  std::deque<Command> m_commands;
  std::chrono::nanoseconds m_busyUntil{0};

  // Output.
  ReportPacker m_packer;
  std::string m_console;
  bool m_receiveOverflow = false;

  // Bus.
  std::vector<PeriodicState> m_periodic;
  std::chrono::nanoseconds m_floodEpoch{0};
  std::uint64_t m_floodSequence = 0;       // next frame to send
  std::uint64_t m_floodEpochSequence = 0;  // the frame that was due at the epoch
  std::deque<TxRequest> m_tx;
  std::optional<BusFrame> m_recordedNext;  // the recorded frame waiting for the bus
  std::chrono::nanoseconds m_recordedDue{0};
  std::optional<InFlight> m_inFlight;
  std::chrono::nanoseconds m_busFree{0};
  std::chrono::nanoseconds m_nextError = kNever;
  int m_tec = 0;
  int m_rec = 0;

  // Capture.
  std::uint8_t m_capturePort = kPortDifferential;
  std::uint8_t m_triggerLevel = 25;
  std::uint8_t m_captureMode = kCaptureStop;
  std::chrono::nanoseconds m_nextTriggerAllowed{0};
  std::uint8_t m_captureSequence = 0;
  std::optional<Capture> m_capture;
};

}  // namespace velqor
