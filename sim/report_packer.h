#pragma once
// Packs the adapter's device frames into 64-byte USB input reports (the bytes after the
// report ID), the way the adapter's firmware fills its endpoint buffer.

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

namespace velqor {

inline constexpr std::size_t kInputReportSize = 64;
using InputReport = std::array<std::uint8_t, kInputReportSize>;

enum class ReportPacking {
  // Frames back to back; a frame may continue in the next report. A report is sent when it
  // is full, and at the end of each step of the model the rest is padded with zeros (the
  // rest always ends at a frame boundary).
  Packed,
  // Every frame starts a new report and the report is padded with zeros after it. A frame
  // longer than a report (the 210-byte waveform) continues in the following reports.
  OneFramePerReport,
};

class ReportPacker {
 public:
  explicit ReportPacker(std::size_t maxReports) : m_maxReports(maxReports) {}

  void SetPacking(ReportPacking packing);
  ReportPacking Packing() const { return m_packing; }

  // Queues a frame; false (and nothing queued) when the reports it needs would exceed the
  // queue's limit, as when nobody reads the adapter's endpoint.
  bool Append(std::span<const std::uint8_t> frame);
  // The end of a step: a partly filled report is padded and queued.
  void Flush();

  bool Take(InputReport& report);
  std::size_t Queued() const { return m_reports.size(); }
  std::uint64_t Produced() const { return m_produced; }

 private:
  void Close();

  ReportPacking m_packing = ReportPacking::Packed;
  std::size_t m_maxReports;
  std::deque<InputReport> m_reports;
  InputReport m_open{};
  std::size_t m_fill = 0;
  std::uint64_t m_produced = 0;
};

}  // namespace velqor
