#pragma once
// TransmitHub: the main window's send side behind SendToDevice. Every block the window sends
// passes its SendPath, which notes each SendCanFrame with its owner, so that the adapter's
// answers (code 201, in the order the commands reached it) go back to whoever sent them:
// - the TxSet page's cyclic rows, on the TransmitScheduler owned here;
// - other senders that share the link and take an owner with addOwner (the slcan share: its
//   host's frames must get their own answers, not the window's);
// - nobody: SEND, ALL SEND, scripts and typed bytes, whose answers only the status bar shows.
// The dispatch of device messages shows every answer as it always did, then hands it here
// (a DeviceMessageHandler following the dispatch), in arrival order.
//
// Threads. SendToDevice of the path and the scheduler run on any thread; everything else on
// the GUI thread. The scheduler's stops wake the GUI thread through an OwnerWake, whose handler
// (setOnEvents) drains them. Shutdown() stops the scheduler's thread; the window calls it
// before it closes the links.

#include <functional>
#include <map>
#include <memory>

#include "link/device_sender.h"
#include "link/frame_consumer.h"
#include "link/owner_wake.h"
#include "transmit/send_path.h"
#include "transmit/transmit_clock.h"
#include "transmit/transmit_scheduler.h"

namespace velqor {

class TransmitHub final : public DeviceMessageHandler {
 public:
  // `writer` writes one block as one report (the window's write to the USB link and the
  // terminal's monitor); it must outlive the hub. Construct on the GUI thread.
  explicit TransmitHub(DeviceSender& writer);
  ~TransmitHub();
  TransmitHub(const TransmitHub&) = delete;
  TransmitHub& operator=(const TransmitHub&) = delete;

  SendPath& path() { return m_path; }
  TransmitScheduler& scheduler() { return *m_scheduler; }

  // GUI thread: runs `handler` on the GUI thread after the scheduler queued a stop.
  void setOnEvents(std::function<void()> handler) { m_onEvents = std::move(handler); }

  // Another sender on the path: its blocks go out with path().SendOwned(bytes, {owner, ...}),
  // and every answer to them reaches `answers` (GUI thread) as the message 201 itself. The
  // handler must stay until removeOwner.
  SendPath::Owner addOwner(DeviceMessageHandler& answers);
  void removeOwner(SendPath::Owner owner);

  // Follows the dispatch: each answer 201 goes to the owner of the command it answers.
  void OnDeviceMessage(int code, const DeviceMessage& message) override;

  // The link closed: every cyclic row stops and the answers still owed are forgotten.
  void LinkClosed();
  // Stops the scheduler's thread (rows stop sending); idempotent.
  void Shutdown();

 private:
  SendPath m_path;
  MonotonicClock m_clock;
  std::function<void()> m_onEvents;
  std::unique_ptr<OwnerWake> m_wake;
  std::map<SendPath::Owner, DeviceMessageHandler*> m_owners;
  std::unique_ptr<TransmitScheduler> m_scheduler;  // last: its thread uses the members above
};

}  // namespace velqor
