#pragma once
// The plotted values as a CSV file: one row per instant, a column per signal.
//
//   time_s,local_time,EngineData.EngineSpeed [rpm],Brake.BrakePressure [bar]
//   12.345678,2026-12-07 10:00:12.345678,1234.5,
//   12.350120,2026-12-07 10:00:12.350120,,41.2
//
// time_s counts from the plot's origin (the first frame decoded); local_time is that instant
// on the wall clock. Signals of one frame share its instant and so its row; a cell is empty
// where the signal has no value at that instant. Values are the stored ones, every one of the
// range (the plot draws fewer), written in the shortest form that reads back as the same
// double; fields are quoted as RFC 4180 says when they hold a comma, a quote or a line break.
//
// Writing a large range takes a while, so PlotCsvExport does it on a thread of its own.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sigmon/signal_series.h"

namespace velqor {

struct PlotColumn {
  std::string name;  // "Message.Signal"
  std::string unit;
  std::vector<PlotPoint> points;  // in time order
};

// Every point of `series` in [t0, t1].
std::vector<PlotPoint> pointsBetween(const SignalSeries& series, double t0, double t1);

// The whole text; `originWallUs` is the wall-clock time of t = 0 (µs since 1970, UTC), shown
// in the local time zone.
std::string plotCsvText(const std::vector<PlotColumn>& columns, std::int64_t originWallUs);

struct PlotCsvResult {
  bool ok = false;
  std::string error;  // "path: reason"
  std::uint64_t rows = 0;
};

// Writes the text to `path` (created or replaced). Returns the rows written, or the error.
PlotCsvResult writePlotCsv(const std::string& path, const std::vector<PlotColumn>& columns,
                           std::int64_t originWallUs);

// writePlotCsv on a thread of its own; `finished` runs on that thread when it is done.
// Destroying the job waits for the file to be written.
class PlotCsvExport {
 public:
  PlotCsvExport(std::string path, std::vector<PlotColumn> columns, std::int64_t originWallUs,
                std::function<void()> finished);
  ~PlotCsvExport();
  PlotCsvExport(const PlotCsvExport&) = delete;
  PlotCsvExport& operator=(const PlotCsvExport&) = delete;

  const std::string& path() const { return m_path; }
  // After `finished` ran.
  PlotCsvResult result();

 private:
  const std::string m_path;
  PlotCsvResult m_result;  // written by the thread, read after it ended
  std::jthread m_thread;
};

}  // namespace velqor
