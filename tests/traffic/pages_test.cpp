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
  // The x values accumulate in single precision: interval 1 gives 0.001 steps as a float
  // sum, not i * 0.001.
  page.PlotWave(1, samples);
  float x = 0.0f;
  for (int i = 0; i < 199; ++i) x += static_cast<float>(0.001);
  EXPECT_EQ(page.canphy()->points().back().x(), static_cast<double>(x));
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
  auto* time = qobject_cast<QValueAxis*>(chart->axes(Qt::Horizontal).value(0));
  auto* volts = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
  ASSERT_NE(time, nullptr);
  ASSERT_NE(volts, nullptr);
  EXPECT_EQ(time->min(), 0.0);
  EXPECT_EQ(time->max(), 110.0);
  EXPECT_EQ(time->titleText(), QStringLiteral("time(usec)"));
  EXPECT_EQ(volts->min(), 0.0);
  EXPECT_EQ(volts->max(), 5.0);
  EXPECT_EQ(volts->tickInterval(), 0.5);
  EXPECT_EQ(volts->titleText(), QStringLiteral("(V)"));
  EXPECT_EQ(volts->titleBrush().color(), QColor(Qt::blue));
  EXPECT_EQ(chart->series().size(), 1);
  EXPECT_EQ(chart->series().value(0)->name(), QStringLiteral("canphy"));
  // Plotting does not move the axes.
  std::array<float, WavePage::kSamples> samples{};
  page.PlotWave(5000, samples);
  EXPECT_EQ(time->max(), 110.0);
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
