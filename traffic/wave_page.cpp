#include "traffic/wave_page.h"

#include <QChart>
#include <QChartView>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QList>
#include <QPointF>
#include <QPushButton>
#include <QSlider>
#include <QValueAxis>

#include "widgets/fonts.h"
#include "widgets/key_filter.h"
#include "widgets/radio_group.h"
#include "widgets/sunken_panel.h"

namespace velqor {

WavePage::WavePage(DeviceSender& sender, MessageBoxes& boxes, float* triggerLevel, QWidget* parent)
    : QWidget(parent), m_capture(sender, boxes, triggerLevel) {
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
  connect(addButton("BtnSingle", "Single", 12), &QPushButton::clicked, this,
          [this] { m_capture.BtnSingleClick(); });
  connect(addButton("BtnContinue", "Continue", 44), &QPushButton::clicked, this,
          [this] { m_capture.BtnContinueClick(); });
  connect(addButton("BtnStop", "Stop", 76), &QPushButton::clicked, this,
          [this] { m_capture.BtnStopClick(); });

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
  connect(m_triggerText, &QLineEdit::textChanged, this,
          [this](const QString& text) { m_capture.setTriggerText(text.toStdString()); });
  connect(m_track, &QSlider::valueChanged, this,
          [this](int position) { m_capture.setTrackPosition(position); });
  connect(m_port, &RadioGroup::itemIndexChanged, this,
          [this](int index) { m_capture.setCapturePort(index); });
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
}

}  // namespace velqor
