#pragma once
// SimSerialPort: the adapter's COM port in simulation. A pseudo-terminal in raw mode whose
// master receives the runner's console output; its slave path is what the simulated COM
// number maps to, so TCommX runs over a real tty.
//
// Console output that the tty cannot take (nobody reads the slave and its buffers are full)
// is dropped and counted. Bytes the program writes to the slave are not read: the program
// sends nothing on its COM port.
//
// Lifetime: construct before runner.Start() (it installs the runner's console callback).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/sim_runner.h"

namespace velqor {

class SimSerialPort {
 public:
  // Throws std::system_error when no pseudo-terminal can be made.
  explicit SimSerialPort(SimRunner& runner);
  ~SimSerialPort();
  SimSerialPort(const SimSerialPort&) = delete;
  SimSerialPort& operator=(const SimSerialPort&) = delete;

  // The device path the program opens (/dev/pts/N); while unplugged a path that does not
  // exist (kUnpluggedPath), so that nothing opens a pseudo-terminal someone else got since.
  std::string SlavePath() const;
  static constexpr const char* kUnpluggedPath = "/dev/velqor-simulated-adapter-unplugged";

  struct Counters {
    std::uint64_t bytesWritten = 0;  // console bytes the tty took
    std::uint64_t bytesDropped = 0;  // console bytes it could not take
  };
  Counters GetCounters() const;

  // Takes the port away: the program's end hangs up (for tests of a vanishing port).
  void Hangup();
  // Unplugged, the port hangs up and its path is gone; plugged back, it is a new
  // pseudo-terminal (the adapter's port coming back). Plug throws std::system_error when no
  // pseudo-terminal can be made.
  void Unplug();
  void Plug();

  struct Master;  // shared with the runner's callback

 private:
  std::shared_ptr<Master> m_master;
};

}  // namespace velqor
