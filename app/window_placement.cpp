#include "app/window_placement.h"

#include <algorithm>

#include "common/ini_values.h"

namespace velqor {

namespace {
constexpr char kLeftKey[] = "LEFT";
constexpr char kTopKey[] = "TOP";
// How far below the frame's top edge the title bar is looked for.
constexpr int kTitleBarDepth = 10;
}  // namespace

std::optional<QPoint> LoadWindowPosition(const IniFile& ini) {
  const IniFile::Batch batch = ini.batch();
  auto number = [&ini](const char* key) -> std::optional<std::int32_t> {
    const std::optional<std::string> text = ini.readValue(kWindowSection, key);
    return text ? parseIniInteger(*text) : std::nullopt;
  };
  const std::optional<std::int32_t> left = number(kLeftKey);
  const std::optional<std::int32_t> top = number(kTopKey);
  if (!left || !top) return std::nullopt;
  return QPoint(*left, *top);
}

void SaveWindowPosition(IniFile& ini, QPoint position) {
  const IniFile::Batch batch = ini.batch();
  ini.writeInteger(kWindowSection, kLeftKey, position.x());
  ini.writeInteger(kWindowSection, kTopKey, position.y());
  ini.commitBatch();
}

QPoint PlaceWindow(std::optional<QPoint> stored, QSize size, const QList<QRect>& screens,
                   const QRect& centreOn) {
  if (stored) {
    const QPoint titleBar =
        *stored + QPoint(size.width() / 2, std::min(kTitleBarDepth, size.height() / 2));
    if (std::any_of(screens.begin(), screens.end(),
                    [&](const QRect& screen) { return screen.contains(titleBar); }))
      return *stored;
  }
  return centreOn.center() - QPoint(size.width() / 2, size.height() / 2);
}

}  // namespace velqor
