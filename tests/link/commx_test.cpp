// TCommX over real pseudo-terminal pairs: the component opens the slave (the COM number maps
// to its path through the resolver) and the test plays the far end on the master.

#include "link/commx.h"

#include <asm/termbits.h>  // termios2, to read back what the component set
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QMetaObject>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/link/event_loop.h"
#include "tests/support/pty.h"

namespace velqor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;
using testing::App;
using testing::Pty;
using testing::PumpUntil;
using testing::WaitUntil;

Bytes Pattern(std::size_t size, unsigned seed = 7) {
  Bytes b(size);
  for (std::size_t i = 0; i < size; ++i)
    b[i] = static_cast<std::uint8_t>((i * seed + i / 251) & 0xFF);
  return b;
}

class TCommXTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    comm.SetPortNo(3);
    comm.SetFlowCtrl(cfcNone);
    comm.SetPortPathResolver([this](int portNo) {
      resolved.push_back(portNo);
      return portNo == 3 ? pty.slave : portNo == 4 ? other.slave : "/nonexistent/ttyVELQOR";
    });
  }

  Pty pty;
  Pty other;
  std::vector<int> resolved;
  TCommX comm;
};

TEST(TCommXDefaults, ComNumbersMapToTtyAcmDevices) {
  EXPECT_EQ(TCustomCommX::DefaultPortPath(1), "/dev/ttyACM0");
  EXPECT_EQ(TCustomCommX::DefaultPortPath(3), "/dev/ttyACM2");
  EXPECT_EQ(TCustomCommX::DefaultPortPath(12), "/dev/ttyACM11");
  EXPECT_EQ(TCustomCommX::DefaultPortPath(0), "");
  TCommX comm;
  EXPECT_EQ(comm.PortNo(), 1);
  EXPECT_EQ(comm.PortPath(), "/dev/ttyACM0");
  EXPECT_EQ(comm.BitRate(), 9600);
  EXPECT_EQ(comm.FlowCtrl(), cfcRtsCts);
  EXPECT_EQ(comm.BufLenTrans(), 2048);
  EXPECT_EQ(comm.Handle(), -1);
}

TEST_F(TCommXTest, OpensAndClosesTheDeviceTheComNumberMapsTo) {
  comm.PortOpen();
  EXPECT_TRUE(comm.IsOpen());
  EXPECT_GE(comm.Handle(), 0);
  EXPECT_EQ(resolved, std::vector<int>{3});
  char name[128];
  ASSERT_EQ(::ttyname_r(comm.Handle(), name, sizeof name), 0);
  EXPECT_EQ(std::string(name), pty.slave);
  comm.PortClose();
  EXPECT_FALSE(comm.IsOpen());
  EXPECT_EQ(comm.Handle(), -1);
  comm.PortClose();  // closing a closed port does nothing
  comm.PortOpen();   // and it opens again
  EXPECT_TRUE(comm.IsOpen());
}

TEST_F(TCommXTest, SecondPortOpenRaisesAlreadyOpenAndLeavesThePortAsItWas) {
  comm.PortOpen();
  const int handle = comm.Handle();
  try {
    comm.PortOpen();
    FAIL() << "no exception";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), "ポートは、すでにオープンされています");
    EXPECT_NE(e.Detail().find("COM3"), std::string::npos) << e.Detail();
  }
  EXPECT_EQ(comm.Handle(), handle);
  const Bytes data = Pattern(10);
  ASSERT_TRUE(comm.TransBlock(data.data(), 10));
  EXPECT_EQ(pty.Read(10), data);
}

TEST_F(TCommXTest, MissingDeviceRaisesCannotOpen) {
  comm.SetPortNo(5);
  try {
    comm.PortOpen();
    FAIL() << "no exception";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), "ポートをオープンできませんでした");
    EXPECT_EQ(e.Detail(), "COM5 (/nonexistent/ttyVELQOR): no such device");
  }
  EXPECT_FALSE(comm.IsOpen());
  EXPECT_EQ(comm.Handle(), -1);
}

