#include "link/usbif.h"

#include <poll.h>
#include <pthread.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "common/hex_text.h"
#include "link/hid_hidraw.h"

namespace velqor {

// ---------------------------------------------------------------------------------------------
// TReceiveReport

TReceiveReport::TReceiveReport(TUsbif& owner)
    : m_owner(owner), m_thread([this](std::stop_token stop) { Execute(stop); }) {}

TReceiveReport::~TReceiveReport() {
  m_thread.request_stop();  // wakes the condition wait
  m_owner.m_wake.Signal();  // wakes poll
  m_thread.join();
}

void TReceiveReport::Execute(std::stop_token stop) {
  ::pthread_setname_np(::pthread_self(), "ReceiveReport");
  std::shared_ptr<HidDevice> device;
  std::uint16_t timeout = 0;
  bool read = false;  // a report was read since the reader last waited
  while (m_owner.WaitUntilReadable(stop, device, timeout)) {
    pollfd fds[2] = {{device->PollDescriptor(), POLLIN, 0},
                     {m_owner.m_wake.Descriptor(), POLLIN, 0}};
    // After a report, look without waiting. Timeout 0 means "no time-out": wait until a
    // report or a wake-up comes.
    const int ready = ::poll(fds, 2, read ? 0 : timeout == 0 ? -1 : timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      m_owner.DeviceGone(device.get());  // a descriptor poll refuses cannot be read any more
      continue;
    }
    if (ready == 0 && read) {
      // The device has nothing more: let reports gather for a moment rather than wake for
      // each (a pause or a stop ends the moment at once; the device buffers far more).
      read = false;
      pollfd wake = {m_owner.m_wake.Descriptor(), POLLIN, 0};
      ::poll(&wake, 1, TUsbif::kGatherMs);
      continue;
    }
    if (fds[1].revents & POLLIN) m_owner.m_wake.Drain();
    if (fds[0].revents & POLLIN) {
      // A report that waits is read even when the device has just gone away.
      m_report.resize(device->InputReportLength());
      const HidIoResult result = device->ReadReport(m_report);
      if (result.status == HidIoStatus::Ok) {
        ++m_owner.m_reportsRead;
        read = true;
        if (!m_report.empty()) m_owner.Deliver(m_report.data() + 1, m_report.size() - 1);
      } else if (result.status != HidIoStatus::NoReport) {
        m_owner.DeviceGone(device.get());
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      m_owner.DeviceGone(device.get());
    }
    // A time-out just starts the next wait: there is no pending read to cancel.
  }
  device.reset();
  m_owner.ReaderPaused();
}

// ---------------------------------------------------------------------------------------------
// TUsbif

TUsbif::TUsbif(std::shared_ptr<HidPlatform> platform, QObject* parent)
    : QObject(parent),
      m_platform(platform ? std::move(platform) : std::make_shared<HidrawPlatform>()) {}

TUsbif::~TUsbif() {
  Reader.reset();  // stops and joins the reader before anything it uses goes
  CloseHandles();
}

bool TUsbif::Open(std::uint16_t vendor, std::uint16_t product) {
  m_venderId = vendor;
  m_productId = product;
  // Searching again while a device is open would leave the old one open.
  if (IsOpen()) Close();
  if (!m_ownerWake) m_ownerWake = std::make_unique<OwnerWake>([this] { OwnerWoken(); });
  if (!Reader) {
    try {
      Reader = std::make_unique<TReceiveReport>(*this);
    } catch (const std::system_error& e) {
      m_lastError = HidSystemError(e.code().value(), "start the reader thread");
      return false;
    }
  }
  {
    std::lock_guard lock(m_mutex);
    m_runRequested = true;
  }
  m_changed.notify_all();
  return FindTheHID();
}

bool TUsbif::FindTheHID() {
  m_lastError = {};
  m_deviceFound = false;
  for (const HidDeviceInfo& info : m_platform->Enumerate()) {
    if (info.vendor != m_venderId || info.product != m_productId) continue;
    // The first matching device wins; later ones are not examined.
    HidError error;
    std::unique_ptr<HidDevice> device = m_platform->Open(info.path, error);
    if (!device) {
      m_lastError = error;
      return false;
    }
    if (device->InputReportLength() > kMaxHidReportLength ||
        device->OutputReportLength() > kMaxHidReportLength) {
      m_lastError.kind = HidErrorKind::TooLong;
      m_lastError.text =
          info.path + ": reports longer than " + std::to_string(kMaxHidReportLength) + " bytes";
      return false;
    }
    if (!m_hotplug) {
      const int fd = m_platform->HotplugDescriptor();
      if (fd >= 0) {
        m_hotplug = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(m_hotplug.get(), &QSocketNotifier::activated, this, [this] { HotplugActivated(); });
      }
    }
    m_devicePath = info.path;
    m_inputLength = device->InputReportLength();
    m_outputLength = device->OutputReportLength();
    {
      std::lock_guard lock(m_mutex);
      m_device = std::move(device);
      m_deviceGone = false;
    }
    m_changed.notify_all();
    m_wake.Signal();  // a reader still waiting on an earlier device looks again
    m_deviceFound = true;
    return true;
  }
  m_lastError.kind = HidErrorKind::NotFound;
  m_lastError.text = "no HID device with vendor 0x" + HexText4(m_venderId) + " and product 0x" +
                     HexText4(m_productId) + " is present";
  return false;
}

bool TUsbif::Write(const std::uint8_t* bytes, std::size_t length) {
  if (bytes == nullptr && length > 0) return false;
  std::shared_ptr<HidDevice> device;
  {
    std::lock_guard lock(m_mutex);
    if (!m_deviceGone) device = m_device;
  }
  if (!device) {
    m_deviceFound = false;
    return false;
  }
  const std::size_t reportLength = device->OutputReportLength();
  // One call is one report: a block that does not fit is refused whole rather than cut.
  if (length > 255 || length + 1 > reportLength) return false;
  std::vector<std::uint8_t> report(reportLength, 0);
  std::copy(bytes, bytes + length, report.begin() + 1);
  const HidIoResult result = device->WriteReport(report);
  if (result.status != HidIoStatus::Ok) {
    ++m_writeFailures;
    m_deviceFound = false;
    if (result.status == HidIoStatus::Gone) DeviceGone(device.get());
    return false;
  }
  ++m_reportsWritten;
  return true;
}

void TUsbif::Close() {
  {
    std::lock_guard lock(m_mutex);
    m_runRequested = false;
  }
  m_wake.Signal();
  // Called from OnUsbReceive on the reader itself, Close cannot wait for the reader: it pauses
  // when the delivery returns.
  if (Reader && std::this_thread::get_id() != Reader->Id()) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_readerPaused; });
  }
  CloseHandles();
  // Reports read before the pause still reach the owner, in order, before Close returns.
  DrainStaged();
}

