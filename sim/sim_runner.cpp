#include "sim/sim_runner.h"

#include <algorithm>
#include <string>

namespace velqor {

using std::chrono::nanoseconds;
using Clock = std::chrono::steady_clock;

SimRunner::SimRunner(SimOptions options)
    : m_adapter(std::move(options)), m_eepromLoad(m_adapter.EepromStatus()) {}

SimRunner::~SimRunner() { Stop(); }

void SimRunner::SetOnInputReport(InputReportCallback callback) {
  m_onInputReport = std::move(callback);
}

void SimRunner::SetOnConsoleOutput(ConsoleCallback callback) { m_onConsole = std::move(callback); }

void SimRunner::SetOnBusFrame(SimAdapter::BusObserver observer) {
  m_adapter.SetBusObserver(std::move(observer));
}

void SimRunner::Start() {
  if (m_started) return;
  m_started = true;
  m_epoch = Clock::now();
  m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void SimRunner::Stop() {
  if (!m_thread.joinable()) return;
  m_thread.request_stop();  // wakes the wait through the stop token
  m_thread.join();
}

void SimRunner::Write(std::span<const std::uint8_t> bytes) {
  {
    std::lock_guard lock(m_mutex);
    const std::size_t room = kMaxPendingBytes - std::min(kMaxPendingBytes, m_pendingBytes.size());
    const std::size_t n = std::min(room, bytes.size());
    m_pendingBytes.insert(m_pendingBytes.end(), bytes.begin(),
                          bytes.begin() + static_cast<std::ptrdiff_t>(n));
    m_timing.bytesWritten += n;
    m_timing.bytesDropped += bytes.size() - n;
  }
  m_wake.notify_one();
}

void SimRunner::Post(std::function<void(SimAdapter&)> action) {
  {
    std::lock_guard lock(m_mutex);
    m_pendingActions.push_back(std::move(action));
  }
  m_wake.notify_one();
}

void SimRunner::SetUnacknowledged(bool on) {
  Post([on](SimAdapter& a) { a.SetUnacknowledged(on); });
}
void SimRunner::SetErrorInterval(nanoseconds meanInterval) {
  Post([meanInterval](SimAdapter& a) { a.SetErrorInterval(meanInterval); });
}
void SimRunner::SetFlood(const FloodOptions& flood) {
  Post([flood](SimAdapter& a) { a.SetFlood(flood); });
}
void SimRunner::SetProfileEnabled(bool on) {
  Post([on](SimAdapter& a) { a.SetProfileEnabled(on); });
}
void SimRunner::SetPacking(ReportPacking packing) {
  Post([packing](SimAdapter& a) { a.SetPacking(packing); });
}

SimStats SimRunner::Stats() const {
  std::lock_guard lock(m_mutex);
  return m_stats;
}

RunnerStats SimRunner::Timing() const {
  std::lock_guard lock(m_mutex);
  return m_timing;
}

void SimRunner::Step(nanoseconds now, std::vector<std::uint8_t>& bytes,
                     std::vector<std::function<void(SimAdapter&)>>& actions) {
  m_adapter.AdvanceTo(now);
  for (auto& action : actions) action(m_adapter);
  if (!bytes.empty()) m_adapter.Write(bytes);
  m_adapter.AdvanceTo(now);  // closes the step (pads a partly filled report)

  InputReport report;
  while (m_adapter.TakeInputReport(report)) {
    if (m_onInputReport) m_onInputReport(std::span<const std::uint8_t, kInputReportSize>(report));
  }
  std::string console;
  if (m_adapter.TakeConsoleOutput(console) && m_onConsole) {
    m_onConsole(std::span(reinterpret_cast<const std::uint8_t*>(console.data()), console.size()));
  }
}

void SimRunner::Run(std::stop_token stop) {
  std::vector<std::uint8_t> bytes;
  std::vector<std::function<void(SimAdapter&)>> actions;
  std::unique_lock lock(m_mutex);
  while (!stop.stop_requested()) {
    bytes.swap(m_pendingBytes);
    actions.swap(m_pendingActions);
    lock.unlock();

    const auto begin = Clock::now();
    const nanoseconds now = begin - m_epoch;
    Step(now, bytes, actions);
    bytes.clear();
    actions.clear();
    const SimStats stats = m_adapter.Stats();
    const nanoseconds next = m_adapter.NextEventTime();
    const auto end = Clock::now();

    lock.lock();
    m_stats = stats;
    const nanoseconds took = end - begin;
    ++m_timing.steps;
    m_timing.busy += took;
    m_timing.longestStep = std::max(m_timing.longestStep, took);
    m_timing.modelTime = now;

    // Wake for the next event, but batch: at least kMinStep, at most kMaxStep from now.
    const nanoseconds wake = std::clamp(next, now + kMinStep, now + kMaxStep);
    m_wake.wait_until(lock, stop, m_epoch + wake,
                      [this] { return !m_pendingBytes.empty() || !m_pendingActions.empty(); });
  }
}

}  // namespace velqor
