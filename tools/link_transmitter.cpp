#include "tools/link_transmitter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>

namespace velqor::cli {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

LinkTransmitter::LinkTransmitter(LinkOptions options, bool realtime)
    : m_live(std::move(options)), m_realtime(realtime) {}

LinkTransmitter::~LinkTransmitter() {
  if (m_scheduler) m_scheduler->StopThread();
  m_live.Close();
}

bool LinkTransmitter::Open(std::string& error) {
  if (!m_live.Open(*this, error)) return false;
  TransmitScheduler::Options options;
  options.reportBytes = m_live.OutputReportBytes();
  options.realtime = m_realtime;
  options.onEvent = [this] { checkDone(); };
  options.onSent = [this](const SentFrame& frame) {
    std::lock_guard lock(m_framesMutex);
    m_frames.push_back(frame);
  };
  m_scheduler = std::make_unique<TransmitScheduler>(m_path, m_clock, std::move(options));
  m_scheduler->StartThread();
  return true;
}

bool LinkTransmitter::SendToDevice(const std::uint8_t* bytes, std::size_t length) {
  return m_live.SendBytes(bytes, length);
}

void LinkTransmitter::OnDeviceMessage(int code, const DeviceMessage& message) {
  if (code != MsgCode::SendResult || !m_scheduler) return;
  m_scheduler->OnSendResult(message.Data[0]);
  if (m_awaitAnswers) checkDone();
}

bool LinkTransmitter::done() {
  const RowCounters all = m_scheduler->Totals();
  if (all.running) return false;
  return !m_awaitAnswers || all.Answered() >= all.sent;
}

void LinkTransmitter::checkDone() {
  if (done()) m_live.Stop();
}

LinkTransmitter::Outcome LinkTransmitter::Run(int row, milliseconds answerWait) {
  Outcome outcome;
  // The row's stop (or Ctrl-C) ends the first wait; a stray wake only loops.
  while (!done()) {
    const LiveLink::End end = m_live.Run(milliseconds(0));
    if (end == LiveLink::End::Interrupted) outcome.interrupted = true;
    if (end == LiveLink::End::Removed) outcome.removed = true;
    if (end != LiveLink::End::Stopped) break;
  }
  m_scheduler->StopAll();
  m_awaitAnswers = true;
  const auto until = std::chrono::steady_clock::now() + answerWait;
  while (!outcome.removed && !done()) {
    const auto left = std::chrono::ceil<milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    const LiveLink::End end = m_live.Run(left);
    if (end == LiveLink::End::Removed) outcome.removed = true;
    if (end != LiveLink::End::Stopped) break;  // time up, or a second Ctrl-C
  }
  outcome.schedulerCpu = m_scheduler->ThreadCpuTime().value_or(nanoseconds(0));
  m_scheduler->StopThread();
  m_live.Close();
  outcome.row = m_scheduler->Counters(row).value_or(RowCounters{});
  outcome.totals = m_scheduler->Totals();
  std::lock_guard lock(m_framesMutex);
  outcome.frames = m_frames;
  return outcome;
}

PeriodStats MeasurePeriod(const std::vector<SentFrame>& frames, nanoseconds cycle) {
  PeriodStats s;
  std::vector<double> deviations;
  double sum = 0;
  std::map<int, const SentFrame*> last;  // each row's previous frame
  for (const SentFrame& f : frames) {
    const SentFrame*& previous = last[f.row];
    if (previous && f.index == previous->index + 1) {
      const double interval =
          std::chrono::duration<double, std::milli>(f.written - previous->written).count();
      sum += interval;
      deviations.push_back(
          std::abs(interval - std::chrono::duration<double, std::milli>(cycle).count()));
    }
    previous = &f;
  }
  s.intervals = deviations.size();
  if (deviations.empty()) return s;
  s.meanMs = sum / static_cast<double>(deviations.size());
  std::sort(deviations.begin(), deviations.end());
  const auto rank =
      static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(deviations.size())));
  s.p99DeviationMs = deviations[std::max<std::size_t>(rank, 1) - 1];
  s.maxDeviationMs = deviations.back();
  return s;
}

int ReportOutcome(const char* command, const LinkTransmitter::Outcome& outcome, nanoseconds cycle,
                  std::ostream& err) {
  const RowCounters& c = outcome.row;
  const std::uint64_t unanswered = c.sent - std::min(c.sent, c.Answered());
  err << "velqor-cli " << command << ": " << c.sent << " sent, " << c.failed + c.unsent
      << " failed";
  if (c.unsent != 0) err << " (" << c.unsent << " not taken by the adapter)";
  if (unanswered != 0) err << ", " << unanswered << " without an answer";
  if (c.skipped != 0) err << ", cycles skipped (the system was late): " << c.skipped;
  err << "\n";
  const PeriodStats p = MeasurePeriod(outcome.frames, cycle);
  if (p.intervals > 0) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "period at the host's writes: mean %.3f ms over %zu intervals, deviation "
                  "p99 %.3f ms, max %.3f ms\n",
                  p.meanMs, p.intervals, p.p99DeviationMs, p.maxDeviationMs);
    err << line;
  }
  if (c.stop != RowStop::Finished && c.stop != RowStop::Stopped) {
    err << "velqor-cli " << command << ": " << RowStopText(c.stop) << "\n";
  }
  if (outcome.removed) err << "velqor-cli " << command << ": the adapter went away\n";
  if (c.failed + c.unsent != 0) return 3;
  if (unanswered != 0) return 5;
  return 0;
}

int RunTransmitRow(const char* command, const LinkOptions& link,
                   const std::function<bool(TransmitScheduler&)>& start, nanoseconds cycle,
                   std::ostream& err) {
  LinkTransmitter transmitter(link);
  std::string error;
  if (!transmitter.Open(error)) {
    err << "velqor-cli " << command << ": " << error << "\n";
    return 2;
  }
  if (!start(transmitter.Scheduler())) {
    err << "velqor-cli " << command << ": the row could not start\n";
    return 2;
  }
  return ReportOutcome(command, transmitter.Run(kRow, std::chrono::seconds(1)), cycle, err);
}

}  // namespace velqor::cli
