// TUsbif against a fake HID platform: each fake device is a SOCK_SEQPACKET socket pair, so
// the reader polls a real descriptor and one read is one report, as with hidraw. The test
// plays the adapter on the other end of the pair.

#include "link/usbif.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/link/event_loop.h"

namespace velqor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;
using testing::App;
using testing::PumpUntil;
using testing::WaitUntil;

class FakeDevice final : public HidDevice {
 public:
  FakeDevice(int fd, std::size_t in, std::size_t out) : m_fd(fd), m_in(in), m_out(out) {}
  ~FakeDevice() override { ::close(m_fd); }
  std::size_t InputReportLength() const override { return m_in; }
  std::size_t OutputReportLength() const override { return m_out; }
  int PollDescriptor() const override { return m_fd; }
  HidIoResult ReadReport(std::span<std::uint8_t> report) override {
    const ssize_t n = ::recv(m_fd, report.data() + 1, m_in - 1, MSG_DONTWAIT);
    if (n < 0) return {errno == EAGAIN ? HidIoStatus::NoReport : HidIoStatus::Failed, {}};
    if (n == 0) return {HidIoStatus::Gone, {}};
    report[0] = 0;
    std::fill(report.begin() + 1 + n, report.begin() + static_cast<std::ptrdiff_t>(m_in), 0);
    return {};
  }
  HidIoResult WriteReport(std::span<const std::uint8_t> report) override {
    const ssize_t n = ::send(m_fd, report.data(), report.size(), MSG_NOSIGNAL);
    if (n < 0) return {errno == EPIPE ? HidIoStatus::Gone : HidIoStatus::Failed, {}};
    return {};
  }

 private:
  int m_fd;
  std::size_t m_in, m_out;
};

// One virtual device: its adapter end stays with the test.
struct FakeSlot {
  std::string path;
  std::uint16_t vendor = 0x4242, product = 0xEE02;
  std::size_t in = 65, out = 65;
  int adapterEnd = -1;
  bool present = true;
};

class FakePlatform final : public HidPlatform {
 public:
  FakePlatform() : m_hotplug(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~FakePlatform() override {
    for (FakeSlot& s : devices)
      if (s.adapterEnd >= 0) ::close(s.adapterEnd);
    for (int fd : retired) ::close(fd);
    ::close(m_hotplug);
  }

  std::vector<HidDeviceInfo> Enumerate() override {
    std::vector<HidDeviceInfo> out;
    for (const FakeSlot& s : devices)
      if (s.present) out.push_back({s.path, s.vendor, s.product});
    return out;
  }

  std::unique_ptr<HidDevice> Open(const std::string& path, HidError& error) override {
    for (FakeSlot& s : devices) {
      if (s.path != path || !s.present) continue;
      int pair[2];
      if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) break;
      if (s.adapterEnd >= 0) retired.push_back(s.adapterEnd);
      s.adapterEnd = pair[1];
      opened.push_back(path);
      return std::make_unique<FakeDevice>(pair[0], s.in, s.out);
    }
    error = HidSystemError(ENOENT, "open " + path);
    return nullptr;
  }

  int HotplugDescriptor() override { return m_hotplug; }
  int TakeArrivals() override {
    std::uint64_t n = 0;
    return ::read(m_hotplug, &n, sizeof n) == sizeof n ? static_cast<int>(n) : 0;
  }
  void Arrive(int count) {
    const std::uint64_t n = static_cast<std::uint64_t>(count);
    ASSERT_EQ(::write(m_hotplug, &n, sizeof n), static_cast<ssize_t>(sizeof n));
  }

