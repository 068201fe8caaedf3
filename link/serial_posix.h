#pragma once
// The POSIX side of the serial port component: one open tty device and the termios and ioctl
// calls TCustomCommX makes on it. Every call returns 0 or an errno value; EINTR is retried
// here. Tests may derive from SerialPort to watch the modem lines a pseudo-terminal lacks.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace velqor {

// Line settings as last applied: what the component keeps in its control block `Dcb`.
struct SerialLine {
  int bitRate = 9600;
  int charSize = 8;      // data bits, 5..8
  int parity = 0;        // 0 none, 1 odd, 2 even
  int stopBits = 0;      // 0 = 1 stop bit, 1 = 1.5 (termios has none), 2 = 2
  bool ctsFlow = false;  // output waits for CTS, RTS follows the input queue (CRTSCTS)
  bool xonXoff = false;  // XON/XOFF in both directions
  std::uint8_t xonChar = 17;
  std::uint8_t xoffChar = 19;
};

// Line event counters the driver keeps (TIOCGICOUNT).
struct SerialErrorCounts {
  std::uint32_t frame = 0;
  std::uint32_t overrun = 0;
  std::uint32_t parity = 0;
  std::uint32_t brk = 0;
  std::uint32_t bufOverrun = 0;
};

// Modem status bits as the component reports them.
inline constexpr int kModemCts = 0x10;
inline constexpr int kModemDsr = 0x20;
inline constexpr int kModemRing = 0x40;
inline constexpr int kModemRlsd = 0x80;

// The one place that turns a system error of a serial operation into our text.
std::string SerialErrorText(int errnum);
// The device has no such ioctl (a pseudo-terminal has no modem lines or line counters).
bool IsUnsupported(int errnum);
// Whether termios has a speed constant for this bit rate.
bool IsStandardBitRate(int bitRate);

class SerialPort {
 public:
  // Opens the tty at `path` read-write, without making it the controlling terminal,
  // non-blocking and close-on-exec, and locks it against a second open by another program
  // (flock and TIOCEXCL): a busy port fails like a busy Windows port. Null and `errnum` set
  // on failure (EBUSY for a port already in use, ENOTTY for what is no tty).
  static std::unique_ptr<SerialPort> Open(const std::string& path, int& errnum);

  explicit SerialPort(int fd);  // takes ownership of the descriptor
  virtual ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  int Fd() const { return m_fd; }

  virtual int ReadLine(SerialLine& line);
  // Raw mode with the given settings. EINVAL for what termios cannot do: 1.5 stop bits, a
  // character size outside 5..8, a parity outside 0..2, a bit rate below 10.
  virtual int ApplyLine(const SerialLine& line);
  // Raises (on) or lowers TIOCM_DTR / TIOCM_RTS bits.
  virtual int SetModemLines(int tiocmBits, bool on);
  virtual int GetModemStatus(int& status);  // kModem* bits
  virtual int SetBreak(bool on);
  virtual int GetErrorCounts(SerialErrorCounts& counts);
  virtual int InputQueued(int& bytes);
  virtual int OutputQueued(int& bytes);
  virtual int Flush(bool input, bool output);
  // Non-blocking transfers: `done` bytes moved; EAGAIN when nothing could be moved. Read
  // returns 0 with `done` 0 at end of file (a hung-up line).
  virtual int Write(const std::uint8_t* data, std::size_t size, std::size_t& done);
  virtual int Read(std::uint8_t* data, std::size_t size, std::size_t& done);

 private:
  int m_fd;
};

// Any bit rate through termios2 (serial_termios2.cpp: its kernel header clashes with
// <termios.h>).
int SetBitRateTermios2(int fd, int bitRate);
int GetBitRateTermios2(int fd, int& bitRate);

}  // namespace velqor
