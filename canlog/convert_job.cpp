#include "canlog/convert_job.h"

#include <system_error>

#include "canlog/log_error.h"

namespace velqor {

namespace {

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ea, eb;
  if (std::filesystem::equivalent(a, b, ea)) return true;  // also through links
  const std::filesystem::path ca = std::filesystem::weakly_canonical(a, ea);
  const std::filesystem::path cb = std::filesystem::weakly_canonical(b, eb);
  return !ea && !eb && ca == cb;
}

}  // namespace

bool ResolveConvert(ConvertRequest& request, std::string& error) {
  if (request.in.empty()) {
    error = "Choose the log to convert.";
    return false;
  }
  if (request.out.empty()) {
    error = "Choose the file to write.";
    return false;
  }
  if (!request.from) request.from = LogFormatFromPath(request.in);
  if (!request.from) {
    error = request.in.string() + ": cannot tell the log format from the extension '" +
            request.in.extension().string() + "': choose it under \"From\"";
    return false;
  }
  if (!request.to) request.to = LogFormatFromPath(request.out);
  if (!request.to) {
    error = request.out.string() + ": cannot tell the log format from the extension '" +
            request.out.extension().string() + "': choose it under \"To\"";
    return false;
  }
  if (!LogFormatWritable(*request.to)) {
    error = request.out.string() + ": the program's own data log is only written by the data " +
            "log of the Config page; choose candump, ASC, BLF or CSV";
    return false;
  }
  if (SameFile(request.in, request.out)) {
    error = request.out.string() + ": the output would replace the log being read; choose " +
            "another file";
    return false;
  }
  return true;
}

ConvertOutcome RunConvert(const ConvertRequest& request, std::stop_token stop,
                          const std::function<void(const ConvertProgress&)>& progress) {
  ConvertOutcome outcome;
  try {
    outcome.result = ConvertLog(request.in, *request.from, request.out, *request.to,
                                [&](const ConvertProgress& p) {
                                  if (progress) progress(p);
                                  return !stop.stop_requested();
                                });
    outcome.ok = !outcome.result.cancelled;
  } catch (const LogError& e) {
    outcome.error = e.what();
  } catch (const std::exception& e) {  // out of memory and the like: still said, not lost
    outcome.error = request.in.string() + ": " + e.what();
  }
  return outcome;
}

ConvertJob::~ConvertJob() {
  Cancel();
  Wait();
}

void ConvertJob::Start(ConvertRequest request, std::function<void()> onFinished) {
  Wait();
  m_frames = 0;
  m_position = 0;
  m_size = 0;
  m_finished.store(false, std::memory_order_release);
  {
    std::lock_guard lock(m_mutex);
    m_outcome = {};
  }
  m_thread = std::jthread([this, request = std::move(request),
                           onFinished = std::move(onFinished)](std::stop_token stop) {
    ConvertOutcome outcome = RunConvert(request, stop, [this](const ConvertProgress& p) {
      m_frames.store(p.frames, std::memory_order_relaxed);
      m_position.store(p.position, std::memory_order_relaxed);
      m_size.store(p.size, std::memory_order_relaxed);
    });
    {
      std::lock_guard lock(m_mutex);
      m_outcome = std::move(outcome);
    }
    m_finished.store(true, std::memory_order_release);
    if (onFinished) onFinished();
  });
}

void ConvertJob::Cancel() { m_thread.request_stop(); }

void ConvertJob::Wait() {
  if (m_thread.joinable()) m_thread.join();
}

ConvertProgress ConvertJob::Progress() const {
  return {m_frames.load(std::memory_order_relaxed), m_position.load(std::memory_order_relaxed),
          m_size.load(std::memory_order_relaxed)};
}

ConvertOutcome ConvertJob::Outcome() const {
  std::lock_guard lock(m_mutex);
  return m_outcome;
}

}  // namespace velqor
