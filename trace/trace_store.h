#pragma once
// TraceStore: every row of the trace in the order it reached the program: the frames seen on
// the bus, the frames the program sent, the adapter's bus errors and failed sends, and the
// program's own events (connected, disconnected, adapter lost and back, frames the receive
// queue dropped).
//
// The rows live in a ring of fixed-size records of 24 bytes, allocated once with the
// capacity and touched only as it fills (a trace that holds 10 000 frames costs 240 kB of
// memory, a full one of 2 000 000 frames 48 MB). When the ring is full each new row lets the
// oldest go; discarded() counts them until the next clear().
//
// Every row has a sequence number (seq) that grows by one per row and is never reused, not
// even after clear(): firstSeq() is the oldest row kept, endSeq() one past the newest. A view,
// a selection or a search result that holds a seq never points at another row.
//
// Times. A record keeps the steady-clock time of its row in full and its wall-clock time as a
// 16-bit difference from the offset between the two clocks, which changes only when the
// system clock is set or slewed; the store keeps the few offsets apart (wallUs() puts them
// back, to the microsecond). relativeUs() counts from the connection the row belongs to: the
// latest Connected row at or before it (kept even after its row went or was cleared), or,
// before any connection, the first row after the store was created or cleared.
//
// GUI thread only (the receive path's consumers run there); not thread-safe.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "link/can_frame.h"

namespace velqor {

// What a row is.
enum class TraceRowKind : std::uint8_t {
  Can = 0,                 // a CAN frame, received or sent (TraceRecord::kTx)
  BusError = 1,            // the adapter's bus error status: data[0] the error index,
                           // data[1] the transmit and data[2] the receive error count
  SendFailed = 2,          // a SendCanFrame answered with a failure: data[0] the result
                           // (1 transmission failed, 2 out of range)
  Connected = 3,           // the connect switch opened the links
  Disconnected = 4,        // the connect switch closed them
  AdapterLost = 5,         // the adapter went away while connected
  AdapterReconnected = 6,  // and came back
  FramesLost = 7,          // frames the receive queue had to drop: `id` holds how many
};
inline constexpr int kTraceRowKindCount = 8;

struct TraceRecord {
  // Bits of `flags`: the frame's own (as in CanFrame), the identifier's length, and the kind
  // of row in the upper four bits.
  static constexpr std::uint8_t kRtr = CanFrame::kRtr;
  static constexpr std::uint8_t kTx = CanFrame::kTx;
  static constexpr std::uint8_t kErrorFrame = CanFrame::kError;
  static constexpr std::uint8_t kExtended = 0x08;
  static constexpr int kKindShift = 4;

  std::int64_t steadyUs = 0;
  std::uint32_t id = 0;  // all 32 bits as received
  std::uint8_t dlc = 0;  // as received
  std::uint8_t flags = 0;
  std::int16_t wallDeltaUs = 0;  // see the store's times
  std::array<std::uint8_t, 8> data{};

  TraceRowKind kind() const { return static_cast<TraceRowKind>(flags >> kKindShift); }
  bool isFrame() const { return kind() == TraceRowKind::Can; }
  bool tx() const { return (flags & kTx) != 0; }
  bool rtr() const { return (flags & kRtr) != 0; }
  bool extended() const { return (flags & kExtended) != 0; }
  // The data bytes the DLC names (none for a remote frame): at most 8.
  std::uint8_t length() const { return rtr() ? 0 : dlc <= 8 ? dlc : 8; }
};
static_assert(sizeof(TraceRecord) == 24, "the trace keeps 24 bytes a row");

class TraceStore {
 public:
  static constexpr std::size_t kDefaultCapacity = 2'000'000;
  // 1.2 GB of rows: beyond that a setting is more likely a typing error than a wish.
  static constexpr std::size_t kMaxCapacity = 50'000'000;

  // A store of `capacity` rows (at most kMaxCapacity); 0 keeps nothing.
  explicit TraceStore(std::size_t capacity = kDefaultCapacity);

  // Appends each frame as it is (received, or sent: CanFrame::kTx).
  void append(std::span<const CanFrame> frames);
  void append(const CanFrame& frame) { append({&frame, 1}); }
  void appendBusError(std::uint8_t errorIndex, std::uint8_t transmitErrors,
                      std::uint8_t receiveErrors, const CanTime& time);
  void appendSendFailure(std::uint8_t result, const CanTime& time);
  // A row of the program's own: Connected, Disconnected, AdapterLost, AdapterReconnected, or
  // FramesLost with `value` frames. Connected also starts the relative time of the rows after
  // it. This is the entry point for whatever announces such an event (the connect switch,
  // the USB link when the adapter goes and comes back).
  void addEvent(TraceRowKind kind, const CanTime& time, std::uint32_t value = 0);

  // Lets every row go; seqs go on from where they were, discarded() starts again at 0. The
  // current connection stays the origin of relative times.
  void clear();

  std::size_t capacity() const { return m_capacity; }
  std::uint64_t firstSeq() const { return m_first; }
  std::uint64_t endSeq() const { return m_end; }
  std::size_t size() const { return static_cast<std::size_t>(m_end - m_first); }
  bool empty() const { return m_end == m_first; }
  std::uint64_t discarded() const { return m_discarded; }

  // firstSeq() <= seq < endSeq().
  const TraceRecord& at(std::uint64_t seq) const { return m_ring[slot(seq)]; }
  std::int64_t wallUs(std::uint64_t seq) const;
  std::int64_t relativeUs(std::uint64_t seq) const;
  // The row as a CAN frame with both its times: a frame as it was; a bus error as the
  // SocketCAN error frame that candump, python-can and the log formats know
  // (canlog/error_frames.h); nothing for the other rows.
  std::optional<CanFrame> asFrame(std::uint64_t seq) const;

  // Where a seq lives in the ring, and back: 4 bytes instead of 8 for an index of rows.
  std::uint32_t slot(std::uint64_t seq) const {
    return static_cast<std::uint32_t>(seq % m_capacity);
  }
  std::uint64_t seqOfSlot(std::uint32_t slot) const {
    const std::uint64_t firstSlot = m_first % m_capacity;
    return m_first + (slot + m_capacity - firstSlot) % m_capacity;
  }

 private:
  struct WallOffset {
    std::uint64_t firstSeq;
    std::int64_t offsetUs;  // wall minus steady for the rows from firstSeq on
  };
  struct Origin {
    std::uint64_t seq;
    std::int64_t steadyUs;
  };

  TraceRecord& push(const CanTime& time);
  void letOldestGo(std::uint64_t count);
  std::int64_t wallOffset(std::uint64_t seq) const;

  std::size_t m_capacity;
  struct Free {
    void operator()(TraceRecord* ring) const;
  };
  // calloc'ed, not touched: its pages come as rows do (new[] would write every record's
  // initial values at once, the whole capacity resident from the start).
  std::unique_ptr<TraceRecord[], Free> m_ring;
  std::uint64_t m_first = 0;
  std::uint64_t m_end = 0;
  std::uint64_t m_discarded = 0;
  std::vector<WallOffset> m_wall;  // by firstSeq; the first may start before m_first
  std::vector<Origin> m_origins;   // Connected rows; the first may lie before m_first
  bool m_baseSet = false;
  std::int64_t m_baseSteadyUs = 0;  // the first row's, before any connection
};

}  // namespace velqor
