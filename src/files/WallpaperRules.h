// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QSize>
#include <QString>

// The size a picture is saved at as the desktop wallpaper on a screen of `screen` pixels: its own
// when it fits, else reduced to the screen's width or height with its proportions kept (the
// other side cut to a whole pixel). Never enlarged.
[[nodiscard]] QSize WallpaperSize(QSize picture, QSize screen);

// The wallpaper bitmap's path in a folder.
[[nodiscard]] QString WallpaperPath(const QString &folder);
