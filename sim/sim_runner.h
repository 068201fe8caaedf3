#pragma once
// SimRunner runs a SimAdapter against the real clock on a thread of its own, for the
// program's simulated HID device and serial port, and for the command-line tool.
//
// The runner owns the model and one std::jthread. The thread advances the model to the
// steady clock, waking for the model's next event, when bytes are written, and at least
// every millisecond (like the adapter's 1 ms USB polling interval), never more often than
// every 200 us. Everything the model sends is handed to the callbacks on the runner thread;
// a callback must not call Stop(). The model itself is only touched on the runner thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "sim/sim_adapter.h"

namespace velqor {

// How the runner keeps up with real time.
struct RunnerStats {
  std::uint64_t steps = 0;
  std::chrono::nanoseconds busy{0};  // time spent inside the model and the callbacks
  std::chrono::nanoseconds longestStep{0};
  std::chrono::nanoseconds modelTime{0};  // the model's time after the last step
  std::uint64_t bytesWritten = 0;         // bytes handed to the model by Write
  std::uint64_t bytesDropped = 0;         // bytes refused: more than kMaxPendingBytes waiting
};

class SimRunner {
 public:
  using InputReportCallback = std::function<void(std::span<const std::uint8_t, kInputReportSize>)>;
  using ConsoleCallback = std::function<void(std::span<const std::uint8_t>)>;
  static constexpr std::size_t kMaxPendingBytes = 1 << 20;
  static constexpr std::chrono::nanoseconds kMaxStep = std::chrono::milliseconds(1);
  static constexpr std::chrono::nanoseconds kMinStep = std::chrono::microseconds(200);

  explicit SimRunner(SimOptions options = {});
  ~SimRunner();
  SimRunner(const SimRunner&) = delete;
  SimRunner& operator=(const SimRunner&) = delete;

  // Set before Start(); called on the runner thread.
  void SetOnInputReport(InputReportCallback callback);
  void SetOnConsoleOutput(ConsoleCallback callback);
  // Every frame completed on the simulated bus, with model times (from Start).
  void SetOnBusFrame(SimAdapter::BusObserver observer);

  // Starts the thread; the model's time 0 is now. A runner starts once: later calls, also
  // after Stop(), do nothing.
  void Start();
  // Stops and joins the thread. Output not yet handed out stays in the model.
  void Stop();
  bool Running() const { return m_thread.joinable(); }

  // From any thread: bytes the program sends to the adapter. They reach the model at the
  // runner's next step, which they bring forward.
  void Write(std::span<const std::uint8_t> bytes);

  // From any thread: runtime options, applied on the runner thread at its next step.
  void SetUnacknowledged(bool on);
  void SetErrorInterval(std::chrono::nanoseconds meanInterval);
  void SetFlood(const FloodOptions& flood);
  void SetProfileEnabled(bool on);
  void SetPacking(ReportPacking packing);
  // Any other change: `action` runs on the runner thread with the model.
  void Post(std::function<void(SimAdapter&)> action);

  // Snapshots taken after the runner's last step.
  SimStats Stats() const;
  RunnerStats Timing() const;
  // How the model started (EEPROM file loaded, missing or invalid); fixed at construction.
  const EepromLoad& EepromStatus() const { return m_eepromLoad; }

 private:
  void Run(std::stop_token stop);
  void Step(std::chrono::nanoseconds now, std::vector<std::uint8_t>& bytes,
            std::vector<std::function<void(SimAdapter&)>>& actions);

  SimAdapter m_adapter;  // runner thread only (before Start and after Stop: the owner's)
  const EepromLoad m_eepromLoad;
  InputReportCallback m_onInputReport;
  ConsoleCallback m_onConsole;
  std::chrono::steady_clock::time_point m_epoch;
  bool m_started = false;

  mutable std::mutex m_mutex;  // guards everything below
  std::condition_variable_any m_wake;
  std::vector<std::uint8_t> m_pendingBytes;
  std::vector<std::function<void(SimAdapter&)>> m_pendingActions;
  SimStats m_stats;
  RunnerStats m_timing;

  std::jthread m_thread;  // last: joined before the members it uses go away
};

}  // namespace velqor
