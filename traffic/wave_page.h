#pragma once
// The "Wave" page: the chart `Chart1` with the series `canphy`, the capture buttons, the
// trigger level (`EditTriggerlv`, `TracTrigger`), the capture port `RadioCapPort` and the
// capture state `PanelWaveStat`. The page builds its controls, binds them to its logic
// (WaveCapture) and loads and saves its settings.

#include <QWidget>
#include <array>
#include <cstdint>

#include "common/message_boxes.h"
#include "link/device_sender.h"
#include "traffic/wave_capture.h"

class QChartView;
class QLabel;
class QLineEdit;
class QLineSeries;
class QSlider;

namespace velqor {

class RadioGroup;

// The controls mirror the page's logic (WaveCapture): a change of the trigger text, the track
// bar or the capture port goes to the logic, which runs the handlers and sends; what the
// logic rewrites comes back to the controls.
class WavePage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kSamples = kWaveSamples;

  // `sender` and `boxes` must outlive the page. `triggerLevel`: the main window's field
  // TriggerLevel, kept by the page's logic when null.
  WavePage(DeviceSender& sender, MessageBoxes& boxes, float* triggerLevel = nullptr,
           QWidget* parent = nullptr);

  // Plots one trace: x runs from 0 in steps of interval x 0.001 us (nanoseconds to
  // microseconds, accumulated in single precision), y is the sample x 5/256 V. Replaces the
  // previous trace in one go; the axes stay as they are.
  void PlotWave(std::uint16_t interval, const std::array<float, kSamples>& samples);

  // PanelWaveStat's caption: "STOP", "READY" or "CONT".
  void SetWaveState(const QString& text);

  // Settings (AD): the trigger level (TriggerLevel; the track bar and the edit follow, their
  // handlers run and send nothing while there is no terminal window), then the capture port.
  void loadSettings(float triggerLevel, int capturePort);
  int capturePort() const;

  WaveCapture& capture() { return m_capture; }
  QLineSeries* canphy() const { return m_canphy; }

 private:
  WaveCapture m_capture;
  QChartView* m_chart;
  QLineSeries* m_canphy;
  QLineEdit* m_triggerText = nullptr;
  QSlider* m_track = nullptr;
  RadioGroup* m_port = nullptr;
  QLabel* m_state = nullptr;
};

}  // namespace velqor
