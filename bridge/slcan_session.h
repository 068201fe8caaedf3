#pragma once
// SlcanSession: the adapter as an slcan (LAWICEL) device, as a state machine without threads
// or descriptors. It takes the host's bytes, carries out its commands against the adapter
// (through a DeviceSender) and writes the answers and the frames from the bus into an output
// buffer that its owner hands to the host. SlcanBridge runs one on its serving thread over a
// pseudo-terminal; tests drive one directly.
//
// Answers. Every command line is answered in order: CR when done, BELL when refused or
// failed, or a data answer (F, V, v, N, P, A). Commands that need the adapter wait for its
// answer, at most `answerTimeout` (then BELL):
// - t/T (a data frame): sent as SendCanFrame; answered CR when the adapter's send result says
//   sent, BELL otherwise. Several sends may wait at once (up to maxSendsInFlight); other
//   commands go on meanwhile and their answers queue behind. The answer is a plain CR, as
//   slcanpty and most clones send: the kernel's driver and python-can skip LAWICEL's "z"/"Z"
//   answers anyway, and hosts that track send confirmations expect a bare CR.
// - Sn: the adapter knows 250 kbit/s (S5), 500 kbit/s (S6) and 1 Mbit/s (S8). The session asks
//   the adapter's bit timing; at the requested rate it leaves the adapter (and the sample
//   point the technician chose) alone, else it asks that rate's sample-timing list and sets
//   the rate with the sample point nearest 87.5 %. Other rates answer BELL.
// - V/v: from the adapter's firmware version, asked once.
// While such a command waits, nothing after it starts.
//
// The channel. O opens it (L listen-only: sends are refused), C closes it. Frames from the bus
// reach the host only while it is open; with auto-poll off (X0) they wait in the queue until
// the host polls them (P one, A all). S, Z, X, U, M and m are taken only while it is
// closed, as LAWICEL's devices do. Hosts repeat themselves to make sure (C before setting up,
// python-can's O twice): C on a closed channel and O (L) on a channel open in that mode
// answer CR; switching between O and L needs a C first. r/R answer BELL: the adapter sends data
// frames only. sxxyy answers BELL: the adapter takes its bit rate by index, not by register values.
// Acceptance code and mask (M/m) are accepted while the mask lets every frame through (mFFFFFFFF):
// the adapter's receive mailboxes filter, not the bridge.
//
// Lines longer than any command are refused (BELL) when their CR comes, and never stored past
// kMaxCommandLength characters. A malformed line answers BELL and changes nothing.
//
// F reports what happened since the last F (read and clear): bit 0 the host's queue was full,
// bit 3 frames were lost (the queue dropped frames, or the adapter reported a receive overflow
// or lost message), bit 2 an error count of 96 or more (error warning), bit 5 of 128 or more
// or bus off (error passive), bit 6 arbitration lost, bit 7 any other bus error.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "bridge/host_frame_queue.h"
#include "bridge/slcan_text.h"
#include "link/device_sender.h"
#include "link/interpreter.h"
#include "link/protocol.h"

namespace velqor {

struct SessionOptions {
  bool timestamps = false;            // Z1 from the start
  std::string serialNumber = "0000";  // what N answers: four characters
  std::chrono::milliseconds answerTimeout{1000};
  std::size_t maxSendsInFlight = 16;  // the adapter's transmit queue holds 16 frames
};

// What went each way; any thread may read them.
struct SessionCounters {
  std::uint64_t framesToHost = 0;     // frame lines written for the host
  std::uint64_t framesSent = 0;       // t/T the adapter said it sent
  std::uint64_t sendsFailed = 0;      // t/T that failed or got no answer
  std::uint64_t commandsRefused = 0;  // other lines answered BELL
};

class SlcanSession {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Channel { Closed, Open, ListenOnly };
  // Frames are formatted only while the output holds less than this; beyond, they wait in the
  // queue (where a host that does not read makes them overflow).
  static constexpr std::size_t kOutputHighWater = 16 * 1024;
  // No further command is taken while the output holds this much: a host that writes but
  // never reads cannot make the answers grow without end.
  static constexpr std::size_t kOutputLimit = 64 * 1024;

