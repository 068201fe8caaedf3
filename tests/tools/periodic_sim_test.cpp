// Periodic transmit end to end: the scheduler's thread on the real clock, the USB path and
// the simulated adapter, whose bus is the judge of when frames went out.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <sstream>

#include "tools/gen_command.h"
#include "tools/link_transmitter.h"
#include "tools/send_command.h"

namespace velqor::cli {
namespace {

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

// The starts of the adapter's own frames on the simulated bus.
class BusLog {
 public:
  void Add(const SimBusRecord& r) {
    if (!r.own) return;
    {
      std::lock_guard lock(m_mutex);
      m_starts.push_back(r.start);
    }
    m_changed.notify_all();
  }
  // Waits (at most 60 s) until a frame starts `span` or more after the first one.
  std::vector<nanoseconds> AwaitSpan(nanoseconds span) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(
        lock, 60s, [&] { return !m_starts.empty() && m_starts.back() - m_starts.front() >= span; });
    return m_starts;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<nanoseconds> m_starts;
};

TEST(PeriodicTransmit, ARowAt20msPutsFiftyFramesASecondOnTheBus) {
  BusLog bus;
  LinkOptions options;
  options.sim = true;
  options.busObserver = [&bus](const SimBusRecord& r) { bus.Add(r); };
  LinkTransmitter transmitter(options);
  std::string error;
  ASSERT_TRUE(transmitter.Open(error)) << error;
  TxRecord record;
  record.id = 0x123;
  record.dlc = 1;
  ASSERT_TRUE(transmitter.Scheduler().Start(kRow, record, 20, 0));

  const std::vector<nanoseconds> starts = bus.AwaitSpan(1s);
  transmitter.Scheduler().StopAll();
  ASSERT_FALSE(starts.empty());
  ASSERT_GE(starts.back() - starts.front(), 1s) << "the bus saw too few frames";
  const auto inFirstSecond = std::count_if(starts.begin(), starts.end(),
                                           [&](nanoseconds t) { return t - starts.front() < 1s; });
  EXPECT_NEAR(inFirstSecond, 50, 1);
}

TEST(PeriodicTransmit, CommandsSayWhatWasWrongWithTheirArguments) {
  struct {
    int (*command)(const std::vector<std::string>&, std::ostream&, std::ostream&);
    std::vector<std::string> args;
    const char* says;
  } const cases[] = {
      {RunSend, {"--sim", "1#", "--cycle", "0"}, "--cycle needs milliseconds from 1 to 60000"},
      {RunSend, {"--sim", "1#", "--cycle", "60001"}, "got '60001'"},
      {RunSend, {"--sim", "1#", "--count", "5"}, "--count goes with --cycle"},
      {RunGen, {"--sim", "--rate", "0"}, "--rate needs frames a second"},
      {RunGen, {"--sim", "--data", "1"}, "--data needs random, inc or 1 to 8 bytes"},
      {RunGen, {"--sim", "--dlc", "9"}, "--dlc needs random, inc or 0 to 8"},
      {RunGen, {"--sim", "--id", "12G"}, "--id needs"},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(c.command(c.args, out, err), 2) << c.says;
    EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
  }
}

}  // namespace
}  // namespace velqor::cli
