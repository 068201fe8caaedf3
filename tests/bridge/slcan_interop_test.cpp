// python-can 4.1's slcan interface, a host no one here wrote, on the bridge's pseudo-terminal
// in front of the simulated adapter (through its HID backend, TUsbif and the interpreter, as
// the program reaches it). The frames the interpreter decoded from the simulator's reports are
// recorded beside the bridge: python-can must receive a run of exactly those, and the frames
// it sends must come back as the simulator reports them from its own bus.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <mutex>
#include <vector>

#include "bridge/slcan_bridge.h"
#include "link/interpreter.h"
#include "link/usbif.h"
#include "sim/sim_hid.h"
#include "sim/sim_runner.h"
#include "tests/link/event_loop.h"

namespace velqor {
namespace {

struct Seen {
  std::uint32_t id;
  bool extended;
  int dlc;
  std::vector<int> data;
  bool operator==(const Seen&) const = default;
};

// On the reader thread: records every frame, then hands everything to the bridge.
struct Tee : DeviceMessageSink {
  explicit Tee(SlcanBridge& b) : bridge(b) {}
  void OnReceivedFrame(const CanFrame& f) override {
    {
      std::lock_guard lock(mutex);
      frames.push_back({f.id, f.extended(), f.dlc,
                        std::vector<int>(f.data.begin(), f.data.begin() + f.length())});
    }
    bridge.OnReceivedFrame(f);
  }
  void OnDeviceMessage(int code, const DeviceMessage& m) override {
    bridge.OnDeviceMessage(code, m);
  }
  std::vector<Seen> Frames() {
    std::lock_guard lock(mutex);
    return frames;
  }
  SlcanBridge& bridge;
  std::mutex mutex;
  std::vector<Seen> frames;
};

struct UsbSender : DeviceSender {
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override {
    return usb != nullptr && usb->Write(bytes, length);
  }
  TUsbif* usb = nullptr;
};

Seen FromJson(const QJsonArray& a) {
  Seen s{static_cast<std::uint32_t>(a[0].toInteger()), a[1].toBool(), a[2].toInt(), {}};
  for (const auto& v : a[3].toArray()) s.data.push_back(v.toInt());
  return s;
}

bool ContainsRun(const std::vector<Seen>& all, const std::vector<Seen>& run) {
  return std::search(all.begin(), all.end(), run.begin(), run.end()) != all.end();
}

TEST(SlcanInterop, PythonCanReceivesAndSendsThroughTheBridge) {
  testing::App();
  SimOptions sim;
  sim.console = false;
  SimRunner runner(sim);
  auto platform = std::make_shared<SimHidPlatform>(runner);
  UsbSender sender;
  BridgeOptions options;
  options.session.serialNumber = "EE02";
  SlcanBridge bridge(sender, options);
  Tee tee(bridge);
  TMsgInterpret interpreter(&tee);
  TUsbif usb(platform);
  sender.usb = &usb;
  usb.SetRxEventType(TUsbifEventType::Direct);
  usb.OnUsbReceive = [&](TUsbif*, const std::uint8_t* buffer, int size) {
    interpreter.Feed(buffer, static_cast<std::uint32_t>(size));
  };
  std::string error;
  ASSERT_TRUE(bridge.Start(error)) << error;
  ASSERT_TRUE(usb.Open(0x4242, 0xEE02));
  runner.Start();

  QProcess python;
  python.start("/usr/bin/python3", {VELQOR_TEST_DATA_DIR "/python_can_host.py",
                                    QString::fromStdString(bridge.Path()), "300"});
  ASSERT_TRUE(python.waitForFinished(60000)) << "python-can did not finish";
  const QByteArray out = python.readAllStandardOutput();
  const QByteArray err = python.readAllStandardError();
  EXPECT_EQ(python.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(python.exitCode(), 0) << err.toStdString();
  EXPECT_FALSE(err.contains("Traceback")) << err.toStdString();

  QJsonObject header;
  std::vector<Seen> received, sent;
  bool done = false;
  for (const QByteArray& line : out.split('\n')) {
    if (line.isEmpty()) continue;
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    if (o.contains("rx")) received.push_back(FromJson(o["rx"].toArray()));
    if (o.contains("tx")) sent.push_back(FromJson(o["tx"].toArray()));
    if (o.contains("version")) header = o;
    if (o.contains("done")) done = true;
  }
  EXPECT_TRUE(done) << out.toStdString();
  EXPECT_EQ(header["version"].toArray(), QJsonArray({1, 7}));  // firmware "1.07"
  EXPECT_EQ(header["serial"].toString(), "EE02");

  // The simulator's traffic, extended identifiers included, as one unbroken run.
  ASSERT_EQ(received.size(), 300u);
  EXPECT_TRUE(
      std::any_of(received.begin(), received.end(), [](const Seen& s) { return s.extended; }));
  EXPECT_TRUE(ContainsRun(tee.Frames(), received));

  // The simulator sent python-can's frames on its bus and reports them like any other.
  ASSERT_EQ(sent.size(), 3u);
  ASSERT_TRUE(testing::WaitUntil([&] {
    const std::vector<Seen> all = tee.Frames();
    return std::all_of(sent.begin(), sent.end(), [&](const Seen& s) {
      return std::find(all.begin(), all.end(), s) != all.end();
    });
  }));
  EXPECT_EQ(runner.Stats().transmitted, 3u);

  // python-can's shutdown closed the channel; nothing it sent was refused.
  EXPECT_TRUE(testing::WaitUntil([&] { return !bridge.ChannelOpen(); }));
  const BridgeStats s = bridge.Stats();
  EXPECT_EQ(s.framesSent, 3u);
  EXPECT_EQ(s.sendsFailed, 0u);
  EXPECT_EQ(s.commandsRefused, 0u);
  usb.Close();
  bridge.Stop();
  runner.Stop();
}

}  // namespace
}  // namespace velqor
