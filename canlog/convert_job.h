#pragma once
// ConvertJob: one conversion of a log into another format (ConvertLog) on a thread of its
// own, with its progress readable from any thread and a cancel that leaves no output file.
// The conversion window runs it, so that a file of gigabytes never holds the window.
//
// ResolveConvert checks a request before anything is opened: formats from the extensions
// where none is named, an output format the program writes, and an output that is not the
// input itself (the rename at the end would replace the file being read).
//
// Threads: Start, Cancel, Wait and the destructor on the owner's thread; Progress() and
// Finished() from any thread; Outcome() once Finished(). `onFinished` runs on the job's
// thread as its last step.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "canlog/log_convert.h"
#include "canlog/log_format.h"

namespace velqor {

struct ConvertRequest {
  std::filesystem::path in;
  std::optional<LogFormat> from;  // from the input's extension when empty
  std::filesystem::path out;
  std::optional<LogFormat> to;  // from the output's extension when empty
};

// Fills in the formats of `request`; false, with `error` said for the technician (naming the
// file concerned), when it cannot run.
bool ResolveConvert(ConvertRequest& request, std::string& error);

struct ConvertOutcome {
  bool ok = false;
  ConvertResult result;  // result.cancelled when cancelled
  std::string error;     // when it failed: the file, its line or byte, and what was wrong
};

// Runs a resolved request here and now; `stop` cancels it (no output file), `progress` sees
// the work done about every 65536 frames.
ConvertOutcome RunConvert(const ConvertRequest& request, std::stop_token stop,
                          const std::function<void(const ConvertProgress&)>& progress = {});

class ConvertJob {
 public:
  ConvertJob() = default;
  ~ConvertJob();  // cancels and joins
  ConvertJob(const ConvertJob&) = delete;
  ConvertJob& operator=(const ConvertJob&) = delete;

  // Starts a resolved request (after the job before it ended).
  void Start(ConvertRequest request, std::function<void()> onFinished);
  void Cancel();
  void Wait();

  bool Finished() const { return m_finished.load(std::memory_order_acquire); }
  ConvertProgress Progress() const;
  ConvertOutcome Outcome() const;

 private:
  std::atomic<std::uint64_t> m_frames{0};
  std::atomic<std::uint64_t> m_position{0};
  std::atomic<std::uint64_t> m_size{0};
  std::atomic<bool> m_finished{false};
  mutable std::mutex m_mutex;
  ConvertOutcome m_outcome;  // under m_mutex
  std::jthread m_thread;     // last: joined before the members it uses go
};

}  // namespace velqor
