#include "bridge/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velqor {

namespace {

std::string Why(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);  // a failed close of a descriptor we own leaves nothing to retry
  fd = -1;
}

}  // namespace

PseudoTerminal::~PseudoTerminal() { Close(); }

bool PseudoTerminal::Open(std::string& error) {
  Close();
  auto fail = [&](const char* step) {
    error = "cannot create a pseudo-terminal (" + Why(step) + ")";
    Close();
    return false;
  };
  m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (m_master < 0) return fail("posix_openpt");
  if (::grantpt(m_master) != 0) return fail("grantpt");
  if (::unlockpt(m_master) != 0) return fail("unlockpt");
  char name[128];
  if (::ptsname_r(m_master, name, sizeof name) != 0) return fail("ptsname");
  m_path = name;
  do {
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  } while (m_slave < 0 && errno == EINTR);
  if (m_slave < 0) return fail("open the slave side");
  termios tio{};
  if (::tcgetattr(m_slave, &tio) != 0) return fail("tcgetattr");
  ::cfmakeraw(&tio);
  int rc;
  do {
    rc = ::tcsetattr(m_slave, TCSANOW, &tio);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return fail("tcsetattr");
  return true;
}

void PseudoTerminal::Close() {
  CloseFd(m_slave);
  CloseFd(m_master);
  m_path.clear();
}

bool MakeLink(const std::string& target, const std::string& link, std::string& error) {
  struct stat st {};
  if (::lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = link + " exists and is not a symbolic link; it is left alone";
      return false;
    }
    if (::unlink(link.c_str()) != 0) {
      error = "cannot replace " + link + ": " + std::strerror(errno);
      return false;
    }
  }
  if (::symlink(target.c_str(), link.c_str()) != 0) {
    error = "cannot make " + link + " a link to " + target + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void RemoveLink(const std::string& target, const std::string& link) {
  char buffer[4096];
  const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
  if (n > 0 && std::string(buffer, static_cast<std::size_t>(n)) == target) ::unlink(link.c_str());
}

}  // namespace velqor
