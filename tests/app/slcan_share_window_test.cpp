// "&Tools" > "Share as slcan device..." against the simulated adapter: a host on the
// pseudo-terminal gets the bus and sends through the window's paths while the window works.
#include "app/slcan_share_window.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QLineEdit>
#include <QPushButton>
#include <memory>
#include <string>

#include "tests/app/bus_log.h"
#include "tests/app/simulated_window.h"

namespace velqor {
namespace {

class SlcanShareWindowTest : public test::SimulatedWindowTest {
 protected:
  ~SlcanShareWindowTest() override {
    if (m_host >= 0) ::close(m_host);
  }
  // Writes `line` to the device and waits for the host's input to hold `wanted`.
  [[nodiscard]] bool ask(const std::string& line, const std::string& wanted) {
    if (::write(m_host, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
      return false;
    return test::ProcessEventsUntil([&] {
      char bytes[512];
      const ssize_t n = ::read(m_host, bytes, sizeof bytes);
      if (n > 0) input.append(bytes, static_cast<std::size_t>(n));
      return input.find(wanted) != std::string::npos;
    });
  }

  int m_host = -1;
  std::string input;  // what the host read
};

TEST_F(SlcanShareWindowTest, AHostGetsTheBusAndItsFramesGoOutThroughTheWindow) {
  startAdapter(false);  // the simulated vehicle's traffic
  auto bus = std::make_shared<test::BusLog>();
  auto observed = std::make_shared<std::atomic<bool>>(false);
  adapter->runner().Post([bus, observed](SimAdapter& a) {
    a.SetBusObserver([bus](const SimBusRecord& r) { bus->Add(r); });
    observed->store(true);
  });
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return observed->load(); }));
  openWindow();
  connectLinks();
  test::SentFrames sent;
  window->receivePath().addFrameConsumer(sent, ReceivePath::Frames::ReceivedAndSent);

  window->findChild<QAction*>(QStringLiteral("SlcanShare1"))->trigger();
  SlcanShareWindow& share = *window->slcanShareWindow();
  const QString path = share.EditSlcanPath->text();
  ASSERT_TRUE(path.startsWith(QStringLiteral("/dev/pts/"))) << path.toStdString();
  m_host = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(m_host, 0);

  // Opened, the bus's frames come as slcan lines (standard identifiers: "t").
  ASSERT_TRUE(ask("O\r", "\rt"));
  // The host's frame: on the bus, answered as sent, and on the window's path as a sent frame.
  const std::string frame = "t5A12AABB\r";
  ASSERT_EQ(::write(m_host, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  ASSERT_TRUE(test::ProcessEventsUntil([&] {
    for (const auto& f : bus->Frames())
      if (f.id == 0x5A1 && f.data0 == 0xAA) return true;
    return false;
  }));
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return share.share().Stats().framesSent == 1; }));
  ASSERT_TRUE(test::ProcessEventsUntil(
      [&] { return std::count(sent.ids.begin(), sent.ids.end(), 0x5A1u) == 1; }));
  EXPECT_EQ(share.share().Stats().sendsFailed, 0u);
  window->receivePath().removeFrameConsumer(sent);

  share.BtnSlcanShare->click();
  EXPECT_FALSE(share.share().Running());
  EXPECT_TRUE(share.EditSlcanPath->text().isEmpty());
}

}  // namespace
}  // namespace velqor
