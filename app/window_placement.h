#pragma once
// Where the main window goes when it is shown: where it was when the program last closed
// (section WINDOW, keys LEFT and TOP: the top-left corner of its frame), or centred on the
// screen as it has always been when nothing is stored, or when the stored place is on no
// screen now (a monitor unplugged, a smaller resolution, another machine's settings file).

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

#include "common/ini_file.h"

namespace velqor {

inline constexpr char kWindowSection[] = "WINDOW";

// LEFT and TOP; nothing when either is missing or not a number.
std::optional<QPoint> LoadWindowPosition(const IniFile& ini);
// Throws SettingsWriteError as IniFile does.
void SaveWindowPosition(IniFile& ini, QPoint position);

// The top-left corner for a window of `size`: `stored` when the window's title bar would be
// on one of `screens` (its middle, near the top edge, lies in one of them, so that it can be
// grabbed), else the window centred in `centreOn`.
QPoint PlaceWindow(std::optional<QPoint> stored, QSize size, const QList<QRect>& screens,
                   const QRect& centreOn);

}  // namespace velqor
