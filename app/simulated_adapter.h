#pragma once
// The simulated adapter in this process, for `velqor --simulate`: the model on its real-time
// runner thread, its USB side as a HID platform for Usbif and its COM port as a
// pseudo-terminal for CommX1.
//
// Every COM number that the settings file's [PORTS] section does not map goes to the
// pseudo-terminal, so the default COM1 reaches the simulated adapter; a number mapped in
// [PORTS] (the port dialog's choice) still opens that device.
//
// Lifetime: make it before the main window and destroy it after: the window's links hold
// devices of its HID platform and the pseudo-terminal's path.

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "sim/sim_hid.h"
#include "sim/sim_runner.h"
#include "sim/sim_serial.h"

namespace velqor {

struct SimulationOptions {
  // The adapter's EEPROM image (StoreParams writes it), so that stored parameters survive a
  // restart. Empty: kept in memory only.
  std::filesystem::path eepromPath = "VelqorSim.eeprom";
  // Extra traffic on the bus on top of the vehicle's (framesPerSecond 0: none).
  FloodOptions flood;
  // The adapter alone on the bus: nobody acknowledges its frames, no other node sends.
  bool unacknowledged = false;
  // Mean time between bus errors on the simulated bus; zero: none.
  std::chrono::nanoseconds errorInterval{0};
  // A recorded log as the bus traffic in place of the vehicle's; empty: none.
  std::filesystem::path replayLog;
};

class SimulatedAdapter {
 public:
  static constexpr const char* kCaptionSuffix = " [simulated adapter]";

  // Starts the runner. Throws std::system_error when no pseudo-terminal can be made, LogError
  // when the replay log cannot be read or is malformed.
  explicit SimulatedAdapter(const SimulationOptions& options = {});
  ~SimulatedAdapter();  // stops the runner
  SimulatedAdapter(const SimulatedAdapter&) = delete;
  SimulatedAdapter& operator=(const SimulatedAdapter&) = delete;

  // The window's HID platform, unmapped COM numbers and caption suffix.
  void applyTo(MainWindowOptions& options) const;

  SimRunner& runner() { return *m_runner; }
  const std::shared_ptr<SimHidPlatform>& hidPlatform() const { return m_hid; }
  SimSerialPort& serialPort() { return *m_serial; }
  // The adapter pulled out of the USB socket: its HID device and its COM port go away
  // together. plug() brings both back, the COM port first (it may be a new pseudo-terminal:
  // the COM numbers it serves follow it).
  void unplug();
  void plug();
  // How the EEPROM image was loaded, one line for the user (empty when all went well).
  std::string eepromWarning() const;

 private:
  std::unique_ptr<SimRunner> m_runner;
  std::shared_ptr<SimHidPlatform> m_hid;
  std::unique_ptr<SimSerialPort> m_serial;
};

}  // namespace velqor
