// TCommX over the simulated adapter's COM port (a pseudo-terminal fed with console output).

#include "sim/sim_serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "link/commx.h"
#include "tests/link/event_loop.h"

namespace velqor {
namespace {

using testing::App;
using testing::PumpUntil;

SimOptions Traffic() {
  SimOptions o;
  o.packing = ReportPacking::OneFramePerReport;
  return o;
}

TEST(SimSerialPort, TCommXReceivesTheConsoleLinesOfTheBusTraffic) {
  App();
  SimRunner runner(Traffic());
  SimSerialPort port(runner);
  TCommX comm;
  comm.SetFlowCtrl(cfcNone);
  comm.SetBitRate(115200);
  comm.SetPortNo(3);
  comm.SetPortPathResolver([&](int n) { return n == 3 ? port.SlavePath() : std::string(); });
  std::string text;
  comm.OnReceive = [&](TCustomCommX*, int size) {
    std::string chunk(static_cast<std::size_t>(size), '\0');
    const int n = comm.ReceiveBlock(chunk.data(), size);
    if (n > 0) text.append(chunk, 0, static_cast<std::size_t>(n));
  };
  comm.PortOpen();
  runner.Start();
  ASSERT_TRUE(PumpUntil([&] { return text.find("\r\nRX ") != std::string::npos; }));
  // A whole line: "RX <seconds>.<micro> STD|EXT <id> [<dlc>] <data>".
  const std::size_t start = text.find("\r\nRX ") + 2;
  const std::size_t end = text.find("\r\n", start);
  ASSERT_NE(end, std::string::npos);
  const std::string line = text.substr(start, end - start);
  EXPECT_TRUE(line.find(" STD ") != std::string::npos || line.find(" EXT ") != std::string::npos)
      << line;
  comm.PortClose();
  runner.Stop();
  EXPECT_GT(port.GetCounters().bytesWritten, 0u);
}

TEST(SimSerialPort, AHungUpPortEndsReceiveBlock) {
  App();
  SimRunner runner(Traffic());
  SimSerialPort port(runner);
  TCommX comm;
  comm.SetFlowCtrl(cfcNone);
  comm.SetPortPathResolver([&](int) { return port.SlavePath(); });
  comm.PortOpen();
  port.Hangup();
  char buffer[16];
  int n = 0;
  // Whatever still waited is read; then the line is gone.
  for (int i = 0; i < 1000 && (n = comm.ReceiveBlock(buffer, sizeof buffer)) > 0; ++i) {
  }
  EXPECT_EQ(n, -1);
  comm.PortClose();
}

// Unplugged, the port hangs up (TCommX says so once, after the bytes before it) and its path
// opens nothing; plugged back, the path it then has opens and carries the console again.
TEST(SimSerialPort, UnplugHangsUpThePortAndPlugBringsItBack) {
  App();
  SimRunner runner(Traffic());
  SimSerialPort port(runner);
  TCommX comm;
  comm.SetFlowCtrl(cfcNone);
  comm.SetPortPathResolver([&](int) { return port.SlavePath(); });
  int vanished = 0;
  std::size_t received = 0;
  comm.OnVanish = [&](TCustomCommX*) { ++vanished; };
  comm.OnReceive = [&](TCustomCommX*, int size) {
    std::string chunk(static_cast<std::size_t>(size), '\0');
    received += static_cast<std::size_t>(std::max(0, comm.ReceiveBlock(chunk.data(), size)));
  };
  runner.Start();
  comm.PortOpen();
  ASSERT_TRUE(PumpUntil([&] { return received > 0; }));

  port.Unplug();
  ASSERT_TRUE(PumpUntil([&] { return vanished == 1; }));
  EXPECT_TRUE(comm.Vanished());
  EXPECT_EQ(port.SlavePath(), SimSerialPort::kUnpluggedPath);
  comm.PortClose();
  EXPECT_THROW(comm.PortOpen(), ECommError);

  port.Plug();
  comm.PortOpen();
  EXPECT_FALSE(comm.Vanished());
  received = 0;
  ASSERT_TRUE(PumpUntil([&] { return received > 0; }));
  comm.PortClose();
  runner.Stop();
  EXPECT_EQ(vanished, 1);
}

}  // namespace
}  // namespace velqor
