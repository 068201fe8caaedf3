#include "link/commx.h"

#include <poll.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <system_error>

namespace velqor {

namespace {

using Clock = std::chrono::steady_clock;

// Blocks in flight before TransBlock waits.
constexpr int kMaxBlocksInFlight = 32;

// Milliseconds to the deadline, rounded up so that a wait never ends early.
int Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCommTransThread

TCommTransThread::TCommTransThread(TCustomCommX& owner, SerialPort& port, int charTime)
    : m_owner(owner),
      m_port(port),
      CharTime(charTime),
      m_thread([this](std::stop_token stop) { Execute(stop); }) {}

TCommTransThread::~TCommTransThread() {
  m_thread.request_stop();
  m_wake.Signal();
  m_thread.join();
  for (const auto& block : m_queue) m_owner.BlockDone(block.size());
}

void TCommTransThread::Post(std::vector<std::uint8_t> block) {
  {
    std::lock_guard lock(m_queueMutex);
    m_queue.push_back(std::move(block));
  }
  m_queued.notify_one();
}

void TCommTransThread::SetClearing(bool on) {
  Clearing.store(on);
  if (on) {
    m_wake.Signal();
    m_queued.notify_one();
  }
}

void TCommTransThread::Execute(std::stop_token stop) {
  ::pthread_setname_np(::pthread_self(), "CommTrans");
  for (;;) {
    {
      std::unique_lock lock(m_queueMutex);
      m_queued.wait(lock, stop, [this] { return !m_queue.empty(); });
      if (stop.stop_requested()) return;
    }
    // One batch: every block that waits, taken in turn; RTS is raised before the first and
    // lowered after the last of them on a half-duplex line.
    bool halfStarted = false;
    const TCommFlowCtrls flow = m_owner.m_activeFlow.load();
    for (;;) {
      std::vector<std::uint8_t> block;
      {
        std::lock_guard lock(m_queueMutex);
        if (m_queue.empty()) break;
        block = std::move(m_queue.front());
        m_queue.pop_front();
      }
      if (!Clearing.load() && !stop.stop_requested()) {
        if (!halfStarted) {
          HalfCtrlStart(flow, stop);
          halfStarted = true;
        }
        WriteBlock(block, stop);
      }
      m_owner.BlockDone(block.size());
    }
    if (halfStarted) HalfCtrlEnd(flow, stop);
  }
}

void TCommTransThread::WriteBlock(const std::vector<std::uint8_t>& block, std::stop_token& stop) {
  std::size_t done = 0;
  while (done < block.size()) {
    if (Clearing.load() || stop.stop_requested()) return;
    std::size_t n = 0;
    int err;
    {
      std::lock_guard lock(m_owner.PortLock);
      err = m_port.Write(block.data() + done, block.size() - done, n);
    }
    done += n;
    if (err == 0) continue;
    if (err != EAGAIN) {
      // A failed write: the line errors are reported and the rest of the block is dropped.
      m_owner.CheckLineEvents();
      if (err == EIO || err == ENODEV || err == ENXIO) m_owner.PortVanished();
      return;
    }
    // The driver's queue is full: wait until it takes more, for at most the write time-out,
    // then report the line errors and go on with the rest.
    const int timeout = m_owner.m_timeOutTrans.load();
    pollfd fds[2] = {{m_port.Fd(), POLLOUT, 0}, {m_wake.Descriptor(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeout > 0 ? timeout : -1);
    if (ready < 0 && errno != EINTR) return;
    if (fds[1].revents & POLLIN) m_wake.Drain();
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      m_owner.PortVanished();
      return;
    }
    if (ready == 0) m_owner.CheckLineEvents();
  }
}

void TCommTransThread::HalfCtrlStart(TCommFlowCtrls flow, std::stop_token& stop) {
  if (flow != cfcHalfHigh && flow != cfcHalfLow) return;
  Pause(50, stop);
  (void)m_port.SetModemLines(TIOCM_RTS, flow == cfcHalfHigh);
  Pause(CharTime.load(), stop);
}

void TCommTransThread::HalfCtrlEnd(TCommFlowCtrls flow, std::stop_token& stop) {
  if (flow != cfcHalfHigh && flow != cfcHalfLow) return;
  // A write returns when the driver has the bytes; RTS may only turn once they are on the
  // line, so wait for the driver's output queue to empty first.
  for (;;) {
    int queued = 0;
    if (m_port.OutputQueued(queued) != 0 || queued <= 0) break;
    if (!Pause(std::max(1, CharTime.load()), stop)) break;
  }
  Pause(CharTime.load(), stop);
  (void)m_port.SetModemLines(TIOCM_RTS, flow != cfcHalfHigh);
}

bool TCommTransThread::Pause(int ms, std::stop_token& stop) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (stop.stop_requested() || Clearing.load()) return false;
    const int left = Remaining(deadline);
    if (left == 0) return true;
    pollfd fd = {m_wake.Descriptor(), POLLIN, 0};
    if (::poll(&fd, 1, left) > 0) m_wake.Drain();
  }
}

// ---------------------------------------------------------------------------------------------
// TCommReceiveThread

TCommReceiveThread::TCommReceiveThread(TCustomCommX& owner, SerialPort& port)
    : m_owner(owner), m_port(port), m_epoll(::epoll_create1(EPOLL_CLOEXEC)) {
  if (m_epoll < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
  // Edge-triggered: one event per arrival of data, as a port's "character received" event,
  // so that bytes the owner leaves in the queue do not wake the thread again and again.
  epoll_event port_event{};
  port_event.events = EPOLLIN | EPOLLET;
  port_event.data.fd = m_port.Fd();
  epoll_event wake_event{};
  wake_event.events = EPOLLIN;
  wake_event.data.fd = m_wake.Descriptor();
  if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_port.Fd(), &port_event) < 0 ||
      ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake.Descriptor(), &wake_event) < 0) {
    const int err = errno;
    ::close(m_epoll);
    throw std::system_error(err, std::generic_category(), "epoll_ctl");
  }
  try {
    m_thread = std::jthread([this](std::stop_token stop) { Execute(stop); });
  } catch (...) {
    ::close(m_epoll);
    throw;
  }
}

