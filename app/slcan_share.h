#pragma once
// SlcanShare: the adapter the window is connected to, served at the same time as an slcan
// (LAWICEL) device on a pseudo-terminal ("&Tools" > "Share as slcan device..."), so that
// slcand, python-can, SavvyCAN or cangaroo use the bus beside the window.
//
// The bridge (bridge/SlcanBridge) hangs on the window's paths instead of a link of its own:
// - frames received from the bus: a consumer of the receive path (received frames only; the
//   window's own sends are not echoed to the host, as a serial adapter would not);
// - the adapter's other messages: a follower of the window's dispatch, after the window acted
//   on them, except the send answers;
// - its sends: the window's send path under an owner of their own, so that the answer to each
//   of the host's frames comes back to the bridge (TransmitHub routes it) and the answers to
//   the window's SEND, the cyclic rows or a script never do. They go out as the window's
//   sends do: the terminal's monitor shows them and the trace gets them as sent frames.
//
// Threads. Construct, Start, Stop and destroy on the GUI thread; the bridge's serving thread
// sends through the path. Stats may be read from any thread.

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "app/receive_path.h"
#include "app/transmit_hub.h"
#include "bridge/slcan_bridge.h"
#include "link/frame_consumer.h"

namespace velqor {

class DeviceMessageDispatch;

class SlcanShare final : private FrameConsumer, private DeviceMessageHandler, private DeviceSender {
 public:
  // Everything given must outlive the share.
  SlcanShare(TransmitHub& hub, DeviceMessageDispatch& dispatch, ReceivePath& receive,
             BridgeOptions options = {});
  ~SlcanShare();
  SlcanShare(const SlcanShare&) = delete;
  SlcanShare& operator=(const SlcanShare&) = delete;

  // Creates the pseudo-terminal and starts serving; false with `error` saying why.
  bool Start(std::string& error);
  // Stops serving (the pseudo-terminal goes away) and unhooks from the window's paths.
  void Stop();
  bool Running() const { return m_running; }
  // The pseudo-terminal's path while running (the last one after Stop).
  const std::string& Path() const { return m_path; }
  BridgeStats Stats() const { return m_bridge.Stats(); }
  bool ChannelOpen() const { return m_bridge.ChannelOpen(); }
  // Called on the serving thread when the pseudo-terminal fails and serving ends by itself.
  void SetOnFailure(std::function<void(const std::string& why)> handler) {
    m_bridge.OnFailure = std::move(handler);
  }

 private:
  // The send answers TransmitHub routes to this share's owner.
  struct Answers final : DeviceMessageHandler {
    explicit Answers(SlcanBridge& bridge) : m_bridge(bridge) {}
    void OnDeviceMessage(int code, const DeviceMessage& message) override {
      m_bridge.OnDeviceMessage(code, message);
    }
    SlcanBridge& m_bridge;
  };

  void OnFrames(std::span<const CanFrame> frames) override;
  void OnDeviceMessage(int code, const DeviceMessage& message) override;
  bool SendToDevice(const std::uint8_t* bytes, std::size_t length) override;

  TransmitHub& m_hub;
  DeviceMessageDispatch& m_dispatch;
  ReceivePath& m_receive;
  SendPath::Owner m_owner = SendPath::kNobody;  // set while hooked up
  bool m_running = false;
  std::string m_path;
  SlcanBridge m_bridge;  // last but one: its thread sends through the members above
  Answers m_answers{m_bridge};
};

}  // namespace velqor
