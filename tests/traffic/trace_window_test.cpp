// The trace window's wiring: rows from the recorder reach the table, the filter line, pause,
// clear, following, copy and save act on them. The store, filter and texts are tested in
// tests/trace.

#include "traffic/trace_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include "tests/support/qt_application.h"
#include "tests/support/recorders.h"
#include "tests/trace/trace_test_util.h"
#include "traffic/receive_page.h"

VELQOR_QT_TEST_APPLICATION(QApplication);

namespace velqor {
namespace {

using test::TraceFrame;

constexpr std::int64_t kWall0 = 1'700'000'000'000'000;

class TraceWindowTest : public ::testing::Test {
 protected:
  TraceWindowTest() : window(recorder, boxes, options()) { window.resize(700, 400); }

  TraceWindowOptions options() {
    TraceWindowOptions o;
    o.chooseSaveFile = [this](QWidget*, const QString&, QString*) { return savePath; };
    o.bitRate = [] { return 500'000; };
    return o;
  }
  // Frames 0x100 + i at i ms, every third sent by the program.
  void feed(int first, int count) {
    for (int i = first; i < first + count; ++i) {
      recorder.OnFrames(std::array{TraceFrame(i * 1000, 0x100 + static_cast<std::uint32_t>(i),
                                              {static_cast<std::uint8_t>(i)},
                                              i % 3 == 0 ? CanFrame::kTx : 0, false, kWall0)});
    }
    window.refresh();
  }
  QString cell(std::size_t row, int column) { return window.table()->model()->text(row, column); }

  TraceRecorder recorder{1000};
  testing::RecordingBoxes boxes;
  QString savePath;
  TraceWindow window;
};

TEST_F(TraceWindowTest, FilterAppliesToEveryRowKeptAndABadOneIsNamedWithItsColumn) {
  feed(0, 30);
  window.setFilterText(QStringLiteral("tx"));
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !recorder.view().scanning(); }));
  window.refresh();
  ASSERT_EQ(window.table()->rowCount(), 10u);  // 0, 3, ... 27: rows from before the filter too
  EXPECT_EQ(cell(1, TracePageModel::kId), QStringLiteral("103"));
  EXPECT_EQ(cell(1, TracePageModel::kDirection), QStringLiteral("Tx"));
  feed(30, 3);  // new rows go through the same filter
  EXPECT_EQ(window.table()->rowCount(), 11u);

  window.setFilterText(QStringLiteral("tx 1G0"));
  EXPECT_TRUE(window.messageText().startsWith(QStringLiteral("Filter, column 4:")))
      << window.messageText().toStdString();
  EXPECT_EQ(window.table()->rowCount(), 11u) << "a bad filter keeps the last good one";
}

TEST_F(TraceWindowTest, PauseHoldsTheRowsShownAndCountsThoseBehindClearEmpties) {
  feed(0, 20);
  window.findChild<QPushButton*>(QStringLiteral("BtnTracePause"))->click();
  feed(20, 5);
  EXPECT_EQ(window.table()->rowCount(), 20u);
  EXPECT_EQ(window.table()->rowsBehind(), 5u);
  EXPECT_TRUE(test::ProcessEventsUntil([&] {  // the status line follows a few refreshes later
    window.refresh();
    return window.statusText().contains(QStringLiteral("paused: 5 behind"));
  }));
  window.findChild<QPushButton*>(QStringLiteral("BtnTracePause"))->click();
  window.refresh();
  EXPECT_EQ(window.table()->rowCount(), 25u);

  window.findChild<QPushButton*>(QStringLiteral("BtnTraceClear"))->click();
  EXPECT_EQ(window.table()->rowCount(), 0u);
  feed(25, 1);
  EXPECT_EQ(cell(0, TracePageModel::kId), QStringLiteral("119"));
}