  // The adapter sends one input report (its bytes after the report ID).
  void Send(std::size_t slot, const Bytes& report) {
    ASSERT_EQ(::send(devices[slot].adapterEnd, report.data(), report.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(report.size()));
  }
  // What the adapter received, one report per element, without waiting.
  std::vector<Bytes> Received(std::size_t slot) {
    std::vector<Bytes> out;
    Bytes buffer(4096);
    for (;;) {
      const ssize_t n =
          ::recv(devices[slot].adapterEnd, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n <= 0) break;
      out.emplace_back(buffer.begin(), buffer.begin() + n);
    }
    return out;
  }
  void Unplug(std::size_t slot) {
    ::close(devices[slot].adapterEnd);
    devices[slot].adapterEnd = -1;
    devices[slot].present = false;
  }

  std::vector<FakeSlot> devices;
  std::vector<std::string> opened;
  std::vector<int> retired;  // adapter ends of devices opened again

 private:
  int m_hotplug;
};

Bytes Report(std::uint8_t first, std::size_t size = 64) {
  Bytes r(size, 0);
  for (std::size_t i = 0; i < 8 && i < size; ++i) r[i] = static_cast<std::uint8_t>(first + i);
  return r;
}

struct Received {
  std::mutex mutex;
  std::vector<Bytes> reports;
  std::vector<std::thread::id> threads;
  std::size_t Count() {
    std::lock_guard lock(mutex);
    return reports.size();
  }
};

class TUsbifTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    platform = std::make_shared<FakePlatform>();
    platform->devices.push_back({"/fake/hid0", 0x1234, 0x0001});
    platform->devices.push_back({"/fake/hid1"});
    platform->devices.push_back({"/fake/hid2"});
    usb = std::make_unique<TUsbif>(platform);
    raw = usb.get();
    usb->OnUsbReceive = [this](TUsbif* sender, const std::uint8_t* buffer, int size) {
      EXPECT_EQ(sender, raw);
      std::lock_guard lock(received.mutex);
      received.reports.emplace_back(buffer, buffer + size);
      received.threads.push_back(std::this_thread::get_id());
    };
  }

  std::shared_ptr<FakePlatform> platform;
  std::unique_ptr<TUsbif> usb;
  TUsbif* raw = nullptr;
  Received received;
};

TEST_F(TUsbifTest, DirectDeliversEveryReportOnTheReaderThreadPaddingIncluded) {
  usb->SetRxEventType(TUsbifEventType::Direct);
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  EXPECT_EQ(usb->InputReportByteLength(), 65u);
  // A 4-byte frame in a report whose other 60 bytes are padding, then a short report the
  // device padded, then a full one.
  Bytes frame = {0xFC, 0x02, 0x01, 0x09};
  frame.resize(64, 0);
  platform->Send(1, frame);
  platform->Send(1, Bytes{0xAA, 0xBB});
  platform->Send(1, Report(0x10));
  ASSERT_TRUE(WaitUntil([&] { return received.Count() == 3; }));

  Bytes shortPadded(64, 0);
  shortPadded[0] = 0xAA;
  shortPadded[1] = 0xBB;
  std::lock_guard lock(received.mutex);
  EXPECT_EQ(received.reports[0], frame);
  EXPECT_EQ(received.reports[1], shortPadded);
  EXPECT_EQ(received.reports[2], Report(0x10));
  for (const auto& id : received.threads) {
    EXPECT_EQ(id, usb->ReaderId());
    EXPECT_NE(id, std::this_thread::get_id());
  }
  const TUsbif::Counters c = usb->GetCounters();
  EXPECT_EQ(c.reportsRead, 3u);
  EXPECT_EQ(c.reportsDelivered, 3u);
}

TEST_F(TUsbifTest, MessageDeliversInOrderOnTheOwnersThreadWithoutHoldingTheReader) {
  ASSERT_EQ(usb->RxEventType(), TUsbifEventType::Message);
  usb->SetTimeout(50);  // a bounded wait delivers the same
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  constexpr int kReports = 100;
  for (int i = 0; i < kReports; ++i) platform->Send(1, Report(static_cast<std::uint8_t>(i)));
  // The reader takes every report while the owner's thread handles nothing.
  ASSERT_TRUE(WaitUntil([&] { return usb->GetCounters().reportsRead == kReports; }));
  EXPECT_EQ(received.Count(), 0u);

  ASSERT_TRUE(PumpUntil([&] { return received.Count() == kReports; }));
  std::lock_guard lock(received.mutex);
  for (int i = 0; i < kReports; ++i) {
    EXPECT_EQ(received.reports[i], Report(static_cast<std::uint8_t>(i)));
    EXPECT_EQ(received.threads[i], std::this_thread::get_id());
  }
  EXPECT_EQ(usb->GetCounters().reportsDelivered, static_cast<std::uint64_t>(kReports));
}

