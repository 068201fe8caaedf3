#pragma once
// FrameConsumer: what takes CAN frames from the program's frame path. The main window's
// receive path (app/receive_path.h) hands every frame to its consumers on the GUI thread, in
// batches and in the order the frames reached the host; the received-frame list and the
// data log are consumers, and so is anything that wants to see the bus (a trace, signal
// decoding, a bridge to other tools): register with the receive path, nothing else changes.
//
// A consumer does as little as possible per frame (store a value, count, queue for its own
// thread): a batch at a full bus holds about a hundred frames every few milliseconds.

#include <span>

#include "link/can_frame.h"
#include "link/interpreter.h"

namespace velqor {

class FrameConsumer {
 public:
  // On the thread that owns the path (the GUI thread). `frames` holds one or more frames in
  // the order they reached the host, received ones stamped as their report arrived, sent
  // ones (CanFrame::kTx, for consumers that asked for them) as they left. A message of
  // another kind that arrived between two frames has been handled by then, so a batch never
  // spans one. The span is valid only during the call: copy what you keep.
  virtual void OnFrames(std::span<const CanFrame> frames) = 0;

 protected:
  ~FrameConsumer() = default;
};

// What takes the other device messages from the same path (answers, errors, waveforms): on
// the same thread, one at a time, in arrival order among the frames. `message` is valid only
// during the call.
class DeviceMessageHandler {
 public:
  virtual void OnDeviceMessage(int code, const DeviceMessage& message) = 0;

 protected:
  ~DeviceMessageHandler() = default;
};

// What also wants to see the other device messages where they arrived among the frames (a
// trace that shows bus errors and failed sends as rows of their own): each message after the
// DeviceMessageHandler handled it, on the same thread, in the same order between the frame
// consumers' batches, with the time the report that completed it arrived. The receive path
// offers them to observers that register (ReceivePath::addMessageObserver); the frames' path
// does not change for it. `message` is valid only during the call.
class DeviceMessageObserver {
 public:
  virtual void OnDeviceMessage(int code, const DeviceMessage& message, const CanTime& arrival) = 0;

 protected:
  ~DeviceMessageObserver() = default;
};

}  // namespace velqor
