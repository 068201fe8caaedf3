#include "link/serial_posix.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace velqor {

namespace {

template <typename Arg>
int Ioctl(int fd, unsigned long request, Arg arg) {
  int r;
  do {
    r = ::ioctl(fd, request, arg);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? errno : 0;
}

constexpr std::array<std::pair<int, speed_t>, 31> kSpeeds = {{
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1152000, B1152000},
    {1500000, B1500000},
    {2000000, B2000000},
    {2500000, B2500000},
    {3000000, B3000000},
    {3500000, B3500000},
    {4000000, B4000000},
    {0, B0},
}};

speed_t SpeedOf(int bitRate) {
  for (const auto& [rate, speed] : kSpeeds)
    if (rate == bitRate && rate != 0) return speed;
  return B0;
}

}  // namespace

std::string SerialErrorText(int errnum) {
  switch (errnum) {
    case EACCES:
    case EPERM:
      return "permission denied (is the user in the dialout group?)";
    case ENOENT:
      return "no such device";
    case EBUSY:
    case EWOULDBLOCK:
      return "the port is in use by another program";
    case ENOTTY:
      return "not a serial device";
    case EIO:
    case ENODEV:
    case ENXIO:
      return "the device is not there any more";
    case EINVAL:
      return "the device does not accept this setting";
    default:
      return std::strerror(errnum);
  }
}

bool IsUnsupported(int errnum) {
  return errnum == ENOTTY || errnum == EINVAL || errnum == EOPNOTSUPP || errnum == ENOSYS;
}

bool IsStandardBitRate(int bitRate) { return SpeedOf(bitRate) != B0; }

std::unique_ptr<SerialPort> SerialPort::Open(const std::string& path, int& errnum) {
  errnum = 0;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    errnum = errno;
    return nullptr;
  }
  if (!::isatty(fd)) {
    errnum = ENOTTY;
    ::close(fd);
    return nullptr;
  }
  // flock holds also against a second open by root, whom TIOCEXCL lets through.
  int r;
  do {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (r < 0 && errno == EINTR);
  if (r < 0) {
    errnum = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return nullptr;
  }
  (void)Ioctl(fd, TIOCEXCL, nullptr);  // a courtesy to programs that do not flock
  return std::make_unique<SerialPort>(fd);
}

SerialPort::SerialPort(int fd) : m_fd(fd) {}

SerialPort::~SerialPort() {
  if (m_fd >= 0) ::close(m_fd);
}

int SerialPort::ReadLine(SerialLine& line) {
  termios t{};
  if (::tcgetattr(m_fd, &t) < 0) return errno;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      line.charSize = 5;
      break;
    case CS6:
      line.charSize = 6;
      break;
    case CS7:
      line.charSize = 7;
      break;
    default:
      line.charSize = 8;
      break;
  }
  line.parity = (t.c_cflag & PARENB) ? ((t.c_cflag & PARODD) ? 1 : 2) : 0;
  line.stopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
  line.ctsFlow = (t.c_cflag & CRTSCTS) != 0;
  line.xonXoff = (t.c_iflag & IXON) != 0;
  line.xonChar = t.c_cc[VSTART];
  line.xoffChar = t.c_cc[VSTOP];
  int rate = 0;
  if (GetBitRateTermios2(m_fd, rate) == 0) line.bitRate = rate;
  return 0;
}

