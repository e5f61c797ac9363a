// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/SharedState.h"

#include <QRect>
#include <QString>

#include <optional>

// What the program knows of the primary screen: its size in pixels and its twips per pixel
// (1440 / dots per inch: 15 at 96 dpi, 12 at 120 dpi).
struct ScreenSpec
{
    int widthPx = 0;
    int heightPx = 0;
    float twipsPerPixel = 15;
};

// "WxH" or "WxH@T" (T twips per pixel, default 15), as VANTREL_SCREEN gives it; nothing for
// any other text, zero or negative sizes, or a resolution outside 1 to 30 twips per pixel.
[[nodiscard]] std::optional<ScreenSpec> ParseScreenSpec(const QString &text);

// Fills the screen metrics of the shared state the way the start-up measures them: sizes in
// twips divided back by twips per pixel, and the factors that keep designed pixel sizes.
void ApplyScreenMetrics(SharedState &state, const ScreenSpec &screen);

// Pixels of a size given in twips (a window's design size); 15 twips per pixel when the screen
// has not been measured.
[[nodiscard]] int TwipsToPixels(double twips, float twipsPerPixel);

// The pixel rectangle of a control placed in twips (left, top, width, height).
[[nodiscard]] QRect TwipsRect(double left, double top, double width, double height, float twipsPerPixelX,
                              float twipsPerPixelY);

// A design size in twips that the window scales by PixelScale at load, so that it keeps the
// pixel size it was drawn for (twips / 15) at any resolution.
[[nodiscard]] int ScaledDesignPixels(double designTwips, double pixelScale, float twipsPerPixel);

// Where a window of a design size in twips goes: its pixel size kept at any resolution, centred
// on the screen.
[[nodiscard]] QRect CentredDesignRect(double widthTwips, double heightTwips, const SharedState &state);

// The screen's twips per pixel as measured at start; 15 (96 dpi) before it is measured.
[[nodiscard]] float ScreenTwipsPerPixelX();
[[nodiscard]] float ScreenTwipsPerPixelY();
