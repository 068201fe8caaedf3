#include "traffic/wave_view_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "link/protocol.h"
#include "traffic/wave_capture.h"

namespace velqor {

void TriggerWatch::Armed(bool continuous, CapturePort port, double levelVolts) {
  m_expecting = true;
  m_continuous = continuous;
  m_port = port;
  m_level = levelVolts;
}

void TriggerWatch::TraceArrived() {
  if (!m_continuous) m_expecting = false;
}

void TriggerWatch::Stopped() { m_expecting = false; }

std::string TriggerWatch::WaitingText() const {
  char text[96];
  std::snprintf(text, sizeof text, "waiting for trigger: %.1f V on %s", m_level,
                CapturePortName(m_port));
  return text;
}

std::optional<double> SentTriggerVolts(std::string_view triggerText) {
  const std::optional<long double> value = ParseFloatText(triggerText);
  if (!value) return std::nullopt;
  return TriggerLevelByte(*value) / 10.0;
}

AxisRange Zoomed(AxisRange r, double at, double factor, double minSpan, double maxSpan) {
  const double span = r.max - r.min;
  if (!(span > 0) || !(factor > 0)) return r;
  const double wanted = std::clamp(span * factor, minSpan, maxSpan);
  const double f = wanted / span;
  return {at - (at - r.min) * f, at + (r.max - at) * f};
}

AxisRange Panned(AxisRange r, double delta) { return {r.min + delta, r.max + delta}; }

double NiceTickInterval(AxisRange r, int ticks) {
  const double raw = (r.max - r.min) / std::max(1, ticks);
  if (!(raw > 0)) return 1;
  const double decade = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double step : {1.0, 2.0, 5.0}) {
    if (raw <= step * decade * 1.0000001) return step * decade;
  }
  return 10 * decade;
}

}  // namespace velqor
