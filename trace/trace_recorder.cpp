#include "trace/trace_recorder.h"

#include "link/protocol.h"

namespace velqor {

void TraceRecorder::OnFrames(std::span<const CanFrame> frames) {
  m_store.append(frames);
  sync();
  // The received frames, in the runs between the sent ones.
  for (std::size_t i = 0; i < frames.size();) {
    std::size_t j = i;
    while (j < frames.size() && !frames[j].tx()) ++j;
    if (j > i) m_meter.add(frames.subspan(i, j - i));
    i = j + 1;
  }
}

void TraceRecorder::OnDeviceMessage(int code, const DeviceMessage& m, const CanTime& arrival) {
  if (code == MsgCode::BusError) {
    ++m_errorFrames;
    m_store.appendBusError(m.Data[0], m.Data[1], m.Data[2], arrival);
  } else if (code == MsgCode::SendResult && (m.Data[0] == 1 || m.Data[0] == 2)) {
    m_store.appendSendFailure(m.Data[0], arrival);
  } else {
    return;
  }
  sync();
}

void TraceRecorder::addEvent(TraceRowKind kind, const CanTime& time, std::uint32_t value) {
  if (kind == TraceRowKind::Connected) m_errorFrames = 0;
  m_store.addEvent(kind, time, value);
  sync();
}

void TraceRecorder::clear() {
  m_store.clear();
  sync();
}

void TraceRecorder::setFilter(const TraceFilter& filter) {
  sync();
  m_view.setFilter(filter);
}

bool TraceRecorder::scan(std::size_t budget) {
  sync();
  return m_view.scan(budget);
}

}  // namespace velqor
