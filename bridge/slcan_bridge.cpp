#include "bridge/slcan_bridge.h"

#include <poll.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/protocol.h"

namespace velqor {

namespace {

using Clock = SlcanSession::Clock;

bool SessionWants(int code) {
  switch (code) {
    case MsgCode::SendResult:
    case MsgCode::BitTiming:
    case MsgCode::TimingTable:
    case MsgCode::SetBitTimingDone:
    case MsgCode::FirmwareVersion:
    case MsgCode::BusError:
      return true;
    default:
      return false;
  }
}

int PollTimeout(std::optional<Clock::time_point> deadline) {
  if (!deadline) return -1;
  const auto left = *deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  // Rounded up, so that the deadline has passed when poll returns.
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

}  // namespace

SlcanBridge::SlcanBridge(DeviceSender& sender, BridgeOptions options)
    : m_options(std::move(options)),
      m_queue(m_options.queueCapacity),
      m_session(sender, m_queue, m_options.session) {}

SlcanBridge::~SlcanBridge() { Stop(); }

bool SlcanBridge::Start(std::string& error) {
  if (m_thread.joinable()) return true;
  if (!m_pty.Open(error)) return false;
  m_thread = std::jthread([this](std::stop_token stop) { Serve(stop); });
  return true;
}

void SlcanBridge::Stop() {
  if (m_thread.joinable()) {
    m_thread.request_stop();
    m_thread.join();
  }
  m_pty.Close();
}

void SlcanBridge::OnReceivedFrame(const CanFrame& frame) { m_queue.Push(frame); }

void SlcanBridge::OnDeviceMessage(int code, const DeviceMessage& message) {
  if (!SessionWants(code)) return;
  {
    std::lock_guard lock(m_messagesMutex);
    if (m_messages.size() >= m_options.maxAdapterMessages) {
      m_messagesDropped.fetch_add(1, std::memory_order_relaxed);
      return;
    }
    m_messages.push_back({code, message});
  }
  m_wake.Signal();
}

BridgeStats SlcanBridge::Stats() const {
  const SessionCounters c = m_session.Counters();
  BridgeStats s;
  s.framesToHost = c.framesToHost;
  s.framesDropped = m_queue.Dropped();
  s.framesSent = c.framesSent;
  s.sendsFailed = c.sendsFailed;
  s.commandsRefused = c.commandsRefused;
  s.messagesDropped = m_messagesDropped.load(std::memory_order_relaxed);
  return s;
}

std::chrono::nanoseconds SlcanBridge::ServingCpuTime() const {
  const int clock = m_cpuClock.load();
  timespec t{};
  if (clock == kNoClock || ::clock_gettime(clock, &t) != 0) return {};
  return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

void SlcanBridge::Serve(std::stop_token stop) {
  std::stop_callback wakeOnStop(stop, [this] { m_wake.Signal(); });
  clockid_t cpuClock;
  if (::pthread_getcpuclockid(::pthread_self(), &cpuClock) == 0) m_cpuClock.store(cpuClock);
  std::deque<AdapterMessage> messages;
  std::string why;
  while (!stop.stop_requested()) {
    const Clock::time_point now = Clock::now();
    {
      std::lock_guard lock(m_messagesMutex);
      messages.swap(m_messages);
    }
    for (const AdapterMessage& m : messages) m_session.AdapterMessage(m.code, m.message, now);
    messages.clear();
    m_session.Tick(now);

    // Take input, format frames and write until nothing moves any more: writing may make
    // room for input that waited for the output to drain.
    bool failed = false;
    for (;;) {
      const std::size_t taken =
          m_inputStart < m_inputEnd
              ? m_session.TakeHostBytes(m_input + m_inputStart, m_inputEnd - m_inputStart, now)
              : 0;
      m_inputStart += taken;
      m_session.PumpFrames();
      const std::size_t before = m_session.Output().size();
      if (!WriteOutput(why)) {
        failed = true;
        break;
      }
      if (taken == 0 && m_session.Output().size() == before) break;
    }
    m_channelOpen.store(m_session.State() != SlcanSession::Channel::Closed);
    if (failed) break;

    const bool inputEmpty = m_inputStart == m_inputEnd;
    pollfd fds[3] = {
        {m_pty.Master(),
         static_cast<short>((inputEmpty ? POLLIN : 0) | (m_session.Output().empty() ? 0 : POLLOUT)),
         0},
        {m_queue.WakeDescriptor(), POLLIN, 0},
        {m_wake.Descriptor(), POLLIN, 0},
    };
    const int rc = ::poll(fds, 3, PollTimeout(m_session.NextDeadline()));
    if (rc < 0) {
      if (errno == EINTR) continue;
      why = std::string("poll: ") + std::strerror(errno);
      break;
    }
    if (fds[1].revents & POLLIN) m_queue.DrainWake();
    if (fds[2].revents & POLLIN) m_wake.Drain();
    if (fds[0].revents & (POLLERR | POLLNVAL)) {
      why = "the pseudo-terminal failed";
      break;
    }
    if ((fds[0].revents & POLLIN) && inputEmpty && !ReadInput(why)) break;
  }
  m_channelOpen.store(false);
  m_cpuClock.store(kNoClock);
  if (!stop.stop_requested() && OnFailure) OnFailure(why);
}

bool SlcanBridge::WriteOutput(std::string& why) {
  std::string& out = m_session.Output();
  while (!out.empty()) {
    const ssize_t n = ::write(m_pty.Master(), out.data(), out.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return true;  // the host has not read yet
      why = std::string("writing to the pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    out.erase(0, static_cast<std::size_t>(n));
  }
  return true;
}

bool SlcanBridge::ReadInput(std::string& why) {
  m_inputStart = m_inputEnd = 0;
  for (;;) {
    const ssize_t n = ::read(m_pty.Master(), m_input, sizeof m_input);
    if (n > 0) {
      m_inputEnd = static_cast<std::size_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;
    why = n == 0 ? std::string("the pseudo-terminal closed")
                 : std::string("reading the pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
}

}  // namespace velqor
