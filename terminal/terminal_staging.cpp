#include "terminal/terminal_staging.h"

#include <utility>

namespace velqor {

namespace {
std::size_t sizeOf(const TerminalStaging::TransmitItem& item) {
  return item.bytes.size() + item.text.size() + 1;
}
}  // namespace

bool TerminalStaging::markPending() {
  const bool post = !m_pending;
  m_pending = true;
  return post;
}

bool TerminalStaging::AddReceived(std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(m_mutex);
  m_received.insert(m_received.end(), bytes.begin(), bytes.end());
  // Trimmed only now and then, so that a stalled window costs no copying per report.
  if (m_received.size() > 2 * kMaxReceived) {
    const std::size_t excess = m_received.size() - kMaxReceived;
    m_received.erase(m_received.begin(), m_received.begin() + static_cast<std::ptrdiff_t>(excess));
    m_receivedSkipped += excess;
  }
  return markPending();
}

void TerminalStaging::pushTransmit(TransmitItem item) {
  m_transmitSize += sizeOf(item);
  m_transmit.push_back(std::move(item));
  while (m_transmitSize > kMaxTransmit && m_transmit.size() > 1) {
    m_transmitSize -= sizeOf(m_transmit.front());
    m_transmit.pop_front();
    ++m_transmitSkipped;
  }
}

bool TerminalStaging::AddSent(std::span<const std::uint8_t> bytes) {
  TransmitItem item{TransmitItem::Kind::Sent, {bytes.begin(), bytes.end()}, {}};
  std::lock_guard lock(m_mutex);
  pushTransmit(std::move(item));
  return markPending();
}

bool TerminalStaging::AddProgress(std::string text) {
  TransmitItem item{TransmitItem::Kind::Progress, {}, std::move(text)};
  std::lock_guard lock(m_mutex);
  pushTransmit(std::move(item));
  return markPending();
}

TerminalStaging::Batch TerminalStaging::Take() {
  Batch batch;
  {
    std::lock_guard lock(m_mutex);
    batch.received.swap(m_received);
    batch.receivedSkipped = std::exchange(m_receivedSkipped, 0);
    batch.transmit.assign(std::make_move_iterator(m_transmit.begin()),
                          std::make_move_iterator(m_transmit.end()));
    m_transmit.clear();
    m_transmitSize = 0;
    batch.transmitSkipped = std::exchange(m_transmitSkipped, 0);
    m_pending = false;
  }
  if (batch.received.size() > kMaxReceived) {
    const std::size_t excess = batch.received.size() - kMaxReceived;
    batch.received.erase(batch.received.begin(),
                         batch.received.begin() + static_cast<std::ptrdiff_t>(excess));
    batch.receivedSkipped += excess;
  }
  return batch;
}

}  // namespace velqor
