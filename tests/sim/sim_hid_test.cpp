// TUsbif against the simulated adapter's HID backend: reports as the adapter sends them,
// output reports as the adapter takes them, and the device coming and going.

#include "sim/sim_hid.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "link/interpreter.h"
#include "link/protocol.h"
#include "link/usbif.h"
#include "tests/link/event_loop.h"

namespace velqor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;
using testing::App;
using testing::PumpUntil;
using testing::WaitUntil;

// The program's side: every report, and the messages decoded from them, on the reader thread.
struct ProgramSide : DeviceMessageSink {
  void OnReceivedFrame(const CanFrame&) override {
    codes.push_back(MsgCode::ReceivedFrame);
    ++frames;
  }
  void OnDeviceMessage(int code, const DeviceMessage& message) override {
    codes.push_back(code);
    if (code == MsgCode::FirmwareVersion) version = message.Text;
  }
  void Attach(TUsbif& usb) {
    usb.SetRxEventType(TUsbifEventType::Direct);
    usb.OnUsbReceive = [this](TUsbif*, const std::uint8_t* buffer, int size) {
      std::lock_guard lock(mutex);
      reports.emplace_back(buffer, buffer + size);
      readers.push_back(std::this_thread::get_id());
      interpreter.Feed(buffer, static_cast<std::uint32_t>(size));
    };
  }
  template <typename F>
  auto With(F f) {
    std::lock_guard lock(mutex);
    return f();
  }

  std::mutex mutex;
  std::vector<Bytes> reports;
  std::vector<std::thread::id> readers;
  std::vector<int> codes;
  std::string version;
  std::uint64_t frames = 0;
  TMsgInterpret interpreter{this};
};

SimOptions Quiet(ReportPacking packing = ReportPacking::OneFramePerReport) {
  SimOptions o;
  o.profileEnabled = false;
  o.console = false;
  o.packing = packing;
  return o;
}

class SimHidTest : public ::testing::Test {
 protected:
  explicit SimHidTest(SimOptions options = Quiet()) : runner(std::move(options)) {}
  void SetUp() override {
    App();
    platform = std::make_shared<SimHidPlatform>(runner);
    usb = std::make_unique<TUsbif>(platform);
    program.Attach(*usb);
    runner.Start();
  }
  void TearDown() override {
    usb.reset();
    runner.Stop();
  }
  bool Send(const Frame& frame) { return usb->Write(frame.data(), frame.size()); }

  SimRunner runner;
  std::shared_ptr<SimHidPlatform> platform;
  std::unique_ptr<TUsbif> usb;
  ProgramSide program;
};

TEST_F(SimHidTest, EnumeratesTheAdapterWith65ByteReports) {
  const auto devices = platform->Enumerate();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].vendor, 0x4242);
  EXPECT_EQ(devices[0].product, 0xEE02);
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  EXPECT_EQ(usb->InputReportByteLength(), 65u);
  EXPECT_EQ(usb->OutputReportByteLength(), 65u);
}

TEST_F(SimHidTest, EveryReportDelivers64BytesPaddingIncluded) {
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  ASSERT_TRUE(Send(GetFirmwareVersion()));  // 4-byte frame; the answer is 19 bytes
  ASSERT_TRUE(WaitUntil([&] { return program.With([&] { return !program.version.empty(); }); }));
  program.With([&] {
    EXPECT_EQ(program.version, "1.07");
    ASSERT_EQ(program.reports.size(), 1u);
    const Bytes& r = program.reports[0];
    ASSERT_EQ(r.size(), 64u);
    EXPECT_EQ(r[0], kFrameStart);
    EXPECT_EQ(r[1], 17);  // length: category, command, 15 text bytes
    EXPECT_EQ(Bytes(r.begin() + 19, r.end()), Bytes(45, 0));  // padding, handed on as well
    EXPECT_EQ(program.readers[0], usb->ReaderId());
  });
  // The write was one report: ID 0 stripped, the 4-byte frame and 60 padding bytes.
  EXPECT_EQ(runner.Timing().bytesWritten, 64u);
  EXPECT_EQ(platform->Counters().reportsWritten, 1u);
  EXPECT_EQ(runner.Stats().bytesSkipped, 60u);  // the adapter skips the padding
}

