// The TxSet page's cyclic rows in the window, against the simulated adapter: the scheduler's
// thread sends through the window's send path and Usbif, the adapter's answers come back
// through the dispatch, and the simulated bus is the judge of what went out.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "app/transmit_hub.h"
#include "common/ini_file.h"
#include "tests/app/bus_log.h"
#include "tests/app/simulated_window.h"
#include "traffic/cyclic_tx_panel.h"
#include "traffic/tx_mailboxes.h"
#include "widgets/masked_edit.h"

namespace velqor {
namespace {

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

class CyclicWindowTest : public test::SimulatedWindowTest {
 protected:
  void start(SimulationOptions options = {}) {
    startAdapter(true, options);
    auto done = std::make_shared<std::atomic<bool>>(false);
    adapter->runner().Post([bus = bus, done](SimAdapter& a) {
      a.SetBusObserver([bus](const SimBusRecord& r) { bus->Add(r); });
      done->store(true);
    });
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return done->load(); }));
    openWindow();
    connectLinks();
  }
  CyclicTxPanel& panel() { return *window->cyclicTxPanel(); }
  // Row `row`: identifier, data (its pairs give the DLC) and cycle; then its toggle.
  void run(int row, const char* id, const char* data, const char* cycle) {
    const auto i = static_cast<std::size_t>(row - 1);
    window->EditIdTx[i]->setText(QString::fromLatin1(id));
    window->CSpinDLC[i]->setValue(static_cast<int>((std::strlen(data) + 1) / 3));
    window->MaskEdit[i]->setText(QString::fromLatin1(data));
    panel().EditCycleTx[i]->setText(QString::fromLatin1(cycle));
    panel().BtnCycleTx[i]->click();
    ASSERT_TRUE(panel().BtnCycleTx[i]->isChecked());
  }
  RowCounters counters(int row) { return window->transmit().scheduler().Counters(row).value(); }
  bool waitFrames(const std::function<bool(const std::vector<test::BusLog::Frame>&)>& enough) {
    return test::ProcessEventsUntil([&] { return enough(bus->Frames()); }, 30000);
  }

  std::shared_ptr<test::BusLog> bus = std::make_shared<test::BusLog>();
};

TEST_F(CyclicWindowTest, ARowAt20msPutsFiftyFramesASecondOnTheBus) {
  start();
  run(1, "123", "11", "20");
  ASSERT_TRUE(
      waitFrames([](const auto& f) { return !f.empty() && f.back().start - f[0].start >= 1s; }));
  panel().BtnCycleTx[0]->click();
  const std::vector<test::BusLog::Frame> frames = bus->Frames();
  // The frames that started within the first second, each on the 20 ms grid: its phase is that
  // of most frames (the first may have been late), a frame never goes before its time and one
  // late by up to most of a cycle stays in its slot. A machine busier than the scheduler's
  // thread may make it leave cycles out, which it counts.
  std::vector<nanoseconds> offsets;  // from the first frame's phase, in (-10, 10] ms
  for (const auto& f : frames) {
    if (f.start - frames[0].start >= 1s) break;
    nanoseconds o = (f.start - frames[0].start) % 20ms;
    offsets.push_back(o > 10ms ? o - 20ms : o);
  }
  std::vector<nanoseconds> sorted = offsets;
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
  const nanoseconds grid = frames[0].start + sorted[sorted.size() / 2];
  const int inFirstSecond = static_cast<int>(offsets.size());
  long lastSlot = -1;
  for (int i = 0; i < inFirstSecond; ++i) {
    const long slot = static_cast<long>((frames[i].start - grid + 2ms) / 20ms);
    EXPECT_GT(slot, lastSlot) << "two frames in one cycle";
    lastSlot = slot;
    EXPECT_EQ(frames[i].id, 0x123u);
  }
  EXPECT_NEAR(lastSlot + 1, 50, 1);  // the grid held for the whole second
  EXPECT_GE(inFirstSecond + static_cast<long>(counters(1).skipped), 49);
  EXPECT_GE(inFirstSecond, 45);
  EXPECT_LE(inFirstSecond, 51);
  EXPECT_FALSE(panel().BtnCycleTx[0]->isChecked());
}

