#include "bridge/host_frame_queue.h"

namespace velqor {

HostFrameQueue::HostFrameQueue(std::size_t capacity) : m_capacity(capacity) {
  m_frames.reserve(capacity);
}

bool HostFrameQueue::Push(const CanFrame& frame) {
  bool wake = false;
  {
    std::lock_guard lock(m_mutex);
    if (!m_accepting) return false;
    if (m_frames.size() >= m_capacity) {
      m_dropped.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    wake = m_frames.empty();
    m_frames.push_back(frame);
  }
  m_taken.fetch_add(1, std::memory_order_relaxed);
  if (wake) m_wake.Signal();
  return true;
}

void HostFrameQueue::TakeAll(std::vector<CanFrame>& out) {
  out.clear();
  if (out.capacity() < m_capacity) out.reserve(m_capacity);
  std::lock_guard lock(m_mutex);
  m_frames.swap(out);
}

void HostFrameQueue::SetAccepting(bool on) {
  std::lock_guard lock(m_mutex);
  m_accepting = on;
  if (!on) m_frames.clear();
}

bool HostFrameQueue::Empty() const {
  std::lock_guard lock(m_mutex);
  return m_frames.empty();
}

}  // namespace velqor
