#include "link/termination_signals.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace velqor {

namespace {

volatile std::sig_atomic_t g_wakeFd = -1;

void OnTerminationSignal(int) {
  const int saved = errno;
  const std::uint64_t one = 1;
  if (g_wakeFd >= 0) (void)!::write(g_wakeFd, &one, sizeof one);
  errno = saved;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> close)
    : m_close(std::move(close)), m_wake([this] { Woken(); }) {
  if (g_wakeFd >= 0) throw std::logic_error("TerminationSignals: one at a time");
  g_wakeFd = m_wake.Descriptor();
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, &m_oldInt);
  ::sigaction(SIGTERM, &action, &m_oldTerm);
}

TerminationSignals::~TerminationSignals() {
  ::sigaction(SIGINT, &m_oldInt, nullptr);
  ::sigaction(SIGTERM, &m_oldTerm, nullptr);
  g_wakeFd = -1;
}

void TerminationSignals::Woken() {
  ++m_handled;
  if (!m_armed || m_closing) return;
  m_closing = true;
  if (m_close) m_close();
}

}  // namespace velqor
