#include "common/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velqor {
namespace {

enum class FileKind { kFifo = 1, kSocket, kDevice, kOther };

class FileKindCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "file kind"; }
  std::string message(int value) const override {
    switch (static_cast<FileKind>(value)) {
      case FileKind::kFifo:
        return "a FIFO, not a regular file";
      case FileKind::kSocket:
        return "a socket, not a regular file";
      case FileKind::kDevice:
        return "a device, not a regular file";
      case FileKind::kOther:
        break;
    }
    return "not a regular file";
  }
};

const FileKindCategory kFileKindCategory;

std::error_code lastError() { return {errno, std::system_category()}; }

}  // namespace

std::error_code notRegularFileReason(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return std::make_error_code(std::errc::is_a_directory);
  FileKind kind = FileKind::kOther;
  if (S_ISFIFO(mode)) kind = FileKind::kFifo;
  if (S_ISSOCK(mode)) kind = FileKind::kSocket;
  if (S_ISCHR(mode) || S_ISBLK(mode)) kind = FileKind::kDevice;
  return {static_cast<int>(kind), kFileKindCategory};
}

int openRegularFileForReading(const std::filesystem::path& path, std::error_code& reason) {
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0) {
    reason = lastError();
    return -1;
  }
  if ((reason = notRegularFileReason(before.st_mode))) return -1;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    reason = lastError();
    return -1;
  }
  // The path may have been replaced since it was looked at.
  struct stat opened {};
  if (::fstat(fd, &opened) != 0) {
    reason = lastError();
  } else {
    reason = notRegularFileReason(opened.st_mode);
  }
  if (reason) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::error_code readToEnd(int fd, std::string& out) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    out.reserve(out.size() + static_cast<std::size_t>(st.st_size));
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return lastError();
    if (n == 0) return {};
    out.append(buffer, static_cast<std::size_t>(n));
  }
}

}  // namespace velqor
