#include "widgets/fonts.h"

#include <QStringList>

namespace velqor {

QFont MakeFont(const QString& family, int pixelSize, bool fixedPitch) {
  QFont font;
  const QStringList fallbacks =
      fixedPitch ? QStringList{QStringLiteral("Noto Sans Mono CJK JP"),
                               QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")}
                 : QStringList{QStringLiteral("Noto Sans CJK JP"), QStringLiteral("sans-serif")};
  font.setFamilies(QStringList{family} + fallbacks);
  font.setPixelSize(pixelSize);
  if (fixedPitch) {
    font.setFixedPitch(true);
    font.setStyleHint(QFont::Monospace);
  }
  return font;
}

}  // namespace velqor