TEST_F(TUsbifTest, WriteSendsOneReportOfIdZeroDataAndPadding) {
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  const Bytes frame = {0xFC, 0x02, 0x01, 0x09};
  ASSERT_TRUE(usb->Write(frame.data(), frame.size()));
  Bytes expected(65, 0);
  std::copy(frame.begin(), frame.end(), expected.begin() + 1);
  EXPECT_EQ(platform->Received(1), std::vector<Bytes>{expected});

  // The largest block that fits, an empty block (padding only), then blocks that do not fit
  // or make no sense: refused whole, nothing sent.
  const Bytes full = Report(1, 64);
  EXPECT_TRUE(usb->Write(full.data(), full.size()));
  EXPECT_TRUE(usb->Write(nullptr, 0));
  const Bytes tooLong(65, 0x55);
  EXPECT_FALSE(usb->Write(tooLong.data(), tooLong.size()));
  EXPECT_FALSE(usb->Write(nullptr, 4));
  const auto sent = platform->Received(1);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(Bytes(sent[0].begin() + 1, sent[0].end()), full);
  EXPECT_EQ(sent[1], Bytes(65, 0));
  EXPECT_TRUE(usb->DeviceFound());  // a refused block is no device failure
  EXPECT_EQ(usb->GetCounters().reportsWritten, 3u);
}

TEST_F(TUsbifTest, WriteRefusesBlocksAbove255BytesEvenWhenTheReportIsLonger) {
  platform->devices[1].out = 300;
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  const Bytes block(256, 1);
  EXPECT_FALSE(usb->Write(block.data(), block.size()));
  EXPECT_TRUE(usb->Write(block.data(), 255));
  const auto sent = platform->Received(1);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].size(), 300u);
}

TEST_F(TUsbifTest, OpenWithAbsentIdentifiersFailsWithNothingOpen) {
  EXPECT_FALSE(usb->Open(0x4242, 0xEE01));
  EXPECT_FALSE(usb->IsOpen());
  EXPECT_FALSE(usb->DeviceFound());
  EXPECT_TRUE(platform->opened.empty());
  EXPECT_EQ(usb->LastError().kind, HidErrorKind::NotFound);
  EXPECT_NE(usb->LastError().text.find("0x4242"), std::string::npos);
  EXPECT_NE(usb->LastError().text.find("0xEE01"), std::string::npos);
  const Bytes frame = {0xFC, 0x02, 0x01, 0x09};
  EXPECT_FALSE(usb->Write(frame.data(), frame.size()));
  usb->Close();
}

TEST_F(TUsbifTest, OpensOnlyTheFirstOfTwoMatchingDevices) {
  usb->SetRxEventType(TUsbifEventType::Direct);
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  EXPECT_EQ(platform->opened, std::vector<std::string>{"/fake/hid1"});
  EXPECT_EQ(usb->DevicePath(), "/fake/hid1");
  const Bytes frame = {0xFC, 0x02, 0x01, 0x10};
  ASSERT_TRUE(usb->Write(frame.data(), frame.size()));
  EXPECT_EQ(platform->Received(1).size(), 1u);
  EXPECT_EQ(platform->devices[2].adapterEnd, -1);  // never opened
}

TEST_F(TUsbifTest, CloseAndOpenResumeTheSameReader) {
  usb->SetRxEventType(TUsbifEventType::Direct);
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  const std::thread::id reader = usb->ReaderId();
  platform->Send(1, Report(1));
  ASSERT_TRUE(WaitUntil([&] { return received.Count() == 1; }));

  usb->Close();
  EXPECT_FALSE(usb->IsOpen());
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  EXPECT_EQ(usb->ReaderId(), reader);
  platform->Send(1, Report(2));
  ASSERT_TRUE(WaitUntil([&] { return received.Count() == 2; }));
  std::lock_guard lock(received.mutex);
  EXPECT_EQ(received.threads[0], reader);
  EXPECT_EQ(received.threads[1], reader);
  EXPECT_EQ(received.reports[1], Report(2));
}

TEST_F(TUsbifTest, WriteAfterCloseFailsAndSendsNothing) {
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  usb->Close();
  const Bytes frame = {0xFC, 0x02, 0x01, 0x09};
  EXPECT_FALSE(usb->Write(frame.data(), frame.size()));
  EXPECT_FALSE(usb->DeviceFound());
  EXPECT_TRUE(platform->Received(1).empty());
  EXPECT_EQ(usb->GetCounters().reportsWritten, 0u);
}

TEST_F(TUsbifTest, OpenOnAnOpenDeviceClosesTheOldOneFirst) {
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  const int firstAdapterEnd = platform->devices[1].adapterEnd;
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  EXPECT_EQ(platform->opened.size(), 2u);
  // The first device was closed: its adapter end reads end-of-file.
  std::uint8_t byte;
  EXPECT_EQ(::recv(firstAdapterEnd, &byte, 1, MSG_DONTWAIT), 0);
  const Bytes frame = {0xFC, 0x02, 0x01, 0x09};
  EXPECT_TRUE(usb->Write(frame.data(), frame.size()));
}

