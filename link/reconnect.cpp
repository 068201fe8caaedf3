#include "link/reconnect.h"

namespace velqor {

void AdapterReconnect::Connected(bool serialOpen) {
  if (!m_enabled) return;
  m_watching = true;
  m_usbUp = true;
  m_serialWanted = serialOpen;
  m_serialUp = serialOpen;
  updateRetrying();
}

void AdapterReconnect::Disconnected() {
  m_watching = false;
  m_usbUp = false;
  m_serialWanted = false;
  m_serialUp = false;
  updateRetrying();
}

bool AdapterReconnect::UsbRemoved() {
  if (!m_watching || !m_usbUp) return false;
  m_usbUp = false;
  ++m_losses;
  // The COM port of the same adapter may have hung up already; one that has not is kept
  // until it does (it may be another device altogether).
  if (m_serialUp && !m_links.SerialUsable()) {
    m_links.CloseSerial();
    m_serialUp = false;
  }
  m_links.Announce(ReconnectEvent::UsbLost);
  updateRetrying();
  return true;
}

void AdapterReconnect::SerialVanished() {
  if (!m_watching || !m_serialUp) return;
  m_links.CloseSerial();
  m_serialUp = false;
  m_links.Announce(ReconnectEvent::SerialLost);
  updateRetrying();
}

void AdapterReconnect::Arrival() {
  if (m_watching && !m_usbUp) tryReopen();
}

void AdapterReconnect::Tick() {
  if (m_watching) tryReopen();
}

void AdapterReconnect::tryReopen() {
  const bool usbWasUp = m_usbUp;
  if (!m_usbUp) {
    if (!m_links.ReopenUsb()) return;
    m_usbUp = true;
    ++m_reconnects;
    // A COM port that hung up without our hearing of it yet is reopened as well.
    if (m_serialUp && !m_links.SerialUsable()) {
      m_links.CloseSerial();
      m_serialUp = false;
    }
  }
  bool serialBack = false;
  if (m_serialWanted && !m_serialUp) serialBack = m_serialUp = m_links.ReopenSerial();
  if (!usbWasUp) {
    m_links.Announce(ReconnectEvent::UsbBack);
  } else if (serialBack) {
    m_links.Announce(ReconnectEvent::SerialBack);
  }
  updateRetrying();
}

void AdapterReconnect::updateRetrying() {
  const bool missing = m_watching && (!m_usbUp || (m_serialWanted && !m_serialUp));
  if (missing == m_retrying) return;
  m_retrying = missing;
  m_links.SetRetrying(missing);
}

}  // namespace velqor
