#include "sim/report_packer.h"

#include <algorithm>

namespace velqor {

void ReportPacker::SetPacking(ReportPacking packing) {
  if (packing == m_packing) return;
  Flush();
  m_packing = packing;
}

bool ReportPacker::Append(std::span<const std::uint8_t> frame) {
  if (frame.empty()) return true;
  const bool fresh = m_packing == ReportPacking::OneFramePerReport || m_fill == 0;
  const std::size_t start = fresh ? 0 : m_fill;
  const std::size_t needed = (start + frame.size() + kInputReportSize - 1) / kInputReportSize;
  // The open report is not in the queue yet but counts against the limit once closed.
  if (m_reports.size() + needed > m_maxReports) return false;

  if (m_packing == ReportPacking::OneFramePerReport && m_fill > 0) Close();
  std::size_t done = 0;
  while (done < frame.size()) {
    const std::size_t n = std::min(frame.size() - done, kInputReportSize - m_fill);
    std::copy_n(frame.begin() + static_cast<std::ptrdiff_t>(done), n, m_open.begin() + m_fill);
    m_fill += n;
    done += n;
    if (m_fill == kInputReportSize) Close();
  }
  if (m_packing == ReportPacking::OneFramePerReport && m_fill > 0) Close();
  return true;
}

void ReportPacker::Flush() {
  if (m_fill > 0) Close();
}

void ReportPacker::Close() {
  std::fill(m_open.begin() + m_fill, m_open.end(), std::uint8_t{0});
  m_reports.push_back(m_open);
  ++m_produced;
  m_fill = 0;
}

bool ReportPacker::Take(InputReport& report) {
  if (m_reports.empty()) return false;
  report = m_reports.front();
  m_reports.pop_front();
  return true;
}

}  // namespace velqor
