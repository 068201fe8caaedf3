#pragma once
// TransmitScheduler: rows of CAN frames that go out on their own, each on its cycle, through
// the SendPath, on a thread of the scheduler's own.
//
// Timing. Every row keeps a grid of absolute deadlines, base + k x cycle, computed from the
// row's start and never from the time of the previous send, so a late wake delays one frame
// and no error accumulates. Rows with a cycle in milliseconds start on the scheduler's
// millisecond grid (their first frame within 1 ms of the start), so rows due in the same
// millisecond are due at the same instant: they wake the thread once and go out packed
// back to back into as few reports as hold them (a 64-byte report holds three SendCanFrame
// commands). A row woken more than a cycle late sends once and leaves out the cycles it
// missed (counted as skipped); a generator row (velqor-cli gen) instead catches up, at most
// kMaxBurst frames a wake, and never owes more than 100 ms of frames. The thread waits on
// the clock (MonotonicClock: timerfd with absolute deadlines, and an eventfd for changes);
// with no row running it sleeps until woken.
//
// Answers. The adapter answers each SendCanFrame (2/0x01): the owner passes every answer to
// OnSendResult, and the SendPath says which row's command it answers (see send_path.h for
// how answers to the page's one-shot SENDs and to scripts are kept apart). A row counts its
// answers; "out of range" stops it at once, kFailuresToStop failed answers in a row (nobody
// acknowledges on the bus) stop it, and so do kFailuresToStop frames in a row that the link
// refused. Answers to a stopped row's last frames still count, until the row starts again.
//
// Reporting. The scheduler never calls into a window: stops it decides itself (finished,
// bad data, failing) are queued as RowEvents and announced through Options::onEvent, which
// only wakes the owner (an OwnerWake); the owner drains TakeEvents() and reads Counters()
// at display rate.
//
// Binding a page (the TxSet rows): a row's start gives Start(row, its text, cycle, count),
// each change of its text Edit(row, text), its stop Stop(row); "Stop all" and a disconnect
// StopAll() (a disconnect also SendPath::Forget()). The window's one send path is the
// SendPath, so the pages' one-shot sends and the scripts pass through it, and its dispatcher
// hands every answer 201 to OnSendResult in arrival order. onEvent wakes the window
// (OwnerWake); it drains TakeEvents(): BadData shows the list error for missingItem once,
// the other reasons RowStopText. Counters() feeds the row's counters at display rate.
//
// Threads. Every public member may be called from any thread. Callbacks (onEvent, onSent,
// generators) run with no scheduler lock held, except generators, which run under the lock
// and must not call the scheduler. The thread is owned here and joined by StopThread() and
// the destructor.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "link/protocol.h"
#include "transmit/send_path.h"
#include "transmit/transmit_clock.h"
#include "transmit/tx_row_text.h"

namespace velqor {

inline constexpr int kMinCycleMs = 1;
inline constexpr int kMaxCycleMs = 60000;
inline constexpr int kFailuresToStop = 10;

// Why a row is not running.
enum class RowStop {
  None,        // running, or never started
  Stopped,     // Stop or StopAll
  Finished,    // its count has gone out
  BadData,     // too few data pairs for its DLC (RowCounters::missingItem says which)
  OutOfRange,  // the adapter answered "out of range"
  Failing,     // the adapter answered "failed" kFailuresToStop times in a row
  Unsent,      // the link refused kFailuresToStop frames in a row
};
// A sentence for a technician, e.g. "stopped after 10 failed sends in a row ...".
const char* RowStopText(RowStop why);

struct RowCounters {
  bool running = false;
  int cycleMs = 0;              // 0 for a generator row
  std::uint64_t count = 0;      // frames to send; 0 = until stopped
  std::uint64_t sent = 0;       // frames written to the adapter
  std::uint64_t unsent = 0;     // frames the link refused (no adapter, a failed write)
  std::uint64_t confirmed = 0;  // answered "sent"
  std::uint64_t failed = 0;     // answered anything else ("failed", "out of range")
  std::uint64_t skipped = 0;    // cycles left out: the thread woke more than a cycle late
  int failuresInARow = 0;       // failed answers and refused frames since the last "sent"
  RowStop stop = RowStop::None;
  int missingItem = -1;  // BadData: index of the first missing data item

  std::uint64_t Answered() const { return confirmed + failed; }
};

// A stop the scheduler decided itself.
struct RowEvent {
  int row = 0;
  RowStop why = RowStop::None;
  int missingItem = -1;  // BadData: for the list error text
};

// One frame that went out, with its deadline and the clock's time after its report's write.
struct SentFrame {
  int row = 0;
  std::uint64_t index = 0;  // 0 for the row's first frame
  std::chrono::nanoseconds deadline{0};
  std::chrono::nanoseconds written{0};
};

class TransmitScheduler {
 public:
  // A generator row's n-th frame (n from 0).
  using Generator = std::function<TxRecord(std::uint64_t n)>;
  static constexpr std::size_t kMaxBurst = 48;
  static constexpr std::uint32_t kMaxFramesPerSecond = 1'000'000;

