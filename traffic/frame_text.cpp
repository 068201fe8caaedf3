#include "traffic/frame_text.h"

#include <array>

#include "common/adapter_limits.h"
#include "common/dlc_tables.h"
#include "common/text_format.h"

namespace velqor {

QString FormatRxTime(const QTime& time) {
  return QString::fromStdString(formatText(
      "%0.2d:%0.2d:%0.2d.%0.2d", {time.hour(), time.minute(), time.second(), time.msec() / 10}));
}

QString FormatRxId(std::uint32_t id) { return QString::number(id, 16); }

QString FormatRxData(const std::uint8_t* data, int dlc, bool hex) {
  if (dlc <= 0 || dlc > kMaxDlc) return QString();
  const std::array<FormatArg, kMaxDlc> args = {data[0], data[1], data[2], data[3],
                                               data[4], data[5], data[6], data[7]};
  const auto pattern = (hex ? HexFormatByDlc : DecFormatByDlc)[static_cast<std::size_t>(dlc)];
  return QString::fromStdString(
      formatText(pattern, std::span<const FormatArg>(args.data(), static_cast<std::size_t>(dlc))));
}

}  // namespace velqor