TEST_F(TUsbifTest, RemovalStopsReadingFailsWritesRaisesRemoveAndOpenWorksWhenBack) {
  int removes = 0;
  const std::thread::id owner = std::this_thread::get_id();
  usb->OnUsbDeviceRemove = [&](TUsbif* sender) {
    EXPECT_EQ(sender, usb.get());
    EXPECT_EQ(std::this_thread::get_id(), owner);
    ++removes;
  };
  usb->SetRxEventType(TUsbifEventType::Direct);
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  platform->Send(1, Report(7));
  platform->Unplug(1);
  // The report sent before the removal is still delivered; then the removal is seen.
  ASSERT_TRUE(PumpUntil([&] { return removes == 1; }));
  EXPECT_EQ(received.Count(), 1u);
  EXPECT_FALSE(usb->IsOpen());
  EXPECT_FALSE(usb->DeviceFound());
  const Bytes frame = {0xFC, 0x02, 0x01, 0x09};
  EXPECT_FALSE(usb->Write(frame.data(), frame.size()));

  // Plugged in again: the second matching device is now the first present one.
  platform->devices[1].present = true;
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  platform->Send(1, Report(8));
  ASSERT_TRUE(WaitUntil([&] { return received.Count() == 2; }));
  EXPECT_TRUE(usb->Write(frame.data(), frame.size()));
  EXPECT_EQ(removes, 1);
}

TEST_F(TUsbifTest, CloseFromInsideADirectDeliveryDoesNotWaitForItself) {
  usb->SetRxEventType(TUsbifEventType::Direct);
  std::atomic<bool> closed{false};
  usb->OnUsbReceive = [&](TUsbif* sender, const std::uint8_t*, int) {
    sender->Close();
    closed = true;
  };
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  platform->Send(1, Report(1));
  ASSERT_TRUE(WaitUntil([&] { return closed.load(); }));
  EXPECT_FALSE(usb->IsOpen());
}

TEST_F(TUsbifTest, CloseDeliversReportsAlreadyReadBeforeItReturns) {
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  for (int i = 0; i < 5; ++i) platform->Send(1, Report(static_cast<std::uint8_t>(i)));
  ASSERT_TRUE(WaitUntil([&] { return usb->GetCounters().reportsRead == 5; }));
  usb->Close();
  EXPECT_EQ(received.Count(), 5u);
  QCoreApplication::processEvents();
  EXPECT_EQ(received.Count(), 5u);
}

TEST_F(TUsbifTest, DetectIsRaisedOnTheOwnersThreadForEachArrival) {
  std::vector<std::thread::id> detects;
  usb->OnUsbDeviceDetect = [&](TUsbif*) { detects.push_back(std::this_thread::get_id()); };
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  platform->Arrive(2);
  ASSERT_TRUE(PumpUntil([&] { return detects.size() == 2; }));
  EXPECT_EQ(detects[0], std::this_thread::get_id());
  EXPECT_EQ(detects[1], std::this_thread::get_id());
}

TEST_F(TUsbifTest, DestructionWhileReportsFlowStopsTheReaderAndClosesTheDevice) {
  usb->SetRxEventType(TUsbifEventType::Direct);
  ASSERT_TRUE(usb->Open(0x4242, 0xEE02));
  const int adapterEnd = platform->devices[1].adapterEnd;
  // Sends until the program's end goes away (or the test shuts the adapter's end).
  std::thread adapter([&] {
    const Bytes r = Report(3);
    while (::send(adapterEnd, r.data(), r.size(), MSG_NOSIGNAL) >= 0 || errno == EINTR) {
    }
  });
  ASSERT_TRUE(WaitUntil([&] { return received.Count() > 10; }));
  usb.reset();
  // The device was closed: its adapter end reads end-of-file at once, or a reset when reports
  // were left unread (an open end would say EAGAIN).
  const std::size_t delivered = received.Count();
  std::uint8_t byte;
  const ssize_t n = ::recv(adapterEnd, &byte, 1, MSG_DONTWAIT);
  EXPECT_TRUE(n == 0 || (n < 0 && errno == ECONNRESET)) << n << " " << std::strerror(errno);
  ::shutdown(adapterEnd, SHUT_RDWR);
  adapter.join();
  // The reader was joined: nothing was delivered after the destructor returned.
  EXPECT_EQ(received.Count(), delivered);
}

}  // namespace
}  // namespace velqor
