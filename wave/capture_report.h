#pragma once
// A captured waveform and its analysis as text: the CSV export (time and volts), the labels of
// the decoded fields, and the measurements as label/value rows that the Wave page's
// measurements window and velqor-cli show alike.

#include <string>
#include <vector>

#include "wave/line_measurements.h"

namespace velqor {

// "time_us,volts" and one row per sample: time = i x interval in microseconds (three
// decimals), volts with four decimals. Lines end in "\n".
std::string CaptureCsv(const CaptureTrace& trace);

// A field's value as its band shows it: identifiers, data bytes, DLC and CRC in hexadecimal
// ("0C0", "18DA10F1", "3F", "8", "1A2B"), single bits as 0 or 1, EOF as its bits.
std::string FieldValueText(const FrameField& field);

struct ReportRow {
  std::string label;
  std::string value;
};

// The frame and the line, a row each: frame, bit time, levels, amplitude, edges, noise, then
// one row per verdict (label "pass", "warn", "fail" or "?").
std::vector<ReportRow> ReportRows(const CaptureTrace& trace, const CaptureAnalysis& analysis);

}  // namespace velqor
