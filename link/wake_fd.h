#pragma once
// WakeFd: an eventfd that wakes a thread blocked in poll/epoll. Signal() may be called from
// any thread and any number of times; Drain() clears it on the waiting thread.

#include <cstdint>

namespace velqor {

class WakeFd {
 public:
  // Throws std::system_error when the kernel refuses an eventfd.
  WakeFd();
  ~WakeFd();
  WakeFd(const WakeFd&) = delete;
  WakeFd& operator=(const WakeFd&) = delete;

  int Descriptor() const { return m_fd; }
  void Signal() const;
  void Drain() const;

 private:
  int m_fd = -1;
};

}  // namespace velqor
