#pragma once
// Texts of a received frame's row in the list.

#include <QString>
#include <QTime>
#include <cstdint>

namespace velqor {

// Hours, minutes, seconds and hundredths (milliseconds / 10, truncated): "09:05:03.07".
QString FormatRxTime(const QTime& time);
// The identifier in lower-case hexadecimal without leading zeros: "1a5", "0".
QString FormatRxId(std::uint32_t id);
// Data bytes 0..dlc-1 (dlc 0..8, reading data[0..7]) by HexFormatByDlc (hex) or
// DecFormatByDlc, with the main window's formatter.
QString FormatRxData(const std::uint8_t* data, int dlc, bool hex);

}  // namespace velqor
