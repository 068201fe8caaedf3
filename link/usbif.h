#pragma once
// TUsbif: the USB HID link to the adapter. It finds the adapter among the HID devices by
// vendor and product identifier, writes each outgoing block as one output report (report ID 0,
// the bytes, zero padding up to the output report length) and reads input reports on its own
// thread, TReceiveReport, handing every report's bytes after the report ID to OnUsbReceive.
// It moves bytes and knows nothing of device frames.
//
// Threads. Open, Close, FindTheHID, CloseHandles and the property setters belong to the
// owner's thread (the thread this QObject lives in). Write may be called from any thread,
// also while another thread writes; each call is one whole report.
// The reader thread is created by the first Open and lives until destruction: Close pauses
// it between two reads and returns once it is paused; the next Open resumes the same
// thread. It blocks in poll on the device and a wake-up descriptor, never spins. Once it has
// read what the device held, it lets reports gather for kGatherMs before it waits again, so
// that a busy bus costs a wake-up per millisecond rather than one per report.
// Delivery: with RxEventType Direct, OnUsbReceive runs on the reader thread (it must not wait
// for the owner's thread); with Message, the reader copies the report into a staging queue
// and the owner's thread delivers the queued reports in order, one hand-over per batch
// (OwnerWake). The reader never waits for the owner's thread. OnUsbDeviceDetect and
// OnUsbDeviceRemove always run on the owner's thread, which must run a Qt event loop for
// them and for Message delivery.
// Assign the events before the first Open.

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/hid_platform.h"
#include "link/owner_wake.h"
#include "link/wake_fd.h"

class QSocketNotifier;

namespace velqor {

enum class TUsbifEventType { Message, Direct };

class TUsbif;

// The reader thread: reads input reports while its TUsbif is open.
class TReceiveReport {
 public:
  explicit TReceiveReport(TUsbif& owner);
  ~TReceiveReport();  // stops and joins
  TReceiveReport(const TReceiveReport&) = delete;
  TReceiveReport& operator=(const TReceiveReport&) = delete;

  std::thread::id Id() const { return m_thread.get_id(); }

 private:
  void Execute(std::stop_token stop);

  TUsbif& m_owner;
  std::vector<std::uint8_t> m_report;  // the last input report, report ID included
  std::jthread m_thread;
};

class TUsbif : public QObject {
  Q_OBJECT

 public:
  using TUsbReceiveEvent =
      std::function<void(TUsbif* Sender, const std::uint8_t* Buffer, int Size)>;
  using TUsbNotifyEvent = std::function<void(TUsbif* Sender)>;

  // The component's own defaults, as it has always had them. They are not the adapter's
  // identifiers the program looks for (kAdapterVendorId/kAdapterProductId, 4242:EE02, kept
  // in the settings file's [USB] section): every Open passes the identifiers to use, so these
  // only name what FindTheHID looks for before the first Open.
  static constexpr std::uint16_t kDefaultVenderID = 0x4242;
  static constexpr std::uint16_t kDefaultProductID = 0xEE01;
  // How long the reader lets reports gather after it has read what the device held (the
  // kernel keeps 64 reports of a hidraw device, several milliseconds of the busiest bus).
  static constexpr int kGatherMs = 2;
  // Reports waiting for the owner's thread in Message mode; beyond this they are dropped and
  // counted (several seconds of the adapter's fastest traffic).
  static constexpr std::size_t kMaxStagedReports = 65536;

  // `platform` null: the Linux hidraw devices of this machine.
  explicit TUsbif(std::shared_ptr<HidPlatform> platform = nullptr, QObject* parent = nullptr);
  ~TUsbif() override;

  // Properties.
  std::uint16_t VenderID() const { return m_venderId; }
  void SetVenderID(std::uint16_t id) { m_venderId = id; }
  std::uint16_t ProductID() const { return m_productId; }
  void SetProductID(std::uint16_t id) { m_productId = id; }
  TUsbifEventType RxEventType() const { return m_rxEventType.load(); }
  void SetRxEventType(TUsbifEventType type) { m_rxEventType.store(type); }
  // Milliseconds one wait of the reader lasts at most; 0 = no time-out (the reader sleeps
  // until a report comes or it is told to pause).
  std::uint16_t Timeout() const { return m_timeout.load(); }
  void SetTimeout(std::uint16_t ms) { m_timeout.store(ms); }

