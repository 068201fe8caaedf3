// The waveform analysis on arbitrary input: byte 0 the port, bytes 1-2 the interval, byte 3 the
// bit rate, byte 4 the sample point, the rest up to 200 samples.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wave/capture_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  static constexpr std::uint32_t kRates[] = {125000, 250000, 500000, 1000000};
  const auto port = static_cast<velqor::CapturePort>(data[0] % 3);
  const auto interval = static_cast<std::uint16_t>(data[1] << 8 | data[2]);
  const velqor::BitTimingChoice timing{kRates[data[3] % 4], static_cast<double>(data[4] % 101)};
  std::vector<float> counts;
  for (std::size_t i = 5; i < size && counts.size() < 200; ++i) counts.push_back(data[i]);
  const velqor::CaptureTrace trace = velqor::TraceFromCounts(counts, interval, port);
  const velqor::CaptureAnalysis analysis = velqor::AnalyseCapture(trace, timing);
  velqor::ReportRows(trace, analysis);
  for (const velqor::FrameField& f : analysis.decoding.fields) velqor::FieldValueText(f);
  return 0;
}
