// TFrmMain's "&Tools" > "Convert log..." entry: the conversion window.

#include "app/main_window.h"
#include "traffic/convert_window.h"

namespace velqor {

void TFrmMain::ConvertClick() {
  if (!m_convertWindow) m_convertWindow = std::make_unique<ConvertWindow>(this);
  m_convertWindow->show();
  m_convertWindow->raise();
  m_convertWindow->activateWindow();
}

}  // namespace velqor
