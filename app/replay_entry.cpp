// TFrmMain's "&Tools" > "Replay..." entry: the replay window on the window's send path.

#include <QComboBox>

#include "app/main_window.h"
#include "config/config_page.h"
#include "link/protocol.h"
#include "traffic/replay_window.h"

namespace velqor {

void TFrmMain::ReplayClick() {
  if (!m_replayWindow) {
    ReplayWindow::Hooks hooks;
    hooks.linkOpen = [this] { return OpenFlag(*m_usbif) == 1; };
    hooks.bitRate = [this] {
      const int rate = m_configPage->CmbBitRate->currentIndex();
      return rate >= 0 && rate < kBitRateCount ? kBitRatesPerSecond[static_cast<std::size_t>(rate)]
                                               : 0;
    };
    // The adapter's answers (201) are not matched to their senders here yet: the replay
    // waits for none and spaces its frames by the bit rate instead.
    hooks.sendResults = false;
    m_replayWindow = std::make_unique<ReplayWindow>(*this, std::move(hooks), this);
  }
  m_replayWindow->show();
  m_replayWindow->raise();
  m_replayWindow->activateWindow();
}

}  // namespace velqor
