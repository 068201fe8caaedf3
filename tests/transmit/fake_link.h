#pragma once
// Test doubles at the scheduler's edges: a clock the test sets, and a link that records each
// block written (or refuses them).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "link/device_sender.h"
#include "transmit/transmit_clock.h"

namespace velqor::test {

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

class RecordingLink : public DeviceSender {
 public:
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
    std::lock_guard lock(m_mutex);
    if (refuse) return false;
    blocks.emplace_back(bytes, bytes + length);
    return true;
  }
  std::vector<std::vector<std::uint8_t>> Blocks() {
    std::lock_guard lock(m_mutex);
    return blocks;
  }
  bool refuse = false;
  std::vector<std::vector<std::uint8_t>> blocks;

 private:
  std::mutex m_mutex;
};

// Time stands still until the test moves it. A waiter returns when the time reaches its
// deadline or it is woken; each wait's deadline is recorded.
class ManualClock : public TransmitClock {
 public:
  nanoseconds Now() const override {
    std::lock_guard lock(m_mutex);
    return m_now;
  }
  void Set(nanoseconds t) {
    {
      std::lock_guard lock(m_mutex);
      m_now = t;
    }
    m_changed.notify_all();
  }
  void WaitUntil(nanoseconds deadline) override {
    std::unique_lock lock(m_mutex);
    waits.push_back(deadline);
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_woken || m_now >= deadline; });
    m_woken = false;
  }
  void Wake() override {
    {
      std::lock_guard lock(m_mutex);
      m_woken = true;
    }
    m_changed.notify_all();
  }
  // Blocks until the waiter has started `n` waits in all (false after 10 s).
  bool AwaitWaits(std::size_t n) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, 10s, [&] { return waits.size() >= n; });
  }
  std::vector<nanoseconds> Waits() {
    std::lock_guard lock(m_mutex);
    return waits;
  }

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  nanoseconds m_now{0};
  bool m_woken = false;
  std::vector<nanoseconds> waits;
};

}  // namespace velqor::test
