#pragma once
// Linux hidraw backend of the HID platform.
//
// Devices are found through sysfs: every <sysRoot>/hidrawN/device/uevent names the device's
// bus, vendor and product in a line such as HID_ID=0003:00004242:0000EE02. The device node is
// <devRoot>/hidrawN. Report lengths come from the report descriptor, counted the way the
// Windows HID capabilities count them, so that the rest of the program sees the same report
// lengths on both systems.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/hid_platform.h"

namespace velqor {

struct HidId {
  std::uint16_t bus = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
};

// The HID_ID line of a device's uevent text; nullopt when there is none or it is malformed.
std::optional<HidId> ParseUeventHidId(std::string_view ueventText);

// What a report descriptor says about report lengths.
struct HidReportLengths {
  std::size_t input = 0;    // largest input report in bytes + 1 for the ID byte; 0 = none
  std::size_t output = 0;   // same for output reports
  std::size_t feature = 0;  // same for feature reports
  bool numbered = false;    // the device prefixes its reports with a report ID
};

struct ReportDescriptorParse {
  HidReportLengths lengths;
  std::string error;  // empty when the descriptor was understood; else what and at which offset
  // With an error: TooLong for a report beyond the largest handled, else BadDescriptor.
  HidErrorKind errorKind = HidErrorKind::BadDescriptor;
  bool ok() const { return error.empty(); }
};

// Parses a HID report descriptor: short and long items, report IDs, nested collections and
// the global item stack (push/pop).
ReportDescriptorParse ParseReportDescriptor(std::span<const std::uint8_t> descriptor);

// What Open makes of the report descriptor of the device at `path`: its report lengths, or
// the error that refuses the device. Refused are a descriptor that is empty (it could not be
// read), one that cannot be understood, reports longer than the kernel hands on, and a device
// without input reports: whatever it sent could not be read, and the reader would be woken
// by it again and again.
HidError CheckReportDescriptor(const std::string& path, std::span<const std::uint8_t> descriptor,
                               HidReportLengths& lengths);

// The report descriptor of hidraw node `node` as sysfs shows it
// (<sysRoot>/<node>/device/report_descriptor); empty when it cannot be read.
std::vector<std::uint8_t> ReadSysfsReportDescriptor(const std::string& sysRoot,
                                                    const std::string& node);

class HidrawPlatform : public HidPlatform {
 public:
  explicit HidrawPlatform(std::string sysRoot = "/sys/class/hidraw", std::string devRoot = "/dev");
  ~HidrawPlatform() override;

  // hidraw nodes in number order (hidraw2 before hidraw10).
  std::vector<HidDeviceInfo> Enumerate() override;
  std::unique_ptr<HidDevice> Open(const std::string& path, HidError& error) override;

  // Arrivals are hidraw nodes created in devRoot (inotify).
  int HotplugDescriptor() override;
  int TakeArrivals() override;

 private:
  std::string m_sysRoot;
  std::string m_devRoot;
  int m_inotify = -1;
};

}  // namespace velqor