TEST_F(TCommXTest, ASecondComponentCannotOpenABusyPort) {
  comm.PortOpen();
  TCommX second;
  second.SetPortPathResolver([this](int) { return pty.slave; });
  try {
    second.PortOpen();
    FAIL() << "no exception";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), kCommErrOpen);
    EXPECT_NE(e.Detail().find("in use"), std::string::npos) << e.Detail();
  }
  comm.PortClose();
  second.SetFlowCtrl(cfcNone);
  EXPECT_NO_THROW(second.PortOpen());  // free again once closed
}

TEST_F(TCommXTest, TransBlockOf5000BytesArrivesCompleteAndInOrder) {
  std::vector<std::size_t> writes;
  std::mutex mutex;
  // A port that notes the size of each write it is asked for.
  struct Recording : SerialPort {
    Recording(int fd, std::vector<std::size_t>& sizes, std::mutex& lock)
        : SerialPort(fd), w(sizes), m(lock) {}
    int Write(const std::uint8_t* data, std::size_t size, std::size_t& done) override {
      {
        std::lock_guard lock(m);
        w.push_back(size);
      }
      return SerialPort::Write(data, size, done);
    }
    std::vector<std::size_t>& w;
    std::mutex& m;
  };
  comm.SetPortOpener([&](const std::string& path, int& err) -> std::unique_ptr<SerialPort> {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    err = errno;
    if (fd < 0) return nullptr;
    return std::make_unique<Recording>(fd, writes, mutex);
  });
  comm.PortOpen();
  const Bytes data = Pattern(5000);
  ASSERT_TRUE(comm.TransBlock(data.data(), 5000));
  EXPECT_LE(comm.GetTransLength(), 5000);
  EXPECT_EQ(pty.Read(5000), data);
  ASSERT_TRUE(WaitUntil([&] { return comm.GetTransLength() == 0; }));
  std::lock_guard lock(mutex);
  EXPECT_EQ(writes, (std::vector<std::size_t>{2048, 2048, 904}));
}

TEST_F(TCommXTest, TransCharAndTransString) {
  comm.PortOpen();
  EXPECT_TRUE(comm.TransString(""));
  EXPECT_TRUE(comm.TransBlock(nullptr, 0));
  EXPECT_FALSE(comm.TransBlock(nullptr, 3));
  EXPECT_TRUE(comm.TransChar('A'));
  EXPECT_TRUE(comm.TransString("BCD"));
  EXPECT_EQ(pty.Read(4), (Bytes{'A', 'B', 'C', 'D'}));
}

TEST_F(TCommXTest, OnReceiveGivesTheWaitingCountAndReceiveBlockTheBytes) {
  const Bytes sent = Pattern(300, 3);
  Bytes got;
  int calls = 0;
  comm.OnReceive = [&](TCustomCommX* sender, int size) {
    EXPECT_EQ(sender, &comm);
    ++calls;
    EXPECT_GT(size, 0);
    EXPECT_EQ(size, comm.GetReceiveLength());
    Bytes buffer(static_cast<std::size_t>(size));
    EXPECT_EQ(comm.ReceiveBlock(buffer.data(), size), size);
    got.insert(got.end(), buffer.begin(), buffer.end());
  };
  comm.PortOpen();
  pty.Write(sent);
  ASSERT_TRUE(PumpUntil([&] { return got.size() >= sent.size(); }));
  EXPECT_EQ(got, sent);
  EXPECT_GE(calls, 1);
}

TEST_F(TCommXTest, NoOnReceiveWhenTheQueueTurnedOutEmpty) {
  std::vector<int> sizes;
  comm.OnReceive = [&](TCustomCommX*, int size) {
    sizes.push_back(size);
    Bytes buffer(static_cast<std::size_t>(size));
    comm.ReceiveBlock(buffer.data(), size);
  };
  comm.PortOpen();
  pty.Write({1, 2, 3});
  // The bytes are taken after their notice is on its way and before it is handled.
  ASSERT_TRUE(WaitUntil([&] { return comm.GetReceiveLength() == 3; }));
  ASSERT_TRUE(WaitUntil([&] { return comm.ReceiveNotificationPending(); }));
  std::uint8_t buffer[3];
  ASSERT_EQ(comm.ReceiveBlock(buffer, 3), 3);
  ASSERT_TRUE(PumpUntil([&] { return !comm.ReceiveNotificationPending(); }));
  EXPECT_TRUE(sizes.empty());
  // The next arrival is announced again, with its own count.
  pty.Write({4, 5});
  ASSERT_TRUE(PumpUntil([&] { return !sizes.empty(); }));
  EXPECT_EQ(sizes, std::vector<int>{2});
}

