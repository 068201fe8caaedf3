#pragma once
// Fonts by the names the windows have always asked for. Those Windows fonts do not exist
// here, so each is named first and followed by the family fontconfig should fall back to
// (Noto Sans CJK JP renders the Japanese texts); the pixel sizes stay as they were.

#include <QFont>
#include <QString>

namespace velqor {

// "ＭＳ Ｐゴシック", the windows' own proportional font.
inline constexpr char kFontPGothic[] = "ＭＳ Ｐゴシック";
// "ＭＳ ゴシック", the fixed-pitch font of the received-frame list.
inline constexpr char kFontGothic[] = "ＭＳ ゴシック";
// "Meiryo UI", the capture state panel.
inline constexpr char kFontMeiryoUi[] = "Meiryo UI";

// `family` at `pixelSize` pixels; `fixedPitch` picks a fixed-pitch fallback.
QFont MakeFont(const QString& family, int pixelSize, bool fixedPitch = false);

}  // namespace velqor
