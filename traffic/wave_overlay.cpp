#include "traffic/wave_overlay.h"

#include <QChart>
#include <QFontMetrics>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

#include "wave/capture_report.h"

namespace velqor {

namespace {

constexpr int kBandHeight = 16;
constexpr int kBandGap = 3;  // between the band and the bottom of the plot area
constexpr int kMarkSize = 5;

QColor FieldColour(const std::string& name) {
  if (name == "ID" || name == "EID") return QColor(0xC8, 0xDC, 0xFF);
  if (name.size() == 2 && name[0] == 'D' && name != "D") return QColor(0xD2, 0xF0, 0xC8);
  if (name == "CRC") return QColor(0xFF, 0xE6, 0xB4);
  if (name == "DLC") return QColor(0xE6, 0xD2, 0xFF);
  return QColor(0xE8, 0xE8, 0xE8);
}

// What a band says, the longest that fits first.
QStringList BandTexts(const FrameField& f, const BitDecoding& d) {
  const QString name = QString::fromStdString(f.name);
  const QString value = QString::fromStdString(FieldValueText(f));
  if (f.name == "ID" || f.name == "EID" || f.name == "DLC") {
    return {name + QLatin1Char(' ') + value, value};
  }
  if (f.name == "CRC") {
    const QString verdict = d.crcOk.value_or(false) ? QLatin1Char(' ') + WaveOverlay::tr("ok")
                                                    : QLatin1Char(' ') + WaveOverlay::tr("wrong");
    return {name + QLatin1Char(' ') + value + verdict, value + verdict, value};
  }
  if (f.name.size() == 2 && f.name[0] == 'D') return {name + QLatin1Char(' ') + value, value};
  if (f.name == "ACK")
    return {d.acknowledged.value_or(false) ? WaveOverlay::tr("ACK") : WaveOverlay::tr("no ACK"),
            QStringLiteral("A")};
  if (f.name == "CRC delimiter" || f.name == "ACK delimiter") return {QStringLiteral("d")};
  return {name, name.left(1)};
}

}  // namespace

WaveOverlay::WaveOverlay(QChart* chart, QLineSeries* series)
    : QGraphicsObject(chart), m_chart(chart), m_series(series) {
  setObjectName(QStringLiteral("WaveOverlay"));
  setZValue(10);  // over the series
  setAcceptedMouseButtons(Qt::NoButton);
  auto follow = [this] {
    prepareGeometryChange();
    update();
  };
  connect(chart, &QChart::plotAreaChanged, this, follow);
  for (QAbstractAxis* axis : chart->axes()) {
    if (auto* value = qobject_cast<QValueAxis*>(axis)) {
      connect(value, &QValueAxis::rangeChanged, this, follow);
    }
  }
}

void WaveOverlay::setTriggerLevel(std::optional<double> volts) {
  if (volts == m_trigger) return;
  m_trigger = volts;
  update();
}

void WaveOverlay::setDecoding(const BitDecoding& decoding) {
  m_decoding = decoding;
  update();
}

void WaveOverlay::clearDecoding() { setDecoding(BitDecoding{}); }

QRectF WaveOverlay::boundingRect() const { return m_chart->plotArea(); }

QPointF WaveOverlay::at(double timeNs, double volts) const {
  return m_chart->mapToPosition(QPointF(timeNs / 1000, volts), m_series);
}

void WaveOverlay::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
  const QRectF area = m_chart->plotArea();
  painter->save();
  painter->setClipRect(area);
  painter->setRenderHint(QPainter::Antialiasing, false);
  QFont font = painter->font();
  font.setPixelSize(10);
  painter->setFont(font);
  const QFontMetrics metrics(font);

  if (m_trigger) {
    const double y = at(0, *m_trigger).y();
    painter->setPen(QPen(QColor(0xC0, 0x30, 0x30), 1, Qt::DashLine));
    painter->drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    const QString label = tr("trigger %1 V").arg(*m_trigger, 0, 'f', 1);
    // Above the line, or below it where the plot area ends above.
    const double top = y - metrics.height() - 2 >= area.top() ? y - metrics.height() - 2 : y + 2;
    const QRectF box(area.right() - metrics.horizontalAdvance(label) - 6, top,
                     metrics.horizontalAdvance(label) + 4, metrics.height());
    painter->fillRect(box, QColor(255, 255, 255, 200));
    painter->drawText(box, Qt::AlignCenter, label);
  }

  const QRectF band(area.left(), area.bottom() - kBandGap - kBandHeight, area.width(), kBandHeight);
  for (const FrameField& f : m_decoding.fields) {
    const double x0 = at(f.startNs, 0).x();
    const double x1 = at(f.endNs, 0).x();
    if (x1 < area.left() || x0 > area.right()) continue;
    const QRectF r(QPointF(x0, band.top()), QPointF(x1, band.bottom()));
    painter->setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    painter->setBrush(FieldColour(f.name));
    painter->drawRect(r);
    painter->setPen(Qt::black);
    for (const QString& text : BandTexts(f, m_decoding)) {
      if (metrics.horizontalAdvance(text) + 2 <= r.width()) {
        painter->drawText(r, Qt::AlignCenter, text);
        break;
      }
    }
  }

  // Stuff bits above the band: a small triangle over the bit, red for a stuff error.
  auto mark = [&](std::size_t index, const QColor& colour) {
    if (index >= m_decoding.bits.size()) return;
    const DecodedBit& b = m_decoding.bits[index];
    const double x = at(b.startNs + m_decoding.bitTimeNs / 2, 0).x();
    const double y = band.top() - 2;
    const QPointF tip[] = {
        {x, y}, {x - kMarkSize, y - kMarkSize - 2}, {x + kMarkSize, y - kMarkSize - 2}};
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawPolygon(tip, 3);
  };
  for (const std::size_t i : m_decoding.stuffBits) mark(i, QColor(0xE0, 0x80, 0x00));
  for (const std::size_t i : m_decoding.stuffErrors) {
    mark(i, QColor(0xD0, 0x00, 0x00));
    const DecodedBit& b = m_decoding.bits[i];
    painter->setPen(QColor(0xD0, 0x00, 0x00));
    painter->drawText(QPointF(at(b.startNs, 0).x() + kMarkSize + 2, band.top() - 4),
                      tr("stuff error"));
  }
  if (!m_decoding.formError.empty()) {
    painter->setPen(QColor(0xD0, 0x00, 0x00));
    painter->drawText(band.adjusted(4, -kBandHeight - 4, 0, -kBandHeight - 4),
                      Qt::AlignRight | Qt::AlignVCenter,
                      tr("form error: %1").arg(QString::fromStdString(m_decoding.formError)));
  }
  painter->restore();
}

}  // namespace velqor
