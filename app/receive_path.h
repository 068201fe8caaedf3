#pragma once
// The frame path: from the bytes of the links to the consumers on the GUI thread.
//
// Feeding side (any thread). Each link has its own frame interpreter (USB, fed on Usbif's
// reader thread; serial, fed on the GUI thread; and one for blocks the program feeds itself),
// each run under its own mutex. One interpreter for both byte streams would not do: a frame
// cut across two USB reports waits in the interpreter's buffer for its rest, and serial bytes
// arriving in between would land in the middle of it. Feed stamps the frames it completes with
// the arrival it is given (the USB reader takes it as the report arrives), collects what one
// block yields, and puts it into the queue under one lock: received frames as CanFrame values
// into a bounded ring, the rare other messages (answers, errors, waveforms) with their decoded
// record into a small bounded list that remembers between which frames each one arrived.
// Transmitted() puts a frame the program sent into the same queue, in order.
//
// Wake-ups. The GUI thread is woken once when the queue was idle (a frame after a quiet spell
// shows at once); while traffic goes on it drains on a timer every kWakeIntervalMs instead of
// being woken per report, and the queue goes idle again when a tick finds nothing.
//
// GUI side. The queue is handled in order: runs of frames go to the frame consumers as spans
// of the ring (no copy), each consumer in the order it was added; a message that arrived
// between two frames goes to the DeviceMessageHandler between the two runs. Consumers that
// asked only for received frames (the default) never see the sent ones.
//
// Nothing waits for the GUI thread: a full queue drops what does not fit and counts it
// (lostCount, announced by lostCountChanged on the GUI thread). An exception that escapes a
// consumer or the handler is reported through `onError`; the rest is still handled.

#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/can_frame.h"
#include "link/frame_consumer.h"
#include "link/interpreter.h"
#include "link/owner_wake.h"

namespace velqor {

class ReceivePath : public QObject {
  Q_OBJECT

 public:
  // The byte stream a block belongs to: the USB link, the COM port, or blocks the program
  // feeds itself (the hidden "Debug" button, tools and tests), which are whole frames and
  // must not land inside a frame of either link either.
  enum class Link { Usb, Serial, Local };
  // What a consumer is handed: the frames seen on the bus, or those and the frames the
  // program sent (CanFrame::kTx).
  enum class Frames { Received, ReceivedAndSent };

  // Frames the queue holds: about 6 s of the busiest bus (21 277 frames/s), 32 bytes each.
  static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 17;
  // Other messages the queue holds (at most the frame capacity).
  static constexpr std::size_t kMessageCapacity = 4096;
  // Frames handled per turn of the event loop, so that it stays responsive after a backlog.
  static constexpr std::size_t kBatch = 4096;
  // How often the GUI thread takes what arrived while traffic goes on.
  static constexpr int kWakeIntervalMs = 4;

  // Construct on the GUI thread, which must run a Qt event loop. `handler` (GUI thread) must
  // outlive this object.
  ReceivePath(DeviceMessageHandler& handler, std::function<void(const std::string&)> onError,
              std::size_t capacity = kDefaultCapacity, QObject* parent = nullptr);
  ~ReceivePath() override;

  // Any thread. Feeds the bytes to the link's interpreter in pieces that always fit its
  // buffer, so a large block (a serial read after a busy spell) is not cut off. The frames
  // completed by this block carry `arrival`.
  void Feed(const std::uint8_t* bytes, std::size_t length, Link link, const CanTime& arrival);
  void Feed(const std::uint8_t* bytes, std::size_t length, Link link = Link::Local) {
    Feed(bytes, length, link, CanTime::Now());
  }

  // Any thread: the link was opened again, its byte stream starts afresh; the incomplete
  // frame its interpreter holds from before is dropped rather than joined to the new bytes.
  void restartLink(Link link);

  // Any thread: a frame the program sent (a SendCanFrame that went out), stamped with its
  // send time; it is queued with CanFrame::kTx set.
  void Transmitted(const CanFrame& frame);

  // GUI thread, not from inside OnFrames. `consumer` must stay until removed.
  void addFrameConsumer(FrameConsumer& consumer, Frames frames = Frames::Received);
  void removeFrameConsumer(FrameConsumer& consumer);

  // GUI thread: handles everything queued now.
  void drainAll();

  std::uint64_t lostCount() const { return m_lost.load(std::memory_order_relaxed); }
  // Received frames handed to the consumers so far; any thread.
  std::uint64_t framesHandled() const { return m_framesHandled.load(std::memory_order_relaxed); }
  // GUI thread: frames and messages not handled yet.
  std::size_t queuedCount() const;
  std::size_t capacity() const { return m_capacity; }

 signals:
  void lostCountChanged(quint64 lost);

 private:
  struct QueuedMessage {
    std::uint64_t beforeFrame = 0;  // handled before the frame with this sequence number
    int code = 0;
    DeviceMessage record;
  };
  // What one link's interpreter announced during one piece of a Feed, in order.
  struct LinkSink : DeviceMessageSink {
    void OnReceivedFrame(const CanFrame& frame) override { frames.push_back(frame); }
    void OnDeviceMessage(int code, const DeviceMessage& message) override;
    std::vector<CanFrame> frames;
    struct Message {
      std::size_t beforeFrame;  // index into `frames`
      int code;
      DeviceMessage record;
    };
    std::vector<Message> messages;
  };
  // One per link; each mutex serialises the Feed of its link and is never held while waiting
  // for the GUI.
  struct LinkInterpreter {
    std::mutex mutex;
    LinkSink sink;
    std::unique_ptr<TMsgInterpret> interpreter;
  };
  struct Consumer {
    FrameConsumer* consumer;
    Frames frames;
  };

  LinkInterpreter& linkInterpreter(Link link);
  // Feeding thread, under the link's mutex: moves what the sink collected into the queue.
  void publish(LinkSink& sink);
  void pushFramesLocked(const CanFrame* frames, std::size_t count);
  void pushMessageLocked(int code, const DeviceMessage& record);
  // GUI thread: handles up to `limit` frames and the messages among them; returns how many
  // frames and messages it handled.
  std::size_t handle(std::size_t limit);
  void deliver(const CanFrame* frames, std::size_t count);
  void deliverMessage(const QueuedMessage& message);
  void report(const char* what) const;
  void drainTick();  // from the wake-up or the timer
  void showLost();

  DeviceMessageHandler& m_handler;
  std::function<void(const std::string&)> m_onError;
  LinkInterpreter m_usb;
  LinkInterpreter m_serial;
  LinkInterpreter m_local;

  mutable std::mutex m_queueMutex;  // guards what follows up to m_drainPending
  const std::size_t m_capacity;
  const std::size_t m_messageCapacity;
  std::vector<CanFrame> m_ring;
  std::size_t m_head = 0;
  std::size_t m_count = 0;
  std::uint64_t m_framesPushed = 0;  // sequence number of the next frame into the ring
  std::deque<QueuedMessage> m_messages;
  bool m_drainPending = false;  // a wake-up or a timer tick will look at the queue

  std::atomic<std::uint64_t> m_lost{0};
  std::atomic<std::uint64_t> m_framesHandled{0};
  std::unique_ptr<OwnerWake> m_wake;

  // GUI thread only.
  std::vector<Consumer> m_consumers;
  std::deque<QueuedMessage> m_takenMessages;  // taken from the queue, not handled yet
  std::uint64_t m_framesTaken = 0;            // sequence number of the ring's head
  bool m_handling = false;
  std::uint64_t m_lostShown = 0;
  QTimer m_tick;
};

}  // namespace velqor
