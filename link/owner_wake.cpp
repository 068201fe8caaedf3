#include "link/owner_wake.h"

#include <QSocketNotifier>

namespace velqor {

OwnerWake::OwnerWake(std::function<void()> handler)
    : m_handler(std::move(handler)),
      m_notifier(std::make_unique<QSocketNotifier>(m_fd.Descriptor(), QSocketNotifier::Read)) {
  QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
    m_fd.Drain();
    m_handler();
  });
}

OwnerWake::~OwnerWake() = default;

}  // namespace velqor
