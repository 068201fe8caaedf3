#include "sigmon/plot_csv.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>

namespace velqor {

namespace {

void appendField(std::string& out, const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) {
    out += field;
    return;
  }
  out += '"';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void appendDouble(std::string& out, double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

// "2026-12-07 10:00:12.345678", local time.
void appendLocalTime(std::string& out, std::int64_t wallUs) {
  std::int64_t seconds = wallUs / 1000000;
  std::int64_t micros = wallUs % 1000000;
  if (micros < 0) {
    micros += 1000000;
    --seconds;
  }
  const auto t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[48];
  const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  out.append(buf, n);
  std::snprintf(buf, sizeof buf, ".%06lld", static_cast<long long>(micros));
  out += buf;
}

// Produces the text row by row, handing it to `flush` in pieces of about 64 KiB.
template <typename Flush>
std::uint64_t produce(const std::vector<PlotColumn>& columns, std::int64_t originWallUs,
                      Flush&& flush) {
  std::string out;
  out.reserve(1 << 17);
  out += "time_s,local_time";
  for (const PlotColumn& c : columns) {
    out += ',';
    appendField(out, c.unit.empty() ? c.name : c.name + " [" + c.unit + "]");
  }
  out += '\n';
  std::vector<std::size_t> at(columns.size(), 0);
  std::uint64_t rows = 0;
  for (;;) {
    double t = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < columns.size(); ++k) {
      if (at[k] < columns[k].points.size()) t = std::min(t, columns[k].points[at[k]].t);
    }
    if (std::isinf(t)) break;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f,", t);
    out += buf;
    appendLocalTime(out, originWallUs + std::llround(t * 1e6));
    for (std::size_t k = 0; k < columns.size(); ++k) {
      out += ',';
      if (at[k] < columns[k].points.size() && columns[k].points[at[k]].t == t) {
        appendDouble(out, columns[k].points[at[k]].v);
        ++at[k];
      }
    }
    out += '\n';
    ++rows;
    if (out.size() >= (1u << 16)) {
      if (!flush(out)) return rows;
      out.clear();
    }
  }
  flush(out);
  return rows;
}

}  // namespace

std::vector<PlotPoint> pointsBetween(const SignalSeries& series, double t0, double t1) {
  std::vector<PlotPoint> out;
  const std::size_t end = series.upperBound(t1);
  std::size_t i = series.lowerBound(t0);
  if (end > i) out.reserve(end - i);
  for (; i < end; ++i) out.push_back(series.point(i));
  return out;
}

std::string plotCsvText(const std::vector<PlotColumn>& columns, std::int64_t originWallUs) {
  std::string text;
  produce(columns, originWallUs, [&text](const std::string& piece) {
    text += piece;
    return true;
  });
  return text;
}

PlotCsvResult writePlotCsv(const std::string& path, const std::vector<PlotColumn>& columns,
                           std::int64_t originWallUs) {
  PlotCsvResult result;
  std::FILE* file = std::fopen(path.c_str(), "we");  // e: close-on-exec
  if (file == nullptr) {
    result.error = path + ": " + std::strerror(errno);
    return result;
  }
  int error = 0;
  result.rows = produce(columns, originWallUs, [&](const std::string& piece) {
    errno = 0;
    if (std::fwrite(piece.data(), 1, piece.size(), file) != piece.size()) {
      error = errno != 0 ? errno : EIO;
      return false;
    }
    return true;
  });
  errno = 0;
  if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  if (error != 0) {
    result.error = path + ": " + std::strerror(error);
    return result;
  }
  result.ok = true;
  return result;
}

PlotCsvExport::PlotCsvExport(std::string path, std::vector<PlotColumn> columns,
                             std::int64_t originWallUs, std::function<void()> finished)
    : m_path(std::move(path)) {
  m_thread = std::jthread(
      [this, columns = std::move(columns), originWallUs, finished = std::move(finished)] {
        m_result = writePlotCsv(m_path, columns, originWallUs);
        if (finished) finished();
      });
}

PlotCsvExport::~PlotCsvExport() {
  if (m_thread.joinable()) m_thread.join();
}

PlotCsvResult PlotCsvExport::result() {
  if (m_thread.joinable()) m_thread.join();  // it has finished: the join only orders memory
  return m_result;
}

}  // namespace velqor