TCommReceiveThread::~TCommReceiveThread() {
  m_thread.request_stop();
  m_wake.Signal();
  m_thread.join();
  ::close(m_epoll);
}

void TCommReceiveThread::Execute(std::stop_token stop) {
  ::pthread_setname_np(::pthread_self(), "CommReceive");
  while (!stop.stop_requested()) {
    epoll_event events[2];
    const int n = ::epoll_wait(m_epoll, events, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // nothing left to wait on
    }
    for (int i = 0; i < n; ++i) {
      if (events[i].data.fd == m_wake.Descriptor()) {
        m_wake.Drain();
        continue;
      }
      m_owner.CheckLineEvents();
      if (events[i].events & EPOLLIN) m_owner.PostReceive();
      if (events[i].events & (EPOLLHUP | EPOLLERR)) {
        // The line hung up (the device went away): stop watching it rather than wake for it
        // again and again.
        m_owner.PortVanished();
        ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, m_port.Fd(), nullptr);
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TCustomCommX

TCustomCommX::TCustomCommX(QObject* parent) : QObject(parent) {}

TCustomCommX::~TCustomCommX() { PortClose(); }

std::string TCustomCommX::DefaultPortPath(int portNo) {
  return portNo >= 1 ? "/dev/ttyACM" + std::to_string(portNo - 1) : std::string();
}

std::string TCustomCommX::PortPath() const {
  return m_resolver ? m_resolver(m_portNo) : DefaultPortPath(m_portNo);
}

std::string TCustomCommX::PortName() const {
  return "COM" + std::to_string(m_portNo) + " (" + (IsOpen() ? m_openPath : PortPath()) + ")";
}

void TCustomCommX::PortOpen() {
  if (IsOpen()) throw ECommError(kCommErrAlreadyOpen, PortName() + " is already open");
  const std::string path = PortPath();
  if (path.empty())
    throw ECommError(kCommErrOpen, "COM" + std::to_string(m_portNo) + " names no device");
  int err = 0;
  std::unique_ptr<SerialPort> port = m_opener ? m_opener(path, err) : SerialPort::Open(path, err);
  if (!port) {
    throw ECommError(kCommErrOpen, "COM" + std::to_string(m_portNo) + " (" + path +
                                       "): " + SerialErrorText(err ? err : ENODEV));
  }
  if (!m_ownerWake) {
    m_ownerWake = std::make_unique<OwnerWake>([this] { OwnerWoken(); });
    m_receiveTick = std::make_unique<QTimer>();
    m_receiveTick->setSingleShot(true);
    m_receiveTick->setTimerType(Qt::PreciseTimer);
    m_receiveTick->setInterval(kReceiveIntervalMs);
    connect(m_receiveTick.get(), &QTimer::timeout, this, &TCustomCommX::ReceiveTick);
  }
  m_port = std::move(port);
  m_openPath = path;
  m_vanished = false;
  m_vanishPending = false;
  m_receivePending = false;
  m_receiveHeld = false;
  {
    std::lock_guard lock(CountLock);
    TransLength = 0;
    TransBlocks = 0;
  }
  try {
    ApplyQueueSizes();
    {
      std::lock_guard lock(PortLock);
      (void)m_port->Flush(false, true);
    }
    (void)m_port->Flush(true, false);
    SerialLine current;
    if (const int e = m_port->ReadLine(current))
      throw ECommError(kCommErrOpen, PortName() + ": " + SerialErrorText(e));
    Dcb = current;
    ApplyBitRate();
    ApplyCharSize();
    ApplyParityBit();
    ApplyStopBit();
    ApplyFlowCtrl();
    ApplyTimeOuts();
    ApplyXonChar();
    ApplyXoffChar();
    {
      std::lock_guard lock(m_lineCountLock);
      m_haveLineCounts = false;
    }
    CheckLineEvents();  // the counters' starting point
    CreateThreads();
  } catch (...) {
    PortClose();
    throw;
  }
}

void TCustomCommX::CreateThreads() {
  try {
    TransThread = std::make_unique<TCommTransThread>(*this, *m_port, CharTimeOf(m_bitRate));
  } catch (const std::exception& e) {
    throw ECommError(kCommErrTransThread, PortName() + ": " + e.what());
  }
  try {
    ReceiveThread = std::make_unique<TCommReceiveThread>(*this, *m_port);
  } catch (const std::exception& e) {
    throw ECommError(kCommErrReceiveThread, PortName() + ": " + e.what());
  }
}

void TCustomCommX::PortClose() {
  if (!IsOpen()) return;
  SetDtrSignal(false);
  SetRtsSignal(false);
  ClearTransBuf();
  ClearReceiveBuf();
  ReceiveThread.reset();  // wakes and joins
  TransThread.reset();
  m_port.reset();  // closes the descriptor and with it the lock
  m_openPath.clear();
  m_vanished = false;
  m_vanishPending = false;
  if (m_receiveTick) m_receiveTick->stop();
  m_receiveHeld = false;
}

bool TCustomCommX::TransBlock(const void* bytes, int count) {
  if (count == 0) return true;
  if (bytes == nullptr || count < 0) return false;
  const auto* data = static_cast<const std::uint8_t*>(bytes);
  while (count > 0) {
    if (!IsOpen() || !TransThread || m_vanished.load()) return false;
    {
      std::unique_lock lock(CountLock);
      if (TransBlocks >= kMaxBlocksInFlight) {
        // Keep the owner's thread alive while the transmit thread catches up.
        lock.unlock();
        QCoreApplication::processEvents();
        lock.lock();
        m_countChanged.wait_for(lock, std::chrono::milliseconds(1),
                                [this] { return TransBlocks < kMaxBlocksInFlight; });
        continue;
      }
    }
    const int size = std::min(std::max(m_bufLenTrans, 1), count);
    std::vector<std::uint8_t> block;
    try {
      block.assign(data, data + size);
    } catch (const std::bad_alloc&) {
      block.clear();  // no memory for this block: it is skipped
    }
    if (!block.empty()) {
      {
        std::lock_guard lock(CountLock);
        TransLength += size;
        ++TransBlocks;
      }
      TransThread->Post(std::move(block));
    }
    data += size;
    count -= size;
  }
  return true;
}

int TCustomCommX::ReceiveBlock(void* buffer, int count) {
  if (!IsOpen() || !ReceiveThread || buffer == nullptr || count < 0) return -1;
  auto* data = static_cast<std::uint8_t*>(buffer);
  const auto deadline = Clock::now() + std::chrono::milliseconds(m_timeOutReceive.load());
  std::size_t got = 0;
  const auto wanted = static_cast<std::size_t>(count);
  while (got < wanted) {
    std::size_t n = 0;
    const int err = m_port->Read(data + got, wanted - got, n);
    got += n;
    if (err == 0 && n > 0) continue;
    if (err == 0 || (err != EAGAIN)) {
      // End of file or a failure: the line hung up or broke. Bytes already taken are
      // returned; the next call says -1.
      CheckLineEvents();
      if (err == 0 || err == EIO || err == ENODEV) PortVanished();
      return got > 0 ? static_cast<int>(got) : -1;
    }
    // Nothing waits: wait for more until the receive time-out. The wait does not run the
    // event loop: a nested OnReceive would read later bytes before these.
    const int left = Remaining(deadline);
    if (left == 0) break;
    pollfd fd = {m_port->Fd(), POLLIN, 0};
    const int ready = ::poll(&fd, 1, left);
    if (ready < 0 && errno != EINTR) return got > 0 ? static_cast<int>(got) : -1;
    if (ready > 0 && !(fd.revents & POLLIN) && (fd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      PortVanished();
      return got > 0 ? static_cast<int>(got) : -1;
    }
  }
  return static_cast<int>(got);
}

int TCustomCommX::ReceiveChar() {
  std::uint8_t c = 0;
  return ReceiveBlock(&c, 1) == 1 ? c : -1;
}

void TCustomCommX::ClearTransBuf() {
  if (!IsOpen()) return;
  auto purge = [this] {
    std::lock_guard lock(PortLock);
    (void)m_port->Flush(false, true);
  };
  if (!TransThread) {
    purge();
    return;
  }
  TransThread->SetClearing(true);
  {
    std::unique_lock lock(CountLock);
    while (TransLength != 0) {
      lock.unlock();
      purge();
      lock.lock();
      m_countChanged.wait_for(lock, std::chrono::milliseconds(1),
                              [this] { return TransLength == 0; });
    }
  }
  purge();
  TransThread->SetClearing(false);
}

void TCustomCommX::ClearReceiveBuf() {
  if (IsOpen()) (void)m_port->Flush(true, false);
}

int TCustomCommX::GetTransLength() {
  if (!IsOpen()) return 0;
  std::lock_guard lock(CountLock);
  return TransLength;
}

int TCustomCommX::GetReceiveLength() {
  int bytes = 0;
  if (!IsOpen() || m_port->InputQueued(bytes) != 0) return 0;
  return bytes;
}

void TCustomCommX::SetRtsSignal(bool on) {
  if (IsOpen()) (void)m_port->SetModemLines(TIOCM_RTS, on);
}

void TCustomCommX::SetDtrSignal(bool on) {
  if (IsOpen()) (void)m_port->SetModemLines(TIOCM_DTR, on);
}

int TCustomCommX::ModemStatus() {
  int status = 0;
  if (!IsOpen() || m_port->GetModemStatus(status) != 0) return 0;
  return status;
}

void TCustomCommX::SendBreak() {
  if (!IsOpen()) return;
  if (m_port->SetBreak(true) != 0) return;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  (void)m_port->SetBreak(false);
}

// Properties -----------------------------------------------------------------------------------

void TCustomCommX::SetPortNo(int portNo) {
  if (!IsOpen()) {
    m_portNo = portNo;
    return;
  }
  PortClose();
  m_portNo = portNo;
  PortOpen();
}

void TCustomCommX::SetBitRate(int bitRate) {
  m_bitRate = bitRate;
  if (IsOpen()) ApplyBitRate();
}

void TCustomCommX::SetCharSize(int bits) {
  m_charSize = bits;
  if (IsOpen()) ApplyCharSize();
}

void TCustomCommX::SetParityBit(TCommParityBits parity) {
  if (parity < cpbNone || parity > cpbEven) return;
  m_parityBit = parity;
  if (IsOpen()) ApplyParityBit();
}

void TCustomCommX::SetStopBit(TCommStopBits stop) {
  if (stop < csb1 || stop > csb2) return;
  m_stopBit = stop;
  if (IsOpen()) ApplyStopBit();
}

void TCustomCommX::SetFlowCtrl(TCommFlowCtrls flow) {
  if (flow < cfcRtsCts || flow > cfcNone) return;
  m_flowCtrl = flow;
  if (IsOpen()) ApplyFlowCtrl();
}

void TCustomCommX::SetTimeOutTrans(int ms) {
  const int previous = m_timeOutTrans.exchange(ms);
  if (IsOpen()) {
    try {
      ApplyTimeOuts();
    } catch (...) {
      m_timeOutTrans = previous;
      throw;
    }
  }
}

void TCustomCommX::SetTimeOutReceive(int ms) {
  const int previous = m_timeOutReceive.exchange(ms);
  if (IsOpen()) {
    try {
      ApplyTimeOuts();
    } catch (...) {
      m_timeOutReceive = previous;
      throw;
    }
  }
}

void TCustomCommX::SetXonChar(char c) {
  m_xonChar = c;
  if (IsOpen()) ApplyXonChar();
}

void TCustomCommX::SetXoffChar(char c) {
  m_xoffChar = c;
  if (IsOpen()) ApplyXoffChar();
}

void TCustomCommX::SetBufLenTrans(int bytes) {
  m_bufLenTrans = bytes;
  if (IsOpen()) ApplyQueueSizes();
}

void TCustomCommX::SetBufLenReceive(int bytes) {
  m_bufLenReceive = bytes;
  if (IsOpen()) {
    ApplyQueueSizes();
    ApplyFlowCtrl();
  }
}

void TCustomCommX::Apply(const SerialLine& candidate, const char* text) {
  if (const int err = m_port->ApplyLine(candidate))
    throw ECommError(text, PortName() + ": " + SerialErrorText(err));
  Dcb = candidate;
}

void TCustomCommX::ApplyBitRate() {
  // The character time divides by BitRate / 10.
  if (m_bitRate < 10)
    throw ECommError(kCommErrBitRate,
                     PortName() + ": bit rate " + std::to_string(m_bitRate) + " is below 10");
  SerialLine line = Dcb;
  line.bitRate = m_bitRate;
  Apply(line, kCommErrBitRate);
  if (TransThread) TransThread->SetCharTime(CharTimeOf(m_bitRate));
}

void TCustomCommX::ApplyCharSize() {
  SerialLine line = Dcb;
  line.charSize = m_charSize;
  Apply(line, kCommErrCharSize);
}

void TCustomCommX::ApplyParityBit() {
  SerialLine line = Dcb;
  line.parity = static_cast<int>(m_parityBit);
  Apply(line, kCommErrParity);
}

void TCustomCommX::ApplyStopBit() {
  if (m_stopBit == csb1p5)
    throw ECommError(kCommErrStopBit, PortName() + ": 1.5 stop bits cannot be set here");
  SerialLine line = Dcb;
  line.stopBits = m_stopBit == csb2 ? 2 : 0;
  Apply(line, kCommErrStopBit);
}

void TCustomCommX::ApplyFlowCtrl() {
  SerialLine line = Dcb;
  line.ctsFlow = m_flowCtrl == cfcRtsCts;
  line.xonXoff = m_flowCtrl == cfcXonXoff;
  Apply(line, kCommErrFlowCtrl);
  // DTR is on for every value; RTS is on except on a half-duplex line that raises it to send.
  const bool rts = m_flowCtrl != cfcHalfHigh;
  for (const auto& [bits, on] : {std::pair{TIOCM_DTR, true}, std::pair{TIOCM_RTS, rts}}) {
    const int err = m_port->SetModemLines(bits, on);
    if (err != 0 && !IsUnsupported(err))
      throw ECommError(kCommErrFlowCtrl, PortName() + ": " + SerialErrorText(err));
  }
  m_activeFlow = m_flowCtrl;
}

void TCustomCommX::ApplyTimeOuts() {
  if (m_timeOutTrans.load() < 0 || m_timeOutReceive.load() < 0)
    throw ECommError(kCommErrTimeOut, PortName() + ": a time-out below 0 ms");
}

void TCustomCommX::ApplyXonChar() {
  SerialLine line = Dcb;
  line.xonChar = static_cast<std::uint8_t>(m_xonChar);
  if (line.xonChar == line.xoffChar)
    throw ECommError(kCommErrXonChar, PortName() + ": XON and XOFF are the same character");
  Apply(line, kCommErrXonChar);
}

void TCustomCommX::ApplyXoffChar() {
  SerialLine line = Dcb;
  line.xoffChar = static_cast<std::uint8_t>(m_xoffChar);
  if (line.xonChar == line.xoffChar)
    throw ECommError(kCommErrXoffChar, PortName() + ": XON and XOFF are the same character");
  Apply(line, kCommErrXoffChar);
}

void TCustomCommX::ApplyQueueSizes() {
  // The driver sizes its own queues; what is left to check is that the sizes make sense.
  if (m_bufLenTrans <= 0 || m_bufLenReceive <= 0)
    throw ECommError(kCommErrBuffer, PortName() + ": queue sizes must be above 0");
}

// Called by the threads -------------------------------------------------------------------------

void TCustomCommX::BlockDone(std::size_t size) {
  {
    std::lock_guard lock(CountLock);
    TransLength = std::max(0, TransLength - static_cast<int>(size));
    TransBlocks = std::max(0, TransBlocks - 1);
  }
  m_countChanged.notify_all();
}

void TCustomCommX::CheckLineEvents() {
  SerialErrorCounts now;
  if (!m_port || m_port->GetErrorCounts(now) != 0) return;  // the driver keeps no counters
  int bits = 0;
  int breaks = 0;
  {
    std::lock_guard lock(m_lineCountLock);
    if (m_haveLineCounts) {
      const SerialErrorCounts& was = m_lineCounts;
      if (now.overrun != was.overrun || now.bufOverrun != was.bufOverrun) bits |= kCommErrorOverrun;
      if (now.parity != was.parity) bits |= kCommErrorParity;
      if (now.frame != was.frame) bits |= kCommErrorFraming;
      breaks = static_cast<int>(now.brk - was.brk);
    }
    m_lineCounts = now;
    m_haveLineCounts = true;
  }
  if (bits != 0) PostErrors(bits);
  if (breaks > 0) PostBreaks(breaks);
}

void TCustomCommX::PostReceive() {
  // One notification pending at a time; the owner clears the flag before it reads the queue
  // length, so data arriving later always brings a new notification: at once, or at the
  // next tick while the owner holds arrivals (ReceiveTick clears the hold before it looks).
  if (!m_receivePending.exchange(true) && !m_receiveHeld.load()) m_ownerWake->Wake();
}

void TCustomCommX::PostBreaks(int count) {
  if (m_pendingBreaks.fetch_add(count) == 0) m_ownerWake->Wake();
}

void TCustomCommX::PostErrors(int bits) {
  if (m_pendingErrors.fetch_or(bits) == 0) m_ownerWake->Wake();
}

void TCustomCommX::PortVanished() {
  // Announced once, after what was received before it.
  if (!m_vanished.exchange(true)) {
    m_vanishPending = true;
    m_ownerWake->Wake();
  }
}

void TCustomCommX::OwnerWoken() {
  // In the order the port reports them: line errors, break, received characters.
  const int errors = m_pendingErrors.exchange(0);
  if (errors != 0 && IsOpen() && OnError) OnError(this, errors);
  const int breaks = m_pendingBreaks.exchange(0);
  for (int i = 0; i < breaks && IsOpen() && OnBreak; ++i) OnBreak(this);
  HandleReceive();
  if (m_vanishPending.exchange(false) && IsOpen() && m_vanished.load() && OnVanish) OnVanish(this);
}

void TCustomCommX::HandleReceive() {
  if (!m_receivePending.exchange(false) || !IsOpen()) return;
  // More may follow right away: hold the next arrivals for a tick.
  m_receiveHeld = true;
  if (!m_receiveTick->isActive()) m_receiveTick->start();
  if (!OnReceive) return;
  const int length = GetReceiveLength();
  if (length != 0) OnReceive(this, length);
}

void TCustomCommX::ReceiveTick() {
  // A tick without data ends the hold: the next arrival wakes the owner at once.
  m_receiveHeld = false;
  HandleReceive();
}

}  // namespace velqor
