#pragma once
// The road from received bytes to the window's message handler.
//
// Each link has its own frame interpreter (USB, fed on its reader thread; serial, fed on the
// GUI thread; and one for blocks the program feeds itself), each run under its own mutex. One
// interpreter for both byte streams would not do: a frame cut across two USB reports waits in the
// interpreter's buffer for its rest, and serial bytes arriving in between would land in the middle
// of it and corrupt it (with the adapter's console text on the COM port, that happens many times a
// second at a busy bus). The interpreters announce each message synchronously on the feeding
// thread; this class copies it into a bounded, ordered queue and, when the queue was idle, wakes
// the thread this object was made on (the GUI thread) once, through an eventfd (OwnerWake). There
// the queue is handled in order, in batches, by the target's OnDeviceMessage.
//
// The feeding thread never waits for the GUI thread: a full queue drops the message and
// counts it (lostCount, announced by lostCountChanged on the GUI thread).
//
// Queue entries are small: a received CAN frame (code 202, the high-rate message) is a fixed
// record; the rare other messages carry a heap copy of the whole record.

#include <QObject>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/interpreter.h"
#include "link/owner_wake.h"

namespace velqor {

class ReceivePath : public QObject, private DeviceMessageSink {
  Q_OBJECT

 public:
  // The byte stream a block belongs to: the USB link, the COM port, or blocks the program
  // feeds itself (the hidden "Debug" button, tools and tests), which are whole frames and
  // must not land inside a frame of either link either.
  enum class Link { Usb, Serial, Local };

  // About 12 s of the busiest bus (21 277 frames/s), 24 bytes an entry.
  static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 18;
  // Messages handled per queued call, so that the event loop stays responsive under load.
  static constexpr std::size_t kBatch = 4096;

  // Construct on the GUI thread, which must run a Qt event loop. `target` (GUI thread) must
  // outlive this object. `onError` reports an exception that
  // escaped the target's handler; the remaining messages are still handled.
  ReceivePath(DeviceMessageSink& target, std::function<void(const std::string&)> onError,
              std::size_t capacity = kDefaultCapacity, QObject* parent = nullptr);
  ~ReceivePath() override;

  // Any thread. Feeds the bytes to the link's interpreter in pieces that always fit its
  // buffer, so a large block (a serial read after a busy spell) is not cut off.
  void Feed(const std::uint8_t* bytes, std::size_t length, Link link = Link::Local);

  // GUI thread: handles everything queued now.
  void drainAll();

  std::uint64_t lostCount() const { return m_lost.load(std::memory_order_relaxed); }
  // Received CAN frames (code 202) handed to the target so far; any thread.
  std::uint64_t framesHandled() const { return m_framesHandled.load(std::memory_order_relaxed); }
  std::size_t queuedCount() const;
  std::size_t capacity() const { return m_capacity; }

 signals:
  void lostCountChanged(quint64 lost);

 private:
  struct Entry {
    std::int16_t code = 0;
    std::uint8_t ide = 0;
    std::uint8_t dlc = 0;
    std::uint32_t id = 0;
    std::array<std::uint8_t, 8> data{};
    std::unique_ptr<DeviceMessage> full;  // every code but 202
  };

  void OnDeviceMessage(int code, const DeviceMessage& message) override;  // feeding thread
  void drainBatch();                                                      // GUI thread
  bool handleBatch(std::size_t limit);

  DeviceMessageSink& m_target;
  std::function<void(const std::string&)> m_onError;

  // One per link; each mutex serialises the Feed of its link and is never held while waiting
  // for the GUI.
  struct LinkInterpreter {
    std::mutex mutex;
    std::unique_ptr<TMsgInterpret> interpreter;
  };
  LinkInterpreter m_usb;
  LinkInterpreter m_serial;
  LinkInterpreter m_local;

  mutable std::mutex m_queueMutex;  // guards the ring and m_drainPosted
  const std::size_t m_capacity;
  std::vector<Entry> m_ring;
  std::size_t m_head = 0;
  std::size_t m_count = 0;
  bool m_drainPosted = false;
  std::atomic<std::uint64_t> m_lost{0};
  std::atomic<std::uint64_t> m_framesHandled{0};
  std::unique_ptr<OwnerWake> m_wake;  // runs drainBatch on the GUI thread

  // GUI thread only.
  std::vector<Entry> m_batch;
  DeviceMessage m_record;  // rebuilt from the queue, reused as the interpreter's is
  std::uint64_t m_lostShown = 0;
};

}  // namespace velqor
