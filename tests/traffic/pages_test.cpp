#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QLineSeries>
#include <QPushButton>
#include <QTableView>
#include <QValueAxis>

#include "tests/support/recorders.h"
#include "traffic/receive_page.h"
#include "traffic/wave_page.h"
#include "widgets/radio_group.h"

namespace velqor {
namespace {

using velqor::testing::RecordingBoxes;
using velqor::testing::RecordingSender;

TEST(WavePage, PlotWaveStepsInMicrosecondsAndScalesCountsToVolts) {
  RecordingSender sender;
  RecordingBoxes boxes;
  WavePage page(sender, boxes);
  std::array<float, WavePage::kSamples> samples;
  samples.fill(128.0f);
  samples[7] = 255.0f;
  samples[8] = 0.0f;
  page.PlotWave(500, samples);
  const QList<QPointF> points = page.canphy()->points();
  ASSERT_EQ(points.size(), 200);
  EXPECT_EQ(points.front(), QPointF(0, 2.5));
  EXPECT_DOUBLE_EQ(points.back().x(), 99.5);
  EXPECT_DOUBLE_EQ(points[7].y(), 4.98046875);
  EXPECT_DOUBLE_EQ(points[8].y(), 0.0);
  // The x values accumulate in single precision: interval 1 gives 0.001 steps whose float
  // sum after 199 steps is 0.19900022447109222 (worked out offline), not 0.199.
  page.PlotWave(1, samples);
  EXPECT_EQ(page.canphy()->points().back().x(), 0x1.978d6ep-3);
  // A new trace replaces the old one; interval 0 puts every point at x = 0.
  page.PlotWave(0, samples);
  ASSERT_EQ(page.canphy()->count(), 200);
  for (const QPointF& p : page.canphy()->points()) EXPECT_EQ(p.x(), 0.0);
}

TEST(WavePage, ChartHasTheFixedAxes) {
  RecordingSender sender;
  RecordingBoxes boxes;
  WavePage page(sender, boxes);
  auto* view = page.findChild<QChartView*>(QStringLiteral("Chart1"));
  ASSERT_NE(view, nullptr);
  QChart* chart = view->chart();
  EXPECT_EQ(chart->title(), QStringLiteral("CAN Line"));
  EXPECT_FALSE(chart->legend()->isVisible());
  const struct {
    Qt::Orientation orientation;
    double min, max;
    const char* title;
  } axes[] = {{Qt::Horizontal, 0, 110, "time(usec)"}, {Qt::Vertical, 0, 5, "(V)"}};
  std::array<float, WavePage::kSamples> samples{};
  page.PlotWave(5000, samples);  // plotting does not move the axes
  for (const auto& a : axes) {
    auto* axis = qobject_cast<QValueAxis*>(chart->axes(a.orientation).value(0));
    ASSERT_NE(axis, nullptr) << a.title;
    EXPECT_EQ(axis->min(), a.min) << a.title;
    EXPECT_EQ(axis->max(), a.max) << a.title;
    EXPECT_EQ(axis->titleText(), a.title);
  }
  auto* volts = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
  EXPECT_EQ(volts->tickInterval(), 0.5);
  EXPECT_EQ(volts->titleBrush().color(), QColor(Qt::blue));
  EXPECT_EQ(chart->series().size(), 1);
  EXPECT_EQ(chart->series().value(0)->name(), QStringLiteral("canphy"));
}

TEST(ReceivePage, HeaderClickSortsAndClearEmpties) {
  ReceivePage page([] { return QTime(1, 0); });
  auto* view = page.findChild<QTableView*>(QStringLiteral("ListView"));
  ASSERT_NE(view, nullptr);
  CanFrame f;
  for (std::uint32_t id : {0x100u, 0x20u}) {
    f.id = id;
    page.ShowReceivedFrame(f);
  }
  page.model()->flush();
  ASSERT_EQ(view->model()->rowCount(), 2);
  emit view->horizontalHeader()->sectionClicked(2);
  EXPECT_EQ(page.model()->SortColumn(), 2);
  EXPECT_EQ(view->model()->index(0, 2).data().toString(), QStringLiteral("20"));
  page.BtnClear()->click();
  EXPECT_EQ(view->model()->rowCount(), 0);
}

TEST(ReceivePage, ShowsTheFormatTheRadioGroupSelects) {
  ReceivePage page([] { return QTime(1, 0); });
  CanFrame f;
  f.id = 1;
  f.dlc = 1;
  f.data[0] = 10;
  page.ShowReceivedFrame(f);
  page.RxDispFormat()->setItemIndex(1);
  f.id = 2;
  page.ShowReceivedFrame(f);
  EXPECT_EQ(page.model()->text(0, ReceivedFrameModel::kData), QStringLiteral("0A"));
  EXPECT_EQ(page.model()->text(1, ReceivedFrameModel::kData), QStringLiteral(" 10  "));
}

}  // namespace
}  // namespace velqor
