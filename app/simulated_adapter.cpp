#include "app/simulated_adapter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace velqor {

namespace {

// The simulated adapter's COM port as the program sees it: the pseudo-terminal, taking every
// line setting as the adapter's USB CDC port does. A pseudo-terminal itself always keeps 8
// data bits and no parity, and the component would refuse the settings file's default even
// parity on it; the line is therefore applied with those two left alone and reported back
// as asked. Everything else goes to the pseudo-terminal as it is.
class SimulatedComPort final : public SerialPort {
 public:
  // `fd` is a duplicate of `inner`'s descriptor, for the component's poll.
  SimulatedComPort(std::unique_ptr<SerialPort> inner, int fd)
      : SerialPort(fd), m_inner(std::move(inner)) {}

  int ReadLine(SerialLine& line) override {
    if (const int e = m_inner->ReadLine(line)) return e;
    if (m_applied) {
      line.charSize = m_line.charSize;
      line.parity = m_line.parity;
    }
    return 0;
  }
  int ApplyLine(const SerialLine& line) override {
    if (line.parity < 0 || line.parity > 2 || line.charSize < 5 || line.charSize > 8) return EINVAL;
    SerialLine pty = line;
    pty.charSize = 8;
    pty.parity = 0;
    if (const int e = m_inner->ApplyLine(pty)) return e;
    m_line = line;
    m_applied = true;
    return 0;
  }
  int SetModemLines(int bits, bool on) override { return m_inner->SetModemLines(bits, on); }
  int GetModemStatus(int& status) override { return m_inner->GetModemStatus(status); }
  int SetBreak(bool on) override { return m_inner->SetBreak(on); }
  int GetErrorCounts(SerialErrorCounts& counts) override { return m_inner->GetErrorCounts(counts); }
  int InputQueued(int& bytes) override { return m_inner->InputQueued(bytes); }
  int OutputQueued(int& bytes) override { return m_inner->OutputQueued(bytes); }
  int Flush(bool input, bool output) override { return m_inner->Flush(input, output); }
  int Write(const std::uint8_t* data, std::size_t size, std::size_t& done) override {
    return m_inner->Write(data, size, done);
  }
  int Read(std::uint8_t* data, std::size_t size, std::size_t& done) override {
    return m_inner->Read(data, size, done);
  }

 private:
  std::unique_ptr<SerialPort> m_inner;
  SerialLine m_line;
  bool m_applied = false;
};

std::unique_ptr<SerialPort> OpenSimulatedComPort(const std::string& path, int& errnum) {
  std::unique_ptr<SerialPort> inner = SerialPort::Open(path, errnum);
  if (!inner) return nullptr;
  const int fd = ::fcntl(inner->Fd(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    errnum = errno;
    return nullptr;
  }
  return std::make_unique<SimulatedComPort>(std::move(inner), fd);
}

SimOptions ModelOptions(const SimulationOptions& o) {
  SimOptions sim;
  sim.eepromPath = o.eepromPath;
  sim.flood = o.flood;
  sim.unacknowledged = o.unacknowledged;
  sim.errorInterval = o.errorInterval;
  if (!o.replayLog.empty()) sim.recorded = RecordedTraffic::Open(o.replayLog);
  return sim;
}

}  // namespace

SimulatedAdapter::SimulatedAdapter(const SimulationOptions& options)
    : m_runner(std::make_unique<SimRunner>(ModelOptions(options))),
      m_hid(std::make_shared<SimHidPlatform>(*m_runner)),
      m_serial(std::make_unique<SimSerialPort>(*m_runner)) {
  m_runner->Start();
}

SimulatedAdapter::~SimulatedAdapter() {
  // The runner's callbacks reach the HID endpoint and the pseudo-terminal: stop it first.
  m_runner->Stop();
}

void SimulatedAdapter::applyTo(MainWindowOptions& options) const {
  options.hidPlatform = m_hid;
  SimSerialPort* serial = m_serial.get();
  options.unmappedPortPath = [serial](int) { return serial->SlavePath(); };
  // The simulator's port takes every line setting; any other device is opened as it is.
  options.serialPortOpener = [serial](const std::string& p, int& errnum) {
    return p == serial->SlavePath() ? OpenSimulatedComPort(p, errnum) : SerialPort::Open(p, errnum);
  };
  options.captionSuffix = QString::fromLatin1(kCaptionSuffix);
}

void SimulatedAdapter::unplug() {
  m_hid->Unplug();
  m_serial->Unplug();
}

void SimulatedAdapter::plug() {
  m_serial->Plug();
  m_hid->Plug();
}

std::string SimulatedAdapter::eepromWarning() const {
  const EepromLoad& load = m_runner->EepromStatus();
  return load.status == EepromLoad::Status::Invalid ? load.message : std::string();
}

}  // namespace velqor
