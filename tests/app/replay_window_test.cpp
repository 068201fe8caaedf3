// The replay window from the "&Tools" menu against the simulated adapter: a recorded candump
// log goes out through the window's send path, its frames reach the frame path as sent
// frames and the simulated bus with the recorded intervals; a log that does not read says its
// file and line.

#include "traffic/replay_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "tests/app/frame_recorder.h"
#include "tests/app/simulated_window.h"

namespace velqor {
namespace {

// The frames the simulated bus completed, with the model's times (runner thread).
struct BusFrames {
  std::mutex mutex;
  std::vector<SimBusRecord> records;
  std::size_t size() {
    std::lock_guard lock(mutex);
    return records.size();
  }
};

class ReplayWindowTest : public test::SimulatedWindowTest {
 protected:
  void SetUp() override {
    startAdapter(true);
    auto bus = m_bus;
    adapter->runner().Post([bus](SimAdapter& a) {
      a.SetBusObserver([bus](const SimBusRecord& r) {
        std::lock_guard lock(bus->mutex);
        bus->records.push_back(r);
      });
    });
    openWindow();
    window->receivePath().addFrameConsumer(sent, ReceivePath::Frames::ReceivedAndSent);
    connectLinks();
    window->findChild<QAction*>(QStringLiteral("Replay1"))->trigger();
    replay = window->replayWindow();
    ASSERT_NE(replay, nullptr);
    ASSERT_TRUE(replay->isVisible());
    // Shown again without being painted: Qt draws on threads of its own that ThreadSanitizer
    // cannot follow (see tests/terminal).
    replay->hide();
    replay->setAttribute(Qt::WA_DontShowOnScreen);
    replay->setUpdatesEnabled(false);
    replay->show();
  }
  void TearDown() override {
    if (window) window->receivePath().removeFrameConsumer(sent);
  }

  std::string writeLog(const char* name, const std::string& text) {
    const std::string path = folder.filePath(QString::fromLatin1(name)).toStdString();
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    return path;
  }
  void start(const std::string& path) {
    replay->findChild<QLineEdit*>(QStringLiteral("EditReplayFile"))
        ->setText(QString::fromStdString(path));
    replay->findChild<QPushButton*>(QStringLiteral("BtnReplayStart"))->click();
    ASSERT_TRUE(replay->Running());
  }
  // The frames the program sent, as the frame path handed them on.
  std::vector<CanFrame> txFrames() const {
    std::vector<CanFrame> out;
    for (const CanFrame& f : sent.frames)
      if (f.tx()) out.push_back(f);
    return out;
  }
  QString status() { return replay->findChild<QLabel*>(QStringLiteral("LabReplayStatus"))->text(); }

  std::shared_ptr<BusFrames> m_bus = std::make_shared<BusFrames>();
  test::FrameRecorder sent;
  ReplayWindow* replay = nullptr;
};

// The middle of the intervals' errors: a thread the machine held up now and then (other
// work on the same cores) spoils the two intervals around one frame, not the middle.
std::int64_t MedianError(std::vector<std::int64_t> errors) {
  std::sort(errors.begin(), errors.end());
  return errors[errors.size() / 2];
}

TEST_F(ReplayWindowTest, ACandumpLogGoesOutWithItsRecordedIntervals) {
  // Gaps of 5 to 60 ms, standard and extended frames.
  const std::int64_t offsetsMs[] = {0,   5,   25,  85,  92,  130, 190, 196,
                                    240, 300, 310, 335, 390, 397, 420, 470};
  std::string text;
  for (std::size_t i = 0; i < std::size(offsetsMs); ++i) {
    char line[96];
    const std::int64_t us = 1700000000000000 + offsetsMs[i] * 1000 + 123;
    std::snprintf(line, sizeof line, "(%lld.%06lld) can0 %s#%02zX11\n",
                  static_cast<long long>(us / 1000000), static_cast<long long>(us % 1000000),
                  i % 3 == 1 ? "18FEF100" : "123", i);
    text += line;
  }
  start(writeLog("recorded.log", text));
  const std::size_t n = std::size(offsetsMs);
  ASSERT_TRUE(test::ProcessEventsUntil(
      [&] { return !replay->Running() && txFrames().size() >= n && m_bus->size() >= n; }, 20000));
  EXPECT_TRUE(status().startsWith(QStringLiteral("Done: 16 frames sent")))
      << status().toStdString();

  const std::vector<CanFrame> tx = txFrames();
  ASSERT_EQ(tx.size(), n);
  std::lock_guard lock(m_bus->mutex);
  ASSERT_EQ(m_bus->records.size(), n);
  std::vector<std::int64_t> pathErrors, busErrors;
  for (std::size_t i = 0; i < n; ++i) {
    EXPECT_EQ(tx[i].data[0], i) << "in the file's order";
    EXPECT_EQ(m_bus->records[i].frame.id, i % 3 == 1 ? 0x18FEF100u : 0x123u) << i;
    EXPECT_TRUE(m_bus->records[i].own);
    if (i == 0) continue;
    const std::int64_t recordedUs = (offsetsMs[i] - offsetsMs[i - 1]) * 1000;
    const std::int64_t pathUs = tx[i].time.steadyUs - tx[i - 1].time.steadyUs;
    const auto busUs = std::chrono::duration_cast<std::chrono::microseconds>(
                           m_bus->records[i].start - m_bus->records[i - 1].start)
                           .count();
    pathErrors.push_back(std::abs(pathUs - recordedUs));
    busErrors.push_back(std::abs(busUs - recordedUs));
  }
  EXPECT_LE(MedianError(pathErrors), 2000) << "on the frame path";
  EXPECT_LE(MedianError(busErrors), 2000) << "on the bus";
}

TEST_F(ReplayWindowTest, ALogThatDoesNotReadSaysItsFileAndLine) {
  const std::string path = writeLog("broken.log",
                                    "(1700000000.000000) can0 123#01\n"
                                    "(1700000000.001000) can0 123#02\n"
                                    "hello\n");
  start(path);
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !replay->Running() && txFrames().size() >= 2; },
                                       20000));
  EXPECT_TRUE(status().startsWith(QString::fromStdString(path + ":3: "))) << status().toStdString();
  EXPECT_EQ(txFrames().size(), 2u) << "the frames before it went out";
}

}  // namespace
}  // namespace velqor
