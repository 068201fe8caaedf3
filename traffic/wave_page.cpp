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
#include "widgets/radio_group.h"
#include "widgets/sunken_panel.h"

namespace velqor {

WavePage::WavePage(QWidget* parent) : QWidget(parent) {
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
  };
  addButton("BtnSingle", "Single", 12);
  addButton("BtnContinue", "Continue", 44);
  addButton("BtnStop", "Stop", 76);

  auto* trigger = new QGroupBox(QStringLiteral("Trigger Level"), this);
  trigger->setObjectName(QStringLiteral("GroupBox2"));
  trigger->setGeometry(right, 112, 137, 85);
  auto* level = new QLineEdit(QStringLiteral("2.5"), trigger);
  level->setObjectName(QStringLiteral("EditTriggerlv"));
  level->setGeometry(10, 22, 65, 21);
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

  auto* port = new RadioGroup(
      QStringLiteral("Capture Port"),
      {QStringLiteral("CAN_L"), QStringLiteral("CAN_H"), QStringLiteral("Differential")}, 1,
      this);
  port->setObjectName(QStringLiteral("RadioCapPort"));
  port->setGeometry(right, 206, 137, 89);
  port->setItemIndex(2);

  auto* state = new SunkenPanel(QStringLiteral("STOP"), this);
  state->setObjectName(QStringLiteral("PanelWaveStat"));
  state->setFont(MakeFont(QString::fromLatin1(kFontMeiryoUi), 27));
  state->setGeometry(right, 306, 137, 49);
}

void WavePage::PlotWave(std::uint16_t interval, const std::array<float, kSamples>& samples) {
  const float step = static_cast<float>(interval * 0.001);
  QList<QPointF> points;
  points.reserve(kSamples);
  float x = 0.0f;
  for (int i = 0; i < kSamples; ++i) {
    points.append(QPointF(x, static_cast<double>(samples[static_cast<std::size_t>(i)] * 0.01953125f)));
    x += step;
  }
  m_canphy->replace(points);  // one repaint for the whole trace
}

}  // namespace velqor
