#include "canlog/replay.h"

#include <algorithm>
#include <cmath>

#include "canlog/log_text.h"

namespace velqor {

std::optional<std::vector<ReplayId>> ParseReplayIds(std::string_view text, std::string& error) {
  std::vector<ReplayId> ids;
  std::string_view rest = text;
  for (;;) {
    const std::size_t comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    std::uint32_t id = 0;
    if (!logtext::ParseHex(item, id)) {
      error = "expected hexadecimal identifiers separated by commas (123,18FEF100), found '" +
              std::string(item) + "'";
      return std::nullopt;
    }
    const bool extended = item.size() > 3;
    if (id > (extended ? 0x1FFFFFFFu : 0x7FFu)) {
      error = "the identifier '" + std::string(item) + "' is beyond " +
              (extended ? "29 bits" : "11 bits (write 8 digits for an extended one)");
      return std::nullopt;
    }
    ids.push_back({id, extended});
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return ids;
}

// ---------------------------------------------------------------------------------------
// ReplayEngine

ReplayEngine::ReplayEngine(OpenReader open, ReplayOptions options, ReplaySender& sender)
    : m_open(std::move(open)), m_options(std::move(options)), m_sender(sender) {
  if (m_options.maxInFlight == 0) m_options.maxInFlight = 1;
  if (m_options.speed != 0) {
    m_options.speed =
        std::clamp(m_options.speed, ReplayOptions::kMinSpeed, ReplayOptions::kMaxSpeed);
  }
}

bool ReplayEngine::selected(const CanFrame& f) const {
  if (m_options.identifiers.empty()) return true;
  for (const ReplayId& r : m_options.identifiers) {
    if (r.id == f.id && r.extended == f.extended()) return true;
  }
  return false;
}

bool ReplayEngine::loadNext() {
  while (m_reader) {
    CanFrame f;
    if (m_reader->Next(f)) {
      if (!m_haveFirst) {
        m_haveFirst = true;
        m_firstWallUs = f.time.wallUs;
      }
      m_lastWallUs = f.time.wallUs;
      ++m_passRead;
      if (m_reader->Size() > 0) {
        m_stats.passFraction =
            static_cast<double>(m_reader->Position()) / static_cast<double>(m_reader->Size());
      }
      if (f.error() || f.rtr()) {
        ++m_stats.passedOver;
        continue;
      }
      if (!selected(f)) {
        ++m_stats.notSelected;
        continue;
      }
      f.time.wallUs += m_passOffsetUs;
      m_next = f;
      ++m_passFrames;
      return true;
    }
    ++m_stats.passes;
    m_stats.passFraction = 1;
    // A pass that sent nothing would send nothing the next time either.
    if (!m_options.loop || m_passFrames == 0 || m_stopped) {
      m_reader.reset();
      return false;
    }
    // The next pass follows the last frame after the mean interval between frames, as if the
    // file went on with itself.
    const std::int64_t span = m_lastWallUs - m_firstWallUs;
    const std::int64_t gap =
        m_passRead > 1 ? std::max<std::int64_t>(1, span / static_cast<std::int64_t>(m_passRead - 1))
                       : 100000;
    m_passOffsetUs += std::max<std::int64_t>(0, span) + gap;
    m_passFrames = 0;
    m_passRead = 0;
    m_reader.reset();
    m_reader = m_open();
    m_stats.passFraction = 0;
  }
  return false;
}

void ReplayEngine::Prepare() {
  if (m_started || m_prepared) return;
  m_prepared = true;
  m_reader = m_open();
  loadNext();
}

ReplayEngine::Wait ReplayEngine::Poll(std::int64_t nowUs) {
  if (m_done) return {};
  if (!m_started) {
    m_started = true;
    m_startUs = nowUs;
    m_lastDueUs = nowUs;
    if (!m_prepared) m_reader = m_open();
  }
  const std::int64_t timeout = m_options.resultTimeout.count();
  while (!m_inFlight.empty() && m_inFlight.front() + timeout <= nowUs) {
    m_inFlight.pop_front();
    ++m_stats.failed;
  }
  if (m_stopped) {
    m_done = true;
    m_reader.reset();
    return {};
  }
  for (;;) {
    if (!m_next && !loadNext()) {
      // Over once every frame has its result.
      if (m_inFlight.empty()) {
        m_done = true;
        return {};
      }
      return {Wait::Kind::Result, m_inFlight.front() + timeout};
    }
    if (m_options.awaitResults && m_inFlight.size() >= m_options.maxInFlight) {
      return {Wait::Kind::Result, m_inFlight.front() + timeout};
    }
    std::int64_t due = nowUs;
    if (m_options.speed != 0) {
      const double recorded = static_cast<double>(m_next->time.wallUs - m_firstWallUs);
      due = m_startUs + std::llround(recorded / m_options.speed);
      // A file whose times go backwards sends those frames at once, in the file's order.
      due = std::max(due, m_lastDueUs);
    }
    if (m_sentAny && m_options.minInterval.count() > 0) {
      due = std::max(due, m_lastSentUs + m_options.minInterval.count());
    }
    if (due > nowUs) {
      const std::int64_t until =
          m_inFlight.empty() ? due : std::min(due, m_inFlight.front() + timeout);
      return {Wait::Kind::Until, until};
    }
    m_lastDueUs = due;
    m_stats.lateUs = nowUs - due;
    m_stats.maxLateUs = std::max(m_stats.maxLateUs, m_stats.lateUs);
    CanFrame frame = *m_next;
    m_next.reset();
    frame.time.wallUs -= m_passOffsetUs;
    frame.flags |= CanFrame::kTx;
    m_sentAny = true;
    m_lastSentUs = nowUs;
    if (m_sender.Send(frame)) {
      ++m_stats.sent;
      if (m_options.awaitResults) m_inFlight.push_back(nowUs);
    } else {
      ++m_stats.failed;
    }
  }
}

void ReplayEngine::OnSendResult(bool sent) {
  if (m_inFlight.empty()) return;  // the result of a frame already given up as failed
  m_inFlight.pop_front();
  if (sent) {
    ++m_stats.succeeded;
  } else {
    ++m_stats.failed;
  }
}

// ---------------------------------------------------------------------------------------
// ReplayRunner

ReplayRunner::ReplayRunner(std::unique_ptr<ReplayEngine> engine, std::function<void()> onFinished)
    : m_engine(std::move(engine)), m_onFinished(std::move(onFinished)) {}

ReplayRunner::~ReplayRunner() { Stop(); }

void ReplayRunner::Start() {
  if (m_thread.joinable()) return;
  m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void ReplayRunner::Stop() {
  if (!m_thread.joinable()) return;
  m_thread.request_stop();
  m_thread.join();
}

void ReplayRunner::OnSendResult(bool sent) {
  {
    std::lock_guard lock(m_mutex);
    m_results.push_back(sent);
  }
  m_wake.notify_one();
}

bool ReplayRunner::Finished() const {
  std::lock_guard lock(m_mutex);
  return m_finished;
}

ReplayStats ReplayRunner::Stats() const {
  std::lock_guard lock(m_mutex);
  return m_stats;
}

std::string ReplayRunner::Error() const {
  std::lock_guard lock(m_mutex);
  return m_error;
}

void ReplayRunner::Run(std::stop_token stop) {
  using Clock = std::chrono::steady_clock;
  auto nowUs = [] {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
  };
  std::vector<bool> results;
  std::string error;
  try {
    m_engine->Prepare();
  } catch (const std::exception& e) {
    error = e.what();
    m_engine->Stop();
  }
  for (;;) {
    {
      std::lock_guard lock(m_mutex);
      results.swap(m_results);
    }
    for (const bool r : results) m_engine->OnSendResult(r);
    results.clear();
    if (stop.stop_requested()) m_engine->Stop();
    ReplayEngine::Wait wait;
    try {
      wait = m_engine->Poll(nowUs());
    } catch (const std::exception& e) {
      error = e.what();
      m_engine->Stop();
      wait = m_engine->Poll(nowUs());
    }
    {
      std::lock_guard lock(m_mutex);
      m_stats = m_engine->Stats();
      if (!error.empty()) m_error = error;
      if (wait.kind == ReplayEngine::Wait::Kind::Done) m_finished = true;
    }
    if (wait.kind == ReplayEngine::Wait::Kind::Done) break;
    const auto deadline = Clock::time_point(std::chrono::microseconds(wait.untilUs));
    std::unique_lock lock(m_mutex);
    m_wake.wait_until(lock, stop, deadline, [this] { return !m_results.empty(); });
  }
  if (m_onFinished) m_onFinished();
}

}  // namespace velqor
