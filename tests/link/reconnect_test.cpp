#include "link/reconnect.h"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <string>

namespace velqor {
namespace {

// Records what the machine does, in one line; the opens succeed or fail as the case says.
class RecordingLinks : public ReconnectLinks {
 public:
  std::deque<bool> usbOpens;     // results of the next ReopenUsb calls (then: fails)
  std::deque<bool> serialOpens;  // same for ReopenSerial
  bool serialUsable = true;
  std::string log;

  bool ReopenUsb() override { return take(usbOpens, "usb"); }
  bool ReopenSerial() override { return take(serialOpens, "com"); }
  bool SerialUsable() override { return serialUsable; }
  void CloseSerial() override { log += "close "; }
  void SetRetrying(bool on) override { log += on ? "retry " : "noretry "; }
  void Announce(ReconnectEvent event) override {
    static const char* const names[] = {"UsbLost", "UsbBack", "SerialLost", "SerialBack"};
    log += names[static_cast<int>(event)];
    log += ' ';
  }

 private:
  bool take(std::deque<bool>& results, const char* what) {
    const bool ok = !results.empty() && results.front();
    if (!results.empty()) results.pop_front();
    log += what;
    log += ok ? "+ " : "- ";
    return ok;
  }
};

// Steps: C connected with the COM port, c without it, R released, U USB removed, V COM port
// hung up, A arrival, T tick, x the COM port no longer usable.
struct Case {
  const char* name;
  bool enabled;
  const char* usbOpens;     // '1' opens, '0' fails, in order
  const char* serialOpens;  // same
  const char* steps;
  const char* log;
};

class AdapterReconnectTest : public ::testing::TestWithParam<Case> {};

TEST_P(AdapterReconnectTest, ReopensWhatTheConnectionHadAndRetriesUntilItIsBack) {
  const Case& c = GetParam();
  RecordingLinks links;
  for (const char* r = c.usbOpens; *r; ++r) links.usbOpens.push_back(*r == '1');
  for (const char* r = c.serialOpens; *r; ++r) links.serialOpens.push_back(*r == '1');
  AdapterReconnect machine(links, c.enabled);
  std::ostringstream removals;
  for (const char* s = c.steps; *s; ++s) {
    switch (*s) {
      case 'C':
        machine.Connected(true);
        break;
      case 'c':
        machine.Connected(false);
        break;
      case 'R':
        machine.Disconnected();
        break;
      case 'U':
        removals << (machine.UsbRemoved() ? 'y' : 'n');
        break;
      case 'V':
        machine.SerialVanished();
        break;
      case 'A':
        machine.Arrival();
        break;
      case 'T':
        machine.Tick();
        break;
      case 'x':
        links.serialUsable = false;
        break;
    }
  }
  EXPECT_EQ(links.log, c.log) << c.steps;
  // UsbRemoved says whether it took care of the removal: only when on and connected.
  const bool taken = c.enabled && c.steps[0] != 'R';
  for (char r : removals.str()) EXPECT_EQ(r, taken ? 'y' : 'n');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdapterReconnectTest,
    ::testing::Values(
        Case{"OffDoesNothing", false, "1", "1", "CUATR", ""},
        Case{"NotConnectedDoesNothing", true, "1", "1", "RUAT", ""},
        // The device node appears before it may be opened: the ticks go on until it opens.
        Case{"UsbBackAfterAFailedArrival", true, "01", "", "CUATT",
             "UsbLost retry usb- usb+ UsbBack noretry "},
        // The COM port hung up first: closed at once, reopened with the USB device.
        Case{"SerialHungUpBeforeTheUsbDevice", true, "1", "1", "CVUA",
             "close SerialLost retry UsbLost usb+ com+ UsbBack noretry "},
        // Hung up as well, but heard of only when the USB device went or came back.
        Case{"SerialFoundDeadAtRemoval", true, "1", "1", "CxUA",
             "close UsbLost retry usb+ com+ UsbBack noretry "},
        Case{"SerialFoundDeadAtReopen", true, "1", "1", "CUxA",
             "UsbLost retry usb+ close com+ UsbBack noretry "},
        // The COM port comes back later than the USB device.
        Case{"SerialBackAfterTheUsbDevice", true, "1", "001", "CVUATT",
             "close SerialLost retry UsbLost usb+ com- UsbBack com- com+ SerialBack noretry "},
        // A connection without the COM port never opens one.
        Case{"WithoutSerial", true, "1", "1", "cUA", "UsbLost retry usb+ UsbBack noretry "},
        // An arrival while connected opens nothing; a second removal is counted again.
        Case{"ArrivalWhileConnectedAndTwoLosses", true, "11", "", "cAUAUA",
             "UsbLost retry usb+ UsbBack noretry UsbLost retry usb+ UsbBack noretry "},
        // Released while waiting: the ticks stop and arrivals open nothing.
        Case{"ReleasedWhileAway", true, "1", "1", "CURAT", "UsbLost retry noretry "}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace velqor
