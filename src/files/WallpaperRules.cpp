// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/WallpaperRules.h"

#include "common/platform/AppPaths.h"

#include <algorithm>
#include <cstdint>

namespace {

// Sizes are kept as 16-bit values, as the wallpaper has always stored them.
int clamp16(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, INT16_MAX));
}

} // namespace

QSize WallpaperSize(QSize picture, QSize screen)
{
    const std::int64_t w = picture.width();
    const std::int64_t h = picture.height();
    const std::int64_t SW = screen.width();
    const std::int64_t SH = screen.height();
    if (w <= 0 || h <= 0 || SW <= 0 || SH <= 0) {
        return {};
    }
    if (w <= SW && h <= SH) {
        return {clamp16(w), clamp16(h)};
    }
    // Compared and cut in whole numbers, so that 2000 x 1000 on 1024 columns is exactly 512 high
    // and not 511 by a rounding error.
    if (w * SH >= SW * h) {
        return {clamp16(SW), std::max(1, clamp16(SW * h / w))};
    }
    return {std::max(1, clamp16(SH * w / h)), clamp16(SH)};
}

QString WallpaperPath(const QString &folder)
{
    return JoinPath(folder, QStringLiteral("Wallpaper.bmp"));
}
