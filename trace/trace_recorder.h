#pragma once
// TraceRecorder: what puts the program's traffic into the trace. It takes every frame from
// the receive path, received and sent (a FrameConsumer registered for
// ReceivePath::Frames::ReceivedAndSent), and the other device messages where they arrived
// among them (a DeviceMessageObserver): a bus error status (200) becomes a bus-error row, a
// send result that is a failure (201 with 1 or 2) a failed-send row. The program's own events
// come through addEvent. It keeps the store, the view over it (synced after each change) and
// the bus-load meter, which counts the received frames (the adapter reports the frames it sent
// among them as it saw them on the bus, so the sent ones would count twice).
//
// GUI thread, like the receive path's consumers.

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/frame_consumer.h"
#include "trace/bus_load.h"
#include "trace/trace_store.h"
#include "trace/trace_view.h"

namespace velqor {

class TraceRecorder : public FrameConsumer, public DeviceMessageObserver {
 public:
  explicit TraceRecorder(std::size_t capacity = TraceStore::kDefaultCapacity)
      : m_store(capacity), m_view(m_store) {}

  void OnFrames(std::span<const CanFrame> frames) override;
  void OnDeviceMessage(int code, const DeviceMessage& message, const CanTime& arrival) override;
  // An event row (see TraceStore::addEvent); Connected also starts the count of error frames
  // again.
  void addEvent(TraceRowKind kind, const CanTime& time, std::uint32_t value = 0);

  // Every row goes (the bus-load meter and the error count stay: they are about the bus).
  void clear();
  void setFilter(const TraceFilter& filter);

  const TraceStore& store() const { return m_store; }
  const TraceView& view() const { return m_view; }
  // Looks at up to `budget` more rows for the filter; true when done.
  bool scan(std::size_t budget);
  const BusLoadMeter& meter() const { return m_meter; }
  // Bus errors the adapter reported since the last Connected row (or since start).
  std::uint64_t errorFramesSinceConnect() const { return m_errorFrames; }
  // Rows that have left the front of the view so far (discarded or cleared): whoever shows
  // the view keeps its place by the difference between two readings. setFilter starts a new
  // view, whose rows are counted from there.
  std::uint64_t rowsGoneFromView() const { return m_gone; }

 private:
  void sync() { m_gone += m_view.sync(); }

  TraceStore m_store;
  TraceView m_view;
  BusLoadMeter m_meter;
  std::uint64_t m_errorFrames = 0;
  std::uint64_t m_gone = 0;
};

}  // namespace velqor