// Right after a receive the owner takes later arrivals on a timer tick, not at each one.
TEST_F(TCommXTest, DataArrivingWhileArrivalsAreHeldComesWithTheNextTick) {
  Bytes got;
  comm.OnReceive = [&](TCustomCommX*, int size) {
    Bytes buffer(static_cast<std::size_t>(size));
    comm.ReceiveBlock(buffer.data(), size);
    if (got.empty()) pty.Write({2, 3});  // while the first receive is being handled
    got.insert(got.end(), buffer.begin(), buffer.end());
  };
  comm.PortOpen();
  pty.Write({1});
  ASSERT_TRUE(PumpUntil([&] { return got.size() == 3; }));
  EXPECT_EQ(got, (Bytes{1, 2, 3}));
}

TEST_F(TCommXTest, ReceiveBlockWaitsForTheRestUpToTheTimeOut) {
  comm.SetTimeOutReceive(3'600'000);
  comm.PortOpen();
  pty.Write({1, 2});
  ASSERT_TRUE(WaitUntil([&] { return comm.GetReceiveLength() == 2; }));
  // The rest comes only once ReceiveBlock has taken the first two bytes and waits.
  std::thread far([&] {
    if (WaitUntil([&] { return comm.GetReceiveLength() == 0; })) pty.Write({3, 4});
  });
  std::uint8_t buffer[4] = {};
  EXPECT_EQ(comm.ReceiveBlock(buffer, 4), 4);
  far.join();
  EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{1, 2, 3, 4}));
  // With nothing coming, a short time-out returns what there is.
  comm.SetTimeOutReceive(10);
  pty.Write({9});
  ASSERT_TRUE(WaitUntil([&] { return comm.GetReceiveLength() == 1; }));
  EXPECT_EQ(comm.ReceiveBlock(buffer, 4), 1);
  EXPECT_EQ(buffer[0], 9);
  EXPECT_EQ(comm.ReceiveBlock(buffer, 4), 0);
}

TEST_F(TCommXTest, OperationsOnAClosedPort) {
  std::uint8_t buffer[4];
  EXPECT_EQ(comm.ReceiveChar(), -1);
  EXPECT_EQ(comm.ReceiveBlock(buffer, 4), -1);
  EXPECT_FALSE(comm.TransChar('x'));
  EXPECT_EQ(comm.GetReceiveLength(), 0);
  EXPECT_EQ(comm.GetTransLength(), 0);
  EXPECT_FALSE(comm.IsCtsSignal());
  comm.SendBreak();
  comm.ClearTransBuf();
  comm.ClearReceiveBuf();
  comm.PortOpen();
  pty.Write({0x41});
  ASSERT_TRUE(WaitUntil([&] { return comm.GetReceiveLength() == 1; }));
  EXPECT_EQ(comm.ReceiveChar(), 0x41);
  EXPECT_EQ(comm.ReceiveBlock(nullptr, 4), -1);
  comm.PortClose();
  EXPECT_EQ(comm.ReceiveChar(), -1);
}

TEST_F(TCommXTest, ModemLinesAndBreakOnAPseudoTerminalAreQuietlyUnsupported) {
  comm.PortOpen();
  comm.SetRtsSignal(true);
  comm.SetDtrSignal(false);
  EXPECT_FALSE(comm.IsCtsSignal());
  EXPECT_FALSE(comm.IsDsrSignal());
  EXPECT_FALSE(comm.IsRingSignal());
  EXPECT_FALSE(comm.IsRlsdSignal());
  EXPECT_NO_THROW(comm.SetFlowCtrl(cfcHalfLow));
  comm.SendBreak();
  EXPECT_TRUE(comm.IsOpen());
}

