#pragma once
// The HID platform under TUsbif: finding HID devices, opening one, and moving whole reports.
// Two backends implement it: Linux hidraw (link/hid_hidraw.h) and the simulated adapter
// (sim/sim_hid.h). Tests may put a fake here, at the platform edge.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velqor {

enum class HidErrorKind {
  None,
  NotFound,       // no device node, or no device with the identifiers
  Permission,     // the node exists but we may not open it
  Busy,           // the device is in use
  Gone,           // the device was removed
  NotHid,         // the node is not a HID device
  BadDescriptor,  // the report descriptor cannot be read or understood
  TooLong,        // reports longer than we handle
  Other,
};

struct HidError {
  HidErrorKind kind = HidErrorKind::None;
  int systemError = 0;  // errno, 0 when the error is not a system error
  std::string text;     // one line: what failed, where, and why

  explicit operator bool() const { return kind != HidErrorKind::None; }
};

// The one place that turns a system error of a HID operation into our kind and text.
// `what` names the operation and the device ("open /dev/hidraw3").
HidError HidSystemError(int errnum, const std::string& what);

struct HidDeviceInfo {
  std::string path;  // what Open takes
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
};

enum class HidIoStatus {
  Ok,
  NoReport,  // nothing to read after all; poll again
  Gone,      // the device was removed; it will not come back on this descriptor
  Failed,
};

struct HidIoResult {
  HidIoStatus status = HidIoStatus::Ok;
  HidError error;
};

// The largest report a backend hands on, report ID included (the kernel's hidraw buffer).
inline constexpr std::size_t kMaxHidReportLength = 16384 + 1;

// One open device. ReadReport runs on one thread (the reader) while WriteReport may run on
// others at the same time; the backend must allow that.
class HidDevice {
 public:
  virtual ~HidDevice() = default;

  // Report lengths as the Windows HID capabilities count them: the longest report of that
  // kind in bytes, plus one for the report-ID byte (also for a device without report IDs);
  // 0 when the device has no report of that kind.
  virtual std::size_t InputReportLength() const = 0;
  virtual std::size_t OutputReportLength() const = 0;

  // Polls readable (POLLIN) when an input report waits, and POLLHUP or POLLERR once the
  // device is gone. Valid as long as this object lives.
  virtual int PollDescriptor() const = 0;

  // Reads one waiting input report into `report` (InputReportLength() bytes): byte 0 the
  // report ID (0 for a device without numbered reports), then the report's bytes, zero-filled
  // up to the length when the device sent a shorter one.
  virtual HidIoResult ReadReport(std::span<std::uint8_t> report) = 0;

  // Writes one output report: byte 0 the report ID, then OutputReportLength() - 1 bytes.
  virtual HidIoResult WriteReport(std::span<const std::uint8_t> report) = 0;
};

class HidPlatform {
 public:
  virtual ~HidPlatform() = default;

  // The HID devices present, in the order a search examines them. A device whose identifiers
  // cannot be read is left out.
  virtual std::vector<HidDeviceInfo> Enumerate() = 0;

  // Opens a device found by Enumerate. On failure returns null and fills `error`.
  virtual std::unique_ptr<HidDevice> Open(const std::string& path, HidError& error) = 0;

  // Arrival notifications, for OnUsbDeviceDetect: a descriptor that polls readable when HID
  // devices have arrived, or -1 when the platform cannot tell. TakeArrivals consumes what is
  // pending and returns how many devices arrived. Both are used on the owner's thread.
  virtual int HotplugDescriptor() { return -1; }
  virtual int TakeArrivals() { return 0; }
};

}  // namespace velqor
