#include "app/receive_path.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "link/protocol.h"

namespace velqor {

namespace {
// At most one incomplete frame (< 258 bytes) stays in the interpreter between feeds, so a
// piece of this size always fits its 4096-byte buffer.
constexpr std::size_t kFeedPiece = 2048;
}  // namespace

ReceivePath::ReceivePath(DeviceMessageSink& target, std::function<void(const std::string&)> onError,
                         std::size_t capacity, QObject* parent)
    : QObject(parent),
      m_target(target),
      m_onError(std::move(onError)),
      m_capacity(std::max<std::size_t>(capacity, 1)),
      m_ring(m_capacity),
      m_wake(std::make_unique<OwnerWake>([this] { drainBatch(); })) {
  m_usb.interpreter = std::make_unique<TMsgInterpret>(static_cast<DeviceMessageSink*>(this));
  m_serial.interpreter = std::make_unique<TMsgInterpret>(static_cast<DeviceMessageSink*>(this));
  m_local.interpreter = std::make_unique<TMsgInterpret>(static_cast<DeviceMessageSink*>(this));
  m_batch.reserve(kBatch);
}

ReceivePath::~ReceivePath() = default;

void ReceivePath::Feed(const std::uint8_t* bytes, std::size_t length, Link link) {
  LinkInterpreter& l = link == Link::Usb ? m_usb : link == Link::Serial ? m_serial : m_local;
  std::lock_guard lock(l.mutex);
  while (length > 0) {
    const std::size_t piece = std::min(length, kFeedPiece);
    l.interpreter->Feed(bytes, static_cast<std::uint32_t>(piece));
    bytes += piece;
    length -= piece;
  }
}

void ReceivePath::OnDeviceMessage(int code, const DeviceMessage& message) {
  bool post = false;
  {
    std::lock_guard lock(m_queueMutex);
    if (m_count == m_capacity) {
      m_lost.fetch_add(1, std::memory_order_relaxed);
      return;  // a drain is already pending: the queue is full
    }
    Entry& e = m_ring[(m_head + m_count) % m_capacity];
    e.code = static_cast<std::int16_t>(code);
    if (code == MsgCode::ReceivedFrame) {
      e.ide = message.Ide;
      e.dlc = message.Dlc;
      e.id = message.Id;
      std::memcpy(e.data.data(), message.Data, e.data.size());
      e.full.reset();
    } else {
      e.full = std::make_unique<DeviceMessage>(message);
    }
    ++m_count;
    if (!m_drainPosted) {
      m_drainPosted = true;
      post = true;
    }
  }
  if (post) m_wake->Wake();
}

std::size_t ReceivePath::queuedCount() const {
  std::lock_guard lock(m_queueMutex);
  return m_count;
}

// Takes up to `limit` entries and handles them; true when more are queued.
bool ReceivePath::handleBatch(std::size_t limit) {
  bool more = false;
  {
    std::lock_guard lock(m_queueMutex);
    const std::size_t n = std::min(m_count, limit);
    m_batch.clear();
    for (std::size_t i = 0; i < n; ++i) {
      m_batch.push_back(std::move(m_ring[m_head]));
      m_head = (m_head + 1) % m_capacity;
    }
    m_count -= n;
    more = m_count > 0;
  }
  for (Entry& e : m_batch) {
    if (e.full) {
      m_record = *e.full;
    } else {
      m_record.Ide = e.ide;
      m_record.Dlc = e.dlc;
      m_record.Id = e.id;
      std::memcpy(m_record.Data, e.data.data(), e.data.size());
      m_record.Valid = 1;
    }
    if (e.code == MsgCode::ReceivedFrame)
      m_framesHandled.store(m_framesHandled.load(std::memory_order_relaxed) + 1,
                            std::memory_order_relaxed);
    try {
      m_target.OnDeviceMessage(e.code, m_record);
    } catch (const std::exception& ex) {
      if (m_onError) m_onError(ex.what());
    } catch (...) {
      if (m_onError) m_onError(std::string());
    }
  }
  m_batch.clear();
  const std::uint64_t lost = lostCount();
  if (lost != m_lostShown) {
    m_lostShown = lost;
    emit lostCountChanged(lost);
  }
  return more;
}

void ReceivePath::drainBatch() {
  if (handleBatch(kBatch)) {
    // More is queued: let the event loop breathe, then carry on.
    m_wake->Wake();
    return;
  }
  std::lock_guard lock(m_queueMutex);
  if (m_count > 0) {
    m_wake->Wake();
  } else {
    m_drainPosted = false;
  }
}

void ReceivePath::drainAll() {
  while (handleBatch(kBatch)) {
  }
}

}  // namespace velqor
