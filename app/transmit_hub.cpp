#include "app/transmit_hub.h"

#include "link/protocol.h"

namespace velqor {

TransmitHub::TransmitHub(DeviceSender& writer) : m_path(writer) {
  m_wake = std::make_unique<OwnerWake>([this] {
    if (m_onEvents) m_onEvents();
  });
  TransmitScheduler::Options options;
  // At the desktop's own priority: the window asks for no real-time scheduling.
  options.realtime = false;
  options.onEvent = [wake = m_wake.get()] { wake->Wake(); };
  m_scheduler = std::make_unique<TransmitScheduler>(m_path, m_clock, std::move(options));
  m_scheduler->StartThread();
}

TransmitHub::~TransmitHub() { Shutdown(); }

void TransmitHub::Shutdown() { m_scheduler->StopThread(); }

SendPath::Owner TransmitHub::addOwner(DeviceMessageHandler& answers) {
  const SendPath::Owner owner = m_path.NewOwner();
  m_owners[owner] = &answers;
  return owner;
}

void TransmitHub::removeOwner(SendPath::Owner owner) { m_owners.erase(owner); }

void TransmitHub::OnDeviceMessage(int code, const DeviceMessage& message) {
  if (code != MsgCode::SendResult) return;
  const std::uint8_t result = message.Data[0];
  const std::optional<SendPath::Owner> owner = m_path.TakeAnswer(result);
  if (!owner || *owner == SendPath::kNobody) return;
  if (const auto it = m_owners.find(*owner); it != m_owners.end()) {
    it->second->OnDeviceMessage(code, message);
    return;
  }
  m_scheduler->OnSendAnswer(*owner, result);
}

void TransmitHub::LinkClosed() {
  m_scheduler->StopAll();
  m_path.Forget();
}

}  // namespace velqor
