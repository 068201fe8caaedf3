#include "transmit/transmit_scheduler.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>

namespace velqor {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kNsPerSecond = 1'000'000'000;
constexpr std::size_t kSendCanFrameSize = kFrameHeaderSize + TxRecord::kSize;

}  // namespace

const char* RowStopText(RowStop why) {
  switch (why) {
    case RowStop::None:
      return "running";
    case RowStop::Stopped:
      return "stopped";
    case RowStop::Finished:
      return "finished: every frame of its count went out";
    case RowStop::BadData:
      return "stopped: the data has fewer bytes than the DLC says";
    case RowStop::OutOfRange:
      return "stopped: the adapter answered \"out of range\" (identifier, ide or DLC)";
    case RowStop::Failing:
      return "stopped after 10 failed sends in a row: nobody acknowledges on the bus "
             "(another node present? bit rate right? bus terminated?)";
    case RowStop::Unsent:
      return "stopped: the adapter took none of the last 10 frames (is it connected?)";
  }
  return "stopped";
}

nanoseconds TransmitScheduler::Row::Deadline(std::uint64_t index) const {
  const __int128 offset = static_cast<__int128>(index) * num / den;
  return base + nanoseconds(static_cast<std::int64_t>(offset));
}

TransmitScheduler::TransmitScheduler(SendPath& path, TransmitClock& clock, Options options)
    : m_path(path), m_clock(clock), m_options(std::move(options)), m_epoch(clock.Now()) {}

TransmitScheduler::~TransmitScheduler() { StopThread(); }

