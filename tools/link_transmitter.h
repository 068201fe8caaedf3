#pragma once
// The transmit scheduler on a live link, for velqor-cli's `send --cycle` and `gen`: the
// scheduler's reports go to the adapter as output reports, the adapter's answers to each
// SendCanFrame (code 201) come back to it, and Run() waits for a row to end (its count, a
// stop of its own, or Ctrl-C) and then for the answers to its frames.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/live_link.h"
#include "transmit/send_path.h"
#include "transmit/transmit_clock.h"
#include "transmit/transmit_scheduler.h"

namespace velqor::cli {

class LinkTransmitter final : public DeviceMessageSink, public DeviceSender {
 public:
  // `realtime`: the scheduler's thread asks for real-time priority (see TransmitScheduler).
  explicit LinkTransmitter(LinkOptions options, bool realtime = true);
  ~LinkTransmitter();

  // Opens the adapter and starts the scheduler's thread. False with `error` saying why.
  bool Open(std::string& error);
  // After Open.
  TransmitScheduler& Scheduler() { return *m_scheduler; }

  struct Outcome {
    RowCounters row;
    RowCounters totals;                        // every row's, added up
    bool interrupted = false;                  // Ctrl-C (or SIGTERM)
    bool removed = false;                      // the adapter went away
    std::vector<SentFrame> frames;             // every frame that went out, in order
    std::chrono::nanoseconds schedulerCpu{0};  // CPU time of the scheduler's thread
  };
  // Runs until every row has stopped (or Ctrl-C, which stops them), then waits at most
  // `answerWait` for the answers to their frames; stops the scheduler and closes the link.
  // The outcome has the counters of row `row`.
  Outcome Run(int row, std::chrono::milliseconds answerWait);

  // DeviceMessageSink, on the link's reader thread: the answers to the frames sent (the
  // bus's frames are not this command's).
  void OnReceivedFrame(const CanFrame&) override {}
  void OnDeviceMessage(int code, const DeviceMessage& message) override;
  // DeviceSender: the scheduler's reports, one output report each.
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override;
  using DeviceSender::SendToDevice;

 private:
  bool done();
  void checkDone();

  LiveLink m_live;
  const bool m_realtime;
  SendPath m_path{*this};
  MonotonicClock m_clock;
  std::unique_ptr<TransmitScheduler> m_scheduler;
  std::atomic<bool> m_awaitAnswers{false};
  std::mutex m_framesMutex;
  std::vector<SentFrame> m_frames;
};

// How regular the frames of one row went out: the intervals between consecutive frames.
struct PeriodStats {
  std::size_t intervals = 0;
  double meanMs = 0;
  double p99DeviationMs = 0;  // 99th percentile of |interval - cycle|
  double maxDeviationMs = 0;
};
PeriodStats MeasurePeriod(const std::vector<SentFrame>& frames, std::chrono::nanoseconds cycle);

// The summary line on standard error and the exit status: 0 when every frame went out and
// was answered "sent", 3 when any failed or the link refused it, 5 when answers are missing.
int ReportOutcome(const char* command, const LinkTransmitter::Outcome& outcome,
                  std::chrono::nanoseconds cycle, std::ostream& err);

// The whole of a transmitting command: opens the link (exit 2 when it cannot), starts row
// kRow with `start`, runs it to its end, waits up to 1 s for the answers and reports.
inline constexpr int kRow = 1;
int RunTransmitRow(const char* command, const LinkOptions& link,
                   const std::function<bool(TransmitScheduler&)>& start,
                   std::chrono::nanoseconds cycle, std::ostream& err);

}  // namespace velqor::cli
