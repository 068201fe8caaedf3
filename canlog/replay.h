#pragma once
// Replay of a recorded log onto the bus: each frame goes out with the recorded interval to
// the one before (scaled by the speed), or as fast as the link allows, once or in a loop,
// optionally only for chosen identifiers.
//
// ReplayEngine is the plain logic and owns no clock and no thread: its owner calls Poll(now)
// with the steady time, hands the adapter's send results to OnSendResult(), and waits for
// what Poll() says (a time, a result, or nothing more). Tests drive it with their own times
// and a recording sender. ReplayRunner is that owner for real time: a thread of its own.
//
// Flow control: the adapter answers every frame with a send result and holds only a few
// frames at a time, so at most `maxInFlight` frames are sent without their result. When the
// results lag (a slow bus), frames go out late rather than being refused; Stats() says how
// late the latest one was. A frame whose result does not come within `resultTimeout` counts
// as failed and frees its place.
//
// Frames the adapter cannot send (remote frames, error frames) are passed over and counted.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "canlog/log_reader.h"

namespace velqor {

struct ReplayId {
  std::uint32_t id = 0;
  bool extended = false;
  bool operator==(const ReplayId&) const = default;
};

// "123,18FEF100,7df": hexadecimal identifiers separated by commas; more than 3 digits make an
// extended one (as cansend writes them). Nothing, and `error` set, for any other text.
std::optional<std::vector<ReplayId>> ParseReplayIds(std::string_view text, std::string& error);

struct ReplayOptions {
  static constexpr double kMinSpeed = 0.25;
  static constexpr double kMaxSpeed = 4.0;
  // Recorded intervals are divided by the speed (kMinSpeed..kMaxSpeed); 0: as fast as the link
  // allows.
  double speed = 1.0;
  bool loop = false;
  std::vector<ReplayId> identifiers = {};  // only these; empty: all
  std::size_t maxInFlight = 8;
  std::chrono::microseconds resultTimeout = std::chrono::seconds(1);
  // Whether the adapter's send results reach OnSendResult(). Without them nothing waits for a
  // result (a frame counts as sent once the link took it) and only `minInterval` keeps the
  // frames from outrunning the bus.
  bool awaitResults = true;
  // The least time between two frames sent; 0: none.
  std::chrono::microseconds minInterval{0};
};

// Sends one frame through the adapter (as a SendCanFrame command). False when the frame could
// not be handed to the link; it then counts as failed at once and no result is expected.
class ReplaySender {
 public:
  virtual bool Send(const CanFrame& frame) = 0;

 protected:
  ~ReplaySender() = default;
};

struct ReplayStats {
  std::uint64_t sent = 0;        // handed to the adapter
  std::uint64_t succeeded = 0;   // the adapter said sent
  std::uint64_t failed = 0;      // refused, failed on the bus, or no result in time
  std::uint64_t passedOver = 0;  // remote and error frames: the adapter sends neither
  std::uint64_t notSelected = 0;
  std::uint64_t passes = 0;  // passes through the file completed
  double passFraction = 0;   // of the current pass, by bytes read (0..1)
  std::int64_t lateUs = 0;   // how late the last frame went out against its time
  std::int64_t maxLateUs = 0;
};

class ReplayEngine {
 public:
  // Opens the log from its start; called once per pass. Its errors (LogError) come out of
  // Poll().
  using OpenReader = std::function<std::unique_ptr<LogReader>()>;

  ReplayEngine(OpenReader open, ReplayOptions options, ReplaySender& sender);

  struct Wait {
    enum class Kind {
      Until,   // call Poll again at `untilUs` (or earlier, when a result comes)
      Result,  // call Poll again when a result comes (or at `untilUs`, its time-out)
      Done,    // the replay is over
    };
    Kind kind = Kind::Done;
    std::int64_t untilUs = 0;
  };

  // Opens the log and reads ahead to its first frame before the replay's clock starts, so
  // that the time this takes does not make the first frames late. Optional; throws LogError.
  void Prepare();
  // At steady time `nowUs` (microseconds, any origin; the first call is the start): sends every
  // frame that is due and may go. Throws LogError when the log cannot be read further.
  Wait Poll(std::int64_t nowUs);
  // The adapter's result for the oldest frame without one.
  void OnSendResult(bool sent);
  // Ends the replay; Poll() then says Done. Results of frames in flight are still counted.
  void Stop() { m_stopped = true; }

  bool Done() const { return m_done; }
  const ReplayStats& Stats() const { return m_stats; }

 private:
  // Reads ahead to the next frame to send; false at the end of all passes.
  bool loadNext();
  bool selected(const CanFrame& f) const;

  OpenReader m_open;
  ReplayOptions m_options;
  ReplaySender& m_sender;
  std::unique_ptr<LogReader> m_reader;
  ReplayStats m_stats;

  bool m_started = false;
  bool m_prepared = false;
  bool m_stopped = false;
  bool m_done = false;
  std::int64_t m_startUs = 0;  // steady time of the first frame
  bool m_haveFirst = false;
  std::int64_t m_firstWallUs = 0;   // the recorded time of the first frame of the file
  std::int64_t m_lastWallUs = 0;    // of the last frame read in this pass
  std::int64_t m_passOffsetUs = 0;  // recorded time added for the passes before
  std::uint64_t m_passFrames = 0;   // frames sent in this pass
  std::optional<CanFrame> m_next;   // the next frame to send, with its recorded time adjusted
  std::int64_t m_lastDueUs = 0;
  std::uint64_t m_passRead = 0;  // frames read in this pass, sent or not
  bool m_sentAny = false;
  std::int64_t m_lastSentUs = 0;        // steady time of the last frame sent
  std::deque<std::int64_t> m_inFlight;  // send times of the frames without a result yet
};

// Runs an engine against the steady clock on a thread of its own. OnSendResult() may be called
// from any thread (the adapter's reader) and never waits for the replay thread.
class ReplayRunner {
 public:
  // `onFinished` runs on the replay thread when the replay is over (also after an error or
  // Stop()); it must not call Stop() or destroy the runner.
  ReplayRunner(std::unique_ptr<ReplayEngine> engine, std::function<void()> onFinished = {});
  ~ReplayRunner();  // stops and joins
  ReplayRunner(const ReplayRunner&) = delete;
  ReplayRunner& operator=(const ReplayRunner&) = delete;

  void Start();
  void Stop();
  void OnSendResult(bool sent);

  bool Finished() const;
  ReplayStats Stats() const;
  // The error that ended the replay (a log that could not be read further); empty when none.
  std::string Error() const;

 private:
  void Run(std::stop_token stop);

  std::unique_ptr<ReplayEngine> m_engine;  // the replay thread's
  std::function<void()> m_onFinished;
  mutable std::mutex m_mutex;  // guards what follows; never held while the engine works
  std::condition_variable_any m_wake;
  std::vector<bool> m_results;  // results that came and were not yet given to the engine
  bool m_finished = false;
  std::string m_error;
  ReplayStats m_stats;
  std::jthread m_thread;  // last: joined before the members it uses go away
};

}  // namespace velqor