  struct Options {
    // Bytes of one output report after its report ID (the adapter's: 64).
    std::size_t reportBytes = 64;
    // The thread asks for the lowest real-time priority (SCHED_FIFO 1), so that a busy
    // machine delays its wakes less; where that is not permitted it runs as any thread.
    bool realtime = false;
    std::function<void()> onEvent;                 // events were queued
    std::function<void(const SentFrame&)> onSent;  // on the thread that sent
  };

  // `path` and `clock` must outlive the scheduler.
  TransmitScheduler(SendPath& path, TransmitClock& clock, Options options);
  ~TransmitScheduler();
  TransmitScheduler(const TransmitScheduler&) = delete;
  TransmitScheduler& operator=(const TransmitScheduler&) = delete;

  // The thread that calls RunDue on time. Without it, the owner calls RunDue (tests).
  void StartThread();
  void StopThread();

  // Starts (or restarts, counters from zero) row `row` (any number the caller chooses) with
  // a cycle of kMinCycleMs..kMaxCycleMs and a count (0 = until stopped). From text: parsed as
  // "SEND" parses; too few data pairs start nothing, stop the row as BadData and queue its
  // event. False when not started (also for a cycle out of range).
  bool Start(int row, const TxRowText& text, int cycleMs, std::uint64_t count);
  bool Start(int row, const TxRecord& record, int cycleMs, std::uint64_t count);
  // A row whose n-th frame `generate` makes, framesPerSecond (1..kMaxFramesPerSecond) evenly
  // spread, the first at once.
  bool StartGenerator(int row, std::uint32_t framesPerSecond, std::uint64_t count,
                      Generator generate);
  // The text of a running row started from text changed: its next frame carries the new
  // request. Too few data pairs stop the row (BadData, one event). Other rows: ignored.
  void Edit(int row, const TxRowText& text);
  void Stop(int row);
  void StopAll();

  // The adapter's answer to a SendCanFrame (code 201, result byte), in arrival order.
  void OnSendResult(std::uint8_t result);
  // The same for an answer whose owner the caller took from the SendPath itself (when other
  // senders share the path): false when no row of this scheduler holds `owner`.
  bool OnSendAnswer(SendPath::Owner owner, std::uint8_t result);

  std::optional<RowCounters> Counters(int row) const;
  // Every row's counters added up; running when any row runs (cycleMs, count, stop and
  // missingItem stay at their defaults).
  RowCounters Totals() const;
  std::vector<RowEvent> TakeEvents();
  // CPU time the thread has used (nullopt without a thread).
  std::optional<std::chrono::nanoseconds> ThreadCpuTime() const;
  // Whether the thread got the real-time priority it asked for.
  bool Realtime() const { return m_realtime.load(); }

  // Sends every frame due at the clock's time; returns the next deadline (kNever: none).
  std::chrono::nanoseconds RunDue();

 private:
  struct Row {
    std::uint64_t run = 0;  // the SendPath owner of this start, from SendPath::NewOwner
    bool fromText = false;
    TxRecord record;
    Generator generate;
    // Deadline k is base + k x num / den nanoseconds.
    std::chrono::nanoseconds base{0};
    std::int64_t num = 0;
    std::int64_t den = 1;
    std::uint64_t k = 0;
    std::uint64_t issued = 0;  // frames taken out for sending
    RowCounters counters;

    std::chrono::nanoseconds Deadline(std::uint64_t index) const;
  };
  struct Due {
    Row* row;
    int key;
    std::uint64_t index;
    std::chrono::nanoseconds deadline;
    TxRecord record;
  };

  Row cyclicRow(const TxRecord& record, int cycleMs, std::uint64_t count) const;
  bool start(int key, Row row);
  // Under m_mutex: stops a running row for a reason of its own and queues the event.
  void stopFor(int key, Row& row, RowStop why);
  void takeDue(int key, Row& row, std::chrono::nanoseconds now, std::vector<Due>& due);
  void run(std::stop_token stop);

  SendPath& m_path;
  TransmitClock& m_clock;
  const Options m_options;
  const std::chrono::nanoseconds m_epoch;  // the millisecond grid's origin

  mutable std::mutex m_mutex;  // guards everything below; held across the reports' writes
  std::map<int, Row> m_rows;
  std::vector<RowEvent> m_events;
  std::atomic<bool> m_realtime{false};

  std::jthread m_thread;  // last: joined before the members it uses go away
};

}  // namespace velqor