TEST_F(TraceWindowTest, FollowsTheNewestRowsUntilScrolledUpAndAgainAtTheBottom) {
  window.show();
  feed(0, 200);
  TraceTable& table = *window.table();
  ASSERT_TRUE(table.following());
  EXPECT_EQ(table.top() + static_cast<std::size_t>(table.fullRows()), 200u);
  table.scrollTo(10);
  feed(200, 50);
  EXPECT_FALSE(table.following());
  EXPECT_EQ(table.top(), 10u) << "scrolled up: the rows shown stay";
  table.scrollTo(1000);  // past the end: the bottom
  feed(250, 1);
  EXPECT_TRUE(table.following());
  EXPECT_EQ(table.top() + static_cast<std::size_t>(table.fullRows()), 251u);
}

TEST_F(TraceWindowTest, CopyAndSaveGiveCandumpLinesOfTheRowsAsked) {
  feed(0, 4);
  window.table()->goToRow(1);
  window.copySelection();
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("(1700000000.001000) can0 101#01\n"));

  QTemporaryDir dir;
  savePath = dir.filePath(QStringLiteral("trace"));  // no extension: the chosen filter's
  window.setFilterText(QStringLiteral("!101"));
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !recorder.view().scanning(); }));
  window.save(true);
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return window.exportInProgress() == nullptr; }));
  QFile file(savePath + QStringLiteral(".log"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << window.messageText().toStdString();
  EXPECT_EQ(file.readAll().toStdString(),
            "(1700000000.000000) can0 100#00 T\n"
            "(1700000000.002000) can0 102#02\n"
            "(1700000000.003000) can0 103#03 T\n");
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(TraceWindowTest, MessageColumnShowsOnlyWithANamerAskedForThePaintedRows) {
  QTableView* view = window.table()->view();
  EXPECT_TRUE(view->isColumnHidden(TracePageModel::kName));
  window.setMessageNamer([](const CanFrame& f) { return QStringLiteral("M%1").arg(f.id, 0, 16); });
  EXPECT_FALSE(view->isColumnHidden(TracePageModel::kName));
  feed(0, 2);
  EXPECT_EQ(cell(1, TracePageModel::kName), QStringLiteral("M101"));
  window.setMessageNamer({});
  EXPECT_TRUE(view->isColumnHidden(TracePageModel::kName));
}

// The Receive list's statistics columns: hidden at first (the five columns stay), counts of
// received and sent frames per identifier, cycle from the arrival times, cleared by Clear.
TEST(ReceivePageStatistics, HiddenByDefaultCountedPerIdentifierAndClearedWithTheList) {
  ReceivePage page;
  auto* list = page.findChild<QTableView*>();
  ASSERT_NE(list, nullptr);
  for (int c = ReceivedFrameModel::kColumnCount; c < ReceivedFrameModel::kAllColumns; ++c)
    EXPECT_TRUE(list->isColumnHidden(c)) << c;
  EXPECT_EQ(page.statisticsColumns(), ReceiveColumnSettings{});

  page.OnFrames(std::array{TraceFrame(0, 0x7E8, {1}), TraceFrame(20'000, 0x7E8, {2}),
                           TraceFrame(25'000, 0x7E0, {3}, CanFrame::kTx),
                           TraceFrame(50'000, 0x7E8, {4})});
  ReceivedFrameModel& model = *page.model();
  model.flush();
  ASSERT_EQ(model.rowCount(), 1) << "a sent frame is no row of the list";
  EXPECT_EQ(model.text(0, ReceivedFrameModel::kCount), QStringLiteral("3"));
  EXPECT_EQ(model.text(0, ReceivedFrameModel::kCycle), QStringLiteral("30.0"));
  EXPECT_EQ(model.text(0, ReceivedFrameModel::kMean), QStringLiteral("25.0"));
  EXPECT_EQ(model.text(0, ReceivedFrameModel::kTxCount), QStringLiteral("0"));
  EXPECT_EQ(page.statistics().find(0x7E0)->txCount, 1u);

  ReceiveColumnSettings shown;
  shown.count = shown.mean = true;
  page.setStatisticsColumns(shown);
  EXPECT_FALSE(list->isColumnHidden(ReceivedFrameModel::kCount));
  EXPECT_TRUE(list->isColumnHidden(ReceivedFrameModel::kCycle));
  EXPECT_EQ(page.statisticsColumns(), shown);

  page.BtnClear()->click();
  EXPECT_EQ(page.statistics().size(), 0u);
}

}  // namespace
}  // namespace velqor
