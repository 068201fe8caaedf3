#include "app/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace velqor {

namespace {

template <typename F>
int RetryEintr(F call) {
  int result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

// The process id at the start of the lock file; 0 when there is none.
pid_t ReadHolder(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return 0;
  long pid = 0;
  const auto [end, ec] = std::from_chars(text, text + n, pid);
  if (ec != std::errc() || pid <= 0) return 0;
  return static_cast<pid_t>(pid);
}

void WriteHolder(int fd) {
  const std::string text = std::to_string(::getpid()) + "\n";
  // Only a courtesy for the next one: the lock is what counts, so failures are ignored.
  if (::ftruncate(fd, 0) != 0) return;
  (void)RetryEintr([&] { return static_cast<int>(::pwrite(fd, text.data(), text.size(), 0)); });
}

}  // namespace

FolderLock::FolderLock(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::path shown = std::filesystem::absolute(folder, ec);
  if (ec) shown = folder;
  shown = shown.lexically_normal();
  if (!shown.has_filename() && shown.has_relative_path()) shown = shown.parent_path();
  const std::string path = (folder / kFileName).string();
  auto unavailable = [&](int error) {
    m_message = "Velqor cannot make sure that it is alone in the folder " + shown.string() + ": " +
                path + ": " + std::strerror(error) +
                ". It goes on; do not start a second Velqor in this folder.";
  };
  m_fd = RetryEintr([&] { return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644); });
  if (m_fd < 0) {
    unavailable(errno);
    return;
  }
  if (RetryEintr([&] { return ::flock(m_fd, LOCK_EX | LOCK_NB); }) == 0) {
    m_result = Result::Held;
    WriteHolder(m_fd);
    return;
  }
  const int error = errno;
  if (error != EWOULDBLOCK) {
    unavailable(error);
    ::close(m_fd);
    m_fd = -1;
    return;
  }
  m_result = Result::InUse;
  m_holder = ReadHolder(m_fd);
  ::close(m_fd);
  m_fd = -1;
  m_message = "The folder " + shown.string() + " is in use by another Velqor" +
              (m_holder > 0 ? " (process " + std::to_string(m_holder) + ")" : std::string()) +
              ". Its settings file Velqor.INI and its data log numbers belong to that one.\n"
              "Switch to the Velqor already running, or start Velqor in another folder.";
}

FolderLock::~FolderLock() {
  if (m_fd >= 0) ::close(m_fd);  // and with it the lock
}

}  // namespace velqor
