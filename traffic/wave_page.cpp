#include "traffic/wave_page.h"

#include <QChart>
#include <QChartView>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QList>
#include <QMenu>
#include <QMouseEvent>
#include <QPointF>
#include <QPushButton>
#include <QSaveFile>
#include <QSlider>
#include <QTimer>
#include <QValueAxis>
#include <QWheelEvent>

#include "traffic/wave_measurements_window.h"
#include "traffic/wave_overlay.h"
#include "wave/capture_report.h"
#include "widgets/fonts.h"
#include "widgets/key_filter.h"
#include "widgets/radio_group.h"
#include "widgets/sunken_panel.h"

namespace velqor {

namespace {

// The specified view of the chart, which double-click and "Full view" return to.
constexpr AxisRange kFullTime{0, 110};
constexpr AxisRange kFullVolts{0, 5};
constexpr double kFullTimeTick = 10;
constexpr double kFullVoltTick = 0.5;
constexpr double kWheelZoom = 0.8;

}  // namespace

WavePage::WavePage(DeviceSender& sender, MessageBoxes& boxes, float* triggerLevel, QWidget* parent)
    : QWidget(parent), m_capture(sender, boxes, triggerLevel), m_boxes(boxes) {
  auto* chart = new QChart();
  chart->setTitle(QStringLiteral("CAN Line"));
  chart->legend()->hide();
  chart->setMargins(QMargins(4, 4, 4, 4));
  m_canphy = new QLineSeries(chart);
  m_canphy->setObjectName(QStringLiteral("canphy"));
  m_canphy->setName(QStringLiteral("canphy"));
  m_canphy->setPointsVisible(false);
  chart->addSeries(m_canphy);

  auto* time = new QValueAxis(chart);
  time->setObjectName(QStringLiteral("BottomAxis"));
  time->setRange(0, 110);
  time->setTitleText(QStringLiteral("time(usec)"));
  time->setLabelFormat(QStringLiteral("%g"));
  time->setTickType(QValueAxis::TicksDynamic);
  time->setTickAnchor(0);
  time->setTickInterval(10);
  chart->addAxis(time, Qt::AlignBottom);
  m_canphy->attachAxis(time);

  auto* volts = new QValueAxis(chart);
  volts->setObjectName(QStringLiteral("LeftAxis"));
  volts->setRange(0, 5);
  volts->setTickType(QValueAxis::TicksDynamic);
  volts->setTickAnchor(0);
  volts->setTickInterval(0.5);
  volts->setLabelFormat(QStringLiteral("%.1f"));
  volts->setTitleText(QStringLiteral("(V)"));
  volts->setTitleBrush(QBrush(Qt::blue));
  chart->addAxis(volts, Qt::AlignLeft);
  m_canphy->attachAxis(volts);

  m_chart = new QChartView(chart, this);
  m_chart->setObjectName(QStringLiteral("Chart1"));
  m_chart->setRenderHint(QPainter::Antialiasing);
  m_chart->setGeometry(0, 0, 441, 421);

  const int right = 450;
  auto addButton = [this, right](const char* name, const char* caption, int top) {
    auto* b = new QPushButton(QString::fromLatin1(caption), this);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(right + 8, top, 121, 25);
    return b;
  };
  connect(addButton("BtnSingle", "Single", 12), &QPushButton::clicked, this, [this] {
    m_capture.BtnSingleClick();
    armed(false);
  });
  connect(addButton("BtnContinue", "Continue", 44), &QPushButton::clicked, this, [this] {
    m_capture.BtnContinueClick();
    armed(true);
  });
  connect(addButton("BtnStop", "Stop", 76), &QPushButton::clicked, this, [this] {
    m_capture.BtnStopClick();
    m_watch.Stopped();
    m_waitTimer->stop();
    m_waiting->clear();
  });

  auto* trigger = new QGroupBox(QStringLiteral("Trigger Level"), this);
  trigger->setObjectName(QStringLiteral("GroupBox2"));
  trigger->setGeometry(right, 112, 137, 85);
  auto* level = new QLineEdit(QString::fromStdString(m_capture.triggerText()), trigger);
  level->setObjectName(QStringLiteral("EditTriggerlv"));
  level->setGeometry(10, 22, 65, 21);
  level->installEventFilter(new KeyFilter(
      [](QChar c) { return WaveCapture::EditTriggerlvKeyPress(c.unicode()); }, level));
  m_triggerText = level;
  auto* unit = new QLabel(QStringLiteral("(V)"), trigger);
  unit->setObjectName(QStringLiteral("Label4"));
  unit->setGeometry(82, 25, 30, 15);
  auto* track = new QSlider(Qt::Horizontal, trigger);
  track->setObjectName(QStringLiteral("TracTrigger"));
  track->setRange(0, 50);
  track->setTickInterval(5);
  track->setTickPosition(QSlider::TicksBelow);
  track->setPageStep(5);
  track->setGeometry(6, 50, 125, 28);
  track->setValue(m_capture.trackPosition());
  m_track = track;

  auto* port = new RadioGroup(
      QStringLiteral("Capture Port"),
      {QStringLiteral("CAN_L"), QStringLiteral("CAN_H"), QStringLiteral("Differential")}, 1, this);
  port->setObjectName(QStringLiteral("RadioCapPort"));
  port->setGeometry(right, 206, 137, 89);
  port->setItemIndex(m_capture.capturePort());
  m_port = port;

  auto* state = new SunkenPanel(QStringLiteral("STOP"), this);
  state->setObjectName(QStringLiteral("PanelWaveStat"));
  state->setFont(MakeFont(QString::fromLatin1(kFontMeiryoUi), 27));
  state->setGeometry(right, 306, 137, 49);
  m_state = state;

  // The logic holds the values; the controls show them and report what the user changes.
  // A control set from here signals back with the value the logic already has, which does
  // nothing.
  m_capture.setView(
      {[this](const std::string& text) { m_triggerText->setText(QString::fromStdString(text)); },
       [this](int position) { m_track->setValue(position); }});
  // What a person types comes first (textEdited is emitted before textChanged) and is never
  // rewritten under the caret; a text set by the program runs the handlers as it always did.
  connect(m_triggerText, &QLineEdit::textEdited, this,
          [this](const QString& text) { m_capture.typeTriggerText(text.toStdString()); });
  connect(m_triggerText, &QLineEdit::editingFinished, this,
          [this] { m_capture.finishTriggerEditing(); });
  connect(m_triggerText, &QLineEdit::textChanged, this,
          [this](const QString& text) { m_capture.setTriggerText(text.toStdString()); });
  connect(m_track, &QSlider::valueChanged, this,
          [this](int position) { m_capture.setTrackPosition(position); });
  connect(m_port, &RadioGroup::itemIndexChanged, this,
          [this](int index) { m_capture.setCapturePort(index); });

  // Additions, in the free corner under the capture state and over the chart.
  m_timeAxis = time;
  m_voltAxis = volts;
  m_overlay = new WaveOverlay(chart, m_canphy);
  updateTriggerLine();
  connect(m_triggerText, &QLineEdit::textChanged, this, [this] { updateTriggerLine(); });

  m_waiting = new QLabel(this);
  m_waiting->setObjectName(QStringLiteral("LabWaveWaiting"));
  m_waiting->setGeometry(right, 357, 137, 28);
  m_waiting->setWordWrap(true);
  m_waiting->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QFont small = m_waiting->font();
  small.setPixelSize(11);
  m_waiting->setFont(small);
  m_waiting->setStyleSheet(QStringLiteral("color: #a02020"));
  m_waitTimer = new QTimer(this);
  m_waitTimer->setObjectName(QStringLiteral("WaveWaitTimer"));
  m_waitTimer->setSingleShot(true);
  m_waitTimer->setInterval(static_cast<int>(TriggerWatch::kPatience.count()));
  connect(m_waitTimer, &QTimer::timeout, this, &WavePage::showWaiting);

  auto* analysis = new QPushButton(QStringLiteral("Analysis..."), this);
  analysis->setObjectName(QStringLiteral("BtnWaveAnalysis"));
  analysis->setGeometry(right, 387, 67, 23);
  analysis->setFont(small);
  analysis->setToolTip(QStringLiteral("Levels, edges, bit time and verdicts of the latest trace"));
  connect(analysis, &QPushButton::clicked, this, &WavePage::showMeasurements);
  auto* exportButton = new QPushButton(QStringLiteral("Export..."), this);
  exportButton->setObjectName(QStringLiteral("BtnWaveExport"));
  exportButton->setGeometry(right + 70, 387, 67, 23);
  exportButton->setFont(small);
  auto* exportMenu = new QMenu(exportButton);
  exportMenu->setObjectName(QStringLiteral("WaveExportMenu"));
  exportMenu->addAction(QStringLiteral("Trace as CSV (time, volts)..."), this,
                        [this] { exportCsv(); });
  exportMenu->addAction(QStringLiteral("Chart as PNG..."), this, [this] { exportPng(); });
  exportButton->setMenu(exportMenu);

  // Zoom and pan on the chart; a menu for the same and the rest.
  m_chart->viewport()->installEventFilter(this);
  m_chart->setToolTip(
      QStringLiteral("Wheel: zoom the time, Shift+wheel: the volts, drag: pan, "
                     "double-click: the full view"));
  m_chart->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_chart, &QWidget::customContextMenuRequested, this, [this, exportMenu](QPoint at) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Full view"), this, &WavePage::resetZoom);
    const QPointF centre = m_chart->viewport()->rect().center();
    menu.addAction(QStringLiteral("Zoom in"), this, [this, centre] { zoomAt(centre, 0.5, false); });
    menu.addAction(QStringLiteral("Zoom out"), this, [this, centre] { zoomAt(centre, 2, false); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Analysis..."), this, &WavePage::showMeasurements);
    menu.addActions(exportMenu->actions());
    menu.exec(m_chart->viewport()->mapToGlobal(at));
  });

  m_chooseFile = [this](const QString& caption, const QString& suggested, const QString& filter) {
    return QFileDialog::getSaveFileName(this, caption, suggested, filter);
  };
}

void WavePage::setTriggerPatience(int ms) { m_waitTimer->setInterval(ms); }

void WavePage::armed(bool continuous) {
  // Only when the capture was asked for: a trigger text that is not a number sends nothing.
  const std::optional<double> level = SentTriggerVolts(m_capture.triggerText());
  if (!level) return;
  m_watch.Armed(continuous, static_cast<CapturePort>(m_capture.capturePort()), *level);
  m_waiting->clear();
  m_waitTimer->start();
}

void WavePage::showWaiting() {
  if (m_watch.Expecting()) m_waiting->setText(QString::fromStdString(m_watch.WaitingText()));
}

void WavePage::updateTriggerLine() {
  m_overlay->setTriggerLevel(SentTriggerVolts(m_capture.triggerText()));
}

WaveMeasurementsWindow* WavePage::measurementsWindow() {
  if (!m_measurements) {
    m_measurements = new WaveMeasurementsWindow(this);
    if (!m_trace.volts.empty()) m_measurements->showAnalysis(ReportRows(m_trace, m_analysis));
  }
  return m_measurements;
}

void WavePage::showMeasurements() {
  WaveMeasurementsWindow* w = measurementsWindow();
  w->show();
  w->raise();
}

bool WavePage::saveFile(const QString& caption, const QString& suggested, const QString& filter,
                        const std::function<bool(const QString&)>& write) {
  if (m_trace.volts.empty()) {
    m_boxes.Show("No trace to export yet: take one with Single or Continue.", "Velqor",
                 MessageBoxes::Icon::Information);
    return false;
  }
  const QString path = m_chooseFile(caption, suggested, filter);
  if (path.isEmpty()) return false;
  return write(path);
}

bool WavePage::exportCsv() {
  return saveFile(
      QStringLiteral("Export the trace"), QStringLiteral("wave.csv"),
      QStringLiteral("CSV files (*.csv)"), [this](const QString& path) {
        QSaveFile file(path);
        const std::string csv = CaptureCsv(m_trace);
        if (file.open(QIODevice::WriteOnly) &&
            file.write(csv.data(), static_cast<qint64>(csv.size())) ==
                static_cast<qint64>(csv.size()) &&
            file.commit()) {
          return true;
        }
        m_boxes.Show("Cannot write " + path.toStdString() + ": " + file.errorString().toStdString(),
                     "Velqor", MessageBoxes::Icon::Error);
        return false;
      });
}

bool WavePage::exportPng() {
  return saveFile(QStringLiteral("Export the chart"), QStringLiteral("wave.png"),
                  QStringLiteral("PNG images (*.png)"), [this](const QString& path) {
                    if (m_chart->grab().save(path, "PNG")) return true;
                    m_boxes.Show("Cannot write " + path.toStdString(), "Velqor",
                                 MessageBoxes::Icon::Error);
                    return false;
                  });
}

void WavePage::resetZoom() {
  m_timeAxis->setRange(kFullTime.min, kFullTime.max);
  m_timeAxis->setTickInterval(kFullTimeTick);
  m_voltAxis->setRange(kFullVolts.min, kFullVolts.max);
  m_voltAxis->setTickInterval(kFullVoltTick);
}

QPointF WavePage::valueAt(const QPointF& viewPos) const {
  QChart* chart = m_chart->chart();
  return chart->mapToValue(chart->mapFromScene(m_chart->mapToScene(viewPos.toPoint())), m_canphy);
}

void WavePage::zoomAt(const QPointF& viewPos, double factor, bool volts) {
  const QPointF value = valueAt(viewPos);
  if (volts) {
    const AxisRange r = Zoomed({m_voltAxis->min(), m_voltAxis->max()}, value.y(), factor, 0.05, 20);
    m_voltAxis->setRange(r.min, r.max);
    m_voltAxis->setTickInterval(NiceTickInterval(r, 10));
  } else {
    const AxisRange r =
        Zoomed({m_timeAxis->min(), m_timeAxis->max()}, value.x(), factor, 0.5, 2000);
    m_timeAxis->setRange(r.min, r.max);
    m_timeAxis->setTickInterval(NiceTickInterval(r, 11));
  }
}

bool WavePage::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_chart->viewport()) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Wheel: {
      auto* wheel = static_cast<QWheelEvent*>(event);
      const int steps = wheel->angleDelta().y();
      if (steps == 0) return false;
      zoomAt(wheel->position(), steps > 0 ? kWheelZoom : 1 / kWheelZoom,
             (wheel->modifiers() & Qt::ShiftModifier) != 0);
      return true;
    }
    case QEvent::MouseButtonDblClick:
      resetZoom();
      return true;
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return false;
      m_dragFrom = mouse->position();
      return true;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (!m_dragFrom || !(mouse->buttons() & Qt::LeftButton)) return false;
      const QPointF from = valueAt(*m_dragFrom);
      const QPointF to = valueAt(mouse->position());
      const AxisRange t = Panned({m_timeAxis->min(), m_timeAxis->max()}, from.x() - to.x());
      const AxisRange v = Panned({m_voltAxis->min(), m_voltAxis->max()}, from.y() - to.y());
      m_timeAxis->setRange(t.min, t.max);
      m_voltAxis->setRange(v.min, v.max);
      m_dragFrom = mouse->position();
      return true;
    }
    case QEvent::MouseButtonRelease:
      m_dragFrom.reset();
      return false;
    default:
      return false;
  }
}

