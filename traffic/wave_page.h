#pragma once
// The "Wave" page: the chart `Chart1` with the series `canphy`, the capture buttons, the
// trigger level (`EditTriggerlv`, `TracTrigger`), the capture port `RadioCapPort` and the
// capture state `PanelWaveStat`.

#include <QWidget>
#include <array>
#include <cstdint>

class QChartView;
class QLineSeries;

namespace velqor {

class WavePage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kSamples = 200;

  explicit WavePage(QWidget* parent = nullptr);

  // Plots one trace: x runs from 0 in steps of interval x 0.001 us (nanoseconds to
  // microseconds, accumulated in single precision), y is the sample x 5/256 V. Replaces the
  // previous trace; the axes stay as they are.
  void PlotWave(std::uint16_t interval, const std::array<float, kSamples>& samples);

  QLineSeries* canphy() const { return m_canphy; }

 private:
  QChartView* m_chart;
  QLineSeries* m_canphy;
};

}  // namespace velqor
