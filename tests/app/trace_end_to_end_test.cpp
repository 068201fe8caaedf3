// The trace and the Receive list's statistics against the simulated adapter: the "&Trace"
// entry opens the window, the connection and the frame sent from mailbox 1 are rows among the
// vehicle's, the Count column grows at the profile's rate, and the choices outlive the window
// in their own sections of the settings file; an unplugged adapter leaves its gap as rows.

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QSpinBox>
#include <algorithm>

#include "common/ini_file.h"
#include "sim/bus_traffic.h"
#include "tests/app/simulated_window.h"
#include "trace/trace_settings.h"
#include "traffic/receive_page.h"
#include "traffic/trace_window.h"
#include "widgets/masked_edit.h"

// The program's QApplication comes from receive_path_test.cpp.

namespace velqor {
namespace {

using TraceEndToEndTest = test::SimulatedWindowTest;

TEST_F(TraceEndToEndTest, ShowsTheSentFrameAmongTheReceivedAndCountsFollowTheBus) {
  // A 100 ms message of the vehicle; its cycle from the profile is the oracle.
  const std::vector<PeriodicMessage> profile = DefaultVehicleProfile();
  const auto gear = std::find_if(profile.begin(), profile.end(),
                                 [](const PeriodicMessage& m) { return m.name == "Gear"; });
  ASSERT_NE(gear, profile.end());
  const double cycleUs = std::chrono::duration<double, std::micro>(gear->cycle).count();

  startAdapter(false);
  openWindow();
  window->findChild<QAction*>(QStringLiteral("Trace1"))->trigger();
  TraceWindow& trace = *window->traceWindow();
  EXPECT_TRUE(trace.isVisible());
  // Hidden again: Qt paints shown windows on threads ThreadSanitizer cannot follow; the test
  // refreshes the table itself.
  trace.hide();
  connectLinks();
  const TraceStore& store = trace.recorder().store();
  ASSERT_FALSE(store.empty());
  EXPECT_EQ(store.at(store.firstSeq()).kind(), TraceRowKind::Connected);

  // SEND from mailbox 1: its Tx row lies among received rows.
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return store.size() > 50; }));
  window->EditIdTx[0]->setText(QStringLiteral("123"));
  window->CSpinDLC[0]->setValue(1);
  window->MaskEdit[0]->setText(QStringLiteral("5A"));
  click("BtnSend1");
  const auto txRow = [&]() -> std::optional<std::uint64_t> {
    for (std::uint64_t s = store.firstSeq(); s < store.endSeq(); ++s)
      if (store.at(s).tx()) return s;
    return std::nullopt;
  };
  ASSERT_TRUE(test::ProcessEventsUntil([&] {
    const auto tx = txRow();
    return tx && *tx + 2 < store.endSeq();
  }));
  const std::uint64_t tx = *txRow();
  EXPECT_EQ(store.at(tx).id, 0x123u);
  EXPECT_EQ(store.at(tx).data[0], 0x5A);
  EXPECT_TRUE(store.at(tx - 1).isFrame() && !store.at(tx - 1).tx());
  EXPECT_TRUE(store.at(tx + 1).isFrame() && !store.at(tx + 1).tx());
  trace.refresh();
  EXPECT_GT(trace.table()->rowCount(), 50u) << "the window shows the rows";

  // Count and cycle of the 100 ms message once eleven frames came (ten intervals).
  ReceivePage& page = *window->receivePage();
  ASSERT_TRUE(test::ProcessEventsUntil([&] {
    const IdStatistics::Entry* e = page.statistics().find(gear->id);
    return e != nullptr && e->count >= 12;
  }));
  const IdStatistics::Entry& e = *page.statistics().find(gear->id);
  EXPECT_NEAR(e.meanIntervalUs(), cycleUs, cycleUs * 0.1);
  EXPECT_EQ(page.statistics().find(0x123)->txCount, 1u);
  page.model()->flush();
  bool counted = false;
  for (int r = 0; r < page.model()->rowCount(); ++r) {
    if (page.model()->text(r, ReceivedFrameModel::kId) != QStringLiteral("1f0")) continue;
    counted = page.model()->text(r, ReceivedFrameModel::kCount).toULongLong() >= 12;
  }
  EXPECT_TRUE(counted) << "the Count column shows the count";

  // The choices go to their own sections when the window closes.
  ReceiveColumnSettings columns;
  columns.count = columns.cycle = true;
  page.setStatisticsColumns(columns);
  trace.setWallClock(true);
  disconnectLinks();
  closeWindow();
  const IniFile ini(iniPath());
  EXPECT_EQ(loadReceiveColumnSettings(ini), columns);
  EXPECT_TRUE(loadTraceSettings(ini).wallClock);
  EXPECT_FALSE(ini.readValue("TRACE", "CAPACITY")) << "the default is not written";
}

// The adapter pulled out and plugged back in: the gap is marked by two rows, in order.
TEST_F(TraceEndToEndTest, TheAdapterGoingAndComingBackAreRows) {
  startAdapter(false);
  openWindow();
  connectLinks();
  const TraceStore& store = window->traceWindow()->recorder().store();
  const auto rowOf = [&](TraceRowKind kind) -> std::optional<std::uint64_t> {
    for (std::uint64_t s = store.firstSeq(); s < store.endSeq(); ++s)
      if (store.at(s).kind() == kind) return s;
    return std::nullopt;
  };
  adapter->unplug();
  ASSERT_TRUE(
      test::ProcessEventsUntil([&] { return rowOf(TraceRowKind::AdapterLost).has_value(); }));
  adapter->plug();
  ASSERT_TRUE(test::ProcessEventsUntil(
      [&] { return rowOf(TraceRowKind::AdapterReconnected).has_value(); }));
  EXPECT_LT(*rowOf(TraceRowKind::AdapterLost), *rowOf(TraceRowKind::AdapterReconnected));
  EXPECT_EQ(store.at(store.firstSeq()).kind(), TraceRowKind::Connected);
}

}  // namespace
}  // namespace velqor
