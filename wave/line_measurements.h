#pragma once
// Physical-layer measurements of one captured waveform, on top of its bit decoding: the
// recessive and dominant levels, the differential amplitude, the edges' 10-90 % times, the
// bit time, the noise, and verdicts against ISO 11898-2.
//
// Edges. 200 samples at the adapter's interval hold only one or two samples inside any edge.
// But the sample clock is not the sender's, so each edge of a frame is caught at another
// phase: laid over each other on the fitted bit grid (equivalent-time sampling), the samples
// inside the edges of one direction trace the edge's shape. Each edge is taken to settle
// exponentially; its time constant comes from a weighted straight-line fit of
// ln(1 - progress) over the time since the edge (the bit time is refined on the way, as the
// one that lines the edges up best), and the 10-90 % time is the time constant x ln 9. With
// fewer than three samples inside the edges of a direction, that direction is not measured.
//
// Levels and noise are taken on flat stretches: samples at least five time constants (or a
// third of a bit while those are not known) after an edge and before the next one.
//
// Verdicts (ISO 11898-2, bus levels):
// - Differential port (volts - 2.5 V is CAN_H - CAN_L): dominant 1.5 ... 3.0 V, recessive
//   -0.5 ... 0.05 V. CAN_H: dominant 2.75 ... 4.5 V, recessive 2.0 ... 3.0 V. CAN_L: dominant
//   0.5 ... 2.25 V, recessive 2.0 ... 3.0 V. A level the converter clipped cannot be judged
//   beyond its full scale.
// - Edges slow for the bit rate: a 10-90 % time above a fifth of the nominal bit.
// - Termination: the return to recessive is the bus discharging through its termination; a
//   release more than twice as slow as the driven edge suggests a missing terminator.
// - Bit time more than 1 % off the selected bit rate.
// - The frame: stuff errors, form errors, a CRC that does not match, no acknowledgement.

#include <optional>
#include <string>
#include <vector>

#include "wave/bit_decoder.h"

namespace velqor {

struct LevelStats {
  double mean = 0;
  double min = 0;
  double max = 0;
  int samples = 0;       // 0: no flat stretch of this level in the window
  bool clipped = false;  // some of them at the converter's full scale (or at 0)
};

struct EdgeShape {
  int points = 0;  // samples inside the edges, in the fit
  std::optional<double> timeConstantNs;
  std::optional<double> tenToNinetyNs;  // time constant x ln 9
};

struct Verdict {
  enum class Result { Pass, Warn, Fail, Unknown };
  std::string check;  // "dominant_level", "recessive_level", "edges", "termination", ...
  Result result = Result::Unknown;
  std::string text;  // what was measured against what, for a person
};
const char* VerdictResultName(Verdict::Result result);  // "pass", "warn", "fail", "unknown"

struct LineMeasurements {
  LevelStats recessive;
  LevelStats dominant;
  double amplitudeVolts = 0;    // |dominant - recessive| of the means
  double noiseRmsVolts = 0;     // about each level's mean, on flat stretches
  EdgeShape toDominant;         // the driven edge ("rise" of the differential voltage)
  EdgeShape toRecessive;        // the release ("fall")
  double bitTimeNs = 0;         // refined where the edges allow; 0 when unknown
  double deviationPercent = 0;  // from the selected bit rate
  std::vector<Verdict> verdicts;
};

LineMeasurements MeasureLine(const CaptureTrace& trace, const BitDecoding& decoding);

// Both at once: what the page and velqor-cli show.
struct CaptureAnalysis {
  BitDecoding decoding;
  LineMeasurements line;
};
CaptureAnalysis AnalyseCapture(const CaptureTrace& trace, const BitTimingChoice& timing);

}  // namespace velqor
