#pragma once
// AdapterReconnect: brings the adapter's links back by themselves after the adapter was
// unplugged while connected, with the settings they had.
//
// The owner tells it what happens (the links were connected or released by the user, the USB
// device went away, the COM port hung up, a HID device arrived, the retry tick came) and it
// decides, through ReconnectLinks, what to reopen and when to retry. It never waits and
// starts no thread: everything runs on the owner's thread, and the owner's event loop drives
// the retry ticks (kRetryInterval) while something is still missing.
//
// - The USB device is tried again on every arrival and every tick while it is away; an
//   arrival is not enough on its own (the device node can appear before it may be opened).
// - The COM port is part of the connection only when it was open when the links were
//   connected. When it hangs up it is closed at once (a USB serial device held open by a
//   program that has lost it comes back under another name), and reopened once the USB
//   device is back, or on the next ticks when it is not there yet.
// - Off (the owner's setting), it does nothing: Connected() leaves it idle and UsbRemoved()
//   says that nobody took care of the removal.

#include <chrono>
#include <cstdint>

namespace velqor {

enum class ReconnectEvent {
  UsbLost,     // the USB device went away; the connection waits for it
  UsbBack,     // the USB device was reopened (the COM port too when it could be)
  SerialLost,  // the COM port hung up and was closed; it is reopened when it comes back
  SerialBack,  // the COM port was reopened after the USB device was back
};

// What the machine drives. All on the owner's thread.
class ReconnectLinks {
 public:
  // Opens the USB device with the identifiers of the connection; true when open.
  virtual bool ReopenUsb() = 0;
  // Opens the COM port with the settings it had; true when open.
  virtual bool ReopenSerial() = 0;
  // True while the COM port is open and has not hung up.
  virtual bool SerialUsable() = 0;
  virtual void CloseSerial() = 0;
  // Ticks every kRetryInterval from now on while `on`, none while not.
  virtual void SetRetrying(bool on) = 0;
  virtual void Announce(ReconnectEvent event) = 0;

 protected:
  ~ReconnectLinks() = default;
};

class AdapterReconnect {
 public:
  static constexpr std::chrono::milliseconds kRetryInterval{500};

  AdapterReconnect(ReconnectLinks& links, bool enabled) : m_links(links), m_enabled(enabled) {}

  bool Enabled() const { return m_enabled; }

  // The user connected and the USB device opened; `serialOpen`: the COM port is open too.
  void Connected(bool serialOpen);
  // The user released the links: nothing more is reopened.
  void Disconnected();
  // The open USB device went away. True when the machine takes care of it (it then announced
  // UsbLost); false when it is off or the links were not connected by the user.
  bool UsbRemoved();
  // The COM port of the connection hung up.
  void SerialVanished();
  // A HID device arrived.
  void Arrival();
  // The retry tick.
  void Tick();

  bool Watching() const { return m_watching; }
  bool UsbUp() const { return m_usbUp; }
  // The COM port belongs to the connection and is not back yet.
  bool SerialMissing() const { return m_watching && m_serialWanted && !m_serialUp; }
  std::uint64_t Losses() const { return m_losses; }
  std::uint64_t Reconnects() const { return m_reconnects; }

 private:
  void tryReopen();
  void updateRetrying();

  ReconnectLinks& m_links;
  const bool m_enabled;
  bool m_watching = false;      // the user's connection is held
  bool m_usbUp = false;         // the USB device is open
  bool m_serialWanted = false;  // the COM port belongs to the connection
  bool m_serialUp = false;      // and is open
  bool m_retrying = false;
  std::uint64_t m_losses = 0;
  std::uint64_t m_reconnects = 0;
};

}  // namespace velqor