  // Events (Sender, Buffer, Size): Buffer holds Size bytes, valid during the call only.
  TUsbReceiveEvent OnUsbReceive;
  TUsbNotifyEvent OnUsbDeviceDetect;  // a HID device arrived
  TUsbNotifyEvent OnUsbDeviceRemove;  // the open device was removed

  // Stores the identifiers, starts or resumes the reader and searches. An Open on an open
  // device first closes it. True when a matching device was opened.
  bool Open(std::uint16_t vendor, std::uint16_t product);
  // Opens the first device with VenderID and ProductID. False when there is none or it
  // cannot be opened (LastError says why).
  bool FindTheHID();
  // One output report: ID 0, `length` bytes, zero padding up to the output report length.
  // False without writing when the bytes do not fit (length + 1 above the output report
  // length, or length above 255), when no device is open, or when the write fails. A length
  // of 0 sends a report of padding only.
  virtual bool Write(const std::uint8_t* bytes, std::size_t length);
  // Pauses the reader between two reads, waits until it is paused, then CloseHandles.
  void Close();
  // Closes the device; the reader, if running, must already be paused (Close does that).
  void CloseHandles();

  // State.
  bool IsOpen() const;
  bool DeviceFound() const { return m_deviceFound.load(); }
  const std::string& DevicePath() const { return m_devicePath; }
  std::size_t InputReportByteLength() const { return m_inputLength; }
  std::size_t OutputReportByteLength() const { return m_outputLength; }
  // Why the last Open/FindTheHID failed.
  const HidError& LastError() const { return m_lastError; }
  // The reader thread's id (default id before the first Open).
  std::thread::id ReaderId() const;

  struct Counters {
    std::uint64_t reportsRead = 0;       // input reports taken from the device
    std::uint64_t reportsDelivered = 0;  // reports handed to DoUsbReceive
    std::uint64_t reportsDropped = 0;    // reports lost because the owner fell behind
    std::uint64_t reportsWritten = 0;    // output reports sent
    std::uint64_t writeFailures = 0;     // writes refused by the device or the system
    std::uint64_t devicesArrived = 0;    // arrivals handled (after OnUsbDeviceDetect)
  };
  Counters GetCounters() const;

 protected:
  // Calls OnUsbReceive(this, buffer, size) when assigned.
  virtual void DoUsbReceive(const std::uint8_t* buffer, std::uint16_t size);

 private:
  friend class TReceiveReport;

  // Reader side.
  bool WaitUntilReadable(std::stop_token& stop, std::shared_ptr<HidDevice>& device,
                         std::uint16_t& timeout);
  void ReaderPaused();
  void Deliver(const std::uint8_t* bytes, std::size_t size);
  void DeviceGone(const HidDevice* device);
  void DrainStaged();
  void OwnerWoken();
  void HotplugActivated();

  std::shared_ptr<HidPlatform> m_platform;
  std::uint16_t m_venderId = kDefaultVenderID;
  std::uint16_t m_productId = kDefaultProductID;
  std::atomic<TUsbifEventType> m_rxEventType{TUsbifEventType::Message};
  std::atomic<std::uint16_t> m_timeout{0};

  std::atomic<bool> m_deviceFound{false};
  std::string m_devicePath;
  std::size_t m_inputLength = 0;
  std::size_t m_outputLength = 0;
  HidError m_lastError;

  // Shared with the reader and with writers on other threads.
  mutable std::mutex m_mutex;
  std::condition_variable_any m_changed;
  std::shared_ptr<HidDevice> m_device;  // the open device (writers hold a copy while writing)
  bool m_runRequested = false;          // Open: run; Close: pause
  bool m_readerPaused = true;           // the reader waits for a device and a run request
  bool m_deviceGone = false;            // the open device was removed
  WakeFd m_wake;

  std::mutex m_stageMutex;
  std::deque<std::vector<std::uint8_t>> m_staged;
  std::atomic<bool> m_removePending{false};
  std::unique_ptr<OwnerWake> m_ownerWake;  // made by the first Open, on the owner's thread

  std::atomic<std::uint64_t> m_reportsRead{0};
  std::atomic<std::uint64_t> m_reportsDelivered{0};
  std::atomic<std::uint64_t> m_reportsDropped{0};
  std::atomic<std::uint64_t> m_reportsWritten{0};
  std::atomic<std::uint64_t> m_writeFailures{0};
  std::atomic<std::uint64_t> m_devicesArrived{0};

  std::unique_ptr<QSocketNotifier> m_hotplug;
  std::unique_ptr<TReceiveReport> Reader;  // last: stopped before anything it uses goes
};

}  // namespace velqor