TEST_F(CyclicWindowTest, AnEditWhileRunningReachesTheBusAndBadDataStopsTheRowOnce) {
  start();
  test::SentFrames sent;
  window->receivePath().addFrameConsumer(sent, ReceivePath::Frames::ReceivedAndSent);
  run(2, "2A", "11 22", "5");
  ASSERT_TRUE(waitFrames([](const auto& f) { return !f.empty(); }));
  window->MaskEdit[1]->setText(QStringLiteral("33 44"));
  ASSERT_TRUE(waitFrames([](const auto& f) { return !f.empty() && f.back().data0 == 0x33; }));

  window->MaskEdit[1]->setText(QStringLiteral("55"));  // one pair short of the DLC
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !panel().BtnCycleTx[1]->isChecked(); }));
  window->MaskEdit[1]->setText(QStringLiteral("6"));
  ASSERT_TRUE(waitSettled());
  EXPECT_EQ(boxes.shown(), (std::vector<testing::ShownBox>{{TxMailboxes::ListIndexErrorText(1),
                                                            "Velqor", MessageBoxes::Icon::Error}}));
  EXPECT_EQ(panel().LabCyclicStatus->text(),
            QStringLiteral("Row 2 stopped: the data has fewer bytes than the DLC says."));
  // Everything the row wrote reached the bus, and nothing after its stop.
  const std::vector<test::BusLog::Frame> frames = bus->Frames();
  EXPECT_EQ(frames.size(), counters(2).sent);
  EXPECT_EQ(panel().LabSentTx[1]->text(), QString::number(frames.size()));
  // and the trace's consumers got each of them as a sent frame.
  EXPECT_EQ(sent.ids, std::vector<std::uint32_t>(frames.size(), 0x2Au));
  window->receivePath().removeFrameConsumer(sent);
}

TEST_F(CyclicWindowTest, TenFailedSendsStopARowAndEachShowsCanFail) {
  SimulationOptions options;
  options.unacknowledged = true;
  start(options);
  run(1, "7FF", "01", "20");
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !panel().BtnCycleTx[0]->isChecked(); }));
  ASSERT_TRUE(waitSettled());
  const RowCounters row = counters(1);
  EXPECT_EQ(row.stop, RowStop::Failing);
  EXPECT_EQ(row.failed, row.sent);
  EXPECT_EQ(std::count(window->results.begin(), window->results.end(), QStringLiteral("CAN fail!")),
            static_cast<long>(row.failed));
  EXPECT_GE(row.failed, 10u);
  EXPECT_EQ(panel().LabFailedTx[0]->text(), QString::number(row.failed));
  EXPECT_TRUE(panel().LabCyclicStatus->text().startsWith(
      QStringLiteral("Row 1 stopped after 10 failed sends in a row")));
}

TEST_F(CyclicWindowTest, DisconnectingStopsTheRowsAndSaysSo) {
  start();
  run(1, "101", "01", "10");
  run(3, "103", "03", "10");
  ASSERT_TRUE(waitFrames([](const auto& f) { return f.size() >= 4; }));
  disconnectLinks();
  EXPECT_FALSE(panel().BtnCycleTx[0]->isChecked());
  EXPECT_FALSE(panel().BtnCycleTx[2]->isChecked());
  EXPECT_FALSE(counters(1).running);
  EXPECT_FALSE(counters(3).running);
  EXPECT_EQ(panel().LabCyclicStatus->text(),
            QStringLiteral("Disconnected: cyclic sending stopped (row 1, 3)."));
  EXPECT_EQ(result(), QStringLiteral("Cyclic sending stopped"));
  EXPECT_EQ(window->transmit().path().GetCounters().pending, 0u);
}

TEST_F(CyclicWindowTest, CycleTimesAndCountsAreKeptInTheSettingsFile) {
  startAdapter(true);
  openWindow();
  panel().EditCycleTx[2]->setText(QStringLiteral("250"));
  panel().EditCountTx[2]->setText(QStringLiteral("12"));
  closeWindow();
  const IniFile ini(iniPath());
  EXPECT_EQ(ini.readString("TXCYCLIC", "CYCLE3", "?"), "250");
  EXPECT_EQ(ini.readString("TXCYCLIC", "COUNT3", "?"), "12");
  openWindow();
  EXPECT_EQ(panel().EditCycleTx[2]->text(), QStringLiteral("250"));
  EXPECT_EQ(panel().EditCountTx[2]->text(), QStringLiteral("12"));
  EXPECT_TRUE(panel().BtnCycleTx[2]->isEnabled());
  EXPECT_FALSE(panel().BtnCycleTx[3]->isEnabled());  // no cycle: SEND only
}

}  // namespace
}  // namespace velqor
