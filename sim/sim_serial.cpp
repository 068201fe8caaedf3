#include "sim/sim_serial.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>

namespace velqor {

struct SimSerialPort::Master {
  ~Master() { CloseAll(); }
  void CloseAll() {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
    master = slave = -1;
  }

  // Runner thread.
  void Write(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex);
    std::size_t done = 0;
    while (master >= 0 && done < bytes.size()) {
      const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        break;  // full (EAGAIN) or gone
      }
    }
    counters.bytesWritten += done;
    counters.bytesDropped += bytes.size() - done;
  }

  mutable std::mutex mutex;  // guards everything below
  int master = -1;
  int slave = -1;  // held open so the line stays raw and up while the program is away
  std::string slavePath;
  SimSerialPort::Counters counters;
};

namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// Makes the pseudo-terminal; `m` is locked or not shared yet.
void OpenPty(SimSerialPort::Master& m) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) Fail("posix_openpt");
  m.master = master;
  if (::grantpt(m.master) != 0 || ::unlockpt(m.master) != 0) Fail("unlockpt");
  char name[128];
  if (::ptsname_r(m.master, name, sizeof name) != 0) Fail("ptsname_r");
  const int flags = ::fcntl(m.master, F_GETFL);
  if (flags < 0 || ::fcntl(m.master, F_SETFL, flags | O_NONBLOCK) < 0) Fail("fcntl");
  // Raw from the start, so that nothing is echoed or translated before the program opens it.
  m.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m.slave < 0) Fail("open pseudo-terminal");
  termios t{};
  if (::tcgetattr(m.slave, &t) != 0) Fail("tcgetattr");
  ::cfmakeraw(&t);
  if (::tcsetattr(m.slave, TCSANOW, &t) != 0) Fail("tcsetattr");
  m.slavePath = name;
}

}  // namespace

SimSerialPort::SimSerialPort(SimRunner& runner) : m_master(std::make_shared<Master>()) {
  OpenPty(*m_master);
  runner.SetOnConsoleOutput(
      [master = m_master](std::span<const std::uint8_t> bytes) { master->Write(bytes); });
}

SimSerialPort::~SimSerialPort() {
  std::lock_guard lock(m_master->mutex);
  m_master->CloseAll();
}

SimSerialPort::Counters SimSerialPort::GetCounters() const {
  std::lock_guard lock(m_master->mutex);
  return m_master->counters;
}

std::string SimSerialPort::SlavePath() const {
  std::lock_guard lock(m_master->mutex);
  return m_master->slavePath;
}

void SimSerialPort::Hangup() {
  std::lock_guard lock(m_master->mutex);
  m_master->CloseAll();
}

void SimSerialPort::Unplug() {
  std::lock_guard lock(m_master->mutex);
  m_master->CloseAll();
  m_master->slavePath = kUnpluggedPath;
}

void SimSerialPort::Plug() {
  std::lock_guard lock(m_master->mutex);
  if (m_master->master >= 0) return;
  try {
    OpenPty(*m_master);
  } catch (...) {
    m_master->CloseAll();
    throw;
  }
}

}  // namespace velqor
