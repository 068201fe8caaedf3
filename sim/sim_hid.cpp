#include "sim/sim_hid.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

namespace velqor {

struct SimHidPlatform::Endpoint {
  explicit Endpoint(SimRunner& r) : runner(r) {}
  ~Endpoint() {
    for (int fd : adapterEnds) ::close(fd);
  }

  // Runner thread: one input report to every open device.
  void Deliver(std::span<const std::uint8_t, kInputReportSize> report) {
    std::lock_guard lock(mutex);
    if (adapterEnds.empty()) {
      ++counters.reportsDiscarded;
      return;
    }
    for (auto it = adapterEnds.begin(); it != adapterEnds.end();) {
      ssize_t n;
      do {
        n = ::send(*it, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      } while (n < 0 && errno == EINTR);
      if (n >= 0) {
        ++counters.reportsQueued;
      } else if (errno == EAGAIN || errno == ENOBUFS) {
        ++counters.reportsDropped;
      } else {  // the program closed its end
        ++counters.reportsDiscarded;
        ::close(*it);
        it = adapterEnds.erase(it);
        continue;
      }
      ++it;
    }
  }

  SimRunner& runner;
  mutable std::mutex mutex;  // guards everything below
  std::vector<int> adapterEnds;
  bool plugged = true;
  std::uint64_t generation = 0;  // counts unplugs: a device from before one is gone
  SimHidCounters counters;
};

namespace {

class SimHidDevice final : public HidDevice {
 public:
  SimHidDevice(int fd, std::shared_ptr<SimHidPlatform::Endpoint> endpoint, std::uint64_t generation)
      : m_fd(fd), m_endpoint(std::move(endpoint)), m_generation(generation) {}
  ~SimHidDevice() override { ::close(m_fd); }

  std::size_t InputReportLength() const override { return SimHidPlatform::kReportLength; }
  std::size_t OutputReportLength() const override { return SimHidPlatform::kReportLength; }
  int PollDescriptor() const override { return m_fd; }

  HidIoResult ReadReport(std::span<std::uint8_t> report) override {
    if (report.size() < SimHidPlatform::kReportLength) return {HidIoStatus::Failed, {}};
    ssize_t n;
    do {
      n = ::recv(m_fd, report.data() + 1, kInputReportSize, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      if (errno == EAGAIN) return {HidIoStatus::NoReport, {}};
      return {HidIoStatus::Gone, HidSystemError(errno, "read simulated adapter")};
    }
    if (n == 0) return {HidIoStatus::Gone, HidSystemError(ENODEV, "read simulated adapter")};
    // Like hidraw for a device without numbered reports: the report comes without an ID.
    report[0] = 0;
    std::fill(report.begin() + 1 + n, report.begin() + SimHidPlatform::kReportLength, 0);
    return {};
  }

  HidIoResult WriteReport(std::span<const std::uint8_t> report) override {
    {
      std::lock_guard lock(m_endpoint->mutex);
      if (!m_endpoint->plugged || m_endpoint->generation != m_generation)
        return {HidIoStatus::Gone, HidSystemError(ENODEV, "write simulated adapter")};
      ++m_endpoint->counters.reportsWritten;
    }
    // The adapter takes the bytes after the report ID.
    m_endpoint->runner.Write(report.subspan(1));
    return {};
  }

 private:
  int m_fd;
  std::shared_ptr<SimHidPlatform::Endpoint> m_endpoint;
  std::uint64_t m_generation;
};

}  // namespace

SimHidPlatform::SimHidPlatform(SimRunner& runner, SimHidOptions options)
    : m_options(std::move(options)), m_endpoint(std::make_shared<Endpoint>(runner)) {
  // The callback keeps the endpoint alive, so it stays valid whichever goes first.
  runner.SetOnInputReport(
      [endpoint = m_endpoint](std::span<const std::uint8_t, kInputReportSize> report) {
        endpoint->Deliver(report);
      });
}

SimHidPlatform::~SimHidPlatform() = default;

std::vector<HidDeviceInfo> SimHidPlatform::Enumerate() {
  if (!Plugged()) return {};
  return {{m_options.path, m_options.vendor, m_options.product}};
}

std::unique_ptr<HidDevice> SimHidPlatform::Open(const std::string& path, HidError& error) {
  error = {};
  std::lock_guard lock(m_endpoint->mutex);
  if (!m_endpoint->plugged || path != m_options.path) {
    error = HidSystemError(ENOENT, "open " + path);
    return nullptr;
  }
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) {
    error = HidSystemError(errno, "open " + path);
    return nullptr;
  }
  m_endpoint->adapterEnds.push_back(pair[1]);
  return std::make_unique<SimHidDevice>(pair[0], m_endpoint, m_endpoint->generation);
}

int SimHidPlatform::TakeArrivals() {
  m_arrivals.Drain();
  return m_pendingArrivals.exchange(0);
}

void SimHidPlatform::Unplug() {
  std::lock_guard lock(m_endpoint->mutex);
  if (!m_endpoint->plugged) return;
  m_endpoint->plugged = false;
  ++m_endpoint->generation;
  for (int fd : m_endpoint->adapterEnds) ::close(fd);  // the program's ends see POLLHUP
  m_endpoint->adapterEnds.clear();
}

void SimHidPlatform::Plug() {
  {
    std::lock_guard lock(m_endpoint->mutex);
    if (m_endpoint->plugged) return;
    m_endpoint->plugged = true;
  }
  ++m_pendingArrivals;
  m_arrivals.Signal();
}

bool SimHidPlatform::Plugged() const {
  std::lock_guard lock(m_endpoint->mutex);
  return m_endpoint->plugged;
}

SimHidCounters SimHidPlatform::Counters() const {
  std::lock_guard lock(m_endpoint->mutex);
  return m_endpoint->counters;
}

}  // namespace velqor
