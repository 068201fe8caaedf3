#include "common/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <utility>

#include "common/ini_document.h"
#include "common/ini_values.h"

namespace velqor {
namespace {

namespace fs = std::filesystem;

std::error_code lastError() { return {errno, std::system_category()}; }

int openRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Reads a whole regular file. A fifo or device at the path is refused rather than waited on.
std::error_code readRegularFile(int fd, std::string& out, struct stat& st) {
  if (::fstat(fd, &st) != 0) return lastError();
  if (!S_ISREG(st.st_mode)) return std::make_error_code(std::errc::invalid_argument);
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return lastError();
    if (n == 0) return {};
    out.append(buf, static_cast<std::size_t>(n));
  }
}

std::error_code writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return lastError();
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

// The file a write lands in: a symbolic link is followed, so that the link stays a link.
fs::path writeTarget(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return path;
  fs::path target = fs::weakly_canonical(path, ec);
  return ec ? path : target;
}

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

SettingsWriteError::SettingsWriteError(const std::filesystem::path& file, std::error_code reason)
    : std::runtime_error(file.string() + " に書き込めません"), m_file(file), m_reason(reason) {}

IniFile::IniFile(std::filesystem::path path) : m_path(std::move(path)) {}

std::optional<std::string> IniFile::readValue(std::string_view section,
                                              std::string_view key) const {
  const int fd = openRetrying(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::string text;
  struct stat st {};
  const std::error_code ec = readRegularFile(fd, text, st);
  ::close(fd);
  if (ec) return std::nullopt;
  return IniDocument::parse(text).value(section, key);
}

void IniFile::writeValue(std::string_view section, std::string_view key, std::string_view value) {
  const fs::path target = writeTarget(m_path);
  auto fail = [this](std::error_code ec) { throw SettingsWriteError(m_path, ec); };

  std::string text;
  struct stat st {};
  bool exists = false;
  const int in = openRetrying(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) {
    if (errno != ENOENT) fail(lastError());
  } else {
    const std::error_code ec = readRegularFile(in, text, st);
    ::close(in);
    if (ec) fail(ec);  // never replace a file whose contents we could not read
    exists = true;
    // A file without any write permission is read-only, as the read-only attribute on
    // Windows, also for root, whom the permission bits would not stop.
    if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
      fail(std::make_error_code(std::errc::permission_denied));
    }
  }

  IniDocument doc = IniDocument::parse(text);
  doc.setValue(section, key, value);  // may throw std::invalid_argument; nothing written yet
  const std::string newText = doc.text();

  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  fs::path temp;
  int out = -1;
  for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
    std::string name = ".";
    name.append(target.filename().string()).append(".tmp-").append(std::to_string(::getpid()));
    name.append("-").append(std::to_string(g_tempCounter.fetch_add(1)));
    temp = dir / name;
    out = openRetrying(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0 && errno != EEXIST) fail(lastError());
  }
  if (out < 0) fail(std::make_error_code(std::errc::file_exists));

  std::error_code ec = writeAll(out, newText);
  if (!ec && exists) {
    // The new file takes the old one's permissions and, where we may, its owner.
    if (::fchmod(out, st.st_mode & 07777) != 0) ec = lastError();
    if (!ec && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
      (void)!::fchown(out, st.st_uid, st.st_gid);  // allowed to fail for a normal user
    }
  }
  if (::close(out) != 0 && !ec) ec = lastError();
  if (!ec && ::rename(temp.c_str(), target.c_str()) != 0) ec = lastError();
  if (ec) {
    ::unlink(temp.c_str());
    fail(ec);
  }
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  std::optional<std::string> v = readValue(section, key);
  return v ? std::move(*v) : std::string(defaultValue);
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key,
                                  std::int32_t defaultValue) const {
  const std::optional<std::string> v = readValue(section, key);
  if (!v) return defaultValue;
  return parseIniInteger(*v).value_or(defaultValue);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

double IniFile::readFloat(std::string_view section, std::string_view key,
                          double defaultValue) const {
  const std::optional<std::string> v = readValue(section, key);
  if (!v) return defaultValue;
  return parseIniFloat(*v).value_or(defaultValue);
}

std::chrono::year_month_day IniFile::readDate(std::string_view section, std::string_view key,
                                              std::chrono::year_month_day defaultValue) const {
  const std::optional<std::string> v = readValue(section, key);
  if (!v) return defaultValue;
  return parseIniDate(*v).value_or(defaultValue);
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
  writeValue(section, key, value);
}

void IniFile::writeInteger(std::string_view section, std::string_view key, std::int32_t value) {
  writeValue(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
  writeValue(section, key, value ? "1" : "0");
}

void IniFile::writeFloat(std::string_view section, std::string_view key, double value) {
  writeValue(section, key, formatFloatGeneral(value));
}

void IniFile::writeDate(std::string_view section, std::string_view key,
                        std::chrono::year_month_day value) {
  writeValue(section, key, formatIniDate(value));
}

}  // namespace velqor