void TransmitScheduler::StartThread() {
  if (m_thread.joinable()) return;
  m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

void TransmitScheduler::StopThread() {
  if (!m_thread.joinable()) return;
  m_thread.request_stop();
  m_clock.Wake();
  m_thread.join();
}

void TransmitScheduler::run(std::stop_token stop) {
  if (m_options.realtime) {
    sched_param param{};
    param.sched_priority = 1;
    // Refused (EPERM) without CAP_SYS_NICE or an RLIMIT_RTPRIO: then the thread stays as it is.
    m_realtime = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0;
  }
  while (!stop.stop_requested()) {
    const nanoseconds next = RunDue();
    if (stop.stop_requested()) break;
    m_clock.WaitUntil(next);
  }
}

bool TransmitScheduler::start(int key, Row row) {
  {
    std::lock_guard lock(m_mutex);
    row.run = m_path.NewOwner();
    row.counters.running = true;
    m_rows[key] = std::move(row);
  }
  m_clock.Wake();
  return true;
}

TransmitScheduler::Row TransmitScheduler::cyclicRow(const TxRecord& record, int cycleMs,
                                                    std::uint64_t count) const {
  Row row;
  row.record = record;
  row.num = cycleMs * kNsPerMs;
  // The first deadline: the next whole millisecond of the scheduler's grid (now, when on it).
  const std::int64_t since = (m_clock.Now() - m_epoch).count();
  row.base = m_epoch + nanoseconds((since + kNsPerMs - 1) / kNsPerMs * kNsPerMs);
  row.counters.cycleMs = cycleMs;
  row.counters.count = count;
  return row;
}

bool TransmitScheduler::Start(int key, const TxRowText& text, int cycleMs, std::uint64_t count) {
  if (cycleMs < kMinCycleMs || cycleMs > kMaxCycleMs) return false;
  const TxRowRequest request = ParseTxRow(text);
  if (request.missingItem) {
    {
      std::lock_guard lock(m_mutex);
      Row& row = m_rows[key];
      row.counters.missingItem = *request.missingItem;
      row.counters.running = true;  // not started, but stopped for its data all the same
      stopFor(key, row, RowStop::BadData);
    }
    if (m_options.onEvent) m_options.onEvent();
    return false;
  }
  Row row = cyclicRow(request.record, cycleMs, count);
  row.fromText = true;
  return start(key, std::move(row));
}

bool TransmitScheduler::Start(int key, const TxRecord& record, int cycleMs, std::uint64_t count) {
  if (cycleMs < kMinCycleMs || cycleMs > kMaxCycleMs) return false;
  return start(key, cyclicRow(record, cycleMs, count));
}

bool TransmitScheduler::StartGenerator(int key, std::uint32_t framesPerSecond, std::uint64_t count,
                                       Generator generate) {
  if (framesPerSecond == 0 || framesPerSecond > kMaxFramesPerSecond || !generate) return false;
  Row row;
  row.generate = std::move(generate);
  row.num = kNsPerSecond;
  row.den = framesPerSecond;
  row.base = m_clock.Now();
  row.counters.count = count;
  return start(key, std::move(row));
}

void TransmitScheduler::Edit(int key, const TxRowText& text) {
  const TxRowRequest request = ParseTxRow(text);
  bool stopped = false;
  {
    std::lock_guard lock(m_mutex);
    const auto it = m_rows.find(key);
    if (it == m_rows.end() || !it->second.counters.running || !it->second.fromText) return;
    Row& row = it->second;
    if (request.missingItem) {
      row.counters.missingItem = *request.missingItem;
      stopFor(key, row, RowStop::BadData);
      stopped = true;
    } else {
      row.record = request.record;
    }
  }
  if (stopped && m_options.onEvent) m_options.onEvent();
}

void TransmitScheduler::Stop(int key) {
  std::lock_guard lock(m_mutex);
  const auto it = m_rows.find(key);
  if (it == m_rows.end() || !it->second.counters.running) return;
  it->second.counters.running = false;
  it->second.counters.stop = RowStop::Stopped;
}

void TransmitScheduler::StopAll() {
  std::lock_guard lock(m_mutex);
  for (auto& [key, row] : m_rows) {
    if (!row.counters.running) continue;
    row.counters.running = false;
    row.counters.stop = RowStop::Stopped;
  }
}

void TransmitScheduler::stopFor(int key, Row& row, RowStop why) {
  if (!row.counters.running) return;
  row.counters.running = false;
  row.counters.stop = why;
  m_events.push_back({key, why, why == RowStop::BadData ? row.counters.missingItem : -1});
}

void TransmitScheduler::OnSendResult(std::uint8_t result) {
  if (const std::optional<SendPath::Owner> owner = m_path.TakeAnswer(result))
    OnSendAnswer(*owner, result);
}

bool TransmitScheduler::OnSendAnswer(SendPath::Owner owner, std::uint8_t result) {
  if (owner == SendPath::kNobody) return false;
  bool found = false;
  bool stopped = false;
  {
    std::lock_guard lock(m_mutex);
    for (auto& [key, row] : m_rows) {
      if (row.run != owner) continue;
      found = true;
      RowCounters& c = row.counters;
      if (result == kResultOk) {
        ++c.confirmed;
        c.failuresInARow = 0;
        break;
      }
      ++c.failed;
      ++c.failuresInARow;
      const std::size_t before = m_events.size();
      if (result == kResultOutOfRange) {
        stopFor(key, row, RowStop::OutOfRange);
      } else if (c.failuresInARow >= kFailuresToStop) {
        stopFor(key, row, RowStop::Failing);
      }
      stopped = m_events.size() > before;
      break;
    }
  }
  if (stopped && m_options.onEvent) m_options.onEvent();
  return found;
}

std::optional<RowCounters> TransmitScheduler::Counters(int key) const {
  std::lock_guard lock(m_mutex);
  const auto it = m_rows.find(key);
  if (it == m_rows.end()) return std::nullopt;
  return it->second.counters;
}

RowCounters TransmitScheduler::Totals() const {
  std::lock_guard lock(m_mutex);
  RowCounters t;
  for (const auto& [key, row] : m_rows) {
    const RowCounters& c = row.counters;
    t.running = t.running || c.running;
    t.sent += c.sent;
    t.unsent += c.unsent;
    t.confirmed += c.confirmed;
    t.failed += c.failed;
    t.skipped += c.skipped;
    t.failuresInARow = std::max(t.failuresInARow, c.failuresInARow);
  }
  return t;
}

std::vector<RowEvent> TransmitScheduler::TakeEvents() {
  std::lock_guard lock(m_mutex);
  std::vector<RowEvent> events;
  events.swap(m_events);
  return events;
}

std::optional<nanoseconds> TransmitScheduler::ThreadCpuTime() const {
  if (!m_thread.joinable()) return std::nullopt;
  clockid_t id{};
  // native_handle() is not const; the thread object itself is not changed.
  auto& thread = const_cast<std::jthread&>(m_thread);
  if (::pthread_getcpuclockid(thread.native_handle(), &id) != 0) return std::nullopt;
  timespec t{};
  if (::clock_gettime(id, &t) != 0) return std::nullopt;
  return std::chrono::seconds(t.tv_sec) + nanoseconds(t.tv_nsec);
}

void TransmitScheduler::takeDue(int key, Row& row, nanoseconds now, std::vector<Due>& due) {
  RowCounters& c = row.counters;
  // Grid points up to now that this row still owes.
  const __int128 elapsed = static_cast<__int128>((now - row.base).count());
  const auto last = static_cast<std::uint64_t>(elapsed * row.den / row.num);
  std::uint64_t owed = last + 1 - row.k;
  std::uint64_t take = 1;
  if (row.generate) {
    const std::uint64_t backlog = std::max<std::uint64_t>(row.den / 10, kMaxBurst);
    if (owed > backlog) {
      c.skipped += owed - backlog;
      row.k += owed - backlog;
      owed = backlog;
    }
    take = std::min<std::uint64_t>(owed, kMaxBurst);
  }
  if (c.count != 0) take = std::min(take, c.count - row.issued);
  for (std::uint64_t j = 0; j < take; ++j) {
    due.push_back({&row, key, row.issued, row.Deadline(row.k),
                   row.generate ? row.generate(row.issued) : row.record});
    ++row.k;
    ++row.issued;
  }
  if (!row.generate && owed > take) {
    c.skipped += owed - take;
    row.k += owed - take;
  }
  if (c.count != 0 && row.issued >= c.count) stopFor(key, row, RowStop::Finished);
}

nanoseconds TransmitScheduler::RunDue() {
  std::vector<SentFrame> sent;
  bool queued = false;
  nanoseconds next = TransmitClock::kNever;
  {
    std::lock_guard lock(m_mutex);
    const std::size_t eventsBefore = m_events.size();
    const nanoseconds now = m_clock.Now();
    std::vector<Due> due;
    for (auto& [key, row] : m_rows) {
      if (row.counters.running && row.Deadline(row.k) <= now) takeDue(key, row, now, due);
    }
    std::stable_sort(due.begin(), due.end(),
                     [](const Due& a, const Due& b) { return a.deadline < b.deadline; });

    const std::size_t perReport =
        std::max<std::size_t>(1, m_options.reportBytes / kSendCanFrameSize);
    std::vector<std::uint8_t> bytes;
    std::vector<SendPath::Owner> owners;
    for (std::size_t first = 0; first < due.size(); first += perReport) {
      const std::size_t end = std::min(due.size(), first + perReport);
      bytes.clear();
      owners.clear();
      for (std::size_t i = first; i < end; ++i) {
        const Frame frame = SendCanFrame(due[i].record);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        owners.push_back(due[i].row->run);
      }
      const bool ok = m_path.SendOwned(bytes, owners);
      const nanoseconds written = m_clock.Now();
      for (std::size_t i = first; i < end; ++i) {
        Row& row = *due[i].row;
        RowCounters& c = row.counters;
        if (ok) {
          ++c.sent;
          if (m_options.onSent)
            sent.push_back({due[i].key, due[i].index, due[i].deadline, written});
          continue;
        }
        ++c.unsent;
        if (++c.failuresInARow >= kFailuresToStop) stopFor(due[i].key, row, RowStop::Unsent);
      }
    }
    for (const auto& [key, row] : m_rows) {
      if (row.counters.running) next = std::min(next, row.Deadline(row.k));
    }
    queued = m_events.size() > eventsBefore;
  }
  for (const SentFrame& s : sent) m_options.onSent(s);
  if (queued && m_options.onEvent) m_options.onEvent();
  return next;
}

}  // namespace velqor
