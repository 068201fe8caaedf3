// termios2 with BOTHER sets a bit rate that has no Bxxx constant. The kernel's termbits header
// defines its own struct termios, so this file must not see <termios.h>.

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace velqor {

namespace {

int Ioctl(int fd, unsigned long request, termios2* t) {
  int r;
  do {
    r = ::ioctl(fd, request, t);
  } while (r < 0 && errno == EINTR);
  return r < 0 ? errno : 0;
}

}  // namespace

int SetBitRateTermios2(int fd, int bitRate) {
  if (bitRate <= 0) return EINVAL;
  termios2 t{};
  if (const int err = Ioctl(fd, TCGETS2, &t)) return err;
  t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = static_cast<speed_t>(bitRate);
  t.c_ospeed = static_cast<speed_t>(bitRate);
  return Ioctl(fd, TCSETS2, &t);
}

int GetBitRateTermios2(int fd, int& bitRate) {
  termios2 t{};
  if (const int err = Ioctl(fd, TCGETS2, &t)) return err;
  bitRate = static_cast<int>(t.c_ospeed);
  return 0;
}

}  // namespace velqor
