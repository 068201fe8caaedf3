#pragma once
// The "Wave" page: the chart `Chart1` with the series `canphy`, the capture buttons, the
// trigger level (`EditTriggerlv`, `TracTrigger`), the capture port `RadioCapPort` and the
// capture state `PanelWaveStat`. The page builds its controls, binds them to its logic
// (WaveCapture) and loads and saves its settings.
//
// Around them, without moving them: the trigger level as a dashed line on the chart, each
// trace decoded (the frame's fields as bands under the trace, stuff bits marked), a line below
// the capture state that says "waiting for trigger" when a capture asked for has not come
// within 2 s, zoom and pan on the chart (wheel: time, Shift+wheel: volts, drag: pan,
// double-click: the full view), and two buttons in the free corner: "Measurements..." opens a
// small window with the levels, edges and verdicts of the latest trace, "Export..." saves the
// trace as CSV (time, volts) or the chart as PNG.

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "common/message_boxes.h"
#include "link/device_sender.h"
#include "traffic/wave_capture.h"
#include "traffic/wave_view_state.h"
#include "wave/line_measurements.h"

class QChartView;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QSlider;
class QTimer;
class QValueAxis;

namespace velqor {

class RadioGroup;
class WaveMeasurementsWindow;
class WaveOverlay;

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

  // Where the bit rate and sample point to decode at come from (the Config page); 500 kbit/s
  // and 72 % without one.
  void setBitTimingSource(std::function<BitTimingChoice()> source) {
    m_bitTiming = std::move(source);
  }
  // Asks where to save an export: (caption, suggested file name, filter) -> path, empty for
  // none. A save dialog unless replaced (tests).
  using FileChooser = std::function<QString(const QString&, const QString&, const QString&)>;
  void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
  // How long a capture may take before the page says it is waiting (TriggerWatch::kPatience).
  void setTriggerPatience(int ms);

  const CaptureAnalysis& analysis() const { return m_analysis; }
  WaveOverlay* overlay() const { return m_overlay; }
  WaveMeasurementsWindow* measurementsWindow();
  void showMeasurements();
  bool exportCsv();
  bool exportPng();
  void resetZoom();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void armed(bool continuous);
  void showWaiting();
  void updateTriggerLine();
  QPointF valueAt(const QPointF& viewPos) const;  // chart values under a viewport point
  void zoomAt(const QPointF& viewPos, double factor, bool volts);
  bool saveFile(const QString& caption, const QString& suggested, const QString& filter,
                const std::function<bool(const QString&)>& write);

  WaveCapture m_capture;
  QChartView* m_chart;
  QLineSeries* m_canphy;
  QValueAxis* m_timeAxis = nullptr;
  QValueAxis* m_voltAxis = nullptr;
  QLineEdit* m_triggerText = nullptr;
  QSlider* m_track = nullptr;
  RadioGroup* m_port = nullptr;
  QLabel* m_state = nullptr;
  MessageBoxes& m_boxes;

  WaveOverlay* m_overlay = nullptr;
  QLabel* m_waiting = nullptr;
  QTimer* m_waitTimer = nullptr;
  TriggerWatch m_watch;
  std::function<BitTimingChoice()> m_bitTiming;
  FileChooser m_chooseFile;
  CaptureTrace m_trace;
  CaptureAnalysis m_analysis;
  WaveMeasurementsWindow* m_measurements = nullptr;
  std::optional<QPointF> m_dragFrom;
};

}  // namespace velqor
