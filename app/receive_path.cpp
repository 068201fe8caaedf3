#include "app/receive_path.h"

#include <algorithm>
#include <exception>

#include "link/protocol.h"

namespace velqor {

namespace {
// At most one incomplete frame (< 258 bytes) stays in the interpreter between feeds, so a
// piece of this size always fits its 4096-byte buffer.
constexpr std::size_t kFeedPiece = 2048;
}  // namespace

ReceivePath::ReceivePath(DeviceMessageHandler& handler,
                         std::function<void(const std::string&)> onError, std::size_t capacity,
                         QObject* parent)
    : QObject(parent),
      m_handler(handler),
      m_onError(std::move(onError)),
      m_capacity(std::max<std::size_t>(capacity, 1)),
      m_messageCapacity(std::min(m_capacity, kMessageCapacity)),
      m_ring(m_capacity),
      m_wake(std::make_unique<OwnerWake>([this] { drainTick(); })) {
  for (LinkInterpreter* l : {&m_usb, &m_serial, &m_local}) {
    l->interpreter = std::make_unique<TMsgInterpret>(&l->sink);
    l->sink.frames.reserve(kFeedPiece / 19 + 1);  // a received frame takes 19 bytes
  }
  m_tick.setSingleShot(true);
  m_tick.setTimerType(Qt::PreciseTimer);
  m_tick.setInterval(kWakeIntervalMs);
  connect(&m_tick, &QTimer::timeout, this, &ReceivePath::drainTick);
}

ReceivePath::~ReceivePath() = default;

void ReceivePath::LinkSink::OnDeviceMessage(int code, const DeviceMessage& message) {
  messages.push_back({frames.size(), code, message});
}

void ReceivePath::Feed(const std::uint8_t* bytes, std::size_t length, Link link,
                       const CanTime& arrival) {
  LinkInterpreter& l = linkInterpreter(link);
  std::lock_guard lock(l.mutex);
  while (length > 0) {
    const std::size_t piece = std::min(length, kFeedPiece);
    l.interpreter->Feed(bytes, static_cast<std::uint32_t>(piece), arrival);
    publish(l.sink);
    bytes += piece;
    length -= piece;
  }
}

ReceivePath::LinkInterpreter& ReceivePath::linkInterpreter(Link link) {
  return link == Link::Usb ? m_usb : link == Link::Serial ? m_serial : m_local;
}

void ReceivePath::restartLink(Link link) {
  LinkInterpreter& l = linkInterpreter(link);
  std::lock_guard lock(l.mutex);
  l.interpreter = std::make_unique<TMsgInterpret>(&l.sink);
}

void ReceivePath::Transmitted(const CanFrame& frame) {
  CanFrame sent = frame;
  sent.flags |= CanFrame::kTx;
  bool wake = false;
  {
    std::lock_guard lock(m_queueMutex);
    pushFramesLocked(&sent, 1);
    wake = !m_drainPending;
    m_drainPending = true;
  }
  if (wake) m_wake->Wake();
}

void ReceivePath::publish(LinkSink& sink) {
  if (sink.frames.empty() && sink.messages.empty()) return;
  bool wake = false;
  {
    std::lock_guard lock(m_queueMutex);
    std::size_t done = 0;
    for (const LinkSink::Message& m : sink.messages) {
      pushFramesLocked(sink.frames.data() + done, m.beforeFrame - done);
      done = m.beforeFrame;
      pushMessageLocked(m.code, m.record);
    }
    pushFramesLocked(sink.frames.data() + done, sink.frames.size() - done);
    wake = !m_drainPending;
    m_drainPending = true;
  }
  sink.frames.clear();
  sink.messages.clear();
  if (wake) m_wake->Wake();
}

void ReceivePath::pushFramesLocked(const CanFrame* frames, std::size_t count) {
  const std::size_t room = m_capacity - m_count;
  const std::size_t n = std::min(count, room);
  if (n < count) m_lost.fetch_add(count - n, std::memory_order_relaxed);
  std::size_t at = (m_head + m_count) % m_capacity;
  for (std::size_t i = 0; i < n; ++i) {
    m_ring[at] = frames[i];
    if (++at == m_capacity) at = 0;
  }
  m_count += n;
  m_framesPushed += n;
}

void ReceivePath::pushMessageLocked(int code, const DeviceMessage& record) {
  if (m_messages.size() >= m_messageCapacity) {
    m_lost.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  m_messages.push_back({m_framesPushed, code, record});
}

std::size_t ReceivePath::queuedCount() const {
  std::lock_guard lock(m_queueMutex);
  return m_count + m_messages.size() + m_takenMessages.size();
}

void ReceivePath::addFrameConsumer(FrameConsumer& consumer, Frames frames) {
  removeFrameConsumer(consumer);
  m_consumers.push_back({&consumer, frames});
}

void ReceivePath::removeFrameConsumer(FrameConsumer& consumer) {
  std::erase_if(m_consumers, [&consumer](const Consumer& c) { return c.consumer == &consumer; });
}

std::size_t ReceivePath::handle(std::size_t limit) {
  // A box opened by a consumer runs the event loop, which may call here again: the outer
  // call carries on when the box closes.
  if (m_handling) return 0;
  m_handling = true;

  // The frames queued now can be read outside the lock: the feeding threads write only
  // behind them, and the slots are given back below, after they were handed on.
  std::size_t head = 0;
  std::size_t available = 0;
  {
    std::lock_guard lock(m_queueMutex);
    head = m_head;
    available = m_count;
    while (!m_messages.empty()) {
      m_takenMessages.push_back(std::move(m_messages.front()));
      m_messages.pop_front();
    }
  }

  std::size_t handled = 0;
  std::size_t frames = 0;
  const std::size_t budget = std::min(available, limit);
  while (true) {
    // Messages due before the next frame first.
    while (!m_takenMessages.empty() && m_takenMessages.front().beforeFrame <= m_framesTaken) {
      const QueuedMessage message = std::move(m_takenMessages.front());
      m_takenMessages.pop_front();
      deliverMessage(message);
      ++handled;
    }
    if (frames == budget) break;
    // The run of frames up to the next message, the end of the budget or the end of the ring.
    std::size_t run = budget - frames;
    if (!m_takenMessages.empty())
      run = std::min<std::uint64_t>(run, m_takenMessages.front().beforeFrame - m_framesTaken);
    run = std::min(run, m_capacity - head);
    deliver(m_ring.data() + head, run);
    head = (head + run) % m_capacity;
    frames += run;
    m_framesTaken += run;
    handled += run;
  }

  {
    std::lock_guard lock(m_queueMutex);
    m_head = head;
    m_count -= frames;
  }
  m_handling = false;
  showLost();
  return handled;
}

void ReceivePath::deliver(const CanFrame* frames, std::size_t count) {
  std::size_t received = 0;
  for (std::size_t i = 0; i < count; ++i) received += !frames[i].tx();
  for (std::size_t c = 0; c < m_consumers.size(); ++c) {
    const Consumer& consumer = m_consumers[c];
    try {
      if (consumer.frames == Frames::ReceivedAndSent || received == count) {
        consumer.consumer->OnFrames({frames, count});
        continue;
      }
      // Only the received ones, in the runs between the sent ones.
      for (std::size_t i = 0; i < count;) {
        if (frames[i].tx()) {
          ++i;
          continue;
        }
        std::size_t j = i;
        while (j < count && !frames[j].tx()) ++j;
        consumer.consumer->OnFrames({frames + i, j - i});
        i = j;
      }
    } catch (const std::exception& e) {
      report(e.what());
    } catch (...) {
      report("");
    }
  }
  m_framesHandled.store(m_framesHandled.load(std::memory_order_relaxed) + received,
                        std::memory_order_relaxed);
}

void ReceivePath::deliverMessage(const QueuedMessage& message) {
  try {
    m_handler.OnDeviceMessage(message.code, message.record);
  } catch (const std::exception& e) {
    report(e.what());
  } catch (...) {
    report("");
  }
}

void ReceivePath::report(const char* what) const {
  if (m_onError) m_onError(what);
}

void ReceivePath::drainTick() {
  const std::size_t handled = handle(kBatch);
  bool more = false;
  {
    std::lock_guard lock(m_queueMutex);
    more = m_count > 0 || !m_messages.empty() || !m_takenMessages.empty();
    // A tick that finds nothing ends the busy spell: the next arrival wakes at once.
    if (handled == 0 && !more && !m_handling) {
      m_drainPending = false;
      return;
    }
  }
  if (more && handled >= kBatch) {
    m_wake->Wake();  // a backlog: carry on after the event loop's other work
  } else if (!m_tick.isActive()) {
    m_tick.start();
  }
}

void ReceivePath::drainAll() {
  while (handle(kBatch) > 0) {
  }
}

void ReceivePath::showLost() {
  const std::uint64_t lost = lostCount();
  if (lost != m_lostShown) {
    m_lostShown = lost;
    emit lostCountChanged(lost);
  }
}

}  // namespace velqor
