#include "sigmon/dbc_set.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "common/regular_file.h"
#include "signals/dbc_parser.h"

namespace velqor {

DbcFile loadDbcFile(const std::string& path) {
  constexpr off_t kLimit = off_t{64} << 20;
  DbcFile file;
  file.path = path;
  std::error_code reason;
  const int fd = openRegularFileForReading(path, reason);
  if (fd < 0) {
    file.error = path + ": " + reason.message();
    return file;
  }
  struct stat st {};
  std::string bytes;
  if (::fstat(fd, &st) == 0 && st.st_size > kLimit) {
    reason = std::make_error_code(std::errc::file_too_large);
  } else {
    reason = readToEnd(fd, bytes);
  }
  ::close(fd);
  if (reason) {
    file.error = path + ": " + reason.message();
    return file;
  }
  dbc::DbcResult parsed = dbc::parseDbc(bytes, path);
  if (!parsed.ok()) {
    file.error = parsed.error.text();
    return file;
  }
  file.database = std::move(parsed.database);
  return file;
}

DbcSet::DbcSet() : m_decoder(std::make_shared<dbc::FrameDecoder>()) {}

std::vector<std::string> DbcSet::paths() const {
  std::vector<std::string> out;
  out.reserve(m_files.size());
  for (const DbcFile& f : m_files) out.push_back(f.path);
  return out;
}

void DbcSet::put(DbcFile file) {
  const auto same = std::find_if(m_files.begin(), m_files.end(),
                                 [&](const DbcFile& f) { return f.path == file.path; });
  if (same != m_files.end()) {
    *same = std::move(file);
  } else {
    m_files.push_back(std::move(file));
  }
  rebuild();
}

bool DbcSet::remove(const std::string& path) {
  const auto it = std::find_if(m_files.begin(), m_files.end(),
                               [&](const DbcFile& f) { return f.path == path; });
  if (it == m_files.end()) return false;
  m_files.erase(it);
  rebuild();
  return true;
}

void DbcSet::clear() {
  m_files.clear();
  rebuild();
}

std::string messageName(const dbc::FrameDecoder& decoder, const CanFrame& frame) {
  if (frame.rtr() || frame.error()) return {};
  const dbc::FrameDecoder::MessageEntry* m = decoder.find(frame.id, frame.extended());
  return m != nullptr ? m->message->name : std::string();
}

void DbcSet::rebuild() {
  std::vector<std::shared_ptr<const dbc::Database>> databases;
  for (const DbcFile& f : m_files) {
    if (f.loaded()) databases.push_back(f.database);
  }
  m_decoder = std::make_shared<dbc::FrameDecoder>(std::move(databases));
}

DbcLoadJob::DbcLoadJob(std::vector<std::string> paths, std::function<void()> finished)
    : m_paths(std::move(paths)), m_finished(std::move(finished)) {
  m_thread = std::jthread([this](std::stop_token stop) {
    for (const std::string& path : m_paths) {
      if (stop.stop_requested()) break;
      m_results.push_back(loadDbcFile(path));
    }
    if (m_finished) m_finished();
  });
}

DbcLoadJob::~DbcLoadJob() {
  m_thread.request_stop();
  if (m_thread.joinable()) m_thread.join();
}

std::vector<DbcFile> DbcLoadJob::take() {
  if (m_thread.joinable()) m_thread.join();  // it has finished: the join only orders memory
  return std::move(m_results);
}

}  // namespace velqor