  // `sender` and `frames` must outlive the session.
  SlcanSession(DeviceSender& sender, HostFrameQueue& frames, SessionOptions options = {});

  // The host's bytes. Returns how many were taken: it stops at the end of a line that must
  // wait (for answers of earlier commands, or for the output to drain); offer the rest again
  // after AdapterMessage, Tick or draining the output.
  std::size_t TakeHostBytes(const std::uint8_t* bytes, std::size_t size, Clock::time_point now);
  // A message of the adapter (its send results, bit timing, firmware version, bus errors).
  void AdapterMessage(int code, const DeviceMessage& message, Clock::time_point now);
  // Answers BELL for whatever waited for the adapter past its deadline.
  void Tick(Clock::time_point now);
  // The earliest deadline of a command waiting for the adapter.
  std::optional<Clock::time_point> NextDeadline() const;
  // Moves frames from the queue into the output while the channel is open with auto-poll on
  // and the output is below kOutputHighWater.
  void PumpFrames();

  // Bytes for the host, oldest first; the owner erases what it has written.
  std::string& Output() { return m_out; }
  Channel State() const { return m_channel; }
  bool Timestamps() const { return m_timestamps; }
  bool AutoPoll() const { return m_autoPoll; }
  SessionCounters Counters() const;

 private:
  enum class Await { Nothing, SendResult, BitTiming, TimingTable, BitTimingSet, Firmware };
  struct Pending {
    Await await = Await::Nothing;
    char letter = 0;        // V or v: which version answer
    std::uint8_t rate = 0;  // Sn: the bit-rate index asked for
    Clock::time_point deadline;
    std::string answer;  // when done
  };

  bool NeedsAdapter(const slcan::Command& c) const;
  bool CanStart(const slcan::Command& c) const;
  void Execute(const slcan::Command& c, Clock::time_point now);
  void Answer(std::string text);
  void Refuse();
  void StartWaiting(Pending pending, Clock::time_point now);
  void Finish(Pending& p, std::string answer);
  void FlushAnswers();
  Pending* FirstAwaiting(Await what);
  void BusErrorFlags(const DeviceMessage& message);
  std::uint8_t TakeStatusFlags();
  bool NextFrame(CanFrame& frame);
  void AppendFrame(const CanFrame& frame);
  bool Send(const Frame& frame);

  DeviceSender& m_sender;
  HostFrameQueue& m_frames;
  const SessionOptions m_options;

  Channel m_channel = Channel::Closed;
  bool m_timestamps = false;
  bool m_autoPoll = true;
  bool m_silentMode = false;  // M1: the next O opens listen-only

  // The line being assembled.
  char m_line[slcan::kMaxCommandLength] = {};
  std::size_t m_lineLength = 0;
  bool m_overlong = false;
  bool m_afterCr = false;  // an LF right after a CR belongs to that CR

  std::deque<Pending> m_pending;  // answers in command order; the front goes out when done
  std::size_t m_waitingSends = 0;
  bool m_barrierWaiting = false;  // a command other than a send waits: nothing else starts
  std::optional<std::string> m_firmware;

  std::uint8_t m_flags = 0;  // F's bits since the last F
  std::uint64_t m_droppedSeen = 0;

  std::vector<CanFrame> m_batch;  // frames taken from the queue, not yet written
  std::size_t m_batchNext = 0;
  std::string m_out;

  std::atomic<std::uint64_t> m_framesToHost{0};
  std::atomic<std::uint64_t> m_framesSent{0};
  std::atomic<std::uint64_t> m_sendsFailed{0};
  std::atomic<std::uint64_t> m_commandsRefused{0};
};

}  // namespace velqor
