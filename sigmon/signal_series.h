#pragma once
// SignalSeries: every point of one plotted signal (time in seconds, physical value), as
// received, up to a capacity beyond which the oldest points go, a chunk at a time. What is
// stored is never thinned out; what is drawn is: decimate() gives, for each pixel column of a
// time range, the first, lowest, highest and last point that fall in it (in their order), so
// that a line through them looks like the line through all the points, with at most four
// points a column however many the range holds.
//
// Each block of 64 points and each chunk of 4096 keeps where its lowest and highest values
// are, so a column's extremes cost a few lookups whatever it spans, and a redraw of a million
// points costs about as much as one of a thousand.
//
// Times never go back: a point earlier than the one before it is stored at that one's time
// (frames of two links may arrive a little out of order). Values that are not numbers (NaN)
// are stored and skipped when extremes are looked for.
//
// One thread (the owner's).

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace velqor {

struct PlotPoint {
  double t = 0;
  double v = 0;
  bool operator==(const PlotPoint&) const = default;
};

class SignalSeries {
 public:
  static constexpr std::size_t kChunk = 4096;
  static constexpr std::size_t kBlock = 64;
  // About 16 MB of points: 13 minutes of a message every millisecond, days of a slow one.
  static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 20;

  // `capacity` is rounded up to whole chunks.
  explicit SignalSeries(std::size_t capacity = kDefaultCapacity);
  ~SignalSeries();
  SignalSeries(const SignalSeries&) = delete;
  SignalSeries& operator=(const SignalSeries&) = delete;

  void append(double t, double v);
  void clear();

  // Points held, 0 .. size()-1 from the oldest; the indexes shift when old points go.
  std::size_t size() const { return m_size; }
  std::size_t capacity() const { return m_capacity; }
  // Points the capacity pushed out so far.
  std::uint64_t dropped() const { return m_dropped; }
  double time(std::size_t i) const { return chunk(i).t[i % kChunk]; }
  double value(std::size_t i) const { return chunk(i).v[i % kChunk]; }
  PlotPoint point(std::size_t i) const { return {time(i), value(i)}; }
  // The time span held; nullopt when empty.
  std::optional<PlotPoint> first() const;
  std::optional<PlotPoint> last() const;

  // The first point at or after `t` (size() when none).
  std::size_t lowerBound(double t) const;
  // The first point after `t` (size() when none).
  std::size_t upperBound(double t) const;
  // The last point at or before `t`.
  std::optional<std::size_t> atOrBefore(double t) const;

  // The points of [i, j) with the lowest and the highest value (NaN skipped); nullopt when
  // every value there is NaN or the range is empty.
  struct Extremes {
    std::size_t min = 0;
    std::size_t max = 0;
  };
  std::optional<Extremes> extremes(std::size_t i, std::size_t j) const;

  // What to draw of [t0, t1] across `columns` pixel columns, into `out` (cleared first): per
  // column the first, lowest, highest and last point in their order (fewer when they
  // coincide), plus the last point before t0 and the first after t1, so that the line runs
  // to the edges.
  void decimate(double t0, double t1, int columns, std::vector<PlotPoint>& out) const;

 private:
  struct Summary {
    std::uint32_t min = 0;  // offsets into the chunk
    std::uint32_t max = 0;
    bool any = false;  // a value that is a number
  };
  struct Chunk {
    std::array<double, kChunk> t;
    std::array<double, kChunk> v;
    std::array<Summary, kChunk / kBlock> blocks;
    Summary whole;
    std::size_t count = 0;
  };

  const Chunk& chunk(std::size_t i) const { return *m_chunks[i / kChunk]; }
  // Folds point `at` (an index into the chunk) into `s`.
  static void fold(const Chunk& c, Summary& s, std::uint32_t at);
  void merge(std::optional<Extremes>& e, std::size_t chunkBase, const Chunk& c,
             const Summary& s) const;
  void mergePoint(std::optional<Extremes>& e, std::size_t i) const;

  std::deque<std::unique_ptr<Chunk>> m_chunks;
  std::vector<std::unique_ptr<Chunk>> m_spare;  // a dropped chunk, reused
  std::size_t m_capacity;
  std::size_t m_size = 0;
  std::uint64_t m_dropped = 0;
  double m_lastT = 0;
};

}  // namespace velqor
