#pragma once
// Drawn over the Wave page's chart, on the chart's own time and volt axes: the trigger level
// as a dashed line, the decoded frame's fields as labelled bands along the bottom of the plot
// area (identifier and data in hexadecimal), stuff bits marked above the bands and a stuff
// error in red. It is an item of the chart's scene, not a series: the chart's one series stays
// `canphy`.

#include <QGraphicsObject>
#include <optional>

#include "wave/bit_decoder.h"

class QChart;
class QLineSeries;

namespace velqor {

class WaveOverlay : public QGraphicsObject {
  Q_OBJECT

 public:
  // Draws in `chart`'s plot area, mapping through `series`' axes.
  WaveOverlay(QChart* chart, QLineSeries* series);

  void setTriggerLevel(std::optional<double> volts);
  void setDecoding(const BitDecoding& decoding);
  void clearDecoding();

  std::optional<double> triggerLevel() const { return m_trigger; }
  const BitDecoding& decoding() const { return m_decoding; }

  QRectF boundingRect() const override;
  void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

 private:
  QPointF at(double timeNs, double volts) const;

  QChart* m_chart;
  QLineSeries* m_series;
  std::optional<double> m_trigger;
  BitDecoding m_decoding;
};

}  // namespace velqor