TEST_F(TCommXTest, CloseWhileDataFlowsBothWaysNeitherHangsNorCrashes) {
  std::atomic<bool> stop{false};
  std::size_t received = 0;
  bool closeInside = false;
  comm.OnReceive = [&](TCustomCommX*, int size) {
    Bytes buffer(static_cast<std::size_t>(size));
    const int n = comm.ReceiveBlock(buffer.data(), size);
    if (n > 0) received += static_cast<std::size_t>(n);
    if (closeInside && received > 4000) comm.PortClose();
  };
  comm.SetBufLenTrans(512);
  comm.PortOpen();
  std::thread far([&] {
    const Bytes chunk = Pattern(256);
    const int fl = ::fcntl(pty.master, F_GETFL);
    ::fcntl(pty.master, F_SETFL, fl | O_NONBLOCK);
    while (!stop) {
      (void)::write(pty.master, chunk.data(), chunk.size());
      std::this_thread::sleep_for(1ms);
    }
  });
  // The master never reads, so the transmit thread soon waits for room. 20 blocks fit in
  // flight; closing then stops a transmit thread that is waiting.
  const Bytes big = Pattern(20 * 512);
  ASSERT_TRUE(comm.TransBlock(big.data(), static_cast<int>(big.size())));
  ASSERT_TRUE(PumpUntil([&] { return received > 2000; }));
  comm.PortClose();
  EXPECT_FALSE(comm.IsOpen());
  EXPECT_EQ(comm.GetTransLength(), 0);

  // Again, but closed from OnReceive while TransBlock waits for a free block.
  comm.PortOpen();
  closeInside = true;
  received = 0;
  const Bytes huge = Pattern(200 * 512);
  EXPECT_FALSE(comm.TransBlock(huge.data(), static_cast<int>(huge.size())));
  EXPECT_FALSE(comm.IsOpen());
  stop = true;
  far.join();
  EXPECT_GT(received, 4000u);
}

TEST_F(TCommXTest, AVanishedPortEndsReceiveBlockWithMinusOne) {
  // An hour, beyond the test's time-out: ReceiveBlock returns only if the hang-up ends it.
  comm.SetTimeOutReceive(3'600'000);
  comm.PortOpen();
  pty.Write({7});
  ASSERT_TRUE(WaitUntil([&] { return comm.GetReceiveLength() == 1; }));
  pty.CloseMaster();
  std::uint8_t buffer[8];
  int n = comm.ReceiveBlock(buffer, 8);
  // The byte that waited may still come; then the line is gone.
  if (n == 1) n = comm.ReceiveBlock(buffer, 8);
  EXPECT_EQ(n, -1);
  EXPECT_FALSE(comm.TransChar('x'));
  // The port dialog closed while connected applies the port's own rate again: the gone
  // device refuses it with the rate's text, which the dialog shows.
  try {
    comm.SetBitRate(comm.BitRate());
    ADD_FAILURE() << "a hung-up port took the bit rate";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), kCommErrBitRate);
  }
  comm.PortClose();
}

TEST_F(TCommXTest, ChangingPortNoWhileOpenReopensOnTheNewNumber) {
  comm.PortOpen();
  comm.SetPortNo(4);
  EXPECT_TRUE(comm.IsOpen());
  char name[128];
  ASSERT_EQ(::ttyname_r(comm.Handle(), name, sizeof name), 0);
  EXPECT_EQ(std::string(name), other.slave);
  ASSERT_TRUE(comm.TransString("hi"));
  EXPECT_EQ(other.Read(2), (Bytes{'h', 'i'}));
}

// Line settings ---------------------------------------------------------------------------------

