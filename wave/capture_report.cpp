#include "wave/capture_report.h"

#include <cstdio>

namespace velqor {

namespace {

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[128];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string LevelText(const LevelStats& s) {
  if (s.samples == 0) return "no flat stretch";
  std::string text = Format("%.3f V (%.3f ... %.3f)", s.mean, s.min, s.max);
  if (s.clipped) text += ", clipped";
  return text;
}

std::string EdgeText(const EdgeShape& e) {
  if (!e.tenToNinetyNs) return "not measured (too few samples inside the edges)";
  return Format("%.0f ns (time constant %.0f ns, %.0f samples)", *e.tenToNinetyNs,
                *e.timeConstantNs, e.points);
}

}  // namespace

std::string CaptureCsv(const CaptureTrace& trace) {
  std::string csv = "time_us,volts\n";
  char line[64];
  for (std::size_t i = 0; i < trace.volts.size(); ++i) {
    std::snprintf(line, sizeof line, "%.3f,%.4f\n", trace.TimeOf(i) / 1000, trace.volts[i]);
    csv += line;
  }
  return csv;
}

std::string FieldValueText(const FrameField& field) {
  if (field.name == "ID") return Hex(field.value, 3);
  if (field.name == "EID") return Hex(field.value, 5);
  if (field.name == "CRC") return Hex(field.value, 4);
  if (field.name == "DLC") return Hex(field.value, 1);
  if (field.name.size() == 2 && field.name[0] == 'D') return Hex(field.value, 2);
  std::string bits;
  for (int i = field.width - 1; i >= 0; --i) bits.push_back((field.value >> i) & 1u ? '1' : '0');
  return bits;
}

std::vector<ReportRow> ReportRows(const CaptureTrace& trace, const CaptureAnalysis& a) {
  const BitDecoding& d = a.decoding;
  const LineMeasurements& m = a.line;
  std::vector<ReportRow> rows;

  std::string frame;
  if (!d.startOfFrame) {
    frame = "no start of frame in the window";
  } else if (!d.id) {
    frame = "start of frame; the window ends before the identifier";
  } else {
    frame = "ID " + (d.extended.value_or(false) ? Hex(*d.id, 8) + " (extended)" : Hex(*d.id, 3));
    if (d.remote.value_or(false)) frame += " remote";
    if (d.dlc) frame += ", DLC " + std::to_string(*d.dlc);
    if (!d.data.empty()) {
      frame += ", data";
      for (const std::uint8_t b : d.data) frame += " " + Hex(b, 2);
    }
    if (d.crcOk) {
      frame += *d.crcOk ? ", CRC ok" : ", CRC wrong";
    } else if (d.stuffErrors.empty() && d.formError.empty()) {
      frame += ", the window ends before the CRC";
    }
  }
  rows.push_back({"frame", frame});
  rows.push_back({"capture", Format("%.0f samples, %.0f ns apart", double(trace.volts.size()),
                                    trace.intervalNs) +
                                 ", " + CapturePortName(trace.port)});
  if (m.bitTimeNs > 0) {
    rows.push_back({"bit time", Format("%.1f ns (%+.2f %% from the selected %.0f ns)", m.bitTimeNs,
                                       m.deviationPercent, d.nominalBitNs)});
  }
  rows.push_back(
      {"stuff bits",
       std::to_string(d.stuffBits.size()) +
           (d.stuffErrors.empty() ? std::string()
                                  : ", stuff error at bit " + std::to_string(d.stuffErrors[0]))});
  rows.push_back({"recessive", LevelText(m.recessive)});
  rows.push_back({"dominant", LevelText(m.dominant)});
  rows.push_back({"amplitude", Format("%.3f V", m.amplitudeVolts)});
  rows.push_back({"rise 10-90 %", EdgeText(m.toDominant)});
  rows.push_back({"fall 10-90 %", EdgeText(m.toRecessive)});
  rows.push_back({"noise", Format("%.1f mV rms", m.noiseRmsVolts * 1000)});
  for (const Verdict& v : m.verdicts) {
    const char* label = v.result == Verdict::Result::Unknown ? "?" : VerdictResultName(v.result);
    rows.push_back({label, v.text});
  }
  return rows;
}

}  // namespace velqor
