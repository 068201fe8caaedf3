// What the Wave page adds around its specified controls: the waiting text, the trigger line,
// the decoded trace on the chart and in the analysis window, export, zoom.

#include <gtest/gtest.h>

#include <QApplication>
#include <QChartView>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QValueAxis>
#include <QWheelEvent>

#include "sim/waveform.h"
#include "tests/support/qt_application.h"
#include "tests/support/recorders.h"
#include "traffic/wave_measurements_window.h"
#include "traffic/wave_overlay.h"
#include "traffic/wave_page.h"
#include "widgets/radio_group.h"

VELQOR_QT_TEST_APPLICATION(QApplication);

namespace velqor {
namespace {

using velqor::testing::RecordingBoxes;
using velqor::testing::RecordingSender;

TEST(WaveViewState, TriggerLevelAsSentZoomAndTicks) {
  EXPECT_EQ(SentTriggerVolts("2.5"), 2.5);
  EXPECT_EQ(SentTriggerVolts("3.33"), 3.3);
  EXPECT_EQ(SentTriggerVolts("30"), 4.4);  // 300, of which the low 8 bits (44) go out
  EXPECT_EQ(SentTriggerVolts("."), std::nullopt);
  EXPECT_EQ(Zoomed({0, 110}, 55, 0.5, 0.5, 2000), (AxisRange{27.5, 82.5}));
  EXPECT_EQ(Zoomed({0, 110}, 0, 0.5, 0.5, 2000), (AxisRange{0, 55}));
  EXPECT_EQ(Zoomed({0, 1}, 0.5, 0.1, 0.5, 2000), (AxisRange{0.25, 0.75}));  // held at 0.5
  EXPECT_EQ(Panned({0, 110}, -5), (AxisRange{-5, 105}));
  EXPECT_DOUBLE_EQ(NiceTickInterval({0, 110}, 11), 10);
  EXPECT_DOUBLE_EQ(NiceTickInterval({0, 5}, 10), 0.5);
  EXPECT_DOUBLE_EQ(NiceTickInterval({10, 13}, 11), 0.5);
  EXPECT_DOUBLE_EQ(NiceTickInterval({0, 7}, 11), 1);
}

class WaveViewTest : public ::testing::Test {
 protected:
  WaveViewTest() : page(sender, boxes, &triggerLevel) {
    page.capture().loadTriggerLevel(2.5f);
    page.capture().setTerminalExists(true);
    page.setBitTimingSource([] { return BitTimingChoice{500000, 72}; });
    page.resize(603, 420);
    waiting = page.findChild<QLabel*>(QStringLiteral("LabWaveWaiting"));
    view = page.findChild<QChartView*>(QStringLiteral("Chart1"));
  }
  void click(const char* name) { page.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }
  // The simulated adapter's capture of a frame at 500 kbit/s.
  void plot(const BusFrame& frame) {
    const CanBitStream stream = BuildCanBitStream(frame);
    const BusSegment segment = MakeSegment(stream.Bits(), std::chrono::microseconds(50), 2000);
    CaptureSetup setup;
    setup.triggerTime = segment.start;
    setup.triggerPhase = 90;
    SimRandom random(5);
    const WaveformBlock block = RenderWaveform(setup, std::span(&segment, 1), random);
    std::array<float, WavePage::kSamples> samples{};
    std::copy(block.samples.begin(), block.samples.end(), samples.begin());
    page.PlotWave(block.interval, samples);
  }

  RecordingSender sender;
  RecordingBoxes boxes;
  float triggerLevel = 0.0f;
  WavePage page;
  QLabel* waiting = nullptr;
  QChartView* view = nullptr;
};

TEST_F(WaveViewTest, ACaptureThatDoesNotComeSaysWaitingWithLevelAndPort) {
  page.setTriggerPatience(1);
  page.findChild<RadioGroup*>(QStringLiteral("RadioCapPort"))->setItemIndex(1);
  click("BtnSingle");
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !waiting->text().isEmpty(); }, 10000));
  EXPECT_EQ(waiting->text(), QStringLiteral("waiting for trigger: 2.5 V on CAN_H"));
  EXPECT_EQ(page.findChild<QLabel*>(QStringLiteral("PanelWaveStat"))->text(), "STOP");
  plot({0x123, false, 1, {0x42}});  // it came: a single capture waits no more
  EXPECT_EQ(waiting->text(), QString());
  EXPECT_FALSE(page.findChild<QTimer*>(QStringLiteral("WaveWaitTimer"))->isActive());

  click("BtnContinue");  // a continuous capture waits again after each trace
  plot({0x123, false, 1, {0x42}});
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return !waiting->text().isEmpty(); }, 10000));
  EXPECT_TRUE(waiting->text().startsWith("waiting for trigger"));
  click("BtnStop");
  EXPECT_EQ(waiting->text(), QString());
}

