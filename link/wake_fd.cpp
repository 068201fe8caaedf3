#include "link/wake_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace velqor {

WakeFd::WakeFd() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (m_fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WakeFd::~WakeFd() {
  if (m_fd >= 0) ::close(m_fd);
}

void WakeFd::Signal() const {
  const std::uint64_t one = 1;
  // EAGAIN means the counter is already at its maximum: the waiter wakes anyway.
  while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void WakeFd::Drain() const {
  std::uint64_t value = 0;
  while (::read(m_fd, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

}  // namespace velqor