void TUsbif::CloseHandles() {
  std::shared_ptr<HidDevice> closing;
  {
    std::lock_guard lock(m_mutex);
    closing = std::move(m_device);
    m_deviceGone = false;
  }
  // The device closes here, or when the last writer still holding it is done.
}

bool TUsbif::IsOpen() const {
  std::lock_guard lock(m_mutex);
  return m_device && !m_deviceGone;
}

std::thread::id TUsbif::ReaderId() const { return Reader ? Reader->Id() : std::thread::id{}; }

TUsbif::Counters TUsbif::GetCounters() const {
  Counters c;
  c.reportsRead = m_reportsRead.load();
  c.reportsDelivered = m_reportsDelivered.load();
  c.reportsDropped = m_reportsDropped.load();
  c.reportsWritten = m_reportsWritten.load();
  c.writeFailures = m_writeFailures.load();
  c.devicesArrived = m_devicesArrived.load();
  return c;
}

void TUsbif::DoUsbReceive(const std::uint8_t* buffer, std::uint16_t size) {
  if (OnUsbReceive) OnUsbReceive(this, buffer, size);
}

bool TUsbif::WaitUntilReadable(std::stop_token& stop, std::shared_ptr<HidDevice>& device,
                               std::uint16_t& timeout) {
  device.reset();
  std::unique_lock lock(m_mutex);
  auto readable = [this] { return m_runRequested && m_device && !m_deviceGone; };
  if (!readable()) {
    m_readerPaused = true;
    m_changed.notify_all();
    m_changed.wait(lock, stop, readable);
  }
  if (stop.stop_requested()) return false;
  m_readerPaused = false;
  device = m_device;
  timeout = m_timeout.load();
  return true;
}

void TUsbif::ReaderPaused() {
  {
    std::lock_guard lock(m_mutex);
    m_readerPaused = true;
  }
  m_changed.notify_all();
}

void TUsbif::Deliver(const std::uint8_t* bytes, std::size_t size) {
  if (m_rxEventType.load() == TUsbifEventType::Direct) {
    DoUsbReceive(bytes, static_cast<std::uint16_t>(size));
    ++m_reportsDelivered;
    return;
  }
  bool post = false;
  {
    std::lock_guard lock(m_stageMutex);
    if (m_staged.size() >= kMaxStagedReports) {
      ++m_reportsDropped;
      return;
    }
    post = m_staged.empty();
    m_staged.emplace_back(bytes, bytes + size);
  }
  // One hand-over per batch: the owner's thread delivers all that waits.
  if (post) m_ownerWake->Wake();
}

void TUsbif::DrainStaged() {
  // One report at a time, so that a Close inside a delivery finds the rest still queued and
  // delivers it in order.
  for (;;) {
    std::vector<std::uint8_t> report;
    {
      std::lock_guard lock(m_stageMutex);
      if (m_staged.empty()) return;
      report = std::move(m_staged.front());
      m_staged.pop_front();
    }
    DoUsbReceive(report.data(), static_cast<std::uint16_t>(report.size()));
    ++m_reportsDelivered;
  }
}

void TUsbif::DeviceGone(const HidDevice* device) {
  {
    std::lock_guard lock(m_mutex);
    // Only the open device counts: one replaced meanwhile may go quietly.
    if (m_deviceGone || !m_device || m_device.get() != device) return;
    m_deviceGone = true;
  }
  m_deviceFound = false;
  m_removePending = true;
  m_ownerWake->Wake();
}

void TUsbif::OwnerWoken() {
  // Reports read before a removal are delivered before it is announced.
  DrainStaged();
  if (m_removePending.exchange(false) && OnUsbDeviceRemove) OnUsbDeviceRemove(this);
}

void TUsbif::HotplugActivated() {
  const int arrivals = m_platform->TakeArrivals();
  for (int i = 0; i < arrivals; ++i) {
    if (OnUsbDeviceDetect) OnUsbDeviceDetect(this);
    ++m_devicesArrived;
  }
}

}  // namespace velqor
