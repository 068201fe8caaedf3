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
#include "common/regular_file.h"

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

// Makes a rename in `dir` survive a power loss. A file system that cannot sync a folder says
// EINVAL; that is no failure of ours.
std::error_code syncFolder(const fs::path& dir) {
  const int fd = openRetrying(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return lastError();
  std::error_code ec;
  if (::fsync(fd) != 0 && errno != EINVAL) ec = lastError();
  ::close(fd);
  return ec;
}

std::string fullPathText(const fs::path& path) {
  std::error_code ec;
  const fs::path full = fs::absolute(path, ec);
  return (ec ? path : full.lexically_normal()).string();
}

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

// One reading of the file.
struct IniFile::Contents {
  fs::path target;            // the file itself, a symbolic link followed
  IniDocument document;       // empty when the file could not be read
  std::error_code readError;  // why it could not be read; ENOENT when there is none
  bool exists = false;
  struct stat status {};  // of the file read, when it exists
};

struct IniFile::BatchState {
  std::optional<Contents> contents;  // read with the batch's first read or write
  bool writable = false;             // checked with its first write
  bool changed = false;
  int depth = 1;  // batches open on it: the outermost and those that joined it
};

SettingsWriteError::SettingsWriteError(const std::filesystem::path& file, std::error_code reason,
                                       const std::filesystem::path& written)
    : std::runtime_error(file.string() + " に書き込めません\n" +
                         fullPathText(written.empty() ? file : written) + ": " + reason.message()),
      m_file(file),
      m_reason(reason) {}

IniFile::IniFile(std::filesystem::path path) : m_path(std::move(path)) {}

IniFile::~IniFile() = default;

IniFile::IniFile(const IniFile& other) : m_path(other.m_path) {}

IniFile& IniFile::operator=(const IniFile& other) {
  m_path = other.m_path;
  return *this;
}

IniFile::Contents IniFile::load() const {
  Contents contents;
  contents.target = writeTarget(m_path);
  const int fd = openRegularFileForReading(contents.target, contents.readError);
  if (fd < 0) return contents;
  std::string text;
  if (::fstat(fd, &contents.status) != 0) {
    contents.readError = lastError();
  } else {
    contents.readError = readToEnd(fd, text);
  }
  ::close(fd);
  if (contents.readError) return contents;
  contents.exists = true;
  contents.document = IniDocument::parse(text);
  return contents;
}

void IniFile::checkWritable(const Contents& contents) const {
  if (contents.readError && contents.readError != std::errc::no_such_file_or_directory) {
    // Never replace a file whose contents could not be read.
    throw SettingsWriteError(m_path, contents.readError, contents.target);
  }
  // A file without any write permission is read-only, as the read-only attribute on Windows,
  // also for root, whom the permission bits would not stop.
  if (contents.exists &&
      ((contents.status.st_mode & 0222) == 0 || ::access(contents.target.c_str(), W_OK) != 0)) {
    throw SettingsWriteError(m_path, std::make_error_code(std::errc::permission_denied),
                             contents.target);
  }
}

void IniFile::store(const Contents& contents) const {
  const fs::path& target = contents.target;
  auto fail = [&](std::error_code ec) { throw SettingsWriteError(m_path, ec, target); };
  const std::string text = contents.document.text();

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

  std::error_code ec = writeAll(out, text);
  if (!ec && contents.exists) {
    // The new file takes the old one's permissions and, where we may, its owner.
    const struct stat& st = contents.status;
    if (::fchmod(out, st.st_mode & 07777) != 0) ec = lastError();
    if (!ec && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
      (void)!::fchown(out, st.st_uid, st.st_gid);  // allowed to fail for a normal user
    }
  }
  if (!ec && ::fsync(out) != 0) ec = lastError();
  if (::close(out) != 0 && !ec) ec = lastError();
  if (!ec && ::rename(temp.c_str(), target.c_str()) != 0) ec = lastError();
  if (ec) {
    ::unlink(temp.c_str());
    fail(ec);
  }
  if (const std::error_code synced = syncFolder(dir)) fail(synced);
}

IniFile::Batch::Batch(const IniFile& file) : m_file(file) {
  if (file.m_batch) {
    ++file.m_batch->depth;
    return;
  }
  file.m_batch = std::make_unique<BatchState>();
}

IniFile::Batch::~Batch() {
  if (--m_file.m_batch->depth == 0) m_file.m_batch.reset();
}

IniFile::Batch IniFile::batch() const { return Batch(*this); }

IniFile::Contents& IniFile::batchContents() const {
  if (!m_batch->contents) m_batch->contents = load();
  return *m_batch->contents;
}

void IniFile::commitBatch() {
  if (!m_batch) throw std::logic_error("IniFile: no batch is open");
  if (!m_batch->changed || m_batch->depth > 1) return;
  store(*m_batch->contents);
  m_batch->changed = false;
}

std::optional<std::string> IniFile::readValue(std::string_view section,
                                              std::string_view key) const {
  if (m_batch) return batchContents().document.value(section, key);
  return load().document.value(section, key);
}

void IniFile::writeValue(std::string_view section, std::string_view key, std::string_view value) {
  if (m_batch) {
    Contents& contents = batchContents();
    if (!m_batch->writable) {
      checkWritable(contents);
      m_batch->writable = true;
    }
    contents.document.setValue(section, key, value);  // may throw; the text is then unchanged
    m_batch->changed = true;
    return;
  }
  Contents contents = load();
  checkWritable(contents);
  contents.document.setValue(section, key, value);  // may throw; nothing written yet
  store(contents);
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