void WavePage::SetWaveState(const QString& text) { m_state->setText(text); }

void WavePage::loadSettings(float triggerLevel, int capturePort) {
  m_capture.loadTriggerLevel(triggerLevel);
  m_port->setItemIndex(capturePort);
}

int WavePage::capturePort() const { return m_port->itemIndex(); }

void WavePage::PlotWave(std::uint16_t interval, const std::array<float, kSamples>& samples) {
  QList<QPointF> points;
  points.reserve(kSamples);
  for (const WavePoint& p : PlotWavePoints(interval, samples)) {
    points.append(QPointF(static_cast<double>(p.x), p.y));
  }
  m_canphy->replace(points);  // one repaint for the whole trace

  // Decoded at the bit timing the Config page selects, for the port the capture was asked on.
  const CapturePort port =
      m_watch.Expecting() ? m_watch.Port() : static_cast<CapturePort>(m_capture.capturePort());
  m_trace = TraceFromCounts(samples, interval, port);
  m_analysis = AnalyseCapture(m_trace, m_bitTiming ? m_bitTiming() : BitTimingChoice{});
  m_overlay->setDecoding(m_analysis.decoding);
  if (m_measurements) m_measurements->showAnalysis(ReportRows(m_trace, m_analysis));
  m_watch.TraceArrived();
  m_waiting->clear();
  if (m_watch.Expecting()) {
    m_waitTimer->start();
  } else {
    m_waitTimer->stop();
  }
}

}  // namespace velqor
