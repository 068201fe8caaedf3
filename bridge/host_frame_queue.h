#pragma once
// HostFrameQueue: the bounded queue of frames on their way to the slcan host.
//
// Producers (the adapter's reader thread, or whichever thread announces received frames) call
// Push; it never waits for the host: it takes a short lock, and a frame that finds the queue
// full is dropped and counted. While the channel is closed the queue takes nothing (the host
// did not ask for frames). The one consumer, the bridge's serving thread, takes the waiting
// frames in batches (TakeAll swaps two vectors of fixed capacity: no allocation per frame).
//
// Wake-up: a frame that arrives in an empty queue signals the wake descriptor once; the
// consumer drains the descriptor and then takes everything, so it sleeps while nothing comes
// and is woken once per batch, not once per frame.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "link/can_frame.h"
#include "link/wake_fd.h"

namespace velqor {

class HostFrameQueue {
 public:
  explicit HostFrameQueue(std::size_t capacity);
  HostFrameQueue(const HostFrameQueue&) = delete;
  HostFrameQueue& operator=(const HostFrameQueue&) = delete;

  // Any thread. False when the frame was not taken: the channel is closed, or the queue is
  // full (the frame is dropped and counted).
  bool Push(const CanFrame& frame);

  // Consumer: `out` is emptied and receives every waiting frame, oldest first.
  void TakeAll(std::vector<CanFrame>& out);
  // Consumer: opens (frames are taken from now on) or closes (waiting frames are discarded,
  // nothing is taken until it opens again) the channel.
  void SetAccepting(bool on);
  bool Empty() const;

  int WakeDescriptor() const { return m_wake.Descriptor(); }
  void DrainWake() const { m_wake.Drain(); }

  std::size_t Capacity() const { return m_capacity; }
  std::uint64_t Taken() const { return m_taken.load(std::memory_order_relaxed); }
  std::uint64_t Dropped() const { return m_dropped.load(std::memory_order_relaxed); }

 private:
  const std::size_t m_capacity;
  WakeFd m_wake;
  mutable std::mutex m_mutex;
  std::vector<CanFrame> m_frames;  // guarded by m_mutex
  bool m_accepting = false;        // guarded by m_mutex
  std::atomic<std::uint64_t> m_taken{0};
  std::atomic<std::uint64_t> m_dropped{0};
};

}  // namespace velqor
