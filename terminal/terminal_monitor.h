#pragma once
// What the rest of the program hands to the terminal window: the blocks received on the USB
// link and the blocks sent to the adapter. Both are called from other threads than the
// terminal's own (the USB reader, script threads); an implementation hands the bytes over to
// its thread itself. The window alone knows whether it is showing: received blocks are shown
// only then (the USB reader asks IsShowing first), sent blocks always.

#include <cstddef>
#include <cstdint>

namespace velqor {

class TerminalMonitor {
 public:
  // Any thread.
  virtual bool IsShowing() const = 0;
  virtual void ShowReceived(const std::uint8_t* bytes, std::size_t length) = 0;
  virtual void ShowSent(const std::uint8_t* bytes, std::size_t length) = 0;

 protected:
  ~TerminalMonitor() = default;
};

}  // namespace velqor
