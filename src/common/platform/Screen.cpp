// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/Screen.h"

#include "common/platform/ForeignWindow.h"
#include "common/platform/SaverWindow.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

ScreenSpec MeasureScreen()
{
    if (const auto overridden = ParseScreenSpec(qEnvironmentVariable("VANTREL_SCREEN"))) {
        return *overridden;
    }
    ScreenSpec spec;
    const QScreen *screen = QGuiApplication::primaryScreen();
    // A run drawn into another program's window (a screen saver's preview, say) lays itself out
    // for that window: its inside is the screen of the run.
    const std::optional<SaverWindowTarget> target = SaverWindowOfThisRun();
    const std::optional<QSize> inside =
        target && target->window != 0 ? ForeignWindowSize(target->window) : std::nullopt;
    if (inside && !inside->isEmpty()) {
        spec.widthPx = inside->width();
        spec.heightPx = inside->height();
        if (screen != nullptr && screen->logicalDotsPerInchY() >= 48 && screen->logicalDotsPerInchY() <= 480) {
            spec.twipsPerPixel = static_cast<float>(std::round(1440.0 / screen->logicalDotsPerInchY()));
        }
        return spec;
    }
    if (screen == nullptr) {
        spec.widthPx = 1024;
        spec.heightPx = 768;
        return spec;
    }
    spec.widthPx = screen->geometry().width();
    spec.heightPx = screen->geometry().height();
    const double dpi = screen->logicalDotsPerInchY();
    if (dpi >= 48 && dpi <= 480) {
        // Whole twips per pixel, as the display settings of the design offered (15, 12, ...).
        spec.twipsPerPixel = static_cast<float>(std::round(1440.0 / dpi));
    }
    return spec;
}
