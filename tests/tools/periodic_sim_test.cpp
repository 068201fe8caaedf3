// Periodic transmit end to end: the scheduler's thread on the real clock, the USB path and
// the simulated adapter, whose bus is the judge of when frames went out.

#include <gtest/gtest.h>

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
    std::lock_guard lock(m_mutex);
    m_starts.push_back(r.start);
  }
  std::vector<nanoseconds> Starts() {
    std::lock_guard lock(m_mutex);
    return m_starts;
  }

 private:
  std::mutex m_mutex;
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
  ASSERT_TRUE(transmitter.Scheduler().Start(kRow, record, 20, 60));
  const LinkTransmitter::Outcome outcome = transmitter.Run(kRow, 5s);  // the count, answered

  const std::vector<nanoseconds> starts = bus.Starts();
  ASSERT_EQ(outcome.row.confirmed, 60u);
  ASSERT_EQ(starts.size(), 60u);
  ASSERT_EQ(outcome.frames.size(), 60u);
  // Frames on the bus in the first second, and the cycles of that second the scheduler left
  // out because this machine held its thread back for more than a cycle (told by the
  // deadlines of the frames that went out).
  int inFirstSecond = 0;
  int leftOut = 0;
  for (std::size_t i = 0; i < starts.size() && starts[i] - starts.front() < 1s; ++i) {
    ++inFirstSecond;
    if (i > 0) leftOut += (outcome.frames[i].deadline - outcome.frames[i - 1].deadline) / 20ms - 1;
  }
  EXPECT_NEAR(inFirstSecond + leftOut, 50, 1);
  EXPECT_GE(inFirstSecond, 45);
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
