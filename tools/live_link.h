#pragma once
// The adapter as the live commands of velqor-cli reach it: the real one through hidraw, found
// by vendor and product identifier, or (--sim) the simulated adapter in this process through
// its HID backend. Received reports are decoded on TUsbif's reader thread and announced to
// the command's sink there.

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/adapter_limits.h"
#include "link/interpreter.h"
#include "link/owner_wake.h"
#include "link/protocol.h"
#include "link/reconnect.h"
#include "link/usbif.h"
#include "sim/sim_hid.h"
#include "sim/sim_runner.h"

class QEventLoop;
class QTimer;

namespace velqor::cli {

struct LinkOptions {
  bool sim = false;
  std::uint16_t vendor = kAdapterVendorId;
  std::uint16_t product = kAdapterProductId;
  // Simulated adapter only.
  bool unacknowledged = false;
  bool errors = false;       // occasional bus errors
  double floodRate = 0;      // frames per second on top of the vehicle traffic; 0 = none
  bool floodOffBus = false;  // the flood at its full rate, beyond what the bus carries
  std::string replayLog;     // a recorded log as the bus traffic instead of the vehicle's
  // Every frame completed on the simulated bus, on the simulator's thread (tests, benchmarks).
  SimAdapter::BusObserver busObserver;
  // An unplugged adapter is waited for and reopened when it is back (--reconnect of monitor
  // and slcan) instead of ending the run.
  bool reconnect = false;
};

// The option of the commands that can ride out an unplugged adapter.
extern const char kReconnectUsage[];

extern const char kLinkOptionsUsage[];

enum class OptionResult { Taken, NotMine, Bad };
// Takes the link option at args[i] (with its value, advancing i). Bad: `error` says why.
OptionResult TakeLinkOption(const std::vector<std::string>& args, std::size_t& i,
                            LinkOptions& options, std::string& error);

class LiveLink : private ReconnectLinks {
 public:
  explicit LiveLink(LinkOptions options);
  ~LiveLink();
  LiveLink(const LiveLink&) = delete;
  LiveLink& operator=(const LiveLink&) = delete;

  // Opens the adapter; `sink` then gets every decoded message on the reader thread. False
  // with `error` saying which adapter could not be found or opened, and why.
  bool Open(DeviceMessageSink& sink, std::string& error);
  // One frame as one output report.
  bool Send(const Frame& frame);
  // Any bytes as one output report (several frames back to back), from any thread.
  bool SendBytes(const std::uint8_t* bytes, std::size_t length);
  // Bytes one output report carries after its report ID (once open).
  std::size_t OutputReportBytes() const;

  enum class End { Stopped, TimeUp, Interrupted, Removed };
  // Runs until Stop(), `limit` (zero: no limit), an interrupt (Ctrl-C) or the adapter's
  // removal. With LinkOptions::reconnect a removal does not end the run: the adapter is
  // reopened when it is back, and OnStatus says both.
  End Run(std::chrono::milliseconds limit);

  // With LinkOptions::reconnect, on the thread that runs Run: one line each time the adapter
  // goes away and each time it is back. The reader thread delivers nothing meanwhile.
  std::function<void(const std::string&)> OnStatus;
  // Any thread.
  std::uint64_t Losses() const { return m_losses.load(); }
  std::uint64_t Reconnects() const { return m_reconnects.load(); }
  // The adapter is open now (false while an unplugged one is waited for).
  bool Present() const { return m_usb && m_usb->IsOpen(); }
  // From any thread.
  void Stop() { m_stop->Wake(); }

  // Simulated adapter: stops its traffic and waits (at most `limit`) until everything it sent
  // has been read and decoded, so that the counts compare.
  void Drain(std::chrono::milliseconds limit);
  void Close();

  bool Simulated() const { return m_runner != nullptr; }
  std::optional<SimStats> ModelStats() const;
  SimHidCounters BackendCounters() const;
  TUsbif::Counters UsbCounters() const { return m_usb->GetCounters(); }
  // The simulated adapter's HID side (for unplugging it); null for a real adapter.
  SimHidPlatform* SimHid() const { return m_simHid.get(); }

 private:
  // ReconnectLinks: the USB device only; the live commands have no COM port.
  bool ReopenUsb() override;
  bool ReopenSerial() override { return false; }
  bool SerialUsable() override { return true; }
  void CloseSerial() override {}
  void SetRetrying(bool on) override;
  void Announce(ReconnectEvent event) override;

  LinkOptions m_options;
  std::unique_ptr<QCoreApplication> m_app;  // when the process has none yet
  std::unique_ptr<SimRunner> m_runner;
  std::shared_ptr<SimHidPlatform> m_simHid;
  std::unique_ptr<TUsbif> m_usb;
  std::unique_ptr<TMsgInterpret> m_interpreter;
  DeviceMessageSink* m_sink = nullptr;
  std::unique_ptr<OwnerWake> m_stop;
  std::unique_ptr<AdapterReconnect> m_reconnect;
  std::unique_ptr<QTimer> m_retry;
  std::atomic<std::uint64_t> m_losses{0};
  std::atomic<std::uint64_t> m_reconnects{0};
  QEventLoop* m_loop = nullptr;
  End m_end = End::Stopped;
};

}  // namespace velqor::cli
