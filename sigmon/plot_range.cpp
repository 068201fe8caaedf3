#include "sigmon/plot_range.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velqor {

void PlotTimeRange::follow(double latest) {
  m_latest = latest;
  if (!m_live) return;
  const double span = this->span();
  m_t1 = std::max(latest, span);
  m_t0 = m_t1 - span;
}

void PlotTimeRange::reset() {
  m_live = true;
  m_t0 = 0;
  m_t1 = kDefaultSpan;
  follow(m_latest);
}

void PlotTimeRange::zoom(double factor, double about) {
  if (!(factor > 0)) return;
  const double span = std::clamp(this->span() * factor, kMinSpan, kMaxSpan);
  if (m_live) {
    m_t0 = m_t1 - span;
    follow(m_latest);
    return;
  }
  const double where = span == 0 ? 0.5 : (about - m_t0) / this->span();
  const double f = std::isfinite(where) ? std::clamp(where, 0.0, 1.0) : 0.5;
  m_t0 = about - f * span;
  m_t1 = m_t0 + span;
}

void PlotTimeRange::setRange(double t0, double t1) {
  if (!(t1 > t0)) return;
  const double span = std::clamp(t1 - t0, kMinSpan, kMaxSpan);
  const double middle = (t0 + t1) / 2;
  m_t0 = middle - span / 2;
  m_t1 = middle + span / 2;
  m_live = false;
}

void PlotTimeRange::pan(double dt) {
  if (m_live || !std::isfinite(dt)) return;
  m_t0 += dt;
  m_t1 += dt;
}

std::pair<double, double> valueRange(std::span<const std::vector<PlotPoint>> drawn) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  for (const std::vector<PlotPoint>& points : drawn) {
    for (const PlotPoint& p : points) {
      if (!std::isfinite(p.v)) continue;
      lo = std::min(lo, p.v);
      hi = std::max(hi, p.v);
    }
  }
  if (lo > hi) return {0, 1};
  if (lo == hi) {
    const double room = lo == 0 ? 1 : std::fabs(lo) * 0.05;
    return {lo - room, hi + room};
  }
  const double room = (hi - lo) * 0.05;
  return {lo - room, hi + room};
}

}  // namespace velqor
