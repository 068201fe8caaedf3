// "&Tools" > "Share as slcan device...": the window of the slcan share on the window's paths.

#include "app/main_window.h"
#include "app/slcan_share_window.h"

namespace velqor {

void TFrmMain::SlcanShareClick() {
  if (!m_slcanShareWindow) {
    m_slcanShareWindow = std::make_unique<SlcanShareWindow>(
        std::make_unique<SlcanShare>(*m_transmit, *m_dispatch, *m_receivePath));
  }
  if (!m_slcanShareWindow->share().Running()) m_slcanShareWindow->start();
  m_slcanShareWindow->show();
  m_slcanShareWindow->raise();
  m_slcanShareWindow->activateWindow();
}

}  // namespace velqor