struct LineCase {
  const char* name;
  int bitRate, charSize;
  TCommParityBits parity;
  TCommStopBits stop;
  TCommFlowCtrls flow;
  tcflag_t cflagSet, cflagClear, iflagSet;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class TCommXLine : public TCommXTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(TCommXLine, IsAppliedToTheTty) {
  const LineCase& c = GetParam();
  comm.SetBitRate(c.bitRate);
  comm.SetCharSize(c.charSize);
  comm.SetParityBit(c.parity);
  comm.SetStopBit(c.stop);
  comm.SetFlowCtrl(c.flow);
  comm.SetXonChar(0x11);
  comm.SetXoffChar(0x13);
  comm.PortOpen();
  termios2 t{};
  ASSERT_EQ(::ioctl(comm.Handle(), TCGETS2, &t), 0);
  EXPECT_EQ(t.c_ospeed, static_cast<speed_t>(c.bitRate));
  EXPECT_EQ(t.c_cflag & c.cflagSet, c.cflagSet);
  EXPECT_EQ(t.c_cflag & c.cflagClear, 0u);
  EXPECT_EQ(t.c_iflag & c.iflagSet, c.iflagSet);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);  // raw
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, TCommXLine,
    ::testing::Values(
        LineCase{"Default8N1", 9600, 8, cpbNone, csb1, cfcNone, CS8, PARENB | CSTOPB | CRTSCTS, 0},
        LineCase{"TwoStopBits", 19200, 8, cpbNone, csb2, cfcNone, CS8 | CSTOPB, PARENB, 0},
        LineCase{"RtsCts", 115200, 8, cpbNone, csb1, cfcRtsCts, CRTSCTS, 0, 0},
        LineCase{"XonXoff", 57600, 8, cpbNone, csb1, cfcXonXoff, CS8, CRTSCTS, IXON | IXOFF},
        // No Bxxx constant: set through termios2.
        LineCase{"OddRate250000", 250000, 8, cpbNone, csb1, cfcNone, CS8, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

struct RefusedCase {
  const char* name;
  std::function<void(TCommX&)> set;
  const char* text;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class TCommXRefused : public TCommXTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(TCommXRefused, OnOpenWithItsTextAndThePortStaysClosed) {
  GetParam().set(comm);
  try {
    comm.PortOpen();
    FAIL() << "no exception";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), GetParam().text);
    EXPECT_NE(e.Detail().find("COM3"), std::string::npos);
  }
  EXPECT_FALSE(comm.IsOpen());
  // The device is free again.
  const int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
}

TEST_P(TCommXRefused, WhileOpenWithItsTextAndThePortStaysAsItWas) {
  comm.PortOpen();
  const int handle = comm.Handle();
  try {
    GetParam().set(comm);
    FAIL() << "no exception";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), GetParam().text);
  }
  EXPECT_EQ(comm.Handle(), handle);
  termios2 t{};
  ASSERT_EQ(::ioctl(comm.Handle(), TCGETS2, &t), 0);
  EXPECT_EQ(t.c_ospeed, 9600u);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
  ASSERT_TRUE(comm.TransString("ok"));
  EXPECT_EQ(pty.Read(2), (Bytes{'o', 'k'}));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, TCommXRefused,
    ::testing::Values(RefusedCase{"StopBits1p5", [](TCommX& c) { c.SetStopBit(csb1p5); },
                                  "通信ストップビット数の設定でエラーが発生しました"},
                      RefusedCase{"BitRate5", [](TCommX& c) { c.SetBitRate(5); },
                                  "通信速度の設定でエラーが発生しました"},
                      RefusedCase{"BitRate0", [](TCommX& c) { c.SetBitRate(0); },
                                  "通信速度の設定でエラーが発生しました"},
                      RefusedCase{"CharSize9", [](TCommX& c) { c.SetCharSize(9); },
                                  "通信ビット数の設定でエラーが発生しました"},
                      RefusedCase{"CharSize4", [](TCommX& c) { c.SetCharSize(4); },
                                  "通信ビット数の設定でエラーが発生しました"},
                      // A pseudo-terminal keeps 8 data bits and no parity whatever it is told; a
                      // setting the device does not take is refused, not reported as done.
                      RefusedCase{"CharSize7OnAPty", [](TCommX& c) { c.SetCharSize(7); },
                                  "通信ビット数の設定でエラーが発生しました"},
                      RefusedCase{"EvenParityOnAPty", [](TCommX& c) { c.SetParityBit(cpbEven); },
                                  "通信パリティチェックの設定でエラーが発生しました"},
                      RefusedCase{"XonLikeXoff", [](TCommX& c) { c.SetXonChar(0x13); },
                                  "Ｘｏｎ文字の設定でエラーが発生しました"},
                      RefusedCase{"XoffLikeXon", [](TCommX& c) { c.SetXoffChar(0x11); },
                                  "Ｘｏｆｆ文字の設定でエラーが発生しました"},
                      RefusedCase{"NegativeTimeOut", [](TCommX& c) { c.SetTimeOutReceive(-1); },
                                  "通信タイムアウト時間の設定で失敗しました"},
                      RefusedCase{"ZeroQueue", [](TCommX& c) { c.SetBufLenReceive(0); },
                                  "通信用ポートのバッファを準備できませんでした"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(TCommXTest, ValuesOutsideTheirEnumerationChangeNothing) {
  comm.SetParityBit(cpbEven);
  comm.SetParityBit(static_cast<TCommParityBits>(7));
  comm.SetStopBit(static_cast<TCommStopBits>(-1));
  comm.SetFlowCtrl(static_cast<TCommFlowCtrls>(9));
  EXPECT_EQ(comm.ParityBit(), cpbEven);
  EXPECT_EQ(comm.StopBit(), csb1);
  EXPECT_EQ(comm.FlowCtrl(), cfcNone);
}

// A port whose modem lines and line counters the test controls; data still goes through the
// pseudo-terminal.
class FakeLinesPort : public SerialPort {
 public:
  struct Event {
    std::chrono::steady_clock::time_point at;
    std::string what;
  };
  using SerialPort::SerialPort;

  int SetModemLines(int bits, bool on) override {
    Note(std::string(bits == TIOCM_RTS   ? "RTS"
                     : bits == TIOCM_DTR ? "DTR"
                                         : "?") +
         (on ? "+" : "-"));
    return 0;
  }
  int Write(const std::uint8_t* data, std::size_t size, std::size_t& done) override {
    Note("write " + std::to_string(size));
    return SerialPort::Write(data, size, done);
  }
  int GetErrorCounts(SerialErrorCounts& counts) override {
    std::lock_guard lock(mutex);
    counts = lineCounts;
    return 0;
  }
  void Note(std::string what) {
    std::lock_guard lock(mutex);
    events.push_back({std::chrono::steady_clock::now(), std::move(what)});
  }
  std::vector<Event> Events() {
    std::lock_guard lock(mutex);
    return events;
  }

  std::mutex mutex;
  std::vector<Event> events;
  SerialErrorCounts lineCounts;
};

class TCommXFakeLines : public TCommXTest {
 protected:
  void SetUp() override {
    TCommXTest::SetUp();
    comm.SetPortOpener([this](const std::string& path, int& err) -> std::unique_ptr<SerialPort> {
      const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      err = errno;
      if (fd < 0) return nullptr;
      auto p = std::make_unique<FakeLinesPort>(fd);
      port = p.get();
      return p;
    });
  }
  FakeLinesPort* port = nullptr;
};

// The events after `from` whose text starts with one of RTS/write.
std::vector<FakeLinesPort::Event> Transmission(const std::vector<FakeLinesPort::Event>& all,
                                               std::size_t from) {
  std::vector<FakeLinesPort::Event> out;
  for (std::size_t i = from; i < all.size(); ++i)
    if (all[i].what.rfind("RTS", 0) == 0 || all[i].what.rfind("write", 0) == 0)
      out.push_back(all[i]);
  return out;
}

TEST_F(TCommXFakeLines, HalfHighRaisesRtsAroundEachBatch) {
  comm.SetFlowCtrl(cfcHalfHigh);
  comm.SetBitRate(9600);  // one character: 2 ms
  comm.PortOpen();
  const auto opened = port->Events();
  ASSERT_GE(opened.size(), 2u);
  EXPECT_EQ(opened[opened.size() - 2].what, "DTR+");
  EXPECT_EQ(opened.back().what, "RTS-");  // off until something is sent

  const auto queued = std::chrono::steady_clock::now();
  ASSERT_TRUE(comm.TransString("abc"));
  EXPECT_EQ(pty.Read(3), (Bytes{'a', 'b', 'c'}));
  ASSERT_TRUE(WaitUntil([&] { return Transmission(port->Events(), opened.size()).size() == 3; }));
  const auto t = Transmission(port->Events(), opened.size());
  EXPECT_EQ(t[0].what, "RTS+");
  EXPECT_EQ(t[1].what, "write 3");
  EXPECT_EQ(t[2].what, "RTS-");
  EXPECT_GE(t[0].at - queued, 50ms);
  EXPECT_GE(t[1].at - t[0].at, 2ms);
  EXPECT_GE(t[2].at - t[1].at, 2ms);
}

TEST_F(TCommXFakeLines, HalfLowLowersRtsAroundEachBatch) {
  comm.SetFlowCtrl(cfcHalfLow);
  comm.PortOpen();
  const std::size_t before = port->Events().size();
  EXPECT_EQ(port->Events().back().what, "RTS+");
  ASSERT_TRUE(comm.TransString("x"));
  ASSERT_TRUE(WaitUntil([&] { return Transmission(port->Events(), before).size() == 3; }));
  const auto t = Transmission(port->Events(), before);
  EXPECT_EQ(t[0].what, "RTS-");
  EXPECT_EQ(t[1].what, "write 1");
  EXPECT_EQ(t[2].what, "RTS+");
}

TEST_F(TCommXFakeLines, NoRtsTogglingWithoutHalfDuplex) {
  comm.SetFlowCtrl(cfcNone);
  comm.PortOpen();
  const std::size_t before = port->Events().size();
  ASSERT_TRUE(comm.TransString("x"));
  EXPECT_EQ(pty.Read(1), Bytes{'x'});
  ASSERT_TRUE(WaitUntil([&] { return comm.GetTransLength() == 0; }));
  const auto t = Transmission(port->Events(), before);
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].what, "write 1");
}

TEST_F(TCommXFakeLines, LineCounterChangesBecomeOnErrorAndOnBreak) {
  std::vector<int> errors;
  int breaks = 0;
  comm.OnError = [&](TCustomCommX*, int state) { errors.push_back(state); };
  comm.OnBreak = [&](TCustomCommX*) { ++breaks; };
  comm.OnReceive = [&](TCustomCommX*, int size) {
    Bytes b(static_cast<std::size_t>(size));
    comm.ReceiveBlock(b.data(), size);
  };
  comm.PortOpen();
  {
    std::lock_guard lock(port->mutex);
    port->lineCounts.overrun = 1;
    port->lineCounts.frame = 2;
    port->lineCounts.brk = 1;
  }
  pty.Write({0});  // a break arrives as a zero byte; the thread then looks at the counters
  ASSERT_TRUE(PumpUntil([&] { return !errors.empty() && breaks == 1; }));
  EXPECT_EQ(errors, std::vector<int>{kCommErrorOverrun | kCommErrorFraming});
  {
    std::lock_guard lock(port->mutex);
    port->lineCounts.parity = 5;
  }
  pty.Write({1});
  ASSERT_TRUE(PumpUntil([&] { return errors.size() == 2; }));
  EXPECT_EQ(errors[1], kCommErrorParity);
  EXPECT_EQ(breaks, 1);
}

TEST_F(TCommXTest, TransBlockWaitsAt32BlocksInFlightAndKeepsTheEventLoopRunning) {
  comm.SetBufLenTrans(1024);
  comm.PortOpen();
  // Fill the pseudo-terminal until it takes nothing more, so the transmit thread must wait.
  const int slave = comm.Handle();
  const Bytes filler(4096, 0xEE);
  std::size_t filled = 0;
  for (;;) {
    const ssize_t n = ::write(slave, filler.data(), filler.size());
    if (n <= 0) break;
    filled += static_cast<std::size_t>(n);
  }
  ASSERT_GT(filled, 0u);

  std::atomic<bool> inside{false};
  bool ranInside = false;
  std::atomic<bool> drain{false};
  QMetaObject::invokeMethod(
      &App(),
      [&] {
        ranInside = inside.load();
        drain = true;
      },
      Qt::QueuedConnection);
  Bytes got;
  std::thread far([&] {
    // Starts reading only once the queued call ran (or after a minute, so that a fault fails
    // instead of hanging).
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (!drain && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    Bytes all = pty.Read(filled + 40 * 1024);
    got.assign(all.begin() + static_cast<std::ptrdiff_t>(std::min(filled, all.size())), all.end());
  });
  const Bytes data = Pattern(40 * 1024, 11);  // 40 blocks: more than 32 in flight
  inside = true;
  EXPECT_TRUE(comm.TransBlock(data.data(), static_cast<int>(data.size())));
  inside = false;
  far.join();
  EXPECT_TRUE(ranInside);
  EXPECT_EQ(got, data);
}

}  // namespace
}  // namespace velqor
