#pragma once
// `velqor-cli wave`: one waveform capture through the commands the Wave page sends (SetTrigger,
// then SetCaptureMode single), its samples and its analysis: the bits and fields of the frame
// the window holds, the line levels, edges and verdicts.

#include <iosfwd>
#include <string>
#include <vector>

#include "wave/line_measurements.h"

namespace velqor::cli {

extern const char kWaveUsage[];

// Exit status: 0 captured, 1 the output could not be written, 2 bad arguments or an adapter
// that cannot be found or opened, 5 nothing triggered within the time-out.
int RunWave(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// What a capture was taken with, for the output.
struct WaveSetup {
  CapturePort port = CapturePort::Differential;
  double levelVolts = 2.5;
  BitTimingChoice timing;
};

// The capture as one JSON object: {"port", "level_v", "bit_rate", "sample_point",
// "interval_ns", "samples" (counts of 5/256 V), "analysis": {"bit_time_ns", "bits", "fields":
// [{"name", "start_ns", "end_ns", "value"}], "id", "ide", "dlc", "data", "crc_ok",
// "stuff_errors", "levels", "rise_ns", "fall_ns", "verdicts", ...}}; what the window did not
// hold is left out.
std::string WaveJson(const WaveSetup& setup, const std::vector<float>& counts,
                     const CaptureTrace& trace, const CaptureAnalysis& analysis);

}  // namespace velqor::cli
