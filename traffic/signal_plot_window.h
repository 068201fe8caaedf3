#pragma once
// "Plot": signals of the loaded DBC files over time. The signals are picked in a tree
// (message > signal, with a filter); each picked signal's values are kept from then on by the
// SignalMonitor (SignalSeries: every value, up to its capacity) and drawn as a line.
//
// What is drawn is decimated per pixel column (SignalSeries::decimate), so a line stays
// smooth with hundreds of thousands of points; it is redrawn on a timer at display rate
// (kRefreshIntervalMs, while the window shows and something changed), never per frame.
// Live, the time axis follows the newest value; "Pause" (or zooming into a stretch: drag
// across the plot; the wheel zooms, the right button zooms out, Left/Right pan while paused)
// holds it where it is while values keep coming; "Live" goes back. The cursor's readout gives
// each line's stored value at the time under the mouse. "Export CSV..." writes every stored
// value of the time range shown (PlotCsvExport, on a thread of its own).
//
// GUI thread only. The monitor and the message boxes must outlive the window.

#include <QChartView>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "common/message_boxes.h"
#include "sigmon/plot_csv.h"
#include "sigmon/plot_range.h"
#include "sigmon/signal_monitor.h"

class QGraphicsLineItem;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QValueAxis;

namespace velqor {

class OwnerWake;

// The chart view of the plot: reports the wheel and the mouse to its window.
class PlotChartView : public QChartView {
  Q_OBJECT

 public:
  using QChartView::QChartView;

 signals:
  void wheelTurned(double steps, QPointF at);
  void mouseMovedTo(QPointF at);
  void mouseLeft();

 protected:
  void wheelEvent(QWheelEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
};

class SignalPlotWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kRefreshIntervalMs = 40;  // 25 Hz

  SignalPlotWindow(SignalMonitor& monitor, MessageBoxes& boxes, QWidget* parent = nullptr);
  ~SignalPlotWindow() override;

  // After the monitor's decoder changed: the tree anew, the lines of the signals still there.
  void rebuild();
  // Plots these signals too.
  void plotSignals(const std::vector<std::uint32_t>& signalNumbers);
  void setPlotted(std::uint32_t signal, bool plotted);
  // What the timer does: the lines and the axes for the range shown now.
  void refresh();

  // "Export CSV..." asks for the file here; a file dialog when not set.
  void setExportPathChooser(std::function<QString()> choose) {
    m_chooseExportPath = std::move(choose);
  }
  // Starts writing the range shown to `path`; false while an export is running.
  bool exportCsv(const QString& path);
  bool exporting() const { return m_export != nullptr; }

  const PlotTimeRange& timeRange() const { return m_range; }
  QLineSeries* line(std::uint32_t signal) const;
  QChartView* chartView() const { return m_view; }
  QTreeWidget* picker() const { return m_picker; }
  QLabel* readout() const { return m_readout; }
  QLabel* status() const { return m_status; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void fillPicker();
  void filterPicker(const QString& text);
  void onItemChanged(QTreeWidgetItem* item);
  void addLine(std::uint32_t signal);
  void removeLine(std::uint32_t signal);
  void setAxes(double t0, double t1, double v0, double v1);
  void onUserRange(qreal t0, qreal t1);
  void showPaused();
  void showReadout(QPointF at);
  void hideReadout();
  void exportFinished();

  SignalMonitor& m_monitor;
  MessageBoxes& m_boxes;
  PlotTimeRange m_range;
  std::map<std::uint32_t, QLineSeries*> m_lines;  // by signal number
  std::vector<PlotPoint> m_points;                // scratch
  std::uint64_t m_drawnFrames = ~std::uint64_t{0};
  bool m_dirty = true;  // the range or the lines changed since the last drawing
  bool m_settingAxes = false;
  bool m_fillingPicker = false;
  std::function<QString()> m_chooseExportPath;
  std::unique_ptr<OwnerWake> m_exportWake;
  std::unique_ptr<PlotCsvExport> m_export;
  QString m_exportNote;  // how the last export went

  QLineEdit* m_filter;
  QTreeWidget* m_picker;
  PlotChartView* m_view;
  QValueAxis* m_axisT;
  QValueAxis* m_axisV;
  QGraphicsLineItem* m_cursor;
  QPushButton* m_pause;
  QPushButton* m_live;
  QPushButton* m_exportButton;
  QLabel* m_readout;
  QLabel* m_status;
  QTimer* m_timer;
};

}  // namespace velqor