TEST_F(WaveViewTest, ATraceIsDecodedOnTheChartAndInTheAnalysisWindow) {
  EXPECT_EQ(page.overlay()->triggerLevel(), 2.5);
  page.findChild<QLineEdit*>(QStringLiteral("EditTriggerlv"))->setText(QStringLiteral("3.3"));
  EXPECT_EQ(page.overlay()->triggerLevel(), 3.3);

  click("BtnWaveAnalysis");
  QTreeWidget* table = page.measurementsWindow()->table();
  EXPECT_TRUE(page.measurementsWindow()->isVisible());
  plot({0x123, false, 2, {0xFC, 0x00}});
  const BitDecoding& d = page.overlay()->decoding();
  EXPECT_EQ(d.id, 0x123u);
  EXPECT_EQ(d.data, (std::vector<std::uint8_t>{0xFC, 0x00}));
  ASSERT_GE(table->topLevelItemCount(), 1);
  EXPECT_EQ(table->topLevelItem(0)->text(1).left(15), QStringLiteral("ID 123, DLC 2, "));
  EXPECT_EQ(view->chart()->series().size(), 1);  // the bands are no series
}

TEST_F(WaveViewTest, ExportWritesTheTraceAsCsvAndTheChartAsPng) {
  QTemporaryDir dir;
  QString chosen;
  page.setFileChooser([&](const QString&, const QString&, const QString&) { return chosen; });
  chosen = dir.filePath("early.csv");
  EXPECT_FALSE(page.exportCsv());  // nothing captured yet
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_FALSE(QFile::exists(chosen));

  plot({0x123, false, 1, {0x42}});
  chosen = dir.filePath("wave.csv");
  ASSERT_TRUE(page.exportCsv());
  QFile csv(chosen);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = csv.readAll().split('\n');
  ASSERT_EQ(lines.size(), 202);  // header, 200 samples, the empty rest after the last \n
  EXPECT_EQ(lines[0], "time_us,volts");
  ASSERT_TRUE(lines[1].startsWith("0.000,"));
  EXPECT_NEAR(lines[1].mid(6).toDouble(), 2.5, 0.05);  // the idle bus
  EXPECT_TRUE(lines[200].startsWith("96.714,"));       // 199 x 486 ns

  chosen = dir.filePath("wave.png");
  ASSERT_TRUE(page.exportPng());
  EXPECT_EQ(QImage(chosen).size(), view->size());

  chosen = dir.filePath("no/such/folder/wave.csv");
  EXPECT_FALSE(page.exportCsv());
  ASSERT_EQ(boxes.shown().size(), 2u);
  EXPECT_EQ(boxes.shown()[1].text.rfind("Cannot write " + chosen.toStdString(), 0), 0u);
  chosen.clear();  // the person cancelled
  EXPECT_FALSE(page.exportCsv());
  EXPECT_EQ(boxes.shown().size(), 2u);
}

TEST_F(WaveViewTest, WheelZoomsTimeAboutTheCursorAndDoubleClickRestores) {
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  auto* time = qobject_cast<QValueAxis*>(view->chart()->axes(Qt::Horizontal).value(0));
  auto* volts = qobject_cast<QValueAxis*>(view->chart()->axes(Qt::Vertical).value(0));
  const QPointF at = view->mapFromScene(view->chart()->mapToPosition({30, 2.5}));
  QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), {}, {0, 120}, Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(view->viewport(), &wheel);
  EXPECT_NEAR(time->max() - time->min(), 88, 0.5);  // 110 x 0.8
  EXPECT_NEAR((30 - time->min()) / (time->max() - time->min()), 30.0 / 110, 0.01);
  EXPECT_EQ(volts->min(), 0.0);
  EXPECT_EQ(volts->max(), 5.0);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at.toPoint());
  EXPECT_EQ(time->min(), 0.0);
  EXPECT_EQ(time->max(), 110.0);
  EXPECT_EQ(time->tickInterval(), 10.0);
}

}  // namespace
}  // namespace velqor
