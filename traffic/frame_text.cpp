#include "traffic/frame_text.h"

namespace velqor {

// TODO(common): replace by the common formatter and the DLC tables once they land.
QString FormatRxTime(const QTime& time) {
  return QStringLiteral("%1:%2:%3.%4")
      .arg(time.hour(), 2, 10, QLatin1Char('0'))
      .arg(time.minute(), 2, 10, QLatin1Char('0'))
      .arg(time.second(), 2, 10, QLatin1Char('0'))
      .arg(time.msec() / 10, 2, 10, QLatin1Char('0'));
}

QString FormatRxId(std::uint32_t id) { return QString::number(id, 16); }

QString FormatRxData(const std::uint8_t* data, int dlc, bool hex) {
  QString out;
  for (int i = 0; i < dlc; ++i) {
    if (i > 0) out += QStringLiteral("  ");
    if (hex) {
      out += QStringLiteral("%1").arg(data[i], 2, 16, QLatin1Char('0')).toUpper();
    } else {
      out += QStringLiteral("%1").arg(data[i], 3, 10, QLatin1Char(' '));
    }
  }
  if (!hex && dlc == 1) out += QStringLiteral("  ");
  return out;
}

}  // namespace velqor
