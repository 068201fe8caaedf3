#pragma once
// Bit-level decoding of one captured waveform: the trace the adapter sends (200 samples at its
// sample interval) read back as the bits and fields of the CAN frame it holds.
//
// The steps:
// 1. The two line levels are found by clustering the samples; edges are the crossings of
//    their midpoint with a hysteresis of a sixth of the swing each side (noise that stays
//    inside the band makes no edge). An edge's time is the midpoint crossing, interpolated
//    between the samples around it.
// 2. The start of frame is the first edge to dominant after recessive idle (from the start of
//    the window, or after at least ten bit times).
// 3. The bit grid: every edge lies on a bit boundary, so edge k sits at a + n_k x T. Starting
//    from the selected bit rate, each edge is given its bit number from the edge before it,
//    and T and the offsets (one for edges to dominant, one for edges to recessive, which
//    settle at other speeds) are fitted by least squares. Then the grid is narrowed down:
//    each edge's midpoint crossing lies between the two samples around it, and the sample
//    clock is not the sender's, so the edges' intervals overlap at many phases; the grid
//    taken is the one that keeps every edge inside its interval with the widest margin.
//    Where the edges do not fit the selected bit rate, or the frame only decodes at another,
//    the bit time that does is taken and reported; the caller compares it with the selected
//    one.
// 4. Each bit is read at the selected sample point (a fraction of the bit time after the bit's
//    start) from the edges placed on their fitted times.
// 5. From the start of frame the bits are de-stuffed (after five equal bits the sender adds
//    one of the other value, up to the end of the CRC; a sixth equal bit is a stuff error) and
//    cut into fields: SOF, identifier, RTR or SRR, IDE, (identifier extension, RTR, r1,) r0,
//    DLC, data bytes, CRC, CRC delimiter, ACK slot, ACK delimiter, EOF. A field is reported
//    only when the window holds all its bits; decoding stops at a stuff or form error.
//    The CRC-15 is checked when the window holds it.
//
// Plain C++ (no Qt): the Wave page and velqor-cli share it.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velqor {

// The capture port, as the page's "Capture Port" and the SetTrigger byte number it.
enum class CapturePort : std::uint8_t { CanL = 0, CanH = 1, Differential = 2 };

// The differential channel reads CAN_H - CAN_L about the converter's mid-scale:
// volts = 2.5 + (CAN_H - CAN_L).
inline constexpr double kDifferentialMidScaleVolts = 2.5;
// The converter's full scale: 256 counts of 5/256 V; 255 counts is its top.
inline constexpr double kConverterTopVolts = 255.0 * 5.0 / 256.0;

// Dominant is the high level on CAN_H and on the differential channel, the low one on CAN_L.
constexpr bool DominantIsHigh(CapturePort port) { return port != CapturePort::CanL; }

const char* CapturePortName(CapturePort port);  // "CAN_L", "CAN_H", "Differential"

struct CaptureTrace {
  std::vector<double> volts;  // sample i was taken at i x intervalNs
  double intervalNs = 0;
  CapturePort port = CapturePort::Differential;

  double TimeOf(std::size_t i) const { return static_cast<double>(i) * intervalNs; }
  double EndNs() const { return volts.empty() ? 0.0 : TimeOf(volts.size() - 1); }
};

// The trace of a waveform block: samples in counts of 5/256 V.
CaptureTrace TraceFromCounts(std::span<const float> counts, std::uint16_t intervalNs,
                             CapturePort port);

// What the Config page selects: the bit rate and the sample point (percent of the bit).
struct BitTimingChoice {
  std::uint32_t bitRate = 500000;
  double samplePointPercent = 72;

  double BitTimeNs() const { return bitRate > 0 ? 1e9 / bitRate : 0.0; }
};

// Bus levels as bit values: a dominant bit is 0, a recessive bit is 1.
inline constexpr std::uint8_t kBitDominant = 0;
inline constexpr std::uint8_t kBitRecessive = 1;

struct TraceEdge {
  double timeNs = 0;        // midpoint crossing
  bool toDominant = false;  // recessive to dominant
  std::size_t sample = 0;   // the first sample past the midpoint (the one before is short of it)
  long bit = 0;             // bit number from the start of frame (after the grid fit)
  double fittedNs = 0;      // its place on the fitted bit grid
};

