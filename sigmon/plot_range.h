#pragma once
// What stretch of time and values the plot shows. Live, the time range ends at the newest
// value and keeps its span; paused (by the user, or by zooming into a chosen stretch), it
// stays where it is while values keep coming. The value range fits what is drawn.

#include <span>
#include <utility>

#include "sigmon/signal_series.h"

namespace velqor {

class PlotTimeRange {
 public:
  static constexpr double kDefaultSpan = 60;  // seconds
  static constexpr double kMinSpan = 0.001;   // a millisecond across the plot
  static constexpr double kMaxSpan = 1e7;     // about four months

  bool live() const { return m_live; }
  double t0() const { return m_t0; }
  double t1() const { return m_t1; }
  double span() const { return m_t1 - m_t0; }

  // Live: the range ends at `latest` (and starts at 0 until a whole span has passed).
  void follow(double latest);
  void pause() { m_live = false; }
  // Live again with the span shown now.
  void resume() { m_live = true; }
  // Back to live with the default span.
  void reset();
  // Shows `factor` times the span (below 1 zooms in). Live, the range keeps ending at the
  // newest value; paused, the instant `about` stays where it is on the plot.
  void zoom(double factor, double about);
  // A stretch the user chose (dragged across the plot): shown, paused.
  void setRange(double t0, double t1);
  // Paused: the range moves by `dt` seconds.
  void pan(double dt);

 private:
  bool m_live = true;
  double m_t0 = 0;
  double m_t1 = kDefaultSpan;
  double m_latest = 0;
};

// The value range for the points drawn: their lowest and highest with 5 % room above and
// below; a flat line gets room of its own. {0, 1} without points.
std::pair<double, double> valueRange(std::span<const std::vector<PlotPoint>> drawn);

}  // namespace velqor