TEST_F(SimHidTest, OpenWithAbsentIdentifiersFailsWithNothingOpen) {
  EXPECT_FALSE(usb->Open(0x4242, 0xEE01));  // the component's default product
  EXPECT_FALSE(usb->IsOpen());
  EXPECT_EQ(usb->LastError().kind, HidErrorKind::NotFound);
  EXPECT_FALSE(Send(GetTerminator()));
  EXPECT_EQ(runner.Timing().bytesWritten, 0u);
  usb->Close();
}

TEST_F(SimHidTest, CloseAndOpenResumeTheSameReaderAndWritesAfterCloseFail) {
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  const auto reader = usb->ReaderId();
  ASSERT_TRUE(Send(GetTerminator()));
  ASSERT_TRUE(WaitUntil([&] { return program.With([&] { return program.codes.size() == 1; }); }));
  usb->Close();
  EXPECT_FALSE(Send(GetTerminator()));
  EXPECT_EQ(runner.Timing().bytesWritten, 64u);

  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  EXPECT_EQ(usb->ReaderId(), reader);
  ASSERT_TRUE(Send(GetDeviceName()));
  ASSERT_TRUE(WaitUntil([&] { return program.With([&] { return program.codes.size() == 2; }); }));
  program.With([&] {
    EXPECT_EQ(program.codes, (std::vector<int>{MsgCode::TerminatorState, MsgCode::DeviceName}));
    EXPECT_EQ(program.readers[1], reader);
  });
}

TEST_F(SimHidTest, UnplugRaisesRemoveFailsWritesAndTheDeviceOpensAgainWhenBack) {
  int removes = 0, detects = 0;
  usb->OnUsbDeviceRemove = [&](TUsbif*) { ++removes; };
  usb->OnUsbDeviceDetect = [&](TUsbif*) { ++detects; };
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  platform->Unplug();
  ASSERT_TRUE(PumpUntil([&] { return removes == 1; }));
  EXPECT_FALSE(usb->IsOpen());
  EXPECT_FALSE(Send(GetTerminator()));
  EXPECT_FALSE(usb->Open(0x4242, 0xEE02));  // not there

  platform->Plug();
  ASSERT_TRUE(PumpUntil([&] { return detects == 1; }));
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  ASSERT_TRUE(Send(GetTerminator()));
  ASSERT_TRUE(WaitUntil([&] { return program.With([&] { return !program.codes.empty(); }); }));
  EXPECT_EQ(removes, 1);
}

class SimHidFloodTest : public SimHidTest {
 protected:
  SimHidFloodTest() : SimHidTest(Quiet(ReportPacking::Packed)) {}
};

TEST_F(SimHidFloodTest, EveryFrameTheAdapterReportsIsDecodedOnce) {
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  FloodOptions flood;
  flood.framesPerSecond = 5000;
  flood.identifiers = 50;
  flood.dlc = 4;
  runner.SetFlood(flood);
  ASSERT_TRUE(WaitUntil([&] { return program.With([&] { return program.frames >= 1000; }); }));
  flood.framesPerSecond = 0;
  runner.SetFlood(flood);
  std::atomic<bool> floodOff{false};
  runner.Post([&floodOff](SimAdapter&) { floodOff = true; });
  ASSERT_TRUE(WaitUntil([&] { return floodOff.load(); }));
  // Settled: every report the model made has reached the device's queue (or was dropped
  // there), and every report queued has been read and decoded.
  SimStats stats;
  SimHidCounters hid;
  ASSERT_TRUE(WaitUntil([&] {
    stats = runner.Stats();
    hid = platform->Counters();
    return hid.reportsQueued + hid.reportsDropped + hid.reportsDiscarded == stats.reports &&
           usb->GetCounters().reportsDelivered == hid.reportsQueued;
  }));
  EXPECT_EQ(stats.framesDropped, 0u);
  // A reader held off the processor long enough overflows the device's queue, as the kernel's
  // would; the reports lost are counted, and the frames they held cannot be compared.
  if (hid.reportsDropped > 0) {
    GTEST_SKIP() << "the reader fell behind: " << hid.reportsDropped << " reports dropped";
  }
  EXPECT_EQ(program.With([&] { return program.frames; }), stats.framesReported);
}

}  // namespace
}  // namespace velqor
