#include "app/slcan_share.h"

#include <vector>

#include "app/device_message_dispatch.h"
#include "link/protocol.h"

namespace velqor {

namespace {

// A SendCanFrame command takes 18 bytes: a block holds at most this many of them.
std::size_t MaxSendCommands(std::size_t length) { return length / 18 + 1; }

}  // namespace

SlcanShare::SlcanShare(TransmitHub& hub, DeviceMessageDispatch& dispatch, ReceivePath& receive,
                       BridgeOptions options)
    : m_hub(hub),
      m_dispatch(dispatch),
      m_receive(receive),
      m_bridge(static_cast<DeviceSender&>(*this), std::move(options)) {}

SlcanShare::~SlcanShare() { Stop(); }

bool SlcanShare::Start(std::string& error) {
  if (m_running) return true;
  // Hooked up before the thread starts: the host's first command may ask the adapter.
  m_owner = m_hub.addOwner(m_answers);
  m_dispatch.addFollower(*this);
  m_receive.addFrameConsumer(*this, ReceivePath::Frames::Received);
  if (!m_bridge.Start(error)) {
    Stop();
    return false;
  }
  m_path = m_bridge.Path();
  m_running = true;
  return true;
}

void SlcanShare::Stop() {
  // The thread first: nothing sends under the owner once it is gone.
  m_bridge.Stop();
  if (m_owner != SendPath::kNobody) {
    m_receive.removeFrameConsumer(*this);
    m_dispatch.removeFollower(*this);
    m_hub.removeOwner(m_owner);
    m_owner = SendPath::kNobody;
  }
  m_running = false;
}

void SlcanShare::OnFrames(std::span<const CanFrame> frames) {
  for (const CanFrame& frame : frames) {
    if (!frame.tx()) m_bridge.OnReceivedFrame(frame);
  }
}

void SlcanShare::OnDeviceMessage(int code, const DeviceMessage& message) {
  // The send answers come by the owner's route (m_answers): most belong to other senders.
  if (code != MsgCode::SendResult) m_bridge.OnDeviceMessage(code, message);
}

bool SlcanShare::SendToDevice(const std::uint8_t* bytes, std::size_t length) {
  const SendPath::Owner owner = m_owner;
  const std::vector<SendPath::Owner> owners(MaxSendCommands(length), owner);
  return m_hub.path().SendOwned({bytes, length}, owners);
}

}  // namespace velqor