struct DecodedBit {
  double startNs = 0;
  double sampleNs = 0;  // where it was read: start + sample point x bit time
  std::uint8_t value = kBitRecessive;
  bool stuff = false;       // a stuff bit the sender added
  bool stuffError = false;  // the sixth equal bit in a row where a stuff bit belonged
};

struct FrameField {
  std::string name;  // "SOF", "ID", "SRR", "IDE", "EID", "RTR", "r1", "r0", "DLC", "D0".."D7",
                     // "CRC", "CRC delimiter", "ACK", "ACK delimiter", "EOF"
  double startNs = 0;
  double endNs = 0;
  std::uint32_t value = 0;   // the field's bits, most significant first, without stuff bits
  int width = 0;             // bits, without stuff bits
  std::size_t firstBit = 0;  // index into BitDecoding::bits
  std::size_t lastBit = 0;
};

struct BitDecoding {
  // Levels found by clustering, and the hysteresis band around their midpoint.
  double recessiveVolts = 0;
  double dominantVolts = 0;
  double hysteresisVolts = 0;
  std::vector<TraceEdge> edges;

  double nominalBitNs = 0;
  double samplePoint = 0;  // fraction of the bit
  // The fitted bit time (0 without at least two edges on the grid).
  double bitTimeNs = 0;
  double dominantEdgeNs = 0;         // the grid's origin: the start of frame's fitted time
  double recessiveEdgeOffsetNs = 0;  // edges to recessive cross this much later
  double gridResidualRmsNs = 0;      // how far the edges' interpolated times lie from the grid
  // The range of bit times that keep every edge between its two samples (both 0 when none
  // does, or with too few edges to say).
  double bitTimeLowNs = 0;
  double bitTimeHighNs = 0;
  int edgesOffGrid = 0;  // edges more than a quarter bit from their place

  std::optional<std::size_t> startOfFrame;  // index into edges
  std::vector<DecodedBit> bits;             // from the start of frame, stuff bits included

  // The frame, as far as the window holds it.
  std::vector<FrameField> fields;
  std::optional<std::uint32_t> id;
  std::optional<bool> extended;
  std::optional<bool> remote;
  std::optional<std::uint8_t> dlc;
  std::vector<std::uint8_t> data;  // the data bytes the window holds, in order
  std::optional<std::uint16_t> crc;
  std::optional<bool> crcOk;  // with the CRC in the window
  std::optional<bool> acknowledged;
  std::vector<std::size_t> stuffBits;    // indices into bits
  std::vector<std::size_t> stuffErrors;  // indices into bits
  std::string formError;  // a fixed-form bit with the wrong value: which field; empty if none

  // The bits as read, stuff bits included, as "0"/"1" text from the start of frame.
  std::string BitText() const;
};

// CRC-15 of ISO 11898-1 (x^15 + x^14 + x^10 + x^8 + x^7 + x^4 + x^3 + 1, initial 0) over bit
// values 0/1 in transmission order.
std::uint16_t CanCrc15Of(std::span<const std::uint8_t> bits);

BitDecoding DecodeBits(const CaptureTrace& trace, const BitTimingChoice& timing);

// For a bit time T, per direction (0: edges to dominant, 1: edges to recessive), the offsets a
// that keep each edge after the start of frame, placed at a + bit x T, between the two samples
// around its midpoint crossing.
struct GridOffsets {
  double low[2] = {-1e300, -1e300};
  double high[2] = {1e300, 1e300};

  bool Bounded(int g) const { return high[g] < 1e299 && high[g] >= low[g]; }
  // 1 for a direction without edges (no constraint), 0 when no offset fits.
  double Width(int g) const { return high[g] > 1e299 ? 1.0 : std::max(0.0, high[g] - low[g]); }
  double Middle(int g) const { return (low[g] + high[g]) / 2; }
};
GridOffsets FeasibleOffsets(const CaptureTrace& trace, const BitDecoding& decoding, double bitNs);

}  // namespace velqor
