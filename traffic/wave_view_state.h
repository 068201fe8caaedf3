#pragma once
// What the Wave page adds around its specified controls, as plain logic the tests drive
// without a window: whether a capture the page asked for is overdue ("waiting for trigger"),
// the level the adapter's trigger stands at, and the chart's zoom and pan.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "wave/bit_decoder.h"

namespace velqor {

// A capture the page asked for ("Single", "Continue") that has not come within kPatience says
// so: the page shows WaitingText() beside its capture state, which stays as the adapter
// reports it.
class TriggerWatch {
 public:
  static constexpr std::chrono::milliseconds kPatience{2000};

  // "Single" (continuous false) or "Continue" went out with this port and level.
  void Armed(bool continuous, CapturePort port, double levelVolts);
  // A trace came: a single capture is done, a continuous one waits for the next.
  void TraceArrived();
  void Stopped();

  // Whether a trace is expected; the page starts its kPatience timer when this turns true and
  // again after every trace of a continuous capture.
  bool Expecting() const { return m_expecting; }
  bool Continuous() const { return m_continuous; }
  CapturePort Port() const { return m_port; }
  // "waiting for trigger: 2.5 V on Differential".
  std::string WaitingText() const;

 private:
  bool m_expecting = false;
  bool m_continuous = false;
  CapturePort m_port = CapturePort::Differential;
  double m_level = 0;
};

// The level the adapter's trigger gets from the trigger text: the text's value x 10, truncated,
// low 8 bits, in volts (what SetTrigger carries). Nothing for a text that is not a number.
std::optional<double> SentTriggerVolts(std::string_view triggerText);

// One axis' visible range.
struct AxisRange {
  double min = 0;
  double max = 0;
  bool operator==(const AxisRange&) const = default;
};

// Zoom by `factor` (below 1: in) about `at`, which keeps its place on the axis; the span stays
// within [minSpan, maxSpan].
AxisRange Zoomed(AxisRange r, double at, double factor, double minSpan, double maxSpan);
// Moved by `delta` axis units.
AxisRange Panned(AxisRange r, double delta);
// A tick interval of 1, 2 or 5 x 10^n giving about `ticks` intervals over the range.
double NiceTickInterval(AxisRange r, int ticks);

}  // namespace velqor
