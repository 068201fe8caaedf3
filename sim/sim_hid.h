#pragma once
// SimHidPlatform: the simulated adapter as a HID device, for TUsbif.
//
// It enumerates one virtual device (vendor 0x4242, product 0xEE02 unless told otherwise) with
// 65-byte input and output reports (report ID + 64 bytes, no numbered reports) and connects it
// to a SimRunner. Each Open makes a SOCK_SEQPACKET socket pair: the program's end is a real
// pollable descriptor from which one read is one report, as with hidraw; the runner's input
// reports are sent into the other end without blocking. When a reader falls behind and its
// queue is full, the report is dropped and counted, as the kernel's hidraw queue drops
// reports. A report produced while nobody has the device open is discarded (and counted
// apart), as the kernel does. The program's output reports go to SimRunner::Write.
//
// Unplug() takes the device away: every open end then polls POLLHUP, writes fail and
// Enumerate no longer lists it; Plug() brings it back and announces an arrival.
//
// Lifetime: construct the platform before runner.Start() (it installs the runner's report
// callback). The runner must outlive the platform and every device opened from it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/adapter_limits.h"
#include "link/hid_platform.h"
#include "link/wake_fd.h"
#include "sim/sim_runner.h"

namespace velqor {

struct SimHidOptions {
  std::uint16_t vendor = kAdapterVendorId;
  std::uint16_t product = kAdapterProductId;
  std::string path = "sim:hid0";
};

struct SimHidCounters {
  std::uint64_t reportsQueued = 0;     // input reports handed to an open device
  std::uint64_t reportsDropped = 0;    // input reports lost: a reader's queue was full
  std::uint64_t reportsDiscarded = 0;  // input reports made while nobody had the device open
  std::uint64_t reportsWritten = 0;    // output reports the program wrote
};

class SimHidPlatform : public HidPlatform {
 public:
  static constexpr std::size_t kReportLength = kInputReportSize + 1;

  explicit SimHidPlatform(SimRunner& runner, SimHidOptions options = {});
  ~SimHidPlatform() override;

  std::vector<HidDeviceInfo> Enumerate() override;
  std::unique_ptr<HidDevice> Open(const std::string& path, HidError& error) override;
  int HotplugDescriptor() override { return m_arrivals.Descriptor(); }
  int TakeArrivals() override;

  void Unplug();
  void Plug();
  bool Plugged() const;

  SimHidCounters Counters() const;

  struct Endpoint;  // shared with the runner's callback and the open devices

 private:
  SimHidOptions m_options;
  std::shared_ptr<Endpoint> m_endpoint;
  WakeFd m_arrivals;
  std::atomic<int> m_pendingArrivals{0};
};

}  // namespace velqor