int SerialPort::ApplyLine(const SerialLine& line) {
  if (line.bitRate < 10 || line.charSize < 5 || line.charSize > 8 || line.parity < 0 ||
      line.parity > 2 || (line.stopBits != 0 && line.stopBits != 2))
    return EINVAL;
  termios t{};
  if (::tcgetattr(m_fd, &t) < 0) return errno;
  const termios before = t;
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[line.charSize - 5];
  t.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
  if (line.parity != 0) {
    t.c_cflag |= PARENB | (line.parity == 1 ? PARODD : 0);
    t.c_iflag |= INPCK;
  }
  if (line.stopBits == 2) t.c_cflag |= CSTOPB;
  if (line.ctsFlow) t.c_cflag |= CRTSCTS;
  if (line.xonXoff) t.c_iflag |= IXON | IXOFF;
  t.c_cc[VSTART] = line.xonChar;
  t.c_cc[VSTOP] = line.xoffChar;
  t.c_cc[VMIN] = 1;  // with O_NONBLOCK an empty queue reads EAGAIN, not 0 (end of file)
  t.c_cc[VTIME] = 0;
  const speed_t speed = SpeedOf(line.bitRate);
  const speed_t placeholder = speed != B0 ? speed : B38400;
  if (::cfsetispeed(&t, placeholder) < 0 || ::cfsetospeed(&t, placeholder) < 0) return errno;
  int r;
  do {
    r = ::tcsetattr(m_fd, TCSANOW, &t);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return errno;
  // Some devices quietly keep their own framing (a pseudo-terminal stays at 8 data bits
  // without parity): a setting that did not take is a refused setting.
  termios now{};
  if (::tcgetattr(m_fd, &now) < 0) return errno;
  constexpr tcflag_t kCflags = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
  constexpr tcflag_t kIflags = IXON | IXOFF | INPCK;
  if ((now.c_cflag & kCflags) != (t.c_cflag & kCflags) ||
      (now.c_iflag & kIflags) != (t.c_iflag & kIflags)) {
    (void)::tcsetattr(m_fd, TCSANOW, &before);  // back to the settings last applied
    return EINVAL;
  }
  // A rate without a constant goes through termios2.
  if (speed == B0) return SetBitRateTermios2(m_fd, line.bitRate);
  return 0;
}

int SerialPort::SetModemLines(int tiocmBits, bool on) {
  return Ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &tiocmBits);
}

int SerialPort::GetModemStatus(int& status) {
  int bits = 0;
  if (const int err = Ioctl(m_fd, TIOCMGET, &bits)) return err;
  status = ((bits & TIOCM_CTS) ? kModemCts : 0) | ((bits & TIOCM_DSR) ? kModemDsr : 0) |
           ((bits & TIOCM_RI) ? kModemRing : 0) | ((bits & TIOCM_CD) ? kModemRlsd : 0);
  return 0;
}

int SerialPort::SetBreak(bool on) { return Ioctl(m_fd, on ? TIOCSBRK : TIOCCBRK, nullptr); }

int SerialPort::GetErrorCounts(SerialErrorCounts& counts) {
  serial_icounter_struct ic{};
  if (const int err = Ioctl(m_fd, TIOCGICOUNT, &ic)) return err;
  counts.frame = static_cast<std::uint32_t>(ic.frame);
  counts.overrun = static_cast<std::uint32_t>(ic.overrun);
  counts.parity = static_cast<std::uint32_t>(ic.parity);
  counts.brk = static_cast<std::uint32_t>(ic.brk);
  counts.bufOverrun = static_cast<std::uint32_t>(ic.buf_overrun);
  return 0;
}

int SerialPort::InputQueued(int& bytes) { return Ioctl(m_fd, FIONREAD, &bytes); }

int SerialPort::OutputQueued(int& bytes) { return Ioctl(m_fd, TIOCOUTQ, &bytes); }

int SerialPort::Flush(bool input, bool output) {
  if (!input && !output) return 0;
  const int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
  return ::tcflush(m_fd, which) < 0 ? errno : 0;
}

int SerialPort::Write(const std::uint8_t* data, std::size_t size, std::size_t& done) {
  done = 0;
  ssize_t n;
  do {
    n = ::write(m_fd, data, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return errno;
  done = static_cast<std::size_t>(n);
  return 0;
}

int SerialPort::Read(std::uint8_t* data, std::size_t size, std::size_t& done) {
  done = 0;
  ssize_t n;
  do {
    n = ::read(m_fd, data, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return errno;
  done = static_cast<std::size_t>(n);
  return 0;
}

}  // namespace velqor
